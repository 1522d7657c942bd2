#pragma once

#include <QtGlobal>

// The PSF 1.4 layout values that both the container and its write pass use.
namespace OrvoPSFLayout {

// Sections of the distribution header, in the order of their address words.
enum Section {
    PoiSection = 0,
    RouteSection = 1,
    WorkoutSection = 2,
    WorkoutLogSection = 3,
    TrackSection = 4,
    SensorLogSection = 5
};

// Words of the model's area table: flash addresses and sizes of the data areas.
enum AreaWord {
    PoiStart = 3,
    PoiCapacity = 5,
    WorkoutStart = 7,
    WorkoutCapacity = 9,
    RouteStart = 11,
    RouteCapacity = 13,
    IntervalStart = 17,
    IntervalCapacity = 19,
    TrackStart = 25,
    TrackCapacity = 28,
    FlashOffset = 42,
};

// Byte offsets in the device's header record: the free counts (16 bits for the POIs, 32 bits
// otherwise), the workout area's start and each area's end.
constexpr qsizetype kPoiFree = 66;
constexpr qsizetype kPoiEnd = 72;
constexpr qsizetype kWorkoutFree = 76;
constexpr qsizetype kWorkoutStart = 80;
constexpr qsizetype kWorkoutEnd = 84;
constexpr qsizetype kRouteFree = 88;
constexpr qsizetype kRouteEnd = 96;
constexpr qsizetype kIntervalFree = 112;
constexpr qsizetype kIntervalEnd = 120;
constexpr qsizetype kTrackFree = 136;
constexpr qsizetype kTrackEnd = 144;
constexpr qsizetype kHeaderRecordMinSize = kTrackEnd + 4;

} // namespace OrvoPSFLayout
