#include "device/OrvoLinuxDeviceEventSource.h"

#include "device/OrvoDeviceEvent.h"
#include "device/OrvoDeviceLogging.h"
#include "device/OrvoMountInfo.h"
#include "device/OrvoSysfs.h"
#include "env/OrvoFunctionTrace.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <libudev.h>
#include <unistd.h>

namespace {

quint32 code(OrvoDeviceEvent event)
{
    return static_cast<quint32>(event);
}

// A SCSI target (also one without a disk, such as a device in its boot loader) or a disk.
const char *const kWatchedSubsystems[] = {"scsi", "block"};

bool isNodeChange(const char *action)
{
    return action != nullptr && (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0);
}

} // namespace

OrvoLinuxDeviceEventSource::OrvoLinuxDeviceEventSource(Config config, QObject *parent)
    : OrvoDeviceEventSource(parent)
    , m_config(std::move(config))
{}

OrvoLinuxDeviceEventSource::~OrvoLinuxDeviceEventSource()
{
    delete m_mountNotifier;
    if (m_mountFd >= 0)
        ::close(m_mountFd);
    stopUdev();
}

bool OrvoLinuxDeviceEventSource::start()
{
    if (m_udevNotifier != nullptr || m_mountNotifier != nullptr)
        return true;
    m_knownMounts = removableMounts();
    const bool udevWatched = startUdev();
    const bool mountsWatched = startMountWatch();
    return udevWatched || mountsWatched;
}

bool OrvoLinuxDeviceEventSource::startUdev()
{
    m_udev = udev_new();
    m_monitor = m_udev != nullptr ? udev_monitor_new_from_netlink(m_udev, "udev") : nullptr;
    bool ready = m_monitor != nullptr;
    for (const char *subsystem : kWatchedSubsystems)
        ready = ready && udev_monitor_filter_add_match_subsystem_devtype(m_monitor, subsystem, nullptr) >= 0;
    ready = ready && udev_monitor_enable_receiving(m_monitor) >= 0;
    const int fd = ready ? udev_monitor_get_fd(m_monitor) : -1;
    if (fd < 0) {
        ORVO_TRACE_WARNING(lcOrvoDevice, "OrvoLinuxDeviceEventSource::start")
            << "no udev monitor: devices served by SCSI are not followed";
        stopUdev();
        return false;
    }
    m_udevNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_udevNotifier, &QSocketNotifier::activated, this, &OrvoLinuxDeviceEventSource::readUdev);
    return true;
}

bool OrvoLinuxDeviceEventSource::startMountWatch()
{
    // The kernel marks the mount table exceptional (POLLPRI) whenever a mount comes or goes.
    m_mountFd = ::open(QFile::encodeName(m_config.mountInfoPath).constData(), O_RDONLY | O_CLOEXEC);
    if (m_mountFd < 0) {
        ORVO_TRACE_WARNING(lcOrvoDevice, "OrvoLinuxDeviceEventSource::start")
            << "cannot watch" << m_config.mountInfoPath << ":" << std::strerror(errno);
        return false;
    }
    m_mountNotifier = new QSocketNotifier(m_mountFd, QSocketNotifier::Exception, this);
    connect(m_mountNotifier, &QSocketNotifier::activated, this, &OrvoLinuxDeviceEventSource::rescanMounts);
    return true;
}

void OrvoLinuxDeviceEventSource::readUdev()
{
    bool changed = false;
    // The monitor's socket does not block: take every queued notice, announce them once.
    while (udev_device *device = udev_monitor_receive_device(m_monitor)) {
        changed = changed || isNodeChange(udev_device_get_action(device));
        udev_device_unref(device);
    }
    if (changed)
        emit deviceChange(code(OrvoDeviceEvent::NodesChanged));
}

void OrvoLinuxDeviceEventSource::rescanMounts()
{
    const QSet<QString> now = removableMounts();
    const bool removed = !(m_knownMounts - now).isEmpty();
    const bool arrived = !(now - m_knownMounts).isEmpty();
    m_knownMounts = now;
    if (removed)
        emit deviceChange(code(OrvoDeviceEvent::RemoveComplete));
    if (arrived)
        emit deviceChange(code(OrvoDeviceEvent::Arrival));
}

QSet<QString> OrvoLinuxDeviceEventSource::removableMounts() const
{
    const OrvoSysfs sysfs(m_config.sysfsRoot);
    QSet<QString> mounts;
    for (const OrvoMountInfo::Entry &entry : OrvoMountInfo::read(m_config.mountInfoPath)) {
        // A known mount stays known while the table holds it, also when its disk has already
        // left sysfs, so that its removal is announced.
        const QString key = entry.device + QLatin1Char(' ') + entry.mountPoint;
        if (m_knownMounts.contains(key)) {
            mounts.insert(key);
            continue;
        }
        const QString disk = sysfs.diskOf(entry.device);
        if (!disk.isEmpty() && sysfs.isRemovable(disk))
            mounts.insert(key);
    }
    return mounts;
}

void OrvoLinuxDeviceEventSource::stopUdev()
{
    delete m_udevNotifier;
    m_udevNotifier = nullptr;
    if (m_monitor != nullptr)
        udev_monitor_unref(m_monitor);
    m_monitor = nullptr;
    if (m_udev != nullptr)
        udev_unref(m_udev);
    m_udev = nullptr;
}
