#pragma once

#include "Kavel40SampleRide.h"
#include "PsfImage15Builder.h"

#include <QByteArray>

#include <algorithm>
#include <vector>

// The input of the device-level PSF 1.5 fuzz target: its first byte picks the write action, the
// rest overwrites, in order, the regions of a Kavel40 image where the management record, the
// section table, the section headers and the first records lie. A seed is the action byte and
// the regions as the builder wrote them, so the fuzzer starts from a sound device.
namespace Psf15DeviceInput {

struct Region
{
    qsizetype offset;
    qsizetype size;
};

inline std::vector<Region> regions()
{
    const PsfImage15Builder::Areas a = PsfImage15Builder::areas("1510");
    return {{0, PsfImage15Builder::kRecordSize},
            {PsfImage15Builder::kDistHeader, 0x100},
            {a.workouts.section, 0x200},
            {a.routes.section, 0x200},
            {a.laps.first, 0x40},
            {a.intervals.first, 0x60},
            {a.workoutLogs.section, 0x80},
            {a.tracks.section, 0x100},
            {a.sensorLogs.section, 0x40},
            {a.userInfoLogs.section, 0x40}};
}

// Two planned routes, a ride with a segment, a sensor log, a user-info log and laps, and two
// workouts, the first with a log of the ride.
inline QByteArray baseImage()
{
    PsfImage15Builder builder;
    PsfImage15Builder::Segment segment = Kavel40SampleRide::segment();
    for (const char *name : {"Home", "Lake"}) {
        PsfImage15Builder::Route planned;
        planned.names = {{"eng", name}};
        planned.segments = {segment};
        builder.addRoute(planned);
    }
    segment.sensorLog = builder.addSensorLog({0x05, 0, {QByteArray::fromHex("508C"), QByteArray::fromHex("488E")}});
    const int rideIndex = Kavel40SampleRide::addRide(builder, segment, {{"eng", "Morning"}, {"fra", "Matin"}});
    Kavel40SampleRide::addWorkouts(builder, rideIndex);
    return builder.build().bytes;
}

inline QByteArray imageFrom(const QByteArray &base, const QByteArray &input)
{
    QByteArray image = base;
    qsizetype next = 1;
    for (const Region &region : regions()) {
        const qsizetype n = std::min(region.size, input.size() - next);
        if (n <= 0)
            break;
        image.replace(region.offset, n, input.constData() + next, n);
        next += n;
    }
    return image;
}

inline QByteArray seed(quint8 action, const QByteArray &image)
{
    QByteArray input(1, char(action));
    for (const Region &region : regions())
        input += image.mid(region.offset, region.size);
    return input;
}

} // namespace Psf15DeviceInput
