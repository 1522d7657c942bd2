#pragma once

#include <QString>

// A GAL device folder holding many activities, each a short activity file named after its start
// time, one minute after the one before; the device's "/device.ini" beside them.
namespace BenchGalActivities {

bool writeDevice(const QString &root, int activities);

} // namespace BenchGalActivities
