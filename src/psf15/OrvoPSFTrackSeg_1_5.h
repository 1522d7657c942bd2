#pragma once

#include "psf/OrvoPSFMeasure.h"
#include "psf/OrvoPSFObject.h"
#include "psf15/OrvoPSFSensorLog_1_5.h"
#include "psf15/OrvoPSFTrackPoint_1_5.h"

#include <memory>
#include <vector>

class OrvoPSFTrackCursor;

// One track segment: a 40-byte header followed by its points, little-endian:
//   0   u32  start time (UTC seconds)
//   4   i32  start longitude, 8 i32 start latitude (micro-degrees)
//   12  i32  end longitude, 16 i32 end latitude
//   20  i16  start altitude code, 22 i16 end altitude code (quarter metres above -1000 m)
//   24  u8   bits 1-4: four segment flags; bits 5-6: the segment kind
//   25  u8   seconds per tick of the points' time steps
//   26  u8   bits 0-2: route type; bits 4-7: route source
//   27  u8   0
//   28  u32  next segment of the route (offset from the track records' start; -1 on the last)
//   32  u32  point count (absent, 0 or 0xFFFE and above: no points)
//   36  u32  the segment's sensor log (offset from the sensor-log records' start; -1 none)
//   40  ...  points
class OrvoPSFTrackSeg_1_5 : public OrvoPSFObject
{
public:
    static constexpr qsizetype kHeaderSize = 40;
    static constexpr int kFlagCount = 4;
    using Points = std::vector<std::unique_ptr<OrvoPSFTrackPoint_1_5>>;

    // fresh: a new segment, its header zeroed with the positions and links "none"; otherwise
    // its points are read.
    OrvoPSFTrackSeg_1_5(std::span<uchar> bytes, bool fresh);
    ~OrvoPSFTrackSeg_1_5() override;

    qsizetype size() const override;
    // True when the header lies inside the segment's memory.
    bool isComplete() const;

    quint32 startTime() const;
    void setStartTime(quint32 time);
    qint32 startLongitude() const;
    qint32 startLatitude() const;
    qint32 endLongitude() const;
    qint32 endLatitude() const;
    void setStartPosition(qint32 longitude, qint32 latitude);
    void setEndPosition(qint32 longitude, qint32 latitude);
    qint16 startAltitudeCode() const;
    qint16 endAltitudeCode() const;
    void setStartAltitudeCode(qint16 code);
    void setEndAltitudeCode(qint16 code);
    OrvoPSFMeasure startAltitude() const;
    OrvoPSFMeasure endAltitude() const;
    // Flags 0 to 3 are bits 1 to 4 of byte 24.
    bool segmentFlag(int index) const;
    void setSegmentFlag(int index, bool on);
    quint8 segmentKind() const;
    void setSegmentKind(quint8 kind);
    quint8 secondsPerTick() const;
    void setSecondsPerTick(quint8 seconds);
    quint8 routeType() const;
    void setRouteType(quint8 type);
    quint8 routeSource() const;
    void setRouteSource(quint8 source);
    qint64 nextSegment() const;
    bool setNextSegment(qint64 offset);
    quint32 storedPointCount() const;
    qint64 sensorLogOffset() const;
    bool setSensorLogOffset(qint64 offset);

    const Points &points() const;
    // Appends a type-0 point after the segment's points and counts it in the track area.
    // Null, nothing written, when the area has no room for it or the segment does not lie
    // inside the track area.
    OrvoPSFTrackPoint_1_5 *addPoint(OrvoPSFFlashLayout &layout);
    OrvoPSFTrackCursor cursor() const;

    // The sensor log recorded with the segment; null when none is loaded.
    const OrvoPSFSensorLog_1_5 *sensorLog() const;
    void setSensorLog(std::unique_ptr<OrvoPSFSensorLog_1_5> log);

private:
    void loadPoints();

    Points m_points;
    // The bytes of the points, kept as they are added: a segment of tens of thousands of
    // points is built one point at a time.
    qsizetype m_pointBytes = 0;
    std::unique_ptr<OrvoPSFSensorLog_1_5> m_sensorLog;
};
