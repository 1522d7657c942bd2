#pragma once

#include "psf/OrvoPSFObject.h"

// A workout log: what a ride recorded of the workout it followed, little-endian:
//   0   8    not read here
//   8   u32  the same workout's next log (offset from the workout-log records' start; absent
//            ends the chain)
//   12  u32  the ride's route record (offset from the route records' start)
//   16  u16  entry count (absent counts as 0)
//   18  6    not read here
//   24  ...  entries of 8 bytes
class OrvoPSFWorkoutLog_1_5 : public OrvoPSFObject
{
public:
    static constexpr qsizetype kFixedSize = 24;
    static constexpr qsizetype kEntrySize = 8;

    explicit OrvoPSFWorkoutLog_1_5(std::span<uchar> bytes);

    qsizetype size() const override;
    qint64 nextLog() const;
    qint64 routeOffset() const;
    bool setRouteOffset(qint64 offset);
    // The entries that lie inside the log's memory.
    int entryCount() const;
    QByteArray entry(int i) const;
};
