#pragma once

#include <QString>
#include <QStringList>

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

    // The entries by the names that name them one by one: the drive folders, and the base names
    // of the flash descriptions ("kavel40" for kavel40.scsi), each in name order.
    QStringList driveNames() const;
    QStringList flashDeviceNames() const;
    // Plugs the drive folder of that name with its vendor text and label; answers its path.
    QString plugDrive(OrvoEmulatedPlatform &platform, const QString &name) const;
    // Plugs the flash device that <name>.scsi describes; null, and nothing plugged, when the
    // description is not valid.
    std::shared_ptr<OrvoEmulatedFlashDevice> plugFlashDevice(OrvoEmulatedPlatform &platform, const QString &name) const;

    // The device of a description file; null, with a warning naming the fault, when the
    // description is not valid.
    static std::shared_ptr<OrvoEmulatedFlashDevice> loadFlashDevice(const QString &descriptionPath);

private:
    QString m_folder;
};
