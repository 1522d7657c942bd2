#include "devices/psf15/OrvoPSFFlashImage.h"

#include "devices/psf15/OrvoPSFDeviceLogging.h"
#include "env/OrvoFunctionTrace.h"
#include "profile/OrvoProfileData.h"
#include "psf15/OrvoPSFFlashLayout.h"
#include "psf15/OrvoPSFInterval_1_5.h"
#include "psf15/OrvoPSFRouteFrame_1_5.h"
#include "psf15/OrvoPSFSectionRef_1_5.h"
#include "psf15/OrvoPSFSectionTable_1_5.h"
#include "psf15/OrvoPSFStore.h"
#include "psf15/OrvoPSFTrackFrame_1_5.h"
#include "psf15/OrvoPSFWorkoutFrame_1_5.h"

#include <QSet>

#include <algorithm>

namespace {

constexpr qsizetype kVariantOffset = 16;
constexpr qsizetype kVariantSize = 4;
using Table = OrvoPSFSectionTable_1_5;
using Area = OrvoPSFFlashLayout::Area;

// Builds a view once over a loaded, present section.
template<typename View, typename... Bounds>
View *lazy(std::unique_ptr<View> &view, bool loaded, std::span<uchar> section, Bounds... bounds)
{
    if (!view && loaded && !section.empty())
        view = std::make_unique<View>(section, bounds...);
    return view.get();
}

} // namespace

OrvoPSFFlashImage::OrvoPSFFlashImage(OrvoPSFStore &store)
    : m_store(store)
{
    std::span<uchar> distHeader;
    if (m_store.loadDistHeader(distHeader)) {
        m_base = distHeader;
        m_table = std::make_unique<OrvoPSFSectionTable_1_5>(distHeader);
    }
}

// The views go in the reverse order of their building, the section table last.
OrvoPSFFlashImage::~OrvoPSFFlashImage()
{
    m_userInfoSection.reset();
    m_workoutLogSection.reset();
    m_workoutFrame.reset();
    m_sensorLogSection.reset();
    m_trackFrame.reset();
    m_routeFrame.reset();
    m_table.reset();
}

QByteArray OrvoPSFFlashImage::variantCode() const
{
    if (qsizetype(m_base.size()) < kVariantOffset + kVariantSize)
        return QByteArray();
    return QByteArray(reinterpret_cast<const char *>(m_base.data() + kVariantOffset), kVariantSize);
}

std::span<uchar> OrvoPSFFlashImage::section(int index) const
{
    return m_table ? m_table->section(index) : std::span<uchar>();
}

OrvoPSFRouteFrame_1_5 *OrvoPSFFlashImage::routeFrame()
{
    if (m_routeFrame || !m_table)
        return m_routeFrame.get();
    const bool loaded = m_store.loadRoutes();
    return lazy(m_routeFrame, loaded, section(Table::Route), m_store.layout().areaBytes(Area::Route));
}

OrvoPSFTrackFrame_1_5 *OrvoPSFFlashImage::trackFrame()
{
    if (m_trackFrame || !m_table)
        return m_trackFrame.get();
    return lazy(m_trackFrame, m_store.loadTracks(), section(Table::Track));
}

OrvoPSFSectionRef_1_5 *OrvoPSFFlashImage::sensorLogSection()
{
    if (m_sensorLogSection || !m_table)
        return m_sensorLogSection.get();
    return lazy(m_sensorLogSection, m_store.loadSensorLogs(), section(Table::SensorLog));
}

OrvoPSFWorkoutFrame_1_5 *OrvoPSFFlashImage::workoutFrame()
{
    if (m_workoutFrame || !m_table)
        return m_workoutFrame.get();
    const bool loaded = m_store.loadWorkouts();
    OrvoPSFFlashLayout &layout = m_store.layout();
    const qint64 used = qint64(layout.areaEnd(Area::Workout)) - layout.areaFirstRecord(Area::Workout);
    return lazy(m_workoutFrame, loaded, section(Table::Workout), layout.areaBytes(Area::Workout), used);
}

OrvoPSFSectionRef_1_5 *OrvoPSFFlashImage::workoutLogSection()
{
    if (m_workoutLogSection || !m_table)
        return m_workoutLogSection.get();
    OrvoPSFWorkoutFrame_1_5 *workouts = workoutFrame();
    OrvoPSFRouteFrame_1_5 *routes = routeFrame();
    if (!workouts || !routes)
        return nullptr;
    if (lazy(m_workoutLogSection, m_store.loadWorkoutLogs(), section(Table::WorkoutLog)))
        m_workoutLogSection->linkWorkoutLogs(*routes, *workouts);
    return m_workoutLogSection.get();
}

OrvoPSFSectionRef_1_5 *OrvoPSFFlashImage::userInfoSection()
{
    if (m_userInfoSection || !m_table)
        return m_userInfoSection.get();
    return lazy(m_userInfoSection, m_store.loadUserInfoLogs(), section(Table::UserInfoLog));
}

bool OrvoPSFFlashImage::routes(bool recorded, std::vector<OrvoPSFRoute_1_5 *> &list)
{
    OrvoPSFRouteFrame_1_5 *frame = routeFrame();
    if (!frame)
        return false;
    for (const auto &route : frame->routes()) {
        if (route->isRecorded() == recorded)
            list.push_back(route.get());
    }
    return true;
}

bool OrvoPSFFlashImage::hasRouteSections()
{
    // Every section a route change reaches, loaded before anything changes, and the route and
    // track sections where the table puts them: an erase of the table's areas would otherwise
    // miss the records the sections count.
    if (!routeFrame() || !trackFrame() || !sensorLogSection() || !userInfoSection() || !workoutLogSection())
        return false;
    OrvoPSFFlashLayout &layout = m_store.layout();
    return layout.placesSection(Area::Route, m_routeFrame->data(), m_routeFrame->records().data()) &&
           layout.placesSection(Area::Track, m_trackFrame->data(), m_trackFrame->records().data());
}

bool OrvoPSFFlashImage::removeRoutes(bool recorded)
{
    if (!hasRouteSections())
        return false;
    OrvoPSFFlashLayout &layout = m_store.layout();
    if (!m_routeFrame->removeRoutes(recorded, layout))
        return false;
    if (!m_trackFrame->rebuild(m_routeFrame->routes(), layout)) {
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, "OrvoPSFFlashImage::removeRoutes")
            << "the routes are removed but the tracks of the others cannot be packed";
        return false;
    }
    if (recorded) {
        m_sensorLogSection->eraseSensorLogs(layout);
        m_userInfoSection->eraseUserInfoLogs(layout);
        m_workoutLogSection->eraseWorkoutLogs(layout);
        m_workoutFrame->clearWorkoutLogLinks();
    }
    return true;
}

bool OrvoPSFFlashImage::clearAllRoutes()
{
    if (!hasRouteSections())
        return false;
    OrvoPSFFlashLayout &layout = m_store.layout();
    if (!m_routeFrame->clear(layout) || !m_trackFrame->clear(layout))
        return false;
    m_sensorLogSection->eraseSensorLogs(layout);
    m_userInfoSection->eraseUserInfoLogs(layout);
    m_workoutLogSection->eraseWorkoutLogs(layout);
    // The workouts must not keep links into the erased logs.
    m_workoutFrame->clearWorkoutLogLinks();
    return true;
}

bool OrvoPSFFlashImage::workouts(std::vector<OrvoPSFWorkout_1_5 *> &list)
{
    OrvoPSFWorkoutFrame_1_5 *frame = workoutFrame();
    if (!frame)
        return false;
    for (const auto &workout : frame->workouts())
        list.push_back(workout.get());
    return true;
}

bool OrvoPSFFlashImage::clearWorkouts()
{
    OrvoPSFWorkoutFrame_1_5 *frame = workoutFrame();
    return frame && frame->clear(m_store.layout());
}

bool OrvoPSFFlashImage::removeWorkouts(const QSet<int> &indexes)
{
    OrvoPSFWorkoutFrame_1_5 *frame = workoutFrame();
    return frame && frame->removeWorkouts(indexes, m_store.layout());
}

bool OrvoPSFFlashImage::clearAll()
{
    OrvoPSFWorkoutFrame_1_5 *workouts = workoutFrame();
    if (!workouts || !hasRouteSections() || !workouts->canClear(m_store.layout()))
        return false;
    return clearAllRoutes() && workouts->clear(m_store.layout());
}

bool OrvoPSFFlashImage::readProfile(QMap<QString, QString> &values)
{
    std::span<uchar> block;
    if (!m_store.loadInfoArea(block))
        return false;
    if (m_profile.isEmpty()) {
        OrvoProfileData profile(QByteArray(reinterpret_cast<const char *>(block.data()), qsizetype(block.size())),
                                OrvoProfileData::Psf_2_0_0);
        if (m_today)
            profile.setTodayFunction(m_today);
        if (!profile.parse())
            return false;
        m_profile = profile.values();
    }
    values = m_profile;
    return true;
}

bool OrvoPSFFlashImage::saveProfile(const QMap<QString, QString> &values)
{
    std::span<uchar> block;
    if (!m_store.loadInfoArea(block))
        return false;
    OrvoProfileData profile(QByteArray(reinterpret_cast<const char *>(block.data()), qsizetype(block.size())),
                            OrvoProfileData::Psf_2_0_0);
    if (m_today)
        profile.setTodayFunction(m_today);
    profile.setValues(values);
    if (!profile.serialize())
        return false;
    const QByteArray raw = profile.rawData();
    std::copy_n(raw.constData(), std::min(raw.size(), qsizetype(block.size())), block.begin());
    m_profile.clear();
    return true;
}

void OrvoPSFFlashImage::setTodayFunction(OrvoTodayFunction today)
{
    m_today = std::move(today);
}

OrvoPSFRoute_1_5 *OrvoPSFFlashImage::addRoute(const QStringList &texts, const QStringList &codes, bool bitFont)
{
    OrvoPSFRouteFrame_1_5 *frame = routeFrame();
    return frame ? frame->addRoute(texts, codes, bitFont, m_store.layout()) : nullptr;
}

OrvoPSFWorkout_1_5 *OrvoPSFFlashImage::addWorkout(const QStringList &texts, const QStringList &codes,
                                                  const QStringList &descTexts, const QStringList &descCodes,
                                                  bool bitFont)
{
    OrvoPSFWorkoutFrame_1_5 *frame = workoutFrame();
    return frame ? frame->addWorkout(texts, codes, descTexts, descCodes, bitFont, m_store.layout()) : nullptr;
}

OrvoPSFInterval_1_5 *OrvoPSFFlashImage::addInterval(OrvoPSFWorkout_1_5 &workout)
{
    OrvoPSFWorkoutFrame_1_5 *frame = workoutFrame();
    return frame ? frame->addInterval(workout, m_store.layout()) : nullptr;
}

bool OrvoPSFFlashImage::trackAreaHasRoom(qsizetype n)
{
    OrvoPSFTrackFrame_1_5 *frame = trackFrame();
    OrvoPSFFlashLayout &layout = m_store.layout();
    if (!frame || !layout.placesSection(Area::Track, frame->data(), frame->records().data()))
        return false;
    const quint32 end = layout.areaEnd(Area::Track);
    const quint32 first = layout.areaFirstRecord(Area::Track);
    const std::span<uchar> area = layout.areaBytes(Area::Track);
    if (end < first || end - first > area.size()) {
        ORVO_TRACE_WARNING(lcOrvoPsfDevice, "OrvoPSFFlashImage::trackAreaHasRoom")
            << "the track end" << end << "lies outside the area from" << first;
        return false;
    }
    return layout.hasRoom(Area::Track, n) && layout.holds(Area::Track, area.data() + (end - first), n);
}

OrvoPSFTrackSeg_1_5 *OrvoPSFFlashImage::newTrackSegment(OrvoPSFRoute_1_5 &route)
{
    const auto *segments = trackSegmentsOfRoute(route);
    if (!segments || !trackAreaHasRoom(OrvoPSFTrackSeg_1_5::kHeaderSize)) {
        ORVO_TRACE_WARNING(lcOrvoPsfDevice, "OrvoPSFFlashImage::newTrackSegment") << "no room for a track segment";
        return nullptr;
    }
    OrvoPSFFlashLayout &layout = m_store.layout();
    const qint64 offset = qint64(layout.areaEnd(Area::Track)) - layout.areaFirstRecord(Area::Track);
    OrvoPSFTrackSeg_1_5 fresh(m_trackFrame->records().subspan(size_t(offset)), true);
    layout.recordAdded(Area::Track, OrvoPSFTrackSeg_1_5::kHeaderSize);
    if (segments->empty())
        route.setFirstSegment(offset);
    else
        segments->back()->setNextSegment(offset);
    // The views are built again from the image, so the route holds the new segment as read.
    m_trackFrame->loadSegmentsOfRoute(route);
    return route.segments().empty() ? nullptr : route.segments().back().get();
}

const OrvoPSFRoute_1_5::Segments *OrvoPSFFlashImage::trackSegmentsOfRoute(OrvoPSFRoute_1_5 &route)
{
    OrvoPSFTrackFrame_1_5 *frame = trackFrame();
    if (!frame)
        return nullptr;
    if (route.segments().empty())
        frame->loadSegmentsOfRoute(route);
    return &route.segments();
}

bool OrvoPSFFlashImage::sensorLogsOfRoute(OrvoPSFRoute_1_5 &route, std::vector<const OrvoPSFSensorLog_1_5 *> &logs)
{
    OrvoPSFSectionRef_1_5 *section = sensorLogSection();
    if (!trackSegmentsOfRoute(route) || !section)
        return false;
    section->loadSensorLogsOfRoute(route);
    logs = route.sensorLogs();
    return true;
}

const OrvoPSFUserInfoLog_1_5 *OrvoPSFFlashImage::userInfoOfRoute(OrvoPSFRoute_1_5 &route)
{
    OrvoPSFSectionRef_1_5 *section = userInfoSection();
    if (!section)
        return nullptr;
    if (!route.userInfoLog())
        section->loadUserInfoLogOfRoute(route);
    return route.userInfoLog();
}

OrvoPSFFlashImage::WorkoutLogLink OrvoPSFFlashImage::workoutLogOf(OrvoPSFRoute_1_5 &route)
{
    WorkoutLogLink link;
    if (!workoutLogSection() || route.workoutLogs().empty())
        return link;
    link.log = route.workoutLogs().front().get();
    link.workout = workoutHolding(*link.log);
    return link;
}

// Walks every workout's chain of logs as the links were made, to the log's own address.
const OrvoPSFWorkout_1_5 *OrvoPSFFlashImage::workoutHolding(const OrvoPSFWorkoutLog_1_5 &log)
{
    const std::span<uchar> records = m_workoutLogSection->records();
    for (const auto &workout : m_workoutFrame->workouts()) {
        QSet<qint64> visited;
        for (qint64 offset = workout->firstWorkoutLog(); offset >= 0 && !visited.contains(offset);) {
            visited.insert(offset);
            if (offset > qint64(records.size()) || OrvoPSFWorkoutLog_1_5::kFixedSize > qint64(records.size()) - offset)
                break;
            if (records.data() + offset == log.data())
                return workout.get();
            offset = OrvoPSFWorkoutLog_1_5(records.subspan(size_t(offset))).nextLog();
        }
    }
    return nullptr;
}
