#pragma once

#include "psf14/OrvoPSFField.h"

#include <QPointer>
#include <QVector>

class OrvoPSFLap;
class OrvoPSFRoute;
class OrvoPSFRouteHeader;
class OrvoPSFSensorLogFrame;
class OrvoPSFTrackFrame;

// The route section: its header, routeCount consecutive 156-byte routes from the header's
// route offset (each loading its tracks through the track frame), and the lap table of 2048
// 32-byte laps from the header's lap-table offset. Counts and offsets come from device bytes:
// only the routes and laps that lie inside the image load.
class OrvoPSFRouteFrame : public OrvoPSFField
{
    Q_OBJECT

public:
    static constexpr qsizetype kLapTableSize = 2048;

    // bytes: from the section start to the end of the image; capacity: the routes the route
    // area holds, which no stored count can exceed.
    OrvoPSFRouteFrame(QByteArrayView bytes, qsizetype capacity, OrvoPSFTrackFrame *trackFrame,
                      OrvoPSFSensorLogFrame *sensorLogFrame, QObject *parent = nullptr);
    ~OrvoPSFRouteFrame() override;

    // The header's 24 bytes, then the first routeCount routes.
    QByteArray serialize() const override;

    OrvoPSFRouteHeader *header() const;
    QVector<QPointer<OrvoPSFRoute>> &routes();
    const QVector<QPointer<OrvoPSFRoute>> &routes() const;
    const QVector<QPointer<OrvoPSFLap>> &laps() const;

    // The route's summary lap: the lap at its lap offset / 32; null when the offset is absent
    // or beyond the laps loaded.
    OrvoPSFLap *lapOf(const OrvoPSFRoute &route) const;
    // The route's laps: lapCount laps from its first lap offset / 32, as far as they loaded.
    QVector<OrvoPSFLap *> lapsOf(const OrvoPSFRoute &route) const;

private:
    void loadRoutes(QByteArrayView bytes, qsizetype capacity, OrvoPSFTrackFrame *trackFrame,
                    OrvoPSFSensorLogFrame *sensorLogFrame);
    void loadLaps(QByteArrayView bytes);
    OrvoPSFLap *lapAt(quint32 offset) const;

    QPointer<OrvoPSFRouteHeader> m_header;
    QVector<QPointer<OrvoPSFRoute>> m_routes;
    QVector<QPointer<OrvoPSFLap>> m_laps;
};
