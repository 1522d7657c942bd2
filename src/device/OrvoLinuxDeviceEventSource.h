#pragma once

#include "device/OrvoDeviceEventSource.h"

#include <QSet>
#include <QString>

class QSocketNotifier;
struct udev;
struct udev_monitor;

// Device-change notices on Linux: udev's SCSI and block devices coming or going become node
// changes, and removable volumes appearing in or leaving the mount table become arrivals and
// removals.
class OrvoLinuxDeviceEventSource : public OrvoDeviceEventSource
{
    Q_OBJECT

public:
    struct Config
    {
        QString sysfsRoot = QStringLiteral("/sys");
        QString mountInfoPath = QStringLiteral("/proc/self/mountinfo");
    };

    explicit OrvoLinuxDeviceEventSource(Config config, QObject *parent = nullptr);
    ~OrvoLinuxDeviceEventSource() override;

    // True when at least one of the two watches runs. The volumes mounted now are taken as
    // known: they are not announced.
    bool start() override;

    // Reads the mount table again and announces the removable volumes that left it, then those
    // that came. The mount watch calls it on every change of the table.
    void rescanMounts();

private:
    bool startUdev();
    bool startMountWatch();
    void readUdev();
    // "major:minor mount-folder" of every mounted volume of a removable disk.
    QSet<QString> removableMounts() const;
    void stopUdev();

    Config m_config;
    udev *m_udev = nullptr;
    udev_monitor *m_monitor = nullptr;
    QSocketNotifier *m_udevNotifier = nullptr;
    int m_mountFd = -1;
    QSocketNotifier *m_mountNotifier = nullptr;
    QSet<QString> m_knownMounts;
};
