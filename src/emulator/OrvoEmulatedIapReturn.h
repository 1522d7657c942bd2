#pragma once

#include <QMutex>
#include <QString>
#include <QVector>

#include <memory>

class OrvoEmulatedFlashDevice;
class OrvoEmulatedPlatform;

// What an emulated GAL drive of update method 2 does when it is ejected with "/update.ini" on
// it: it restarts into its updater and comes back as a USB flash device that the row the
// update registered recognises. In that mode it answers INQUIRY with the "/device.ini" [IAP]
// NAME (the [MODEL] name when there is none) in its vendor data and the [UUID] as its device
// id, takes block erases of 4096 bytes (area 0x18), writes to the external flash (area 15,
// 4096-byte blocks) and the internal flash (area 12, 2048-byte blocks), and the start notice
// (READ of area 0x1A). After the notice the updater installs what it was given and the device
// returns as its drive without the trigger file: the USB device is unplugged and the drive
// plugged back.
//
// Each restart, into the updater and back to the drive, takes the restart delay; with a
// negative delay the device waits until finishRestarts() is called, so that tests decide when
// it comes back. A device never comes back at once: the client that ejected it must have ended
// its action first, as with a real restart. The platform owns this object and calls
// driveEjected from its eject.
class OrvoEmulatedIapReturn
{
public:
    static constexpr int kDeviceIdLength = 16;
    static constexpr quint8 kExternalFlashArea = 15;
    static constexpr quint8 kInternalFlashArea = 12;
    static constexpr quint8 kEraseArea = 0x18;
    static constexpr quint8 kDeviceIdArea = 0x03;
    static constexpr quint8 kNoticeArea = 0x1A;
    static constexpr int kExternalBlockSize = 4096;
    static constexpr int kInternalBlockSize = 2048;
    // Enough for the image and language places of the devices' release files.
    static constexpr qsizetype kExternalFlashSize = 8 * 1024 * 1024;
    static constexpr qsizetype kInternalFlashSize = 1024 * 1024;
    static constexpr int kDefaultRestartMs = 3000;
    static inline const QString kExternalFlash = QStringLiteral("external");
    static inline const QString kInternalFlash = QStringLiteral("internal");

    explicit OrvoEmulatedIapReturn(OrvoEmulatedPlatform &platform);
    ~OrvoEmulatedIapReturn();
    OrvoEmulatedIapReturn(const OrvoEmulatedIapReturn &) = delete;
    OrvoEmulatedIapReturn &operator=(const OrvoEmulatedIapReturn &) = delete;

    // Called once the drive at folder was unplugged by an eject: its updater is due when the
    // drive asks for one. False when it does not (no trigger, another update method, no usable
    // identity).
    bool driveEjected(const QString &folder, const QString &vendorText, const QString &label);

    void setRestartDelay(int milliseconds);
    // Ends every restart that is due now: an ejected drive comes back as its updater, a
    // notified updater as its drive. The number of devices that came back.
    int finishRestarts();
    // The updater serving the drive at folder; null when that drive is not in its updater.
    std::shared_ptr<OrvoEmulatedFlashDevice> updaterOf(const QString &folder) const;

private:
    enum class Stage {
        // Ejected, not yet back as the updater.
        Restarting,
        Updating,
        // Told to start; not yet back as the drive.
        Notified,
    };
    struct Updater
    {
        std::shared_ptr<OrvoEmulatedFlashDevice> device;
        QString folder;
        QString vendorText;
        QString label;
        Stage stage = Stage::Restarting;
    };

    static std::shared_ptr<OrvoEmulatedFlashDevice> makeUpdater(const QString &matchString, const QString &uuid);
    void noticed(const OrvoEmulatedFlashDevice *device);
    // Has finishRestarts run after the restart delay, on the platform's thread.
    void scheduleRestart(int delay);
    void returnAsDrive(const Updater &updater);

    OrvoEmulatedPlatform &m_platform;
    mutable QMutex m_mutex;
    QVector<Updater> m_updaters;
    int m_restartMs = kDefaultRestartMs;
};
