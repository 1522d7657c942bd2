#pragma once

#include <QMetaType>
#include <QString>

// A request for the list of shareable items on a device: the file the list is written to and
// two texts that travel unchanged from the starter to the done signal.
struct OrvoClientShareDataList
{
    QString path;
    QString second;
    QString third;

    bool operator==(const OrvoClientShareDataList &) const = default;
};

Q_DECLARE_METATYPE(OrvoClientShareDataList)
