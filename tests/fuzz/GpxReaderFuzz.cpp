// A GPX file read as both dialects' documents.

#include "FuzzSupport.h"

#include "util/ZKGpx1.h"
#include "util/ZKGpx2.h"
#include "util/ZKGpxReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool ready = FuzzSupport::prepare();
    Q_UNUSED(ready);
    const QString path = FuzzSupport::writeInput(QStringLiteral("input.gpx"), FuzzSupport::bytes(data, size));
    if (path.isEmpty())
        return 0;
    ZKGpx1 first;
    ZKGpxReader(first).readFile(path);
    ZKGpx2 second;
    ZKGpxReader(second).readFile(path);
    return 0;
}
