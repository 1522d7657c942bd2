#pragma once

#include "Kavel50Drive.h"
#include "OrvoTestSupport.h"

#include "device/OrvoDeviceInfo.h"
#include "device/OrvoFSDeviceService.h"
#include "devices/fs/OrvoKavel50CR.h"

#include <QDir>
#include <QMap>

#include <algorithm>
#include <memory>
#include <tuple>

namespace Kavel50Test {

inline OrvoDeviceInfo kavel50Row()
{
    return {QStringLiteral("0901"), QStringLiteral("Kavel50"), QStringLiteral("Tarvex"), {}};
}

// A client of the drive, without initial(); secondDrive is the drive's second volume.
inline std::unique_ptr<OrvoKavel50CR> makeClient(const QString &root, const QString &secondDrive = QString())
{
    auto service = std::make_unique<OrvoFSDeviceService>(root, kavel50Row(), root + QStringLiteral("/device.ini"));
    service->setSecondDrive(secondDrive);
    auto client = std::make_unique<OrvoKavel50CR>();
    client->setDeviceService(std::move(service));
    return client;
}

// What the client lists of the drive.
struct Lists
{
    QVector<OrvoClientData> pois, routes, rides, workouts;
};

inline Lists listAll(OrvoKavel50 &client)
{
    Lists lists;
    client.getPOIs(lists.pois);
    client.getRoutes(lists.routes);
    client.getTracks(lists.rides);
    client.getWorkouts(lists.workouts);
    return lists;
}

inline auto fields(const OrvoClientData &d)
{
    return std::make_tuple(d.id, d.name, d.description, d.latitude, d.longitude, d.place, d.activityType, d.startTime,
                           d.endTime, d.totalLength, d.startPlace, d.endPlace, d.kind, d.workoutType, d.subType,
                           d.uploaded);
}

inline QVector<OrvoClientData> sortedById(QVector<OrvoClientData> items)
{
    std::sort(items.begin(), items.end(), [](const auto &a, const auto &b) { return a.id < b.id; });
    return items;
}

// The records of both lists, in the order of their ids, field by field.
inline bool sameRecords(const QVector<OrvoClientData> &a, const QVector<OrvoClientData> &b)
{
    const QVector<OrvoClientData> left = sortedById(a);
    const QVector<OrvoClientData> right = sortedById(b);
    return std::equal(left.cbegin(), left.cend(), right.cbegin(), right.cend(),
                      [](const auto &l, const auto &r) { return fields(l) == fields(r); });
}

inline bool sameLists(const Lists &a, const Lists &b)
{
    return sameRecords(a.pois, b.pois) && sameRecords(a.routes, b.routes) && sameRecords(a.rides, b.rides) &&
           sameRecords(a.workouts, b.workouts);
}

} // namespace Kavel50Test
