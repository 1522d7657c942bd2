// A device's ini file read, asked for the keys the device services read and given the marker
// that the file-system device service adds.

#include "FuzzSupport.h"

#include "device/OrvoDeviceIniFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool ready = FuzzSupport::prepare();
    Q_UNUSED(ready);
    const QString path = FuzzSupport::writeInput(QStringLiteral("device.ini"), FuzzSupport::bytes(data, size));
    if (path.isEmpty())
        return 0;
    OrvoDeviceIniFile file(path);
    if (!file.load())
        return 0;
    const QString uuid = QStringLiteral("UUID");
    file.contains(QStringLiteral("MODEL"), QStringLiteral("Model"));
    file.value(QStringLiteral("MODEL"), QStringLiteral("Model"));
    file.value(uuid, uuid);
    file.addMissingKey(uuid, QStringLiteral("ORVO"), QStringLiteral("1"));
    OrvoDeviceIniFile again(path);
    if (again.load())
        again.value(uuid, uuid);
    return 0;
}
