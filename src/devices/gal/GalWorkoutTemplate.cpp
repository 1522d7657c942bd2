#include "devices/gal/GalWorkoutTemplate.h"

#include "env/OrvoByteReader.h"

namespace {

constexpr quint8 kLowNibble = 0x0F;
constexpr quint8 kImageNameFlag = 0x20;
constexpr int kWorkoutTypeShift = 5;
constexpr qsizetype kTypeOffset = 12;

} // namespace

bool GalWorkoutTemplate::hasTime() const
{
    return time != kNoTime;
}

bool GalWorkoutTemplate::nameIsImage() const
{
    return (typeByte & kImageNameFlag) != 0;
}

int GalWorkoutTemplate::activityType() const
{
    return typeByte & kLowNibble;
}

int GalWorkoutTemplate::workoutType() const
{
    return workoutTypeByte >> kWorkoutTypeShift;
}

int GalWorkoutTemplate::subType() const
{
    return subTypeByte & kLowNibble;
}

bool parseGalWorkoutTemplate(OrvoByteReader &reader, GalWorkoutTemplate &workoutTemplate)
{
    const qsizetype start = reader.offset();
    if (!reader.canRead(GalWorkoutTemplate::kSize))
        return false;
    GalWorkoutTemplate read;
    read.time = reader.readU32Le();
    read.id = reader.readU32Le();
    reader.seek(start + kTypeOffset);
    read.typeByte = reader.readU8();
    read.workoutTypeByte = reader.readU8();
    read.subTypeByte = reader.readU8();
    if (!reader.ok())
        return false;
    reader.seek(start + GalWorkoutTemplate::kSize);
    workoutTemplate = read;
    return true;
}
