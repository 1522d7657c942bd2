#pragma once

#include "device/OrvoPlatformInterface.h"

#include <QMutex>
#include <QObject>
#include <QString>
#include <QVector>

#include <memory>

class OrvoEmulatedFlashDevice;
class OrvoEmulatedIapReturn;

// A platform of emulated devices: folders stand in for removable drives, emulated flash devices
// for USB storage devices. Plugging and unplugging them emits the same device-change codes as
// the Linux event source (OrvoDeviceEvent).
class OrvoEmulatedPlatform : public QObject, public OrvoPlatformInterface
{
    Q_OBJECT

public:
    explicit OrvoEmulatedPlatform(QObject *parent = nullptr);
    ~OrvoEmulatedPlatform() override;

    // Serves folder as a removable drive whose vendor text is vendorText and whose volume label
    // is label; emits Arrival.
    void plugDrive(const QString &folder, const QString &vendorText, const QString &label = QString());
    // Emits RemoveComplete; false when the folder is not a plugged drive.
    bool unplugDrive(const QString &folder);
    // Attaches the device; emits NodesChanged now and whenever the device comes or goes.
    void plugScsiDevice(const std::shared_ptr<OrvoEmulatedFlashDevice> &device);
    // Detaches the device, whose open nodes die with it; emits NodesChanged.
    bool unplugScsiDevice(const std::shared_ptr<OrvoEmulatedFlashDevice> &device);

    bool getDiskSpace(const QString &path, quint64 &totalBytes, quint64 &freeBytes) override;
    std::unique_ptr<OrvoEnvInterface> createEnv() override;
    // Every plugged drive, in plug order: emulated drives hold FAT whatever the type asked.
    QStringList getRemovableDrives(const QString &fileSystemType) override;
    QString getDriveVendorName(const QString &drive) override;
    QString getVolumeLabel(const QString &drive) override;
    // Unplugs the drive, as a device that was ejected leaves; a GAL drive that was told to
    // update comes back as its updater (OrvoEmulatedIapReturn).
    bool ejectDevice(const QString &drive) override;
    DeviceServices findSCSIDevices(const QVector<OrvoDeviceInfo> &types) override;
    // Fed by this platform's deviceChange signal while the platform lives; without a tick it
    // reads the installed device waits' clock.
    std::unique_ptr<OrvoDeviceDetector> createDeviceDetector(OrvoDeviceDetectorHost &host,
                                                             const OrvoDeviceClock::Tick &tick) override;

    // What ejected GAL drives do before they come back.
    OrvoEmulatedIapReturn &iapReturn();

signals:
    void deviceChange(quint32 deviceEvent);

private:
    struct Drive
    {
        QString folder;
        QString vendorText;
        QString label;
    };

    QVector<Drive>::iterator findDrive(const QString &folder);

    mutable QMutex m_mutex;
    QVector<Drive> m_drives;
    QVector<std::shared_ptr<OrvoEmulatedFlashDevice>> m_devices;
    std::unique_ptr<OrvoEmulatedIapReturn> m_iapReturn;
};
