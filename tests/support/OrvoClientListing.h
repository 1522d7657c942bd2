#pragma once

#include "device/OrvoClient.h"
#include "device/OrvoClientData.h"

#include <QStringList>
#include <QVector>

namespace OrvoTest {

// The names of a device's items, in the device's order.
inline QStringList namesOf(const QVector<OrvoClientData> &items)
{
    QStringList names;
    names.reserve(items.size());
    for (const OrvoClientData &item : items)
        names << item.name;
    return names;
}

// What a client lists of its device's routes, rides and workouts.
struct Listing
{
    QStringList routes;
    QStringList rides;
    QStringList workouts;
};

inline Listing listingOf(OrvoClient &client)
{
    QVector<OrvoClientData> routes;
    QVector<OrvoClientData> rides;
    QVector<OrvoClientData> workouts;
    client.getRoutes(routes);
    client.getTracks(rides);
    client.getWorkouts(workouts);
    return {namesOf(routes), namesOf(rides), namesOf(workouts)};
}

} // namespace OrvoTest
