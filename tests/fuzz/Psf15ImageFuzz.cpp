// A PSF 1.5 flash image: every frame walked the way an export reads it, then changed once the
// way the device code does. Every view handed out must lie inside the image.

#include "FuzzSupport.h"

#include "psf15/OrvoPSFFlashLayout.h"
#include "psf15/OrvoPSFMemoryStore.h"
#include "psf15/OrvoPSFRouteFrame_1_5.h"
#include "psf15/OrvoPSFSectionRef_1_5.h"
#include "psf15/OrvoPSFSectionTable_1_5.h"
#include "psf15/OrvoPSFSensorLogCursor.h"
#include "psf15/OrvoPSFTrackCursor.h"
#include "psf15/OrvoPSFTrackFrame_1_5.h"
#include "psf15/OrvoPSFWorkoutFrame_1_5.h"

#include <memory>

namespace {

// Where the variant code of the image stands: in the distribution header at 0x6000.
constexpr qsizetype kVariantOffset = 0x6000 + 16;

class Walk
{
public:
    explicit Walk(const QByteArray &image)
        : m_store(image)
    {
        m_store.layout().setVariant(image.mid(kVariantOffset, 4));
        std::span<uchar> dist;
        if (m_store.loadDistHeader(dist))
            m_table = std::make_unique<OrvoPSFSectionTable_1_5>(dist);
        m_store.loadHeader(m_image);
    }

    void readAll();
    void changeOnce(bool recorded);

private:
    std::span<uchar> section(int index) const { return m_table ? m_table->section(index) : std::span<uchar>(); }
    std::span<uchar> area(OrvoPSFFlashLayout::Area which) { return m_store.layout().areaBytes(which); }
    void expectInside(const OrvoPSFObject &view) const;
    void readRoute(OrvoPSFRoute_1_5 &route, OrvoPSFTrackFrame_1_5 &tracks, OrvoPSFSectionRef_1_5 &sensorLogs,
                   OrvoPSFSectionRef_1_5 &userInfoLogs) const;

    OrvoPSFMemoryStore m_store;
    std::unique_ptr<OrvoPSFSectionTable_1_5> m_table;
    std::span<uchar> m_image;
};

void Walk::expectInside(const OrvoPSFObject &view) const
{
    const quintptr begin = quintptr(m_image.data());
    const quintptr end = begin + m_image.size();
    const quintptr first = quintptr(view.data());
    if (first < begin || first > end || qsizetype(end - first) < view.size())
        FuzzSupport::fail("a view lies outside the image");
}

void Walk::readRoute(OrvoPSFRoute_1_5 &route, OrvoPSFTrackFrame_1_5 &tracks, OrvoPSFSectionRef_1_5 &sensorLogs,
                     OrvoPSFSectionRef_1_5 &userInfoLogs) const
{
    expectInside(route);
    route.name(QString());
    route.nameImage(QString());
    for (const auto &lap : route.laps()) {
        expectInside(*lap);
        lap->averageCadence(true);
    }
    tracks.loadSegmentsOfRoute(route);
    sensorLogs.loadSensorLogsOfRoute(route);
    userInfoLogs.loadUserInfoLogOfRoute(route);
    for (const auto &segment : route.segments()) {
        expectInside(*segment);
        OrvoPSFTrackCursor cursor = segment->cursor();
        while (cursor.next())
            cursor.altitude();
    }
    for (const OrvoPSFSensorLog_1_5 *log : route.sensorLogs()) {
        expectInside(*log);
        OrvoPSFSensorLogCursor cursor(*log);
        while (cursor.next()) {
            cursor.speed();
            cursor.scaledByteChannel();
            cursor.byteChannelB();
            cursor.wordChannel();
            cursor.temperature();
            cursor.doubledWordChannel();
        }
    }
    if (const OrvoPSFUserInfoLog_1_5 *log = route.userInfoLog()) {
        expectInside(*log);
        for (const auto &zone : log->zones())
            zone->zoneHigh(zone->zoneCount() - 1);
    }
    for (const auto &log : route.workoutLogs()) {
        expectInside(*log);
        log->entry(log->entryCount() - 1);
    }
}

void Walk::readAll()
{
    m_store.layout().lastUsedRecord();
    m_store.layout().trackAreaFree();
    OrvoPSFRouteFrame_1_5 routes(section(OrvoPSFSectionTable_1_5::Route), area(OrvoPSFFlashLayout::Area::Route));
    OrvoPSFTrackFrame_1_5 tracks(section(OrvoPSFSectionTable_1_5::Track));
    OrvoPSFWorkoutFrame_1_5 workouts(section(OrvoPSFSectionTable_1_5::Workout),
                                     area(OrvoPSFFlashLayout::Area::Workout));
    OrvoPSFSectionRef_1_5 sensorLogs(section(OrvoPSFSectionTable_1_5::SensorLog));
    OrvoPSFSectionRef_1_5 userInfoLogs(section(OrvoPSFSectionTable_1_5::UserInfoLog));
    OrvoPSFSectionRef_1_5(section(OrvoPSFSectionTable_1_5::WorkoutLog)).linkWorkoutLogs(routes, workouts);
    for (const auto &route : routes.routes())
        readRoute(*route, tracks, sensorLogs, userInfoLogs);
    for (const auto &workout : workouts.workouts()) {
        expectInside(*workout);
        workout->name(QStringLiteral("eng"));
        for (const auto &description : workout->descriptions())
            description->text();
        for (const auto &interval : workout->intervals())
            expectInside(*interval);
    }
}

void Walk::changeOnce(bool recorded)
{
    OrvoPSFFlashLayout &layout = m_store.layout();
    OrvoPSFRouteFrame_1_5 routes(section(OrvoPSFSectionTable_1_5::Route), area(OrvoPSFFlashLayout::Area::Route));
    OrvoPSFTrackFrame_1_5 tracks(section(OrvoPSFSectionTable_1_5::Track));
    OrvoPSFWorkoutFrame_1_5 workouts(section(OrvoPSFSectionTable_1_5::Workout),
                                     area(OrvoPSFFlashLayout::Area::Workout));
    OrvoPSFSectionRef_1_5(section(OrvoPSFSectionTable_1_5::WorkoutLog)).linkWorkoutLogs(routes, workouts);
    if (routes.removeRoutes(recorded, layout))
        tracks.rebuild(routes.routes(), layout);
    if (OrvoPSFRoute_1_5 *route = routes.addRoute({QStringLiteral("Fuzz")}, {QStringLiteral("eng")}, false, layout)) {
        tracks.loadSegmentsOfRoute(*route);
        for (const auto &segment : routes.routes().front()->segments())
            segment->addPoint(layout);
    }
    if (OrvoPSFWorkout_1_5 *workout =
            workouts.addWorkout({QStringLiteral("Fuzz")}, {QStringLiteral("eng")}, {QStringLiteral("d")},
                                {QStringLiteral("eng")}, false, layout))
        workouts.addInterval(*workout, layout);
    if (recorded)
        OrvoPSFSectionRef_1_5(section(OrvoPSFSectionTable_1_5::SensorLog)).eraseSensorLogs(layout);
    layout.rebuildHeader();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool ready = FuzzSupport::prepare();
    Q_UNUSED(ready);
    const QByteArray image = FuzzSupport::bytes(data, size);
    Walk walk(image);
    walk.readAll();
    // Which change runs is the input's choice, so that both kinds of removal are reached.
    walk.changeOnce(size % 2 == 1);
    walk.readAll();
    return 0;
}
