#include "psf15/OrvoPSFRouteFrame_1_5.h"

#include "env/OrvoFunctionTrace.h"
#include "psf/OrvoPSFLogging.h"
#include "psf/OrvoPSFNone.h"
#include "psf15/OrvoPSFFlashLayout.h"

#include <QSet>
#include <QtEndian>

#include <algorithm>

namespace {

constexpr qsizetype kRecordsWord = 0;
constexpr qsizetype kLapBaseWord = 4;
constexpr qsizetype kCountOffset = 8;
constexpr quint16 kAbsentCount = 0xFFFF;
constexpr qsizetype kNextRouteWord = 28;
using Area = OrvoPSFFlashLayout::Area;

} // namespace

OrvoPSFRouteFrame_1_5::OrvoPSFRouteFrame_1_5(std::span<uchar> section, std::span<uchar> area)
    : OrvoPSFObject(section)
    , m_area(area)
{
    loadRoutes();
}

OrvoPSFRouteFrame_1_5::~OrvoPSFRouteFrame_1_5() = default;

qsizetype OrvoPSFRouteFrame_1_5::size() const
{
    return std::max<qint64>(link(kRecordsWord), 0);
}

int OrvoPSFRouteFrame_1_5::count() const
{
    const quint16 stored = u16(kCountOffset);
    return stored == kAbsentCount ? 0 : stored;
}

std::span<uchar> OrvoPSFRouteFrame_1_5::records() const
{
    const qint64 offset = link(kRecordsWord);
    return offset < 0 ? std::span<uchar>() : OrvoPSFFlashLayout::clipToArea(spanFrom(offset), m_area);
}

std::span<uchar> OrvoPSFRouteFrame_1_5::lapBase() const
{
    const qint64 offset = link(kLapBaseWord);
    return offset < 0 ? std::span<uchar>() : spanFrom(offset);
}

const OrvoPSFRouteFrame_1_5::Routes &OrvoPSFRouteFrame_1_5::routes() const
{
    return m_routes;
}

qint64 OrvoPSFRouteFrame_1_5::routeOffset(const OrvoPSFRoute_1_5 &route) const
{
    return route.data() - records().data();
}

qint64 OrvoPSFRouteFrame_1_5::endOffset() const
{
    qint64 end = 0;
    for (const auto &route : m_routes)
        end = std::max(end, routeOffset(*route) + route->size());
    return end;
}

OrvoPSFRoute_1_5 *OrvoPSFRouteFrame_1_5::addRoute(const QStringList &texts, const QStringList &codes, bool bitFont,
                                                  OrvoPSFFlashLayout &layout)
{
    const std::span<uchar> area = records();
    if (!isPlaced(layout) || count() >= kAbsentCount - 1 ||
        !layout.hasRoom(Area::Route, OrvoPSFRoute_1_5::kFixedSize)) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFRouteFrame_1_5::addRoute")
            << "no route can be added to a section of" << count() << "routes";
        return nullptr;
    }

    // The route is put together apart first, so that nothing is written when it does not fit.
    qsizetype bound = OrvoPSFRoute_1_5::kFixedSize;
    for (const QString &text : texts)
        bound += OrvoPSFNamedObject::stringBound(text, bitFont, false);
    const qsizetype room =
        std::min({qsizetype(layout.areaFree(Area::Route)), qsizetype(layout.areaCapacity(Area::Route)), bound});
    QByteArray scratch(room, '\xFF');
    OrvoPSFRoute_1_5 fresh(spanOf(scratch));
    fresh.setBitFont(bitFont);
    for (qsizetype i = 0; i < texts.size(); ++i) {
        if (!fresh.addName(texts.at(i), codes.value(i))) {
            ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFRouteFrame_1_5::addRoute")
                << "the names of the route do not fit the" << room << "free bytes of the route area";
            return nullptr;
        }
    }
    const qsizetype routeSize = fresh.size();
    const qint64 position = endOffset();
    if (!layout.hasRoom(Area::Route, routeSize) || position > qint64(area.size()) ||
        !layout.holds(Area::Route, area.data() + position, routeSize))
        return nullptr;

    std::copy_n(scratch.constData(), routeSize, area.begin() + position);
    setCount(count() + 1);
    if (!m_routes.empty())
        m_routes.back()->setNextRoute(position);
    m_routes.push_back(std::make_unique<OrvoPSFRoute_1_5>(area.subspan(size_t(position)), lapBase()));
    layout.recordAdded(Area::Route, routeSize);
    return m_routes.back().get();
}

bool OrvoPSFRouteFrame_1_5::removeRoutes(bool recorded, OrvoPSFFlashLayout &layout)
{
    if (!isPlaced(layout)) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFRouteFrame_1_5::removeRoutes") << "nothing removed";
        return false;
    }
    const std::span<uchar> area = layout.areaBytes(Area::Route);
    std::vector<OrvoPSFRoute_1_5 *> kept;
    for (const auto &route : m_routes) {
        if (route->isRecorded() != recorded)
            kept.push_back(route.get());
    }
    if (kept.empty())
        return clear(layout);

    qsizetype total = 0;
    for (const OrvoPSFRoute_1_5 *route : kept)
        total += route->size();
    if (total > qsizetype(area.size())) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFRouteFrame_1_5::removeRoutes")
            << "the kept routes need" << total << "bytes, more than the" << area.size()
            << "of the route area; nothing removed";
        return false;
    }
    QByteArray packed;
    std::vector<qsizetype> offsets;
    for (size_t i = 0; i < kept.size(); ++i) {
        offsets.push_back(packed.size());
        const qsizetype start = packed.size();
        packed += kept[i]->bytesAt(0, kept[i]->size());
        const quint32 next = i + 1 < kept.size() ? quint32(packed.size()) : kOrvoPsfNone;
        qToLittleEndian<quint32>(next, packed.data() + start + kNextRouteWord);
    }

    // The workout logs of the kept rides follow them to their new offsets.
    std::vector<OrvoPSFRoute_1_5::WorkoutLogs> logs;
    for (size_t i = 0; i < kept.size(); ++i) {
        logs.emplace_back();
        for (auto &log : kept[i]->takeWorkoutLogs()) {
            if (!layout.holds(Area::WorkoutLog, log->data(), log->size()))
                continue;
            log->setRouteOffset(offsets[i]);
            logs.back().push_back(std::move(log));
        }
    }

    m_routes.clear();
    std::fill(area.begin(), area.end(), uchar(0xFF));
    std::copy(packed.begin(), packed.end(), area.begin());
    setCount(int(kept.size()));
    loadRoutes();
    for (size_t i = 0; i < logs.size() && i < m_routes.size(); ++i) {
        for (auto &log : logs[i])
            m_routes[i]->attachWorkoutLog(std::move(log));
    }
    layout.setAreaUsed(Area::Route, packed.size());
    if (recorded)
        layout.eraseArea(Area::Lap);
    return true;
}

bool OrvoPSFRouteFrame_1_5::clear(OrvoPSFFlashLayout &layout)
{
    if (!layout.placesSection(Area::Route, data(), records().data())) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFRouteFrame_1_5::clear") << "nothing erased";
        return false;
    }
    m_routes.clear();
    setCount(0);
    layout.eraseArea(Area::Route);
    layout.eraseArea(Area::Lap);
    return true;
}

void OrvoPSFRouteFrame_1_5::loadRoutes()
{
    m_routes.clear();
    const std::span<uchar> area = records();
    const std::span<uchar> laps = lapBase();
    QSet<qint64> visited;
    qint64 offset = 0;
    for (int i = 0; i < count() && offset >= 0; ++i) {
        if (visited.contains(offset) || offset >= qint64(area.size())) {
            ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFRouteFrame_1_5::loadRoutes")
                << "route" << i << "at offset" << offset << "is visited twice or lies outside the" << area.size()
                << "bytes of the route records; the walk ends there";
            break;
        }
        visited.insert(offset);
        auto route = std::make_unique<OrvoPSFRoute_1_5>(area.subspan(size_t(offset)), laps);
        if (!route->isComplete()) {
            ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFRouteFrame_1_5::loadRoutes")
                << "route" << i << "at offset" << offset << "runs past the route records";
            break;
        }
        offset = route->nextRoute();
        m_routes.push_back(std::move(route));
    }
}

bool OrvoPSFRouteFrame_1_5::isPlaced(OrvoPSFFlashLayout &layout) const
{
    if (!layout.placesSection(Area::Route, data(), records().data()))
        return false;
    return std::all_of(m_routes.begin(), m_routes.end(),
                       [&](const auto &route) { return layout.holds(Area::Route, route->data(), route->size()); });
}

bool OrvoPSFRouteFrame_1_5::setCount(int count)
{
    return setU16(kCountOffset, quint16(count));
}
