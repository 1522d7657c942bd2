#include "BenchKavel50Rides.h"

#include "BinaryLogFixture.h"
#include "Kavel50Drive.h"

#include <QList>

namespace BenchKavel50Rides {

namespace {

constexpr qint64 kFirstStart = 1357000000;
constexpr qint64 kRideSpacing = 3600;

QByteArray gpsLog()
{
    BinaryLogFixture::Header header;
    header.deviceVersion = "ZK2.0.1";
    QByteArray log = BinaryLogFixture::header(header);
    for (int i = 0; i < kPointsPerRide; ++i) {
        log += BinaryLogFixture::gpsRecord({.lon = 121500000 + i * 7,
                                            .lat = 25030000 + i * 11,
                                            .ele = qint16(100 + i % 50),
                                            .magvar = qint16(i % 7 - 3),
                                            .speed = quint16(400 + i % 100),
                                            .time = i});
    }
    return log;
}

QByteArray trainLog()
{
    QByteArray log = BinaryLogFixture::header({});
    for (int i = 0; i < kPointsPerRide; ++i) {
        log += BinaryLogFixture::trainRecord({.time = i,
                                              .hrm = quint8(110 + i % 40),
                                              .cad = quint8(70 + i % 20),
                                              .spd = quint16(400 + i % 100),
                                              .tmp = 21,
                                              .pwr = quint16(150 + i % 60),
                                              .brm = 12345},
                                             false);
    }
    return log;
}

} // namespace

bool writeDrive(const QString &root, int rides)
{
    const Kavel50Drive drive(root);
    if (!drive.writeIdentity({}))
        return false;
    DeviceDbTree::Ride ride = DeviceDbTree::sampleRide();
    ride.gpsLog = gpsLog();
    ride.trainLog = trainLog();
    QList<DeviceDbTree::Ride> all;
    all.reserve(rides);
    for (int i = 0; i < rides; ++i) {
        ride.key = kFirstStart + i * kRideSpacing;
        ride.startTime = ride.key;
        ride.endTime = ride.key + kPointsPerRide;
        all.append(ride);
    }
    return drive.database().writeRides(all, drive.traceLogDir());
}

} // namespace BenchKavel50Rides
