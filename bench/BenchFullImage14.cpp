#include "BenchFullImage14.h"

namespace BenchFullImage14 {

namespace {

using namespace PsfImage14Builder;

constexpr quint32 kFirstStart = 1700000000;
constexpr quint32 kRideSpacing = 86400;
constexpr quint32 kLapSize = 32;
// Speed, cadence, heart rate and power: five bytes a point.
constexpr quint8 kChannels = 0x0F;

Track track(int ride, int half, quint32 startTime)
{
    Track t;
    t.startTime = startTime;
    t.startLongitude = 139000000 + ride * 10000 + half * 5000;
    t.startLatitude = 35000000 + ride * 10000 - half * 5000;
    t.startAltitude = quint16(4100 + ride * 3);
    t.endAltitude = t.startAltitude;
    t.flags = half == 0 ? 0x00 : 0x01;
    t.secondsPerTick = 1;
    t.points.reserve(kTrackPointsPerTrack);
    for (int i = 0; i < kTrackPointsPerTrack; ++i) {
        const Point p{qint16(40 + (i * 7) % 41 - 20), qint16(-30 + (i * 13) % 61), qint8(i % 11 - 5),
                      quint8(1 + i % 3)};
        t.points.append(p);
        t.endLongitude = t.startLongitude + p.longitudeDelta;
        t.endLatitude = t.startLatitude + p.latitudeDelta;
    }
    SensorLog log{startTime, 1, quint8(kChannels | (half == 0 ? 0x00 : 0x80)), {}};
    log.points.reserve(kSensorPointsPerLog);
    for (int i = 0; i < kSensorPointsPerLog; ++i) {
        const quint16 power = quint16(150 + (i * 17) % 200);
        const char bytes[] = {char(40 + i % 60), char(70 + i % 30), char(110 + i % 70), char(power & 0xFF),
                              char(power >> 8)};
        log.points.append(QByteArray(bytes, sizeof bytes));
    }
    t.sensorLogs = {log};
    return t;
}

Lap lap(quint32 start, quint32 end)
{
    return Lap{start, end, 42000, {80, 120, 140, 175, 85, 110}, {200, 450, 120, 118, 512}, end - start};
}

} // namespace

Content content()
{
    Content c;
    for (int ride = 0; ride < kRides; ++ride) {
        const quint32 start = kFirstStart + quint32(ride) * kRideSpacing;
        const quint32 secondHalf = start + 2 * kTrackPointsPerTrack;
        const quint32 end = secondHalf + 2 * kTrackPointsPerTrack;
        const int summaryIndex = 2 * ride;
        Route route{start,
                    QByteArray("Ride ") + QByteArray::number(ride + 1),
                    0x01,
                    quint8(ride % 2 == 0 ? 0x21 : 0x10),
                    0,
                    quint32(summaryIndex) * kLapSize,
                    quint32(summaryIndex + 1) * kLapSize,
                    1,
                    {track(ride, 0, start), track(ride, 1, secondHalf)}};
        c.routes.append(route);
        c.laps.append({summaryIndex, lap(start, end)});
        c.laps.append({summaryIndex + 1, lap(start, end)});
    }
    return c;
}

} // namespace BenchFullImage14
