#include "psf15/OrvoPSFTrackFrame_1_5.h"

#include "env/OrvoFunctionTrace.h"
#include "psf/OrvoPSFLogging.h"
#include "psf/OrvoPSFNone.h"
#include "psf15/OrvoPSFFlashLayout.h"

#include <QSet>
#include <QtEndian>

#include <algorithm>

namespace {

constexpr qsizetype kRecordsWord = 0;
constexpr qsizetype kNextSegmentWord = 28;
constexpr qsizetype kPointCountWord = 32;
constexpr quint32 kNoPoints = 0xFFFE;
using Area = OrvoPSFFlashLayout::Area;

// The segment's bytes as they are to be copied: its point count is the number of points that
// were read, so a copy never claims bytes that follow it.
QByteArray segmentBytes(const OrvoPSFTrackSeg_1_5 &segment)
{
    QByteArray bytes = segment.bytesAt(0, segment.size());
    const quint32 stored = segment.storedPointCount();
    if (stored != 0 && stored < kNoPoints && stored != segment.points().size())
        qToLittleEndian<quint32>(quint32(segment.points().size()), bytes.data() + kPointCountWord);
    return bytes;
}

} // namespace

OrvoPSFTrackFrame_1_5::OrvoPSFTrackFrame_1_5(std::span<uchar> section)
    : OrvoPSFObject(section)
{}

qsizetype OrvoPSFTrackFrame_1_5::size() const
{
    return std::max<qint64>(link(kRecordsWord), 0);
}

std::span<uchar> OrvoPSFTrackFrame_1_5::records() const
{
    const qint64 offset = link(kRecordsWord);
    return offset < 0 ? std::span<uchar>() : spanFrom(offset);
}

void OrvoPSFTrackFrame_1_5::loadSegmentsOfRoute(OrvoPSFRoute_1_5 &route) const
{
    const std::span<uchar> area = records();
    OrvoPSFRoute_1_5::Segments segments;
    QSet<qint64> visited;
    for (qint64 offset = route.firstSegment(); offset >= 0;) {
        if (visited.contains(offset) || offset >= qint64(area.size())) {
            ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFTrackFrame_1_5::loadSegmentsOfRoute")
                << "segment at offset" << offset << "is visited twice or lies outside the" << area.size()
                << "bytes of the track records; the walk ends there";
            break;
        }
        visited.insert(offset);
        auto segment = std::make_unique<OrvoPSFTrackSeg_1_5>(area.subspan(size_t(offset)), false);
        if (!segment->isComplete())
            break;
        offset = segment->nextSegment();
        segments.push_back(std::move(segment));
    }
    route.setSegments(std::move(segments));
}

bool OrvoPSFTrackFrame_1_5::rebuild(const OrvoPSFRouteFrame_1_5::Routes &routes, OrvoPSFFlashLayout &layout)
{
    if (routes.empty())
        return clear(layout);
    const bool placed = layout.placesSection(Area::Track, data(), records().data()) &&
                        std::all_of(routes.begin(), routes.end(), [&](const auto &route) {
                            return layout.holds(Area::Route, route->data(), route->size());
                        });
    if (!placed) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFTrackFrame_1_5::rebuild")
            << "the tracks or the routes do not lie where the area table puts them; nothing rebuilt";
        return false;
    }
    const std::span<uchar> area = layout.areaBytes(Area::Track);
    for (const auto &route : routes) {
        if (route->segments().empty())
            loadSegmentsOfRoute(*route);
    }

    qsizetype total = 0;
    for (const auto &route : routes) {
        for (const auto &segment : route->segments())
            total += segment->size();
    }
    if (total > qsizetype(area.size())) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFTrackFrame_1_5::rebuild")
            << "the segments need" << total << "bytes, more than the" << area.size()
            << "of the track area; nothing rebuilt";
        return false;
    }
    QByteArray packed;
    std::vector<qint64> firsts;
    for (const auto &route : routes) {
        const auto &segments = route->segments();
        firsts.push_back(segments.empty() ? -1 : packed.size());
        for (size_t i = 0; i < segments.size(); ++i) {
            const qsizetype start = packed.size();
            packed += segmentBytes(*segments[i]);
            const quint32 next = i + 1 < segments.size() ? quint32(packed.size()) : kOrvoPsfNone;
            qToLittleEndian<quint32>(next, packed.data() + start + kNextSegmentWord);
        }
    }

    std::fill(area.begin(), area.end(), uchar(0xFF));
    std::copy(packed.begin(), packed.end(), area.begin());
    for (size_t i = 0; i < routes.size(); ++i) {
        routes[i]->setFirstSegment(firsts[i]);
        loadSegmentsOfRoute(*routes[i]);
    }
    layout.setAreaUsed(Area::Track, packed.size());
    return true;
}

bool OrvoPSFTrackFrame_1_5::clear(OrvoPSFFlashLayout &layout)
{
    if (!layout.placesSection(Area::Track, data(), records().data()))
        return false;
    return layout.eraseArea(Area::Track);
}
