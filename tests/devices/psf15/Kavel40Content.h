#pragma once

#include "Kavel40Emulator.h"

#include "devices/psf15/OrvoPSFFlashImage.h"
#include "psf15/OrvoPSFInterval_1_5.h"
#include "psf15/OrvoPSFRoute_1_5.h"
#include "psf15/OrvoPSFTrackPoint_1_5.h"
#include "psf15/OrvoPSFTrackSeg_1_5.h"
#include "psf15/OrvoPSFWorkout_1_5.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QStringList>

#include <ostream>

// What a client of an emulated Kavel40 holds: every planned route and ride with its names and
// its segments' points, every workout with its names, descriptions and intervals. Links between
// records are left out, as a packing moves them; what they lead to is in.
namespace Kavel40 {

struct Content
{
    bool read = false;
    QStringList routes;
    QStringList rides;
    QStringList workouts;

    bool operator==(const Content &) const = default;
};

inline std::ostream &operator<<(std::ostream &out, const Content &content)
{
    out << (content.read ? "read" : "unread") << " routes " << content.routes.join(QStringLiteral("; ")).toStdString()
        << " rides " << content.rides.join(QStringLiteral("; ")).toStdString() << " workouts "
        << content.workouts.join(QStringLiteral("; ")).toStdString();
    return out;
}

inline QString stringsText(const OrvoPSFNamedObject::Strings &strings)
{
    QStringList texts;
    for (const auto &string : strings)
        texts << QString::fromLatin1(string->code().toHex() + ':' + string->payload().toHex());
    return texts.join(QLatin1Char(','));
}

inline QString routeText(OrvoPSFFlashImage &model, OrvoPSFRoute_1_5 &route)
{
    QStringList parts{stringsText(route.names())};
    const auto *segments = model.trackSegmentsOfRoute(route);
    if (!segments)
        return parts.front() + QStringLiteral(" unreadable segments");
    for (const auto &segment : *segments) {
        QCryptographicHash hash(QCryptographicHash::Md5);
        for (const auto &point : segment->points())
            hash.addData(point->bytesAt(0, point->size()));
        parts << QStringLiteral("%1 points %2")
                     .arg(segment->points().size())
                     .arg(QString::fromLatin1(hash.result().toHex().left(8)));
    }
    return parts.join(QLatin1Char('|'));
}

inline QString workoutText(const OrvoPSFWorkout_1_5 &workout)
{
    QStringList parts{stringsText(workout.names()), stringsText(workout.descriptions())};
    for (const auto &interval : workout.intervals())
        parts << QString::fromLatin1((interval->bytesAt(0, 4) + interval->bytesAt(8, 16)).toHex());
    return parts.join(QLatin1Char('|'));
}

// The program's copy as the client holds it.
inline Content contentOf(OrvoPSFDevice &client)
{
    Content content;
    OrvoPSFFlashImage *model = client.flashImage();
    std::vector<OrvoPSFRoute_1_5 *> routes;
    std::vector<OrvoPSFRoute_1_5 *> rides;
    std::vector<OrvoPSFWorkout_1_5 *> workouts;
    if (!model || !model->routes(false, routes) || !model->routes(true, rides) || !model->workouts(workouts))
        return content;
    content.read = true;
    for (OrvoPSFRoute_1_5 *route : routes)
        content.routes << routeText(*model, *route);
    for (OrvoPSFRoute_1_5 *ride : rides)
        content.rides << routeText(*model, *ride);
    for (const OrvoPSFWorkout_1_5 *workout : workouts)
        content.workouts << workoutText(*workout);
    return content;
}

// What a fresh client reads from the device.
inline Content readBack(const std::shared_ptr<OrvoEmulatedFlashDevice> &device)
{
    auto client = makeClient(device);
    if (!client->initial())
        return Content();
    return contentOf(*client);
}

} // namespace Kavel40
