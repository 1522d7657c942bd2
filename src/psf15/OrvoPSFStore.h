#pragma once

#include <QtGlobal>

#include <span>

class OrvoPSFFlashLayout;

// The way to the in-memory copy of a PSF 1.5 flash image: the device keeps one filled from the
// flash on demand; tests use a plain memory image. The image has a fixed size and is never
// reallocated while record views point into it.
class OrvoPSFStore
{
public:
    OrvoPSFStore() = default;
    OrvoPSFStore(const OrvoPSFStore &) = delete;
    OrvoPSFStore &operator=(const OrvoPSFStore &) = delete;
    virtual ~OrvoPSFStore() = default;

    // The area table and the current management record of the image; created with the store.
    virtual OrvoPSFFlashLayout &layout() = 0;
    // Makes sure the management header area (image offsets 0 to T[0]) is loaded and gives the
    // whole image from its first byte. False, image untouched, when it cannot be read.
    virtual bool loadHeader(std::span<uchar> &image) = 0;
    // Makes sure the distribution header (T[0] to T[1]) is loaded and gives the image from
    // offset T[0] to its end. False, header untouched, when it cannot be read.
    virtual bool loadDistHeader(std::span<uchar> &distHeader) = 0;

    // Make sure the used part of an area is loaded before a view reads it: the routes with
    // their laps, the track segments, the workouts with their intervals and the three log
    // areas. The used parts come from the current management record. False when they cannot
    // be read.
    virtual bool loadRoutes() = 0;
    virtual bool loadTracks() = 0;
    virtual bool loadWorkouts() = 0;
    // The reserved area holds nothing a view reads: there is never anything to load.
    virtual bool loadReserved() = 0;
    virtual bool loadSensorLogs() = 0;
    virtual bool loadWorkoutLogs() = 0;
    virtual bool loadUserInfoLogs() = 0;
    // Makes sure the two blocks around T[44] are loaded and gives the profile block, the T[45]
    // bytes from T[44]. False, block untouched, when they cannot be read.
    virtual bool loadInfoArea(std::span<uchar> &block) = 0;
};
