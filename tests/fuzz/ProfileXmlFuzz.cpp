// A profile XML file read, and what was read written to a file of its own.

#include "FuzzSupport.h"

#include "profile/OrvoProfileReaderXML.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool ready = FuzzSupport::prepare();
    Q_UNUSED(ready);
    const QString path = FuzzSupport::writeInput(QStringLiteral("profile.xml"), FuzzSupport::bytes(data, size));
    if (path.isEmpty())
        return 0;
    OrvoProfileReaderXML reader;
    QByteArray raw = path.toUtf8();
    OrvoProfileMap map;
    if (!reader.read(raw, map))
        return 0;
    QByteArray output = (FuzzSupport::scratchFolder() + QStringLiteral("/written.xml")).toUtf8();
    if (!reader.write(output, map))
        return 0;
    OrvoProfileMap again;
    if (!reader.read(output, again) || again != map)
        FuzzSupport::fail("a written profile does not read back the same");
    return 0;
}
