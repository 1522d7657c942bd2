// A profile sector read by each of the four binary profile formats, and what was read written
// back into it.

#include "FuzzSupport.h"

#include "profile/OrvoProfileReaderPSF_1_0_0.h"
#include "profile/OrvoProfileReaderPSF_2_0_0.h"
#include "profile/OrvoProfileReaderPSF_Obsolete.h"
#include "profile/OrvoProfileReaderPSF_Obsolete_Pulmor30.h"

#include <QDate>

namespace {

void readAndWrite(OrvoProfileReader &reader, const QByteArray &sector)
{
    reader.setTodayFunction([] { return QDate(2024, 6, 1); });
    OrvoProfileMap map;
    if (!reader.read(sector, map))
        return;
    QByteArray written = sector;
    if (reader.write(written, map) && written.size() != sector.size())
        FuzzSupport::fail("a write changed the sector's size");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool ready = FuzzSupport::prepare();
    Q_UNUSED(ready);
    const QByteArray sector = FuzzSupport::bytes(data, size);
    OrvoProfileReaderPSF_1_0_0 first;
    readAndWrite(first, sector);
    OrvoProfileReaderPSF_2_0_0 second;
    readAndWrite(second, sector);
    OrvoProfileReaderPSF_Obsolete obsolete;
    readAndWrite(obsolete, sector);
    OrvoProfileReaderPSF_Obsolete_Pulmor30 pulmor;
    readAndWrite(pulmor, sector);
    return 0;
}
