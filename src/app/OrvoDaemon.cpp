#include "app/OrvoDaemon.h"

#include "app/OrvoAppLogging.h"
#include "app/OrvoControllerHooks.h"
#include "app/OrvoDaemonProxy.h"
#include "app/OrvoDeviceTypeTable.h"
#include "app/OrvoPython.h"
#include "app/PythonCppBridge.h"
#include "device/OrvoClient.h"
#include "device/OrvoDeviceFactory.h"
#include "device/OrvoDeviceManager.h"
#include "device/OrvoDeviceService.h"
#include "device/OrvoInnerDeviceFactory.h"
#include "device/OrvoModelSetupInterface.h"
#include "devices/fs/OrvoKavel60.h"
#include "devices/gal/OrvoFitDevice.h"
#include "devices/gal/OrvoGalDevice.h"
#include "env/OrvoEnv.h"
#include "env/OrvoFunctionTrace.h"
#include "env/OrvoUtility.h"
#include "env/OrvoZipUtil.h"
#include "util/ZKTraceLog.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

namespace {

std::unique_ptr<OrvoDaemon> g_instance;

const QString kUserRole = QStringLiteral("user");
// The log export takes these two logs whatever the log settings name.
const QString kLog = QStringLiteral("orvo.log");
const QString kLogCopy = QStringLiteral("orvolog.txt");
const QString kUserLog = QStringLiteral("orvouser.log");
const QString kUserLogCopy = QStringLiteral("orvouserlog.txt");
// Models that announce themselves to the web application without the drive's ride data.
const QString kNoDriveAnnouncePrefix = QStringLiteral("Kavel50");
constexpr int kLogCopyAttempts = 1;

QString pathIn(const QString &folder, const QString &name)
{
    return folder + QLatin1Char('/') + name;
}

void copyLog(const QString &folder, const QString &log, const QString &copy, QStringList &files)
{
    const QString source = pathIn(folder, log);
    if (!QFile::exists(source))
        return;
    if (OrvoUtility::copyFile(source, pathIn(folder, copy), true, kLogCopyAttempts, 0, {}, false, 0, nullptr))
        files.append(copy);
    else
        ORVO_TRACE_WARNING(lcOrvoApp, "OrvoDaemon::exportLog") << "can not copy" << source;
}

bool passesToLibrary(const QString &text, qsizetype limit)
{
    return !text.isEmpty() && text.size() < limit;
}

void checkCurrentClientVersions()
{
    if (!g_instance)
        return;
    if (OrvoClient *client = g_instance->currentClient())
        client->checkMinVersions(OrvoEnv::instance());
}

} // namespace

OrvoDaemon::OrvoDaemon(OrvoDeviceClock::Seconds seconds, OrvoDeviceClock::Tick tick)
    : m_manager(std::make_unique<OrvoDeviceManager>(std::move(seconds), std::move(tick)))
{}

OrvoDaemon::~OrvoDaemon()
{
    m_manager->removeListener(this);
}

OrvoDaemon *OrvoDaemon::instance()
{
    if (!g_instance) {
        if (OrvoEnv::instance()->role() == kUserRole)
            g_instance = std::make_unique<OrvoDaemonProxy>();
        else
            g_instance = std::make_unique<OrvoDaemon>();
        g_instance->installCommands();
    }
    return g_instance.get();
}

void OrvoDaemon::release()
{
    removeCommands();
    g_instance.reset();
}

void OrvoDaemon::installCommands()
{
    OrvoControllerHooks::setExportLogHook([](const QString &dest, QString &error) {
        if (g_instance)
            return g_instance->exportLog(dest, error);
        error = QStringLiteral("no device controller runs");
        return false;
    });
    OrvoControllerHooks::setDisconnectDeviceHook([] {
        if (g_instance)
            g_instance->releaseCurrentDevice();
    });
    OrvoControllerHooks::setCurrentClientHook(
        []() -> OrvoClient * { return g_instance ? g_instance->currentClient() : nullptr; });
    // Installers on a client's worker thread change minimum versions too; the check runs where
    // the client lives.
    OrvoEnv::setVersionCheckHook([] {
        if (OrvoEnv::instance()->isMainThread())
            checkCurrentClientVersions();
        else
            QMetaObject::invokeMethod(QCoreApplication::instance(), &checkCurrentClientVersions, Qt::QueuedConnection);
    });
}

void OrvoDaemon::removeCommands()
{
    OrvoControllerHooks::setExportLogHook({});
    OrvoControllerHooks::setDisconnectDeviceHook({});
    OrvoControllerHooks::setCurrentClientHook({});
    OrvoEnv::setVersionCheckHook({});
}

void OrvoDaemon::onDeviceConnected(OrvoClient *client)
{
    OrvoEnv *env = OrvoEnv::instance();
    client->checkMinVersions(env);
    QString model;
    client->getName(model);
    ORVO_TRACE_DEBUG(lcOrvoApp, "OrvoDaemon::onDeviceConnected") << "device connected:" << model;
    ZKTraceLog::setModelName(model);
    setUpModel(*client, model);

    PythonCppBridge *bridge = pythonBridge();
    if (bridge == nullptr) {
        ORVO_TRACE_WARNING(lcOrvoApp, "OrvoDaemon::onDeviceConnected") << "no web application to tell of" << model;
        return;
    }
    QString drive;
    if (client->deviceServiceType() == OrvoDeviceService::FileSystemService &&
        !model.startsWith(kNoDriveAnnouncePrefix) && client->getDrive(drive))
        bridge->updateDevice(drive);
    bridge->notifyUpdate(model);
}

void OrvoDaemon::setUpModel(OrvoClient &client, const QString &model)
{
    if (m_modelSetup == nullptr)
        return;
    if (passesToLibrary(model, kMaxModelNameLength))
        m_modelSetup->setModelName(model.toLatin1());
    QString image;
    client.getTotal(image);
    if (passesToLibrary(image, kMaxCodeLength))
        m_modelSetup->setModelImg(image.toLatin1());
    QString bootLoader;
    client.getBootloader(bootLoader);
    if (passesToLibrary(bootLoader, kMaxCodeLength))
        m_modelSetup->setModelIap(bootLoader.toLatin1());
}

void OrvoDaemon::onDeviceDisconnected(OrvoClient *client)
{
    OrvoEnv *env = OrvoEnv::instance();
    env->setForceOrvoUpdate(false);
    // A device that formats itself comes back, still needing its update.
    if (client == nullptr || client->getState() != kFormattingState)
        env->setForceDeviceUpdate(false);
}

bool OrvoDaemon::registerDevices(bool withTable)
{
    if (withTable) {
        QStringList unsupported;
        for (const OrvoDeviceTypeTable::Row &row : OrvoDeviceTypeTable::rows()) {
            const QString model = QStringLiteral("%1 (%2)").arg(row.info.modelName, QLatin1String(row.className));
            if (!row.info.factory && !unsupported.contains(model))
                unsupported << model;
            m_manager->registerDevice(row.info, false);
        }
        if (!unsupported.isEmpty())
            ORVO_TRACE_WARNING(lcOrvoApp, "OrvoDaemon::registerDevices")
                << "models not supported yet, their devices are not served:"
                << qUtf8Printable(unsupported.join(QStringLiteral(", ")));
    }
    // GAL devices of models the table does not name, the Kavel60 and the Fit devices are
    // registered from their own device file.
    OrvoDeviceRegistry::FileDeviceFactories factories = m_manager->registry().fileDeviceFactories();
    factories.galDevice = OrvoDeviceFactory::create<OrvoGalDevice>;
    factories.kavel60 = OrvoDeviceFactory::create<OrvoKavel60>;
    factories.fitDevice = OrvoDeviceFactory::create<OrvoFitDevice>;
    m_manager->registry().setFileDeviceFactories(factories);
    // A Kavel60 tells its identity through the GAL client inside it.
    OrvoInnerDeviceFactory::setGalDeviceMaker([] { return std::make_unique<OrvoGalDevice>(); });
    m_manager->addListener(this);
    if (!m_manager->start())
        ORVO_TRACE_WARNING(lcOrvoApp, "OrvoDaemon::registerDevices") << "device detection did not start";
    OrvoClient *client = m_manager->currentClient();
    if (client == nullptr)
        return false;
    client->checkMinVersions(OrvoEnv::instance());
    return true;
}

OrvoClient *OrvoDaemon::currentClient()
{
    return m_manager->currentClient();
}

bool OrvoDaemon::exportLog(const QString &dest, QString &error)
{
    ORVO_TRACE_DEBUG(lcOrvoApp, "OrvoDaemon::exportLog") << "export log to" << dest;
    // Whoever names a file here must not get it removed: the export writes new files only.
    const QFileInfo existing(dest);
    if (existing.exists() || existing.isSymLink()) {
        ORVO_TRACE_WARNING(lcOrvoApp, "OrvoDaemon::exportLog") << "not replacing the existing file" << dest;
        error = QStringLiteral("%1 exists; the export replaces no file").arg(dest);
        return false;
    }
    const QString folder = OrvoEnv::instance()->userFolder();
    QStringList files;
    copyLog(folder, kLog, kLogCopy, files);
    copyLog(folder, kUserLog, kUserLogCopy, files);
    if (OrvoClient *client = currentClient())
        client->dumpFlashForLog(folder, &files);
    const bool written = OrvoZipUtil().compress(dest, folder, files);
    for (const QString &file : std::as_const(files))
        QFile::remove(pathIn(folder, file));
    if (!written) {
        ORVO_TRACE_WARNING(lcOrvoApp, "OrvoDaemon::exportLog") << "can not write" << dest;
        error = QStringLiteral("the zip file %1 could not be written: its folder is missing, full or takes no files")
                    .arg(dest);
    }
    return written;
}

OrvoDeviceManager *OrvoDaemon::deviceManager() const
{
    return m_manager.get();
}

void OrvoDaemon::setModelSetup(OrvoModelSetupInterface *setup)
{
    m_modelSetup = setup;
}

void OrvoDaemon::releaseCurrentDevice()
{
    if (currentClient() != nullptr)
        m_manager->releaseCurrentDevice();
}
