// A GPX file read into a document.

#include "FuzzSupport.h"

#include "util/ZKGpx2.h"
#include "util/ZKGpxReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool ready = FuzzSupport::prepare();
    Q_UNUSED(ready);
    const QString path = FuzzSupport::writeInput(QStringLiteral("input.gpx"), FuzzSupport::bytes(data, size));
    if (path.isEmpty())
        return 0;
    ZKGpx2 document;
    ZKGpxReader(document).readFile(path);
    return 0;
}
