#pragma once

#include <QString>

// What a component update works on: the device's model name, an extra text the caller passes
// through, the component's name ("GPST_ENGINE", "MapData", ...) and the package file.
struct OrvoComponentRequest
{
    QString model;
    QString extra;
    QString component;
    QString file;

    void clear() { *this = OrvoComponentRequest(); }
    bool operator==(const OrvoComponentRequest &) const = default;
};
