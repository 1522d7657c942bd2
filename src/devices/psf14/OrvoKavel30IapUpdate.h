#pragma once

#include <QString>

class OrvoKavel30;

// The IAP firmware update of the PSF 1.4 flash devices. The package holds a temporary loader
// and the firmware file, told apart by the first letters of their names: the loader goes to
// area 12 and a zero sector to area 1 starts it; the firmware then goes to area 10 and a zero
// sector to area 0 starts that. The models differ in the names only.
class OrvoKavel30IapUpdate
{
public:
    struct Names
    {
        // Under the temporary folder, emptied before the package is unpacked.
        QString folderName;
        // The loader's name starts with loaderPrefix, the firmware's with firmwarePrefix but
        // not loaderPrefix (exact case; of several the last in name order).
        QString loaderPrefix;
        QString firmwarePrefix;
        const char *loaderFailure;
        const char *firmwareFailure;
    };

    static const Names kKavel30;
    static const Names kPulmor30;

    static constexpr int kLoaderArea = 12;
    static constexpr int kFirmwareArea = 10;
    static constexpr int kLoaderStartArea = 1;
    static constexpr int kFirmwareStartArea = 0;
    static constexpr int kChunk = 2048;
    static constexpr int kRestartWaitMs = 5000;
    static constexpr int kRestartWaitSteps = 20;

    OrvoKavel30IapUpdate(OrvoKavel30 &device, const Names &names);

    // The answer of the last write; nothing is sent when the package has no loader.
    bool run(const QString &package);

private:
    bool unpack(const QString &package, const QString &folder);
    bool startLoader();
    bool sendFirmware(const QString &firmware);

    OrvoKavel30 &m_device;
    const Names &m_names;
};
