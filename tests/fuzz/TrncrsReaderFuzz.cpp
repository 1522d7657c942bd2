// A training-course file read into a course and written back.

#include "FuzzSupport.h"

#include "training/ZKTrnWriter.h"
#include "training/ZKTrncrs.h"
#include "training/ZKTrncrsReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool ready = FuzzSupport::prepare();
    Q_UNUSED(ready);
    const QString path = FuzzSupport::writeInput(QStringLiteral("input.xml"), FuzzSupport::bytes(data, size));
    if (path.isEmpty())
        return 0;
    ZKTrncrs course;
    ZKTrncrsReader reader(&course);
    if (reader.readFile(path))
        ZKTrnWriter(QStringLiteral("1.0"), course).write(FuzzSupport::scratchFolder() + QStringLiteral("/output.xml"));
    return 0;
}
