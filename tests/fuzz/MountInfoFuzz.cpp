// The kernel's mountinfo text.

#include "FuzzSupport.h"

#include "device/OrvoMountInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool ready = FuzzSupport::prepare();
    Q_UNUSED(ready);
    const QByteArray text = FuzzSupport::bytes(data, size);
    if (OrvoMountInfo::parse(text).size() > text.count('\n') + 1)
        FuzzSupport::fail("more mounts than lines");
    return 0;
}
