#include "emulator/OrvoEmulatedIapReturn.h"

#include "device/OrvoDeviceIniFile.h"
#include "emulator/OrvoEmulatedFlashDevice.h"
#include "emulator/OrvoEmulatedPlatform.h"
#include "emulator/OrvoEmulatorLogging.h"
#include "env/OrvoFunctionTrace.h"

#include <QDir>
#include <QFile>
#include <QMutexLocker>
#include <QTimer>

#include <algorithm>

namespace {

const QString kTrigger = QStringLiteral("update.ini");
const QString kDeviceIni = QStringLiteral("device.ini");
constexpr int kUpdateOnDevice = 2;
constexpr int kSectorSize = 512;
// The INQUIRY vendor-data field holds at most this many characters.
constexpr qsizetype kMaxMatchLength = 60;

} // namespace

OrvoEmulatedIapReturn::OrvoEmulatedIapReturn(OrvoEmulatedPlatform &platform)
    : m_platform(platform)
{}

OrvoEmulatedIapReturn::~OrvoEmulatedIapReturn()
{
    QMutexLocker lock(&m_mutex);
    for (const Updater &updater : std::as_const(m_updaters))
        updater.device->setNoticeListener(nullptr);
}

bool OrvoEmulatedIapReturn::driveEjected(const QString &folder, const QString &vendorText, const QString &label)
{
    const QDir drive(folder);
    if (!drive.exists(kTrigger))
        return false;
    OrvoDeviceIniFile ini(drive.filePath(kDeviceIni));
    if (!ini.load() || ini.value(QStringLiteral("IMG"), QStringLiteral("UpdateMethod")).toInt() != kUpdateOnDevice)
        return false;
    const QString uuid = ini.value(QStringLiteral("UUID"), QStringLiteral("UUID"));
    QString match = ini.value(QStringLiteral("IAP"), QStringLiteral("NAME"));
    if (match.isEmpty())
        match = ini.value(QStringLiteral("MODEL"), QStringLiteral("Model"));
    if (uuid.size() != kDeviceIdLength || match.isEmpty() || match.size() > kMaxMatchLength) {
        ORVO_TRACE_WARNING(lcOrvoEmulator, "OrvoEmulatedIapReturn::driveEjected")
            << "no updater for" << folder << ": UUID" << uuid << "or name" << match << "unusable";
        return false;
    }
    auto device = makeUpdater(match, uuid);
    const OrvoEmulatedFlashDevice *raw = device.get();
    device->setNoticeListener([this, raw] { noticed(raw); });
    int delay = -1;
    {
        QMutexLocker lock(&m_mutex);
        m_updaters.append(Updater{device, QDir::cleanPath(folder), vendorText, label, Stage::Restarting});
        delay = m_restartMs;
    }
    ORVO_TRACE_DEBUG(lcOrvoEmulator, "OrvoEmulatedIapReturn::driveEjected") << folder << "restarts as" << match;
    scheduleRestart(delay);
    return true;
}

std::shared_ptr<OrvoEmulatedFlashDevice> OrvoEmulatedIapReturn::makeUpdater(const QString &matchString,
                                                                            const QString &uuid)
{
    auto device = std::make_shared<OrvoEmulatedFlashDevice>(
        OrvoEmulatedIdentity{"TARVEX", "IAP", QByteArray(), QByteArray(), matchString.toLatin1(), uuid.toLatin1()});
    device->addMemory(kExternalFlash, kExternalFlashSize, true);
    device->addMemory(kInternalFlash, kInternalFlashSize, false);
    using Access = OrvoEmulatedArea::Access;
    device->addArea({kDeviceIdArea, Access::DeviceId, QString(), 4 * kSectorSize, 0});
    device->addArea({kEraseArea, Access::EraseBlock, kExternalFlash, kSectorSize, kExternalBlockSize});
    device->addArea({kExternalFlashArea, Access::Write, kExternalFlash, kExternalBlockSize, 0});
    device->addArea({kInternalFlashArea, Access::Write, kInternalFlash, kInternalBlockSize, 0});
    device->addArea({kNoticeArea, Access::Notice, QString(), kSectorSize, 0});
    return device;
}

void OrvoEmulatedIapReturn::setRestartDelay(int milliseconds)
{
    QMutexLocker lock(&m_mutex);
    m_restartMs = milliseconds;
}

void OrvoEmulatedIapReturn::noticed(const OrvoEmulatedFlashDevice *device)
{
    int delay = -1;
    {
        QMutexLocker lock(&m_mutex);
        const auto updater = std::find_if(m_updaters.begin(), m_updaters.end(),
                                          [device](const Updater &u) { return u.device.get() == device; });
        if (updater == m_updaters.end() || updater->stage != Stage::Updating)
            return;
        updater->stage = Stage::Notified;
        delay = m_restartMs;
    }
    ORVO_TRACE_DEBUG(lcOrvoEmulator, "OrvoEmulatedIapReturn::noticed") << "updater told to start";
    scheduleRestart(delay);
}

void OrvoEmulatedIapReturn::scheduleRestart(int delay)
{
    if (delay < 0)
        return;
    // Ejects and notices arrive on the client's worker; devices come and go on the platform's
    // thread.
    QMetaObject::invokeMethod(
        &m_platform, [this, delay] { QTimer::singleShot(delay, &m_platform, [this] { finishRestarts(); }); },
        Qt::QueuedConnection);
}

int OrvoEmulatedIapReturn::finishRestarts()
{
    QVector<Updater> starting;
    QVector<Updater> returning;
    {
        QMutexLocker lock(&m_mutex);
        for (Updater &updater : m_updaters) {
            if (updater.stage == Stage::Restarting) {
                updater.stage = Stage::Updating;
                starting.append(updater);
            } else if (updater.stage == Stage::Notified) {
                returning.append(updater);
            }
        }
        m_updaters.removeIf([](const Updater &u) { return u.stage == Stage::Notified; });
    }
    for (const Updater &updater : std::as_const(starting))
        m_platform.plugScsiDevice(updater.device);
    for (const Updater &updater : std::as_const(returning))
        returnAsDrive(updater);
    return int(starting.size() + returning.size());
}

void OrvoEmulatedIapReturn::returnAsDrive(const Updater &updater)
{
    updater.device->setNoticeListener(nullptr);
    m_platform.unplugScsiDevice(updater.device);
    // The updater takes the trigger away, or the drive would restart into it at every eject.
    if (!QFile::remove(QDir(updater.folder).filePath(kTrigger)))
        ORVO_TRACE_WARNING(lcOrvoEmulator, "OrvoEmulatedIapReturn::returnAsDrive")
            << "trigger left on" << updater.folder;
    m_platform.plugDrive(updater.folder, updater.vendorText, updater.label);
}

std::shared_ptr<OrvoEmulatedFlashDevice> OrvoEmulatedIapReturn::updaterOf(const QString &folder) const
{
    const QString wanted = QDir::cleanPath(folder);
    QMutexLocker lock(&m_mutex);
    for (const Updater &updater : m_updaters) {
        if (updater.folder == wanted)
            return updater.device;
    }
    return nullptr;
}
