#include "app/OrvoEnvWrapper.h"

#include "app/OrvoAppLogging.h"
#include "app/OrvoControllerHooks.h"
#include "app/OrvoPython.h"
#include "app/OrvoPythonConsole.h"
#include "app/OrvoWebToken.h"
#include "app/PythonCppBridge.h"
#include "env/OrvoEnv.h"
#include "env/OrvoFunctionTrace.h"
#include "env/OrvoMessageHandler.h"
#include "env/OrvoSettingsKeys.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QProcess>
#include <QUrl>

namespace {

// Created once, on the first right access code, and kept for the life of the process.
OrvoPythonConsole *g_console = nullptr;

const QString kGpxFileFilter = QStringLiteral("Text files (*.krm);; Text files (*.gpx);; All files (*.*)");

OrvoEnv *env()
{
    return OrvoEnv::instance();
}

} // namespace

OrvoEnv *OrvoEnvWrapper::new_OrvoEnv()
{
    return env();
}

QString OrvoEnvWrapper::getResourceDir(OrvoEnv *)
{
    return env()->resourceDir();
}

void OrvoEnvWrapper::updateOrvo(OrvoEnv *, const QString &filename)
{
    ORVO_TRACE_DEBUG(lcOrvoApp, "OrvoEnvWrapper::updateOrvo") << "update Orvo with" << filename;
    // The installer replaces the program while it shuts down; without one the program stays.
    if (!QProcess::startDetached(filename, {QStringLiteral("/SILENT")})) {
        ORVO_TRACE_CRITICAL(lcOrvoApp, "OrvoEnvWrapper::updateOrvo") << "installer not started" << filename;
        return;
    }
    QCoreApplication::exit(0);
}

void OrvoEnvWrapper::setDebugLevel(OrvoEnv *, const QString &level)
{
    env()->setValue(QLatin1String(OrvoSettingsKeys::kDebug.name), level);
    resetDebugLevelCache();
}

void OrvoEnvWrapper::enableDebug(OrvoEnv *, const QString &user, const QString &, int port)
{
    if (!g_console) {
        if (user != QLatin1String(kConsoleUser) || port != kConsolePort)
            return;
        g_console = new OrvoPythonConsole();
    }
    g_console->show();
    g_console->raise();
}

QString OrvoEnvWrapper::getVersion(OrvoEnv *)
{
    return OrvoEnv::version();
}

QString OrvoEnvWrapper::getUserDataBaseFolder(OrvoEnv *)
{
    return env()->userFolder();
}

int OrvoEnvWrapper::getUserUmask(OrvoEnv *)
{
    return int(OrvoEnv::userUmask());
}

QString OrvoEnvWrapper::getHomeTempDir(OrvoEnv *)
{
    return env()->tmpDir();
}

QString OrvoEnvWrapper::getUpdateUrl(OrvoEnv *)
{
    return env()->updateUrl();
}

void OrvoEnvWrapper::setUserDataBaseFolder(OrvoEnv *, const QString &folder)
{
    env()->setUserFolder(folder);
}

QString OrvoEnvWrapper::getHomelink(OrvoEnv *)
{
    return env()->homeLink();
}

void OrvoEnvWrapper::appendLog(OrvoEnv *, const QString &line)
{
    env()->writeLog(1, line);
}

QString OrvoEnvWrapper::getValue(OrvoEnv *, const QString &key, const QString &strdefault)
{
    return env()->getValue(key, strdefault);
}

QString OrvoEnvWrapper::getRole(OrvoEnv *)
{
    return env()->role();
}

QString OrvoEnvWrapper::getWebToken(OrvoEnv *)
{
    return OrvoWebToken::current();
}

void OrvoEnvWrapper::quit(OrvoEnv *)
{
    QCoreApplication::quit();
}

void OrvoEnvWrapper::openFolder(OrvoEnv *, const QString &path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

QString OrvoEnvWrapper::selectExportFolder(OrvoEnv *, const QString &default_folder, const QString &title)
{
    return QFileDialog::getExistingDirectory(nullptr, title, default_folder,
                                             QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
}

QString OrvoEnvWrapper::selectGpxFile(OrvoEnv *, const QString &default_file, const QString &title)
{
    return QFileDialog::getOpenFileName(nullptr, title, default_file, kGpxFileFilter);
}

void OrvoEnvWrapper::showDeviceManager(OrvoEnv *)
{
    if (PythonCppBridge *bridge = pythonBridge())
        bridge->showHomePage();
}

bool OrvoEnvWrapper::isForceDeviceUpdate(OrvoEnv *)
{
    return env()->isForceDeviceUpdate();
}

bool OrvoEnvWrapper::isForceOrvoUpdate(OrvoEnv *)
{
    return env()->isForceOrvoUpdate();
}

void OrvoEnvWrapper::disconnectDevice(OrvoEnv *)
{
    OrvoControllerHooks::disconnectDevice();
}

void OrvoEnvWrapper::updateDeviceInfo(OrvoEnv *, const QString &model, const QString &releaseIniPath)
{
    env()->updateDeviceInfo(model, releaseIniPath);
}

QString OrvoEnvWrapper::exportOrvoLog(OrvoEnv *, const QString &dest)
{
    QString error;
    return OrvoControllerHooks::exportLog(dest, error) ? QString() : error;
}
