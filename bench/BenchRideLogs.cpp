#include "BenchRideLogs.h"

#include "BinaryLogFixture.h"

#include <QFile>

#include <functional>

namespace BenchRideLogs {

namespace {

constexpr qint32 kStartLatitude = 25030000;
constexpr qint32 kStartLongitude = 121499000;
constexpr int kBreakEvery = 3600;
constexpr quint16 kMarker = 0xFFFF;
constexpr quint8 kMarkerByte = 0xFE;

bool writeLog(const QString &path, const QByteArray &type, const std::function<QByteArray(int)> &record)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    BinaryLogFixture::Header header;
    header.type = type;
    if (file.write(BinaryLogFixture::header(header)) < 0)
        return false;
    for (int i = 0; i < kPoints; ++i) {
        if (file.write(record(i)) < 0)
            return false;
    }
    return file.flush();
}

QByteArray gpsRecords(int i)
{
    BinaryLogFixture::GpsPoint point;
    point.lat = kStartLatitude + i % 20000 * 3;
    point.lon = kStartLongitude + i % 30000 * 2;
    point.ele = qint16(100 + i % 500);
    point.magvar = 0;
    point.speed = 400;
    point.time = i;
    QByteArray bytes = BinaryLogFixture::gpsRecord(point);
    if (i % kBreakEvery == kBreakEvery - 1)
        bytes += BinaryLogFixture::gpsRecord({.lon = 0x00010000, .lat = 0, .type = kMarker});
    return bytes;
}

QByteArray trainRecords(int i)
{
    BinaryLogFixture::TrainSample sample;
    sample.time = i;
    sample.hrm = quint8(100 + i % 60);
    sample.cad = quint8(70 + i % 30);
    sample.spd = 400;
    QByteArray bytes = BinaryLogFixture::trainRecord(sample, false);
    if (i % kBreakEvery == kBreakEvery - 1)
        bytes += BinaryLogFixture::trainRecord({.hrm = kMarkerByte, .cad = kMarkerByte, .pdm = 0x00010000}, false);
    return bytes;
}

} // namespace

bool write(const QString &gpsPath, const QString &trainPath)
{
    return writeLog(gpsPath, "gps track", gpsRecords) && writeLog(trainPath, "train log", trainRecords);
}

} // namespace BenchRideLogs
