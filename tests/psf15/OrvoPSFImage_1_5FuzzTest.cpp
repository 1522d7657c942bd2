#include "OrvoTestSupport.h"
#include "Psf15TestImage.h"
#include "psf15/OrvoPSFSensorLogCursor.h"
#include "psf15/OrvoPSFTrackCursor.h"

#include <gtest/gtest.h>

#include <QLoggingCategory>

#include <algorithm>
#include <random>

namespace {

using B = PsfImage15Builder;
using Ranges = QVector<QPair<qsizetype, qsizetype>>;

// Every view the readers hand out lies wholly inside the image, and a route or workout with
// its name chains inside its own area.
class Bounds
{
public:
    explicit Bounds(Psf15::Session &session)
        : m_layout(session.layout())
    {
        session.store().loadHeader(m_image);
    }

    void expectInside(const OrvoPSFObject &view, const char *what) const
    {
        EXPECT_TRUE(holds(m_image, view)) << what << " of " << view.size() << " bytes lies outside the image";
    }

    void expectInsideArea(const OrvoPSFObject &view, OrvoPSFFlashLayout::Area area, const char *what) const
    {
        const std::span<uchar> bytes = m_layout.areaBytes(area);
        EXPECT_TRUE(holds(bytes.empty() ? m_image : bytes, view))
            << what << " of " << view.size() << " bytes lies outside its area";
    }

private:
    static bool holds(std::span<uchar> bytes, const OrvoPSFObject &view)
    {
        const quintptr begin = quintptr(bytes.data());
        const quintptr end = begin + bytes.size();
        const quintptr first = quintptr(view.data());
        return first >= begin && first <= end && qsizetype(end - first) >= view.size();
    }

    OrvoPSFFlashLayout &m_layout;
    std::span<uchar> m_image;
};

// Reads everything the views offer, the way an export would.
void readAll(Psf15::Session &session)
{
    const Bounds bounds(session);
    session.layout().lastUsedRecord();
    session.layout().trackAreaFree();
    const auto routes = session.routes();
    const auto tracks = session.tracks();
    const auto workouts = session.workouts();
    const auto sensorLogs = session.logs(OrvoPSFSectionTable_1_5::SensorLog);
    const auto userInfo = session.logs(OrvoPSFSectionTable_1_5::UserInfoLog);
    session.logs(OrvoPSFSectionTable_1_5::WorkoutLog)->linkWorkoutLogs(*routes, *workouts);
    for (const auto &route : routes->routes()) {
        bounds.expectInsideArea(*route, OrvoPSFFlashLayout::Area::Route, "route");
        route->name(QString());
        route->nameImage(QString());
        for (const auto &lap : route->laps()) {
            bounds.expectInside(*lap, "lap");
            lap->averageCadence(true);
        }
        tracks->loadSegmentsOfRoute(*route);
        sensorLogs->loadSensorLogsOfRoute(*route);
        userInfo->loadUserInfoLogOfRoute(*route);
        for (const auto &segment : route->segments()) {
            bounds.expectInside(*segment, "segment");
            OrvoPSFTrackCursor cursor = segment->cursor();
            while (cursor.next())
                cursor.altitude();
        }
        for (const OrvoPSFSensorLog_1_5 *log : route->sensorLogs()) {
            bounds.expectInside(*log, "sensor log");
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
        if (const OrvoPSFUserInfoLog_1_5 *log = route->userInfoLog()) {
            bounds.expectInside(*log, "user-info log");
            for (const auto &zone : log->zones())
                zone->zoneHigh(zone->zoneCount() - 1);
        }
        for (const auto &log : route->workoutLogs()) {
            bounds.expectInside(*log, "workout log");
            log->entry(log->entryCount() - 1);
        }
    }
    for (const auto &workout : workouts->workouts()) {
        bounds.expectInsideArea(*workout, OrvoPSFFlashLayout::Area::Workout, "workout");
        workout->name(QStringLiteral("eng"));
        for (const auto &description : workout->descriptions())
            description->text();
        for (const auto &interval : workout->intervals())
            bounds.expectInside(*interval, "interval");
    }
}

// Changes the image the way device code does.
void changeAll(Psf15::Session &session, bool recorded)
{
    OrvoPSFFlashLayout &layout = session.layout();
    const auto routes = session.routes();
    const auto tracks = session.tracks();
    const auto workouts = session.workouts();
    session.logs(OrvoPSFSectionTable_1_5::WorkoutLog)->linkWorkoutLogs(*routes, *workouts);
    if (routes->removeRoutes(recorded, layout))
        tracks->rebuild(routes->routes(), layout);
    if (OrvoPSFRoute_1_5 *route = routes->addRoute({QStringLiteral("Fuzz")}, {QStringLiteral("eng")}, false, layout)) {
        tracks->loadSegmentsOfRoute(*route);
        for (const auto &segment : routes->routes().front()->segments())
            segment->addPoint(layout);
    }
    if (OrvoPSFWorkout_1_5 *workout =
            workouts->addWorkout({QStringLiteral("Fuzz")}, {QStringLiteral("eng")}, {QStringLiteral("d")},
                                 {QStringLiteral("eng")}, false, layout))
        workouts->addInterval(*workout, layout);
    if (!workouts->workouts().empty())
        workouts->addInterval(*workouts->workouts().front(), layout);
    if (recorded)
        session.logs(OrvoPSFSectionTable_1_5::SensorLog)->eraseSensorLogs(layout);
    layout.rebuildHeader();
}

// The parts of an image that changes may touch: the management header, and each area from
// its section header to its end.
Ranges writable(const QByteArray &variant)
{
    const B::Areas a = B::areas(variant);
    Ranges ranges{{0, 8192}};
    for (const B::Area &area :
         {a.workouts, a.routes, a.laps, a.intervals, a.workoutLogs, a.tracks, a.sensorLogs, a.userInfoLogs}) {
        const qsizetype start = area.section >= 0 ? area.section : area.first;
        ranges.append({start, area.first + area.capacity - start});
    }
    std::sort(ranges.begin(), ranges.end());
    return ranges;
}

void expectChangesInside(const QByteArray &before, Psf15::Session &session, const Ranges &ranges)
{
    std::span<uchar> after;
    if (!session.store().loadHeader(after)) {
        EXPECT_EQ(session.image(), before) << "an image without a header is not changed";
        return;
    }
    ASSERT_EQ(qsizetype(after.size()), before.size());
    const auto same = [&](qsizetype from, qsizetype to) {
        return std::equal(before.begin() + from, before.begin() + to, after.begin() + from,
                          [](char a, uchar b) { return uchar(a) == b; });
    };
    qsizetype from = 0;
    for (const auto &range : ranges) {
        const qsizetype to = std::min(range.first, before.size());
        if (to > from) {
            EXPECT_TRUE(same(from, to)) << "bytes changed between " << from << " and " << to;
        }
        from = std::max(from, range.first + range.second);
    }
    if (from < before.size()) {
        EXPECT_TRUE(same(from, before.size())) << "bytes changed after " << from;
    }
}

TEST(OrvoPSFImage_1_5FuzzTest, MutatedImagesAreReadAndChangedSafely)
{
    // The readers complain about every broken offset; hundreds of images would flood the log.
    QLoggingCategory::setFilterRules(QStringLiteral("orvo.psf.warning=false"));
    const B::Image base = Psf15::standardBuilder().build();
    Ranges targets = base.written;
    targets.append({0x6000 + 16, 4}); // the variant code
    std::mt19937 random(0x5EED15);
    const auto below = [&](qsizetype n) { return qsizetype(random() % quint32(std::max<qsizetype>(n, 1))); };

    // One working copy, mutated and put back each round: fresh 2 MiB buffers are slow under
    // the sanitizers.
    QByteArray work = base.bytes;
    for (int round = 0; round < 250; ++round) {
        SCOPED_TRACE(round);
        const int mutations = 1 + int(below(8));
        for (int m = 0; m < mutations; ++m) {
            // Each written range is one record or header, so its aligned words are its fields.
            const auto &target = targets.at(below(targets.size()));
            const qsizetype word = target.first + 4 * below(target.second / 4);
            const qsizetype offset = target.first + below(target.second);
            switch (below(6)) {
            case 0:
                work[offset] = char(random());
                break;
            case 1:
                work[offset] = char(work[offset] ^ char(1 << below(8)));
                break;
            case 2: // a small offset or count
                Psf15::putU32(work, word, quint32(below(512)));
                break;
            case 3: // an offset near the end of the image, or past it
                Psf15::putU32(work, word, quint32(0x1F0000 + below(0x20000)));
                break;
            case 4:
                Psf15::putU32(work, word, below(2) ? 0xFFFFFFFF : 0x7FFFFFF0);
                break;
            default:
                Psf15::putU32(work, word, random());
                break;
            }
        }
        {
            const QByteArray image = round % 25 == 24 ? work.left(below(work.size())) : work;
            const QByteArray variant = image.mid(0x6000 + 16, 4);
            Psf15::Session session(image, variant);
            readAll(session);
            changeAll(session, round % 2 == 1);
            expectChangesInside(image, session, writable(variant));
        }
        if (HasFailure())
            break;
        std::copy(base.bytes.begin(), base.bytes.end(), work.begin());
    }
    QLoggingCategory::setFilterRules(QString());
}

} // namespace
