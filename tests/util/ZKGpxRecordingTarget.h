#pragma once

#include "util/ZKGpxImportable.h"

#include <QStringList>

// Records every operation the reader calls, as "operation" or "operation{key=value;...}" with
// the keys in order, so a test sees exactly which keys reach which operation.
class ZKGpxRecordingTarget : public ZKGpxImportable
{
public:
    QStringList calls;

    void setVersion(int major) override { calls.append(QStringLiteral("setVersion(%1)").arg(major)); }
    void newMetadata() override { record("newMetadata"); }
    void setMetadata(const ZKGpxKeyMap &map) override { record("setMetadata", map); }
    void setMetadataExtensions(const ZKGpxKeyMap &map) override { record("setMetadataExtensions", map); }
    void newRoute() override { record("newRoute"); }
    void setRoute(const ZKGpxKeyMap &map) override { record("setRoute", map); }
    void addRoutePoint(const ZKGpxKeyMap &map) override { record("addRoutePoint", map); }
    void newTrackList() override { record("newTrackList"); }
    void newTrack() override { record("newTrack"); }
    void setIntervalSegment(const ZKGpxKeyMap &map) override { record("setIntervalSegment", map); }
    void addTrackPoint(const ZKGpxKeyMap &map) override { record("addTrackPoint", map); }
    void addWaypoint(const ZKGpxKeyMap &map) override { record("addWaypoint", map); }
    void newTrainingLog() override { record("newTrainingLog"); }
    void newLogSegmentList() override { record("newLogSegmentList"); }
    void newLogSegment() override { record("newLogSegment"); }
    void addLogPoint(const ZKGpxKeyMap &map) override { record("addLogPoint", map); }
    void newWorkoutLog() override { record("newWorkoutLog"); }
    void setWorkoutLog(const ZKGpxKeyMap &map) override { record("setWorkoutLog", map); }
    void addWorkoutInterval(const ZKGpxKeyMap &map) override { record("addWorkoutInterval", map); }
    void newLapList() override { record("newLapList"); }
    void addLap(const ZKGpxKeyMap &map) override { record("addLap", map); }
    void setSummary(const ZKGpxKeyMap &map) override { record("setSummary", map); }

private:
    void record(const char *operation) { calls.append(QLatin1String(operation)); }
    void record(const char *operation, const ZKGpxKeyMap &map)
    {
        QStringList pairs;
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            pairs.append(it.key() + QLatin1Char('=') + it.value());
        calls.append(QLatin1String(operation) + QLatin1Char('{') + pairs.join(QLatin1Char(';')) + QLatin1Char('}'));
    }
};
