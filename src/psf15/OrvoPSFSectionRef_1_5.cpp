#include "psf15/OrvoPSFSectionRef_1_5.h"

#include "env/OrvoFunctionTrace.h"
#include "psf/OrvoPSFLogging.h"
#include "psf15/OrvoPSFFlashLayout.h"
#include "psf15/OrvoPSFRouteFrame_1_5.h"
#include "psf15/OrvoPSFWorkoutFrame_1_5.h"

#include <QHash>
#include <QSet>

#include <algorithm>

namespace {

constexpr qsizetype kRecordsWord = 0;
using Area = OrvoPSFFlashLayout::Area;

} // namespace

OrvoPSFSectionRef_1_5::OrvoPSFSectionRef_1_5(std::span<uchar> section)
    : OrvoPSFObject(section)
{}

qsizetype OrvoPSFSectionRef_1_5::size() const
{
    return std::max<qint64>(link(kRecordsWord), 0);
}

std::span<uchar> OrvoPSFSectionRef_1_5::records() const
{
    const qint64 offset = link(kRecordsWord);
    return offset < 0 ? std::span<uchar>() : spanFrom(offset);
}

void OrvoPSFSectionRef_1_5::loadSensorLogsOfRoute(OrvoPSFRoute_1_5 &route) const
{
    for (const auto &segment : route.segments()) {
        const std::span<uchar> bytes =
            recordAt(segment->sensorLogOffset(), OrvoPSFSensorLog_1_5::kHeaderSize, "sensor log");
        segment->setSensorLog(bytes.empty() ? nullptr : std::make_unique<OrvoPSFSensorLog_1_5>(bytes));
    }
}

void OrvoPSFSectionRef_1_5::loadUserInfoLogOfRoute(OrvoPSFRoute_1_5 &route) const
{
    const std::span<uchar> bytes =
        recordAt(route.userInfoLogOffset(), OrvoPSFUserInfoLog_1_5::kFixedSize, "user-info log");
    route.setUserInfoLog(bytes.empty() ? nullptr : std::make_unique<OrvoPSFUserInfoLog_1_5>(bytes));
}

void OrvoPSFSectionRef_1_5::linkWorkoutLogs(OrvoPSFRouteFrame_1_5 &routes,
                                            const OrvoPSFWorkoutFrame_1_5 &workouts) const
{
    QHash<qint64, OrvoPSFRoute_1_5 *> byOffset;
    for (const auto &route : routes.routes()) {
        route->takeWorkoutLogs();
        byOffset.insert(routes.routeOffset(*route), route.get());
    }
    for (const auto &workout : workouts.workouts()) {
        QSet<qint64> visited;
        for (qint64 offset = workout->firstWorkoutLog(); offset >= 0;) {
            if (visited.contains(offset)) {
                ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFSectionRef_1_5::linkWorkoutLogs")
                    << "workout log chain returns to offset" << offset << "; the walk ends there";
                break;
            }
            visited.insert(offset);
            const std::span<uchar> bytes = recordAt(offset, OrvoPSFWorkoutLog_1_5::kFixedSize, "workout log");
            if (bytes.empty())
                break;
            auto log = std::make_unique<OrvoPSFWorkoutLog_1_5>(bytes);
            offset = log->nextLog();
            if (OrvoPSFRoute_1_5 *route = byOffset.value(log->routeOffset()))
                route->attachWorkoutLog(std::move(log));
        }
    }
}

bool OrvoPSFSectionRef_1_5::eraseSensorLogs(OrvoPSFFlashLayout &layout)
{
    return layout.eraseArea(Area::SensorLog);
}

bool OrvoPSFSectionRef_1_5::eraseWorkoutLogs(OrvoPSFFlashLayout &layout)
{
    return layout.eraseArea(Area::WorkoutLog);
}

bool OrvoPSFSectionRef_1_5::eraseUserInfoLogs(OrvoPSFFlashLayout &layout)
{
    return layout.eraseArea(Area::UserInfoLog);
}

std::span<uchar> OrvoPSFSectionRef_1_5::recordAt(qint64 offset, qsizetype minimum, const char *what) const
{
    if (offset < 0)
        return {};
    const std::span<uchar> area = records();
    if (offset > qint64(area.size()) || minimum > qint64(area.size()) - offset) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFSectionRef_1_5::recordAt")
            << what << "at offset" << offset << "lies outside the" << area.size() << "bytes of its records";
        return {};
    }
    return area.subspan(size_t(offset));
}
