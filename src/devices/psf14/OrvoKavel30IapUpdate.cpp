#include "devices/psf14/OrvoKavel30IapUpdate.h"

#include "device/OrvoDeviceWaits.h"
#include "devices/psf14/OrvoKavel30.h"
#include "devices/psf14/OrvoKavel30Logging.h"
#include "env/OrvoEnv.h"
#include "env/OrvoFunctionTrace.h"
#include "env/OrvoUtility.h"
#include "env/OrvoZipUtil.h"

#include <QDir>

namespace {

const char *const kFunction = "OrvoKavel30::updateLaunchsec";

// The last entry in name order whose name starts with prefix and not with excluded.
QString lastStartingWith(const QDir &folder, const QString &prefix, const QString &excluded)
{
    QString found;
    for (const QString &name : folder.entryList(QDir::Files, QDir::Name)) {
        if (name.startsWith(prefix) && (excluded.isEmpty() || !name.startsWith(excluded)))
            found = folder.filePath(name);
    }
    return found;
}

} // namespace

const OrvoKavel30IapUpdate::Names OrvoKavel30IapUpdate::kKavel30{QStringLiteral("/kavel30iap"), QStringLiteral("IT"),
                                                                 QStringLiteral("I"), "write iap temp failed ",
                                                                 "write iap failed "};

const OrvoKavel30IapUpdate::Names OrvoKavel30IapUpdate::kPulmor30{QStringLiteral("/pulmor30iap"), QStringLiteral("LT"),
                                                                  QStringLiteral("L"), "write teska iap temp failed ",
                                                                  "write teska iap failed "};

OrvoKavel30IapUpdate::OrvoKavel30IapUpdate(OrvoKavel30 &device, const Names &names)
    : m_device(device)
    , m_names(names)
{}

bool OrvoKavel30IapUpdate::run(const QString &package)
{
    const QDir folder(OrvoEnv::instance()->tmpDir() + m_names.folderName);
    if (!unpack(package, folder.path()))
        return false;
    const QString loader = lastStartingWith(folder, m_names.loaderPrefix, QString());
    const QString firmware = lastStartingWith(folder, m_names.firmwarePrefix, m_names.loaderPrefix);
    if (loader.isEmpty() || !m_device.writeFlash(loader, kLoaderArea, kChunk)) {
        ORVO_TRACE_CRITICAL(lcOrvoKavel30, kFunction) << m_names.loaderFailure << loader;
        return false;
    }
    // Firmware goes only to a device that runs the loader.
    if (!startLoader())
        return false;
    return firmware.isEmpty() || sendFirmware(firmware);
}

bool OrvoKavel30IapUpdate::unpack(const QString &package, const QString &folder)
{
    OrvoUtility::removeFolder(folder);
    if (QDir().mkpath(folder) && OrvoZipUtil().decompress(package, folder))
        return true;
    ORVO_TRACE_CRITICAL(lcOrvoKavel30, kFunction) << "uncompress iap package failed " << package << " to " << folder;
    return false;
}

// The device restarts into the loader; it is not ready for other work until it answers again.
bool OrvoKavel30IapUpdate::startLoader()
{
    OrvoEnv *env = OrvoEnv::instance();
    env->setDeviceReady(false);
    const bool started = m_device.writeZeroSector(kLoaderStartArea);
    bool answered = false;
    for (int step = 0; step < kRestartWaitSteps && !answered; ++step) {
        OrvoDeviceWaits::current().sleep(kRestartWaitMs);
        answered = m_device.isValid();
    }
    env->setDeviceReady(true);
    return started && answered;
}

bool OrvoKavel30IapUpdate::sendFirmware(const QString &firmware)
{
    if (!m_device.writeFlash(firmware, kFirmwareArea, kChunk)) {
        ORVO_TRACE_CRITICAL(lcOrvoKavel30, kFunction) << m_names.firmwareFailure << firmware;
        return false;
    }
    OrvoEnv *env = OrvoEnv::instance();
    env->setDeviceReady(false);
    const bool started = m_device.writeZeroSector(kFirmwareStartArea);
    OrvoDeviceWaits::current().sleep(kRestartWaitMs);
    m_device.isValid();
    env->setDeviceReady(true);
    return started;
}
