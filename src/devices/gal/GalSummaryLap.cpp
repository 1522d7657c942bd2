#include "devices/gal/GalSummaryLap.h"

#include "env/OrvoByteReader.h"

bool parseGalSummaryLap(OrvoByteReader &reader, GalSummaryLap &lap)
{
    if (!reader.canRead(GalSummaryLap::kSize))
        return false;
    GalSummaryLap read;
    read.start = reader.readU32Le();
    read.end = reader.readU32Le();
    read.distance = reader.readI32Le();
    if (!reader.ok())
        return false;
    reader.skip(GalSummaryLap::kSize - 12);
    lap = read;
    return true;
}
