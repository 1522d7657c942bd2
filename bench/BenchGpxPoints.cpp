#include "BenchGpxPoints.h"

#include "env/OrvoTimeText.h"
#include "util/ZKGeoPoint.h"

namespace BenchGpxPoints {

namespace {

constexpr qint32 kStartLatitude = 35681236;
constexpr qint32 kStartLongitude = 139767125;
constexpr std::time_t kStartTime = 1700000000;

} // namespace

QList<ZKGpxTrackPoint> points(int count)
{
    QList<ZKGpxTrackPoint> list;
    list.reserve(count);
    for (int i = 0; i < count; ++i) {
        ZKGpxTrackPoint p;
        p.lat = ZKGeoPoint::degreesTextFromE6(kStartLatitude + i * 7 % 100000);
        p.lon = ZKGeoPoint::degreesTextFromE6(kStartLongitude - i * 11 % 100000);
        p.ele = QString::number(20.0 + i % 800 * 0.25, 'f', 2);
        p.time = psfTimeText(kStartTime + i);
        list.append(p);
    }
    return list;
}

} // namespace BenchGpxPoints
