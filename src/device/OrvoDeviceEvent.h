#pragma once

#include <QtGlobal>

// The device-change codes that event sources hand to the device detector. Every source (the
// udev and mount watch, the emulated platform) emits exactly these values.
enum class OrvoDeviceEvent : quint32 {
    // A device node was added or removed anywhere: look for SCSI-served devices.
    NodesChanged = 0x0007,
    // A volume arrived: look for file-system devices.
    Arrival = 0x8000,
    // A volume went away: check that the attached file-system device is still there.
    RemoveComplete = 0x8004,
};
