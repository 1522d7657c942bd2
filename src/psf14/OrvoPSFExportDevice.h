#pragma once

#include <QString>

// What the exports of a PSF 1.4 container need to know of the device they export from.
struct OrvoPSFExportDevice
{
    // The model name: the "sys" of every file and the description of a ride.
    QString modelName;
    // The device's total firmware version.
    QString firmwareVersion;
    // The device-class value that a POI file carries as its activity type.
    int classFlag2 = 0;

    // "1.0.0." + the firmware version + " Orvo" + the program version.
    QString systemVersion() const;
};
