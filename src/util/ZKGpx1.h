#pragma once

#include "util/ZKGpxExportable.h"
#include "util/ZKGpxImportable.h"
#include "util/ZKGpxLogPoint.h"
#include "util/ZKGpxMetadata.h"
#include "util/ZKGpxRoute.h"
#include "util/ZKGpxTrackList.h"
#include "util/ZKGpxWaypoint.h"

#include <QList>
#include <QString>

#include <optional>

// The parts of a GPX document that both dialects share, and the first dialect's import. Only
// the second dialect (ZKGpx2) is ever written, so the dialect-specific write hooks are left to
// it. A part that is absent (std::nullopt) writes nothing; an empty one may still write its
// element.
class ZKGpx1 : public ZKGpxImportable, public ZKGpxExportable
{
public:
    std::optional<ZKGpxMetadata> metadata;
    std::optional<ZKGpxRoute> route;
    std::optional<ZKGpxTrackList> trackList;
    QList<ZKGpxWaypoint> waypoints;
    // The first dialect's sensor log; read from such files, never written.
    std::optional<QList<ZKGpxLogPoint>> trainingLog;

    // 0 until a reader has accepted a file, then the dialect of that file (1 or 2).
    int majorVersion() const { return m_majorVersion; }

    void setVersion(int major) override;
    void newMetadata() override;
    void setMetadata(const ZKGpxKeyMap &map) override;
    void setMetadataExtensions(const ZKGpxKeyMap &map) override;
    void newRoute() override;
    void setRoute(const ZKGpxKeyMap &map) override;
    void addRoutePoint(const ZKGpxKeyMap &map) override;
    void newTrackList() override;
    void newTrack() override;
    void addTrackPoint(const ZKGpxKeyMap &map) override;
    void addWaypoint(const ZKGpxKeyMap &map) override;
    void newTrainingLog() override;
    void addLogPoint(const ZKGpxKeyMap &map) override;

    void writeMetadata(QXmlStreamWriter &writer) override;
    void writeRoute(QXmlStreamWriter &writer) override;
    void writeTracks(QXmlStreamWriter &writer) override;
    void writeWaypoints(QXmlStreamWriter &writer) override;

    virtual void writeMetadataExtensions(QXmlStreamWriter &writer) = 0;
    virtual void writeTrackSegmentExtensions(QXmlStreamWriter &writer, const ZKGpxTrack &track) = 0;

protected:
    // A text element on one line, left out when the value is empty.
    static void writeTextIfSet(QXmlStreamWriter &writer, const QString &name, const QString &value);

private:
    int m_majorVersion = 0;
};
