#pragma once

#include "PsfImage15Builder.h"
#include "psf15/OrvoPSFFlashLayout.h"
#include "psf15/OrvoPSFMemoryStore.h"
#include "psf15/OrvoPSFRouteFrame_1_5.h"
#include "psf15/OrvoPSFSectionRef_1_5.h"
#include "psf15/OrvoPSFSectionTable_1_5.h"
#include "psf15/OrvoPSFTrackFrame_1_5.h"
#include "psf15/OrvoPSFWorkoutFrame_1_5.h"

#include <QtEndian>

#include <memory>

// The image that most PSF 1.5 tests read, and a memory store with its section views.
namespace Psf15 {

inline PsfImage15Builder::Point point(int type, int ticks, qint32 altitude, qint32 lon, qint32 lat)
{
    return {type, ticks, altitude, lon, lat};
}

// A recorded ride of two segments (the first holding one point of each type), a planned route,
// and a second ride of two segments; two workouts, the first with logs of both rides.
inline PsfImage15Builder standardBuilder()
{
    using B = PsfImage15Builder;
    B builder;
    builder.setManagementRecords(3);
    builder.setHeaderCount(0x0102);
    builder.addSensorLog(
        {0x07, 5, {QByteArray::fromHex("505A8C"), QByteArray::fromHex("FFFFFF"), QByteArray::fromHex("480078")}});
    builder.addSensorLog({0x19, 0, {QByteArray::fromHex("50341238FF"), QByteArray::fromHex("10FFFFC800")}});
    builder.addUserInfoLog(
        {7250,
         17800,
         0x21,
         85,
         21000,
         {{5, 170, {{100, 120}, {121, 140}, {141, 155}, {156, 170}, {171, 200}}}, {8, 250, {{0, 150}, {151, 250}}}}});

    B::Route morning;
    morning.recorded = true;
    morning.startTime = 1700000000;
    morning.travelDistance = 2500;
    morning.names = {{"eng", "Morning ride"}, {"fra", "Matin"}};
    B::Segment a;
    a.time = 1700000000;
    a.lon = 139700000;
    a.lat = 35600000;
    a.altitudeCode = 4400;
    a.secondsPerTick = 2;
    a.sensorLog = 0;
    a.points = {point(0, 1, 15, 100, -200), point(1, 2, -300, -32768, 32767), point(2, 3, -10, 1000000, -500000),
                point(3, 63, 1234, -1000000, 500000)};
    B::Segment b;
    b.time = 1700000600;
    b.lon = 139701000;
    b.lat = 35601000;
    b.sensorLog = 1;
    b.points = {point(0, 1, 0, 10, 10), point(0, 1, 0, 10, 10)};
    morning.segments = {a, b};
    morning.laps = {{1700000000, 1700000300, 1500, 0x50, 0x8C, 40}, {1700000300, 1700000700, 2100, 0x48, 0x90, 55}};
    morning.hasSummary = true;
    morning.summary = {1700000000, 1700000700, 3600, 0x4C, 0x8E, 95};
    morning.userInfoLog = 0;
    builder.addRoute(morning);

    B::Route lake;
    lake.names = {{"eng", "Lake loop"}};
    B::Segment planned;
    planned.lon = 8500000;
    planned.lat = 47300000;
    planned.secondsPerTick = 4;
    planned.points = {point(0, 0, 0, 500, 500), point(0, 0, 0, 500, 500), point(0, 0, 0, 500, 500)};
    lake.segments = {planned};
    builder.addRoute(lake);

    B::Route evening;
    evening.recorded = true;
    evening.startTime = 1700040000;
    evening.names = {{"eng", "Evening ride"}};
    B::Segment c;
    c.time = 1700040000;
    c.lon = 139800000;
    c.lat = 35700000;
    c.points = {point(2, 5, 20, 70000, -70000)};
    B::Segment d;
    d.time = 1700040600;
    d.lon = 139870000;
    d.lat = 35630000;
    d.points = {point(1, 5, 400, 300, 300), point(1, 5, -400, -300, -300)};
    evening.segments = {c, d};
    evening.laps = {{1700040000, 1700041200, 8000, 0x60, 0x80, 200}};
    evening.hasSummary = true;
    evening.summary = {1700040000, 1700041200, 8000, 0x60, 0x80, 200};
    builder.addRoute(evening);

    B::Workout intervals;
    intervals.time = 1690000000;
    intervals.number = 7;
    intervals.names = {{"eng", "Intervals"}};
    intervals.descriptions = {{"eng", "Four hard efforts"}};
    intervals.intervals = {{1, 1, 600, -1, 0}, {2, 2, 1000, -1, 0}, {4, 0, 0, 1, 3}};
    intervals.logs = {{0, {QByteArray::fromHex("0102030405060708"), QByteArray::fromHex("1112131415161718")}},
                      {2, {QByteArray::fromHex("2122232425262728")}}};
    builder.addWorkout(intervals);
    B::Workout recovery;
    recovery.names = {{"eng", "Recovery"}};
    recovery.intervals = {{5, 1, 1200, -1, 0}};
    builder.addWorkout(recovery);
    return builder;
}

inline quint32 u32At(const QByteArray &bytes, qsizetype offset)
{
    return qFromLittleEndian<quint32>(bytes.constData() + offset);
}

inline quint16 u16At(const QByteArray &bytes, qsizetype offset)
{
    return qFromLittleEndian<quint16>(bytes.constData() + offset);
}

inline void putU32(QByteArray &bytes, qsizetype offset, quint32 value)
{
    qToLittleEndian<quint32>(value, bytes.data() + offset);
}

inline void putU16(QByteArray &bytes, qsizetype offset, quint16 value)
{
    qToLittleEndian<quint16>(value, bytes.data() + offset);
}

// A memory store over an image, its variant set, with the section views built on demand.
class Session
{
public:
    explicit Session(const QByteArray &image, QByteArrayView variant = "1510")
        : m_store(image)
    {
        m_store.layout().setVariant(variant);
        std::span<uchar> dist;
        if (m_store.loadDistHeader(dist))
            m_table = std::make_unique<OrvoPSFSectionTable_1_5>(dist);
    }

    OrvoPSFMemoryStore &store() { return m_store; }
    OrvoPSFFlashLayout &layout() { return m_store.layout(); }
    QByteArray image() const { return m_store.image(); }
    std::span<uchar> section(int index) const { return m_table ? m_table->section(index) : std::span<uchar>(); }

    std::unique_ptr<OrvoPSFRouteFrame_1_5> routes()
    {
        return std::make_unique<OrvoPSFRouteFrame_1_5>(section(OrvoPSFSectionTable_1_5::Route),
                                                       m_store.layout().areaBytes(OrvoPSFFlashLayout::Area::Route));
    }
    std::unique_ptr<OrvoPSFTrackFrame_1_5> tracks() const
    {
        return std::make_unique<OrvoPSFTrackFrame_1_5>(section(OrvoPSFSectionTable_1_5::Track));
    }
    std::unique_ptr<OrvoPSFWorkoutFrame_1_5> workouts()
    {
        return std::make_unique<OrvoPSFWorkoutFrame_1_5>(section(OrvoPSFSectionTable_1_5::Workout),
                                                         m_store.layout().areaBytes(OrvoPSFFlashLayout::Area::Workout));
    }
    std::unique_ptr<OrvoPSFSectionRef_1_5> logs(int index) const
    {
        return std::make_unique<OrvoPSFSectionRef_1_5>(section(index));
    }

private:
    OrvoPSFMemoryStore m_store;
    std::unique_ptr<OrvoPSFSectionTable_1_5> m_table;
};

} // namespace Psf15
