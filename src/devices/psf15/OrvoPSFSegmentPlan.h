#pragma once

#include <QString>
#include <QVector>

#include <optional>

class OrvoPSFFlashLayout;
class OrvoPSFTrackPoint_1_5;
class OrvoPSFTrackSeg_1_5;
struct ZKGpxRoutePoint;
struct ZKGpxTrack;

// The points of a planned route's track segment as the device stores them: positions in
// micro-degrees (truncated from the texts), elevations in metres. A step wider than a type-0
// point holds (16-bit coordinate changes, an 8-bit altitude change in tenths) is split by
// points halfway, so that the stored track runs through every point of the file instead of
// bending where a change would lose its high bits.
class OrvoPSFSegmentPlan
{
public:
    static constexpr qsizetype kMinPoints = 2;
    // The most point records a segment counts (the start position is not one of them).
    static constexpr qsizetype kMaxPointRecords = 0xFFFD;
    // Seconds per tick and segment kind of a planned route's segments.
    static constexpr quint8 kSecondsPerTick = 4;
    static constexpr quint8 kPlannedKind = 2;

    // Null, with a warning, when the track has fewer than kMinPoints points, a position is no
    // number, or the segment would need more than kMaxPointRecords points.
    static std::optional<OrvoPSFSegmentPlan> fromTrack(const ZKGpxTrack &track);
    // An elevation text in metres; one that is no finite number counts as absent (0), and the
    // value is kept inside what an altitude code can hold.
    static double elevationOf(const QString &text);
    // (elevation + 1000) × 4, truncated and kept inside the code's signed 16 bits.
    static qint16 altitudeCode(double elevation);

    // The segment's size once written: its header and one type-0 point per step.
    qsizetype bytes() const;
    qsizetype pointRecords() const;
    // Fills a fresh segment: start time, start and end, type, the flags of the route points at
    // its ends (null when missing) and its points. False when a point does not fit.
    bool writeTo(OrvoPSFTrackSeg_1_5 &segment, OrvoPSFFlashLayout &layout, quint32 startTime, int type,
                 const ZKGpxRoutePoint *first, const ZKGpxRoutePoint *second) const;

private:
    struct Point
    {
        qint64 longitude = 0;
        qint64 latitude = 0;
        double elevation = 0;
        QString type;
    };

    static bool stepFits(const Point &from, const Point &to);
    static qint64 altitudeDelta(const Point &from, const Point &to);
    bool appendStep(const Point &from, const Point &to);
    static void setPointFlags(OrvoPSFTrackPoint_1_5 &point, const QString &type);

    QVector<Point> m_points;
};
