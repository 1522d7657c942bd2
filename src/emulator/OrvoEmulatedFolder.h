#pragma once

#include <QString>

#include <memory>

class OrvoEmulatedFlashDevice;
class OrvoEmulatedPlatform;

// A folder that describes emulated devices, so that the programs can be shown and tested
// without hardware:
//   <name>/        a removable FAT drive mounted at that folder (every visible sub-folder);
//   <name>.vendor  that drive's vendor text (vendor directly followed by product), first line;
//   <name>.scsi    a USB flash device described in JSON: "vendor", "product", "version",
//                  "revision", "vendorData" and the 16-character "deviceId" (texts), a list
//                  "memories" of {"name", "size", "eraseBeforeWrite", "image"} (the image file,
//                  relative to the folder, is loaded at the memory's start) and a list "areas"
//                  of {"code", "access" ("read", "write", "eraseBlock", "eraseAll" or
//                  "deviceId"), "memory", "transferSize", "unitSize"}.
// Emulated devices keep what is written to them in memory only.
class OrvoEmulatedFolder
{
public:
    // Bounds of a description, so that a mistyped number cannot take the machine's memory.
    static constexpr qsizetype kMaxMemorySize = 64 * 1024 * 1024;
    static constexpr int kSectorSize = 512;
    static constexpr int kMaxTransferSize = 255 * kSectorSize;

    explicit OrvoEmulatedFolder(const QString &folder);

    // Plugs the drives and then the flash devices into the platform, each kind in name order; a
    // device whose description is not valid is left out with a warning. False when the folder
    // does not exist.
    bool plugInto(OrvoEmulatedPlatform &platform) const;

    // The device of a description file; null, with a warning naming the fault, when the
    // description is not valid.
    static std::shared_ptr<OrvoEmulatedFlashDevice> loadFlashDevice(const QString &descriptionPath);

private:
    QString m_folder;
};
