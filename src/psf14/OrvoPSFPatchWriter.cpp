#include "psf14/OrvoPSFPatchWriter.h"

#include "env/OrvoByteWriter.h"
#include "env/OrvoFunctionTrace.h"
#include "psf/OrvoPSFLogging.h"
#include "psf/OrvoPSFNone.h"
#include "psf14/OrvoPSF.h"
#include "psf14/OrvoPSFDistHeader.h"
#include "psf14/OrvoPSFInterval.h"
#include "psf14/OrvoPSFLayout.h"
#include "psf14/OrvoPSFPOI.h"
#include "psf14/OrvoPSFPOIFrame.h"
#include "psf14/OrvoPSFPOIHeader.h"
#include "psf14/OrvoPSFRecordList.h"
#include "psf14/OrvoPSFRoute.h"
#include "psf14/OrvoPSFRouteFrame.h"
#include "psf14/OrvoPSFRouteHeader.h"
#include "psf14/OrvoPSFRoutePoint.h"
#include "psf14/OrvoPSFTrack.h"
#include "psf14/OrvoPSFTrackFrame.h"
#include "psf14/OrvoPSFTrackPoint.h"
#include "psf14/OrvoPSFValues.h"
#include "psf14/OrvoPSFWorkout.h"
#include "psf14/OrvoPSFWorkoutFrame.h"
#include "psf14/OrvoPSFWorkoutLog.h"
#include "psf14/OrvoPSFWorkoutLogFrame.h"

#include <algorithm>

namespace {

using namespace OrvoPSFLayout;

// An area of the area table (its start and size words) and its words in the device's header
// record: the free count (16 bits for the POIs), the start (-1: left as it is) and the end.
struct Area
{
    int startWord;
    int sizeWord;
    qsizetype freeOffset;
    bool shortFree;
    qsizetype startOffset;
    qsizetype endOffset;
};

const Area kPoiArea{PoiStart, PoiCapacity, kPoiFree, true, -1, kPoiEnd};
const Area kWorkoutArea{WorkoutStart, WorkoutCapacity, kWorkoutFree, false, kWorkoutStart, kWorkoutEnd};
const Area kRouteArea{RouteStart, RouteCapacity, kRouteFree, false, -1, kRouteEnd};
const Area kIntervalArea{IntervalStart, IntervalCapacity, kIntervalFree, false, -1, kIntervalEnd};
const Area kTrackArea{TrackStart, TrackCapacity, kTrackFree, false, -1, kTrackEnd};

// The route header's words that the pass writes: data offset, lap-table offset, count.
constexpr qsizetype kRouteHeaderWritten = 10;
constexpr qsizetype kWorkoutHeaderWritten = 10;
constexpr qsizetype kPoiCountSize = 4;
constexpr qsizetype kRouteKindOffset = 132;
constexpr char kRouteExported = 0x08;
constexpr qsizetype kPoiReservedOffset = 11;
constexpr qsizetype kIntervalTargetOffset = 8;
constexpr qsizetype kIntervalLowOffset = 13;
constexpr qsizetype kWorkoutLogRideOffset = 12;
constexpr qsizetype kWorkoutTailSize = 6;
constexpr qsizetype kTrackPointSize = 6;

qint64 areaBegin(const OrvoPSF &psf, const Area &area)
{
    return qint64(psf.layoutWord(area.startWord)) - psf.layoutWord(FlashOffset);
}

// Whether length bytes at position lie inside the area and the image.
bool inside(const OrvoPSF &psf, const QByteArray &image, const Area &area, qint64 position, qint64 length)
{
    const qint64 begin = std::max<qint64>(areaBegin(psf, area), 0);
    const qint64 end = std::min<qint64>(areaBegin(psf, area) + psf.layoutWord(area.sizeWord), image.size());
    return position >= begin && length >= 0 && position + length <= end;
}

// After a record that ends at image position end: the area's end is the flash address just
// behind it, and its free count what is left of the area.
void noteWritten(const OrvoPSF &psf, const Area &area, qint64 end)
{
    QByteArray *record = psf.flashHeaderRecord();
    if (!record || record->size() < kHeaderRecordMinSize)
        return;
    const quint32 start = quint32(psf.layoutWord(area.startWord));
    const quint32 flashEnd = quint32(end + psf.layoutWord(FlashOffset));
    const quint32 free = start + quint32(psf.layoutWord(area.sizeWord)) - flashEnd;
    if (area.shortFree)
        OrvoByteWriter::patch(*record, area.freeOffset).writeU16Le(quint16(free));
    else
        OrvoByteWriter::patch(*record, area.freeOffset).writeU32Le(free);
    if (area.startOffset >= 0)
        OrvoByteWriter::patch(*record, area.startOffset).writeU32Le(start);
    OrvoByteWriter::patch(*record, area.endOffset).writeU32Le(flashEnd);
}

// The address of a section, or -1 when the image has none.
qint64 sectionAt(const OrvoPSF &psf, Section section)
{
    const OrvoPSFDistHeader *header = psf.distHeader();
    const quint32 address = header ? header->sectionAddress(section) : kOrvoPsfNone;
    return address == kOrvoPsfNone ? -1 : qint64(address);
}

// Whether the count of bytes at a section's start lies inside the image.
bool sectionHolds(const QByteArray &image, qint64 section, qsizetype bytes)
{
    return section >= 0 && section + bytes <= image.size();
}

qint64 intervalBytes(const OrvoPSFWorkout &workout)
{
    return livingRecords(workout.intervals()).size() * OrvoPSFInterval::kSize;
}

bool reportFit(const char *what, qsizetype written, qsizetype held)
{
    if (written == held)
        return true;
    ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFPatchWriter")
        << "only" << written << "of" << held << what << "fit the device's areas; the others are not written";
    return false;
}

bool refuse(const char *what)
{
    ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFPatchWriter") << "no" << what << "to write into";
    return false;
}

} // namespace

OrvoPSFPatchWriter::OrvoPSFPatchWriter(QByteArray &image, OrvoPSF &psf)
    : m_image(image)
    , m_psf(psf)
{}

qint64 OrvoPSFPatchWriter::trackBytes(const OrvoPSFRoute &route)
{
    qint64 bytes = 0;
    for (const OrvoPSFTrack *track : livingRecords(route.tracks())) {
        const qsizetype points = route.isTrack() ? track->trackPointCount() : track->routePoints().size();
        bytes += OrvoPSFTrack::kHeaderSize + points * kTrackPointSize;
    }
    return bytes;
}

bool OrvoPSFPatchWriter::writeRoutes()
{
    OrvoPSFRouteFrame *frame = m_psf.routeFrame();
    const qint64 section = sectionAt(m_psf, RouteSection);
    if (!frame || !frame->header() || !sectionHolds(m_image, section, kRouteHeaderWritten))
        return refuse("route section");
    OrvoPSFRouteHeader &header = *frame->header();
    const qint64 base = section + header.routeDataOffset();
    m_trackAreaBase = trackAreaBase();
    m_lastTrackEnd = 0;
    const QVector<OrvoPSFRoute *> routes = livingRecords(frame->routes());
    const qsizetype count = routesThatFit(routes, base);
    OrvoByteWriter out = OrvoByteWriter::patch(m_image, section);
    out.writeU32Le(header.routeDataOffset());
    out.writeU32Le(header.lapTableOffset());
    out.writeU16Le(quint16(count));
    header.setRouteCount(quint16(count));
    for (qsizetype i = 0; i < count; ++i)
        writeRoute(*routes.at(i), base + i * OrvoPSFRoute::kSize);
    return reportFit("routes", count, routes.size());
}

qint64 OrvoPSFPatchWriter::trackAreaBase() const
{
    const OrvoPSFTrackFrame *frame = m_psf.trackFrame();
    const qint64 section = sectionAt(m_psf, TrackSection);
    if (!frame || section < 0 || frame->dataOffset() == kOrvoPsfNone)
        return -1;
    return section + frame->dataOffset();
}

qsizetype OrvoPSFPatchWriter::routesThatFit(const QVector<OrvoPSFRoute *> &routes, qint64 base) const
{
    qint64 tracksSoFar = 0;
    for (qsizetype i = 0; i < routes.size(); ++i) {
        if (!inside(m_psf, m_image, kRouteArea, base + i * OrvoPSFRoute::kSize, OrvoPSFRoute::kSize))
            return i;
        const qint64 bytes = trackBytes(*routes.at(i));
        if (bytes > 0 &&
            (m_trackAreaBase < 0 || !inside(m_psf, m_image, kTrackArea, m_trackAreaBase + tracksSoFar, bytes)))
            return i;
        tracksSoFar += bytes;
    }
    return routes.size();
}

void OrvoPSFPatchWriter::writeRoute(OrvoPSFRoute &route, qint64 position)
{
    route.setFirstTrack(writePoints(route));
    QByteArray bytes = route.serialize();
    if (route.routeFlag3())
        bytes[kRouteKindOffset] = char(bytes.at(kRouteKindOffset) | kRouteExported);
    OrvoByteWriter::patch(m_image, position).writeBytes(bytes);
    noteWritten(m_psf, kRouteArea, position + OrvoPSFRoute::kSize);
}

quint32 OrvoPSFPatchWriter::writePoints(OrvoPSFRoute &route)
{
    const QVector<OrvoPSFTrack *> tracks = livingRecords(route.tracks());
    if (tracks.isEmpty())
        return kOrvoPsfNone;
    const quint32 first = m_lastTrackEnd;
    for (qsizetype k = 0; k < tracks.size(); ++k) {
        const qsizetype end = tracks.at(k)->writeTrack(m_image, m_trackAreaBase + m_lastTrackEnd, k + 1 < tracks.size(),
                                                       route.isTrack(), m_trackAreaBase, m_lastTrackEnd);
        if (end >= 0)
            noteWritten(m_psf, kTrackArea, end);
    }
    return first;
}

bool OrvoPSFPatchWriter::writeWorkouts()
{
    OrvoPSFWorkoutFrame *frame = m_psf.workoutFrame();
    const qint64 section = sectionAt(m_psf, WorkoutSection);
    if (!frame || !sectionHolds(m_image, section, kWorkoutHeaderWritten))
        return refuse("workout section");
    const qint64 base = section + frame->workoutDataOffset();
    const qint64 intervalBase = section + frame->intervalAreaOffset();
    const QVector<OrvoPSFWorkout *> workouts = livingRecords(frame->workouts());
    const qsizetype count = workoutsThatFit(workouts, base, intervalBase);
    IntervalLinks links;
    quint32 nextLink = 0;
    for (qsizetype i = 0; i < count; ++i) {
        for (const OrvoPSFInterval *interval : livingRecords(workouts.at(i)->intervals())) {
            links.insert(interval, nextLink);
            nextLink += OrvoPSFInterval::kSize;
        }
    }
    OrvoByteWriter out = OrvoByteWriter::patch(m_image, section);
    out.writeU32Le(frame->workoutDataOffset());
    out.writeU32Le(frame->intervalAreaOffset());
    out.writeU16Le(quint16(count));
    frame->setWorkoutCount(quint16(count));
    for (qsizetype i = 0; i < count; ++i)
        writeWorkout(*workouts.at(i), base + i * OrvoPSFWorkout::kSize, intervalBase, links);
    return reportFit("workouts", count, workouts.size());
}

qsizetype OrvoPSFPatchWriter::workoutsThatFit(const QVector<OrvoPSFWorkout *> &workouts, qint64 base,
                                              qint64 intervalBase) const
{
    qint64 intervalsSoFar = 0;
    for (qsizetype i = 0; i < workouts.size(); ++i) {
        if (!inside(m_psf, m_image, kWorkoutArea, base + i * OrvoPSFWorkout::kSize, OrvoPSFWorkout::kSize))
            return i;
        const qint64 bytes = intervalBytes(*workouts.at(i));
        if (bytes > 0 && !inside(m_psf, m_image, kIntervalArea, intervalBase + intervalsSoFar, bytes))
            return i;
        intervalsSoFar += bytes;
    }
    return workouts.size();
}

void OrvoPSFPatchWriter::writeWorkout(OrvoPSFWorkout &workout, qint64 position, qint64 intervalBase,
                                      const IntervalLinks &links)
{
    const QVector<OrvoPSFInterval *> intervals = livingRecords(workout.intervals());
    workout.setFirstInterval(intervals.isEmpty() ? kOrvoPsfNone : links.value(intervals.first()));
    for (qsizetype k = 0; k < intervals.size(); ++k) {
        const quint32 next = k + 1 < intervals.size() ? links.value(intervals.at(k + 1)) : kOrvoPsfNone;
        writeInterval(*intervals.at(k), intervalBase, next, links);
    }
    QByteArray bytes;
    OrvoByteWriter record(bytes);
    record.writeU32Le(workout.workoutTime());
    record.writeBytes(workout.name().left(OrvoPSFWorkout::kNameSize).leftJustified(OrvoPSFWorkout::kNameSize, '\0'));
    record.writeU32Le(workout.workoutId());
    record.writeU32Le(workout.firstInterval());
    record.writeU32Le(workout.firstWorkoutLog());
    record.writeU8(quint8(workout.activityType() | quint8(workout.daily()) << 4 | quint8(workout.nameIsBitfont()) << 5 |
                          quint8(workout.workoutFlag6()) << 6));
    record.writeU8(quint8(workout.repeatCount() | workout.workoutType() << 5));
    record.fill(char(0xFF), kWorkoutTailSize);
    OrvoByteWriter::patch(m_image, position).writeBytes(bytes);
    noteWritten(m_psf, kWorkoutArea, position + OrvoPSFWorkout::kSize);
    writeLogRides(workout);
}

void OrvoPSFPatchWriter::writeInterval(OrvoPSFInterval &interval, qint64 intervalBase, quint32 next,
                                       const IntervalLinks &links)
{
    const qint64 position = intervalBase + links.value(&interval);
    const OrvoPSFInterval *target = interval.repeatTargetInterval();
    const bool repeats = target && links.contains(target);
    interval.setNextInterval(next);
    interval.setRepeatTarget(repeats ? links.value(target) : kOrvoPsfNone);
    OrvoByteWriter head = OrvoByteWriter::patch(m_image, position);
    head.writeU8(quint8(interval.stepType() | interval.targetType() << 4));
    head.writeU8(interval.durationType());
    head.writeU16Le(interval.durationValue());
    head.writeU32Le(next);
    // Without a repeat its words read as absent, whatever the image held there before.
    OrvoByteWriter repeat = OrvoByteWriter::patch(m_image, position + kIntervalTargetOffset);
    repeat.writeU32Le(interval.repeatTarget());
    repeat.writeU8(repeats ? interval.repeatCount() : 0xFF);
    OrvoByteWriter tail = OrvoByteWriter::patch(m_image, position + kIntervalLowOffset);
    tail.writeU8(interval.targetLow());
    tail.writeU8(interval.targetHigh());
    tail.writeU16Le(0xFFFF);
    tail.writeU8(0);
    noteWritten(m_psf, kIntervalArea, position + OrvoPSFInterval::kSize);
}

// The workout logs stay where they are, linked from their workout; the ride each one names is
// written again, as removing routes may have moved it.
void OrvoPSFPatchWriter::writeLogRides(const OrvoPSFWorkout &workout)
{
    const OrvoPSFWorkoutLogFrame *frame = m_psf.workoutLogFrame();
    const qint64 section = sectionAt(m_psf, WorkoutLogSection);
    if (!frame || section < 0 || frame->dataOffset() == kOrvoPsfNone)
        return;
    const qint64 area = section + frame->dataOffset();
    quint32 link = workout.firstWorkoutLog();
    for (const OrvoPSFWorkoutLog *log : workout.workoutLogs()) {
        if (!log || isChainEnd(link, true))
            return;
        OrvoByteWriter::patch(m_image, area + link + kWorkoutLogRideOffset).writeU32Le(log->rideOffset());
        link = log->nextWorkoutLog();
    }
}

bool OrvoPSFPatchWriter::writePOIs()
{
    OrvoPSFPOIFrame *frame = m_psf.poiFrame();
    const qint64 section = sectionAt(m_psf, PoiSection);
    if (!frame || !frame->header() || !sectionHolds(m_image, section, kPoiCountSize))
        return refuse("POI section");
    const qint64 base = section + frame->header()->poiDataOffset();
    const QVector<OrvoPSFPOI *> pois = livingRecords(frame->pois());
    qsizetype count = 0;
    while (count < pois.size() && inside(m_psf, m_image, kPoiArea, base + count * OrvoPSFPOI::kSize, OrvoPSFPOI::kSize))
        ++count;
    for (qsizetype i = 0; i < count; ++i) {
        const qint64 position = base + i * OrvoPSFPOI::kSize;
        const QByteArray bytes = pois.at(i)->serialize();
        // Byte 11 is reserved: it keeps what the image holds.
        OrvoByteWriter::patch(m_image, position).writeBytes(bytes.left(kPoiReservedOffset));
        OrvoByteWriter::patch(m_image, position + kPoiReservedOffset + 1).writeBytes(bytes.mid(kPoiReservedOffset + 1));
        noteWritten(m_psf, kPoiArea, position + OrvoPSFPOI::kSize);
    }
    OrvoByteWriter::patch(m_image, section).writeU32Le(quint32(count));
    frame->header()->setPoiCount(quint32(count));
    return reportFit("POIs", count, pois.size());
}
