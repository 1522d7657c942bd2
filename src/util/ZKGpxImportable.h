#pragma once

#include <QMap>
#include <QString>

// Texts of one element, keyed by child element name or by "<prefix>_<attribute>".
using ZKGpxKeyMap = QMap<QString, QString>;

// What the GPX reader builds a document through. The "new" operations replace the part of
// that kind with an empty one; the others take the keys they know from the map, an absent key
// storing an empty text. The reader calls them in document order, so a part is always opened
// before its values and children arrive.
class ZKGpxImportable
{
public:
    virtual ~ZKGpxImportable() = default;

    virtual void setVersion(int major) = 0;
    virtual void newMetadata() = 0;
    virtual void setMetadata(const ZKGpxKeyMap &map) = 0;
    virtual void setMetadataExtensions(const ZKGpxKeyMap &map) = 0;
    virtual void newRoute() = 0;
    virtual void setRoute(const ZKGpxKeyMap &map) = 0;
    virtual void addRoutePoint(const ZKGpxKeyMap &map) = 0;
    virtual void newTrackList() = 0;
    virtual void newTrack() = 0;
    virtual void setIntervalSegment(const ZKGpxKeyMap &map) = 0;
    virtual void addTrackPoint(const ZKGpxKeyMap &map) = 0;
    virtual void addWaypoint(const ZKGpxKeyMap &map) = 0;
    virtual void newTrainingLog() = 0;
    virtual void newLogSegmentList() = 0;
    virtual void newLogSegment() = 0;
    virtual void addLogPoint(const ZKGpxKeyMap &map) = 0;
    virtual void newWorkoutLog() = 0;
    virtual void setWorkoutLog(const ZKGpxKeyMap &map) = 0;
    virtual void addWorkoutInterval(const ZKGpxKeyMap &map) = 0;
    virtual void newLapList() = 0;
    virtual void addLap(const ZKGpxKeyMap &map) = 0;
    virtual void setSummary(const ZKGpxKeyMap &map) = 0;
};
