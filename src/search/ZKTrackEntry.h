#pragma once

#include <QString>
#include <QtGlobal>

// One ride of a listing: its item id (idRoute in the low 32 bits, root index 0 above) and title.
struct ZKTrackEntry
{
    qint64 id = 0;
    QString title;

    bool operator==(const ZKTrackEntry &) const = default;
};
