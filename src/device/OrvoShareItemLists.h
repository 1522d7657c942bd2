#pragma once

#include "device/OrvoShareItem.h"

#include <QString>
#include <QVector>

struct OrvoClientData;

// The shareable items of a device in four lists, written out as one "PersonalData" XML file
// for the web application. Each add operation replaces its list.
class OrvoShareItemLists
{
public:
    void addPOIs(const QVector<OrvoClientData> &items);
    void addPlanTrips(const QVector<OrvoClientData> &items);
    void addWorkouts(const QVector<OrvoClientData> &items);
    void addTracks(const QVector<OrvoClientData> &items);

    // Replaces the file at path by the document; false, with the file as it was, when it cannot
    // be written.
    bool writePersonalDataXml(const QString &path) const;

private:
    // The document as written: UTF-8 with its declaration, indented by 4 spaces, attributes in
    // a fixed order.
    QByteArray personalDataXml() const;

    QVector<OrvoShareItem> m_pois;
    QVector<OrvoShareItem> m_planTrips;
    QVector<OrvoShareItem> m_workouts;
    QVector<OrvoShareItem> m_tracks;
};
