#pragma once

#include "device/OrvoDeviceInfo.h"

#include <QVector>

// The device types the daemon serves, in the order they are registered. A row whose device
// class is not part of the program yet has no factory: its devices are recognised, and the
// device manager declines to serve them.
class OrvoDeviceTypeTable
{
public:
    struct Row
    {
        OrvoDeviceInfo info;
        // The device class that serves the row's devices.
        const char *className;
    };

    OrvoDeviceTypeTable() = delete;

    static const QVector<Row> &rows();
};
