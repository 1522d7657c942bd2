#include "app/OrvoApp.h"

#include "app/OrvoAppLogging.h"
#include "app/OrvoControllerHooks.h"
#include "app/OrvoDaemon.h"
#include "app/OrvoPython.h"
#include "app/OrvoSingleInstance.h"
#include "app/OrvoTerminationWatcher.h"
#include "app/OrvoWebToken.h"
#include "app/PythonCppBridge.h"
#include "env/OrvoEnv.h"
#include "env/OrvoEnvInterface.h"
#include "env/OrvoFunctionTrace.h"
#include "env/OrvoLinuxEnv.h"
#include "env/OrvoZKLogAppender.h"
#include "env/ZKLogger.h"

#include <QDesktopServices>
#include <QDir>
#include <QDomImplementation>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QLocale>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <QTemporaryFile>
#include <QTranslator>
#include <QUrl>

namespace {

const char *const kTranslationContext = "OrvoDaemon";
const QString kRoleUser = QStringLiteral("user");

QString translated(const char *text)
{
    return QCoreApplication::translate(kTranslationContext, text);
}

// The data folder holds the settings and the log; without it the program would run with neither
// and say nothing. Only a real write tells, whatever the permission bits say.
QString dataFolderProblem(const QString &folder)
{
    const QString named =
        qEnvironmentVariableIsEmpty("ORVO_DATA_DIR") ? folder : QStringLiteral("%1 (ORVO_DATA_DIR)").arg(folder);
    if (!QFileInfo(folder).isDir())
        return QStringLiteral("the data folder %1 is not a folder and cannot be made one").arg(named);
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral("write-check-XXXXXX")));
    if (!probe.open())
        return QStringLiteral("the data folder %1 is not writable: %2").arg(named, probe.errorString());
    return {};
}

QString instanceKey(const QString &programName)
{
    const QString configured = qEnvironmentVariable("ORVO_INSTANCE_KEY");
    return configured.isEmpty() ? OrvoSingleInstance::defaultKey(programName, OrvoLinuxEnv().dataDir()) : configured;
}

} // namespace

OrvoApp::OrvoApp(int &argc, char **argv, const QString &programName)
    : QApplication(argc, argv)
    , m_console(programName)
    , m_instance(new OrvoSingleInstance(instanceKey(programName), this))
    , m_terminationWatcher(new OrvoTerminationWatcher(this))
{
    connect(m_instance, &OrvoSingleInstance::messageReceived, this, &OrvoApp::onInstanceMessage);
}

OrvoApp::~OrvoApp()
{
    delete m_trayIcon;
}

bool OrvoApp::isRunning()
{
    return m_instance->isRunning();
}

bool OrvoApp::sendMessage(const QString &message, int timeoutMs)
{
    return m_instance->sendMessage(message, timeoutMs);
}

int OrvoApp::init()
{
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        m_console.error(QStringLiteral("no system tray runs on this desktop"));
        QMessageBox::critical(nullptr, translated("Systray"),
                              translated("I couldn't detect any system tray on this system."));
        return 1;
    }
    setQuitOnLastWindowClosed(false);
    if (!startEnvironment(kRoleUser))
        return 1;

    // Only what init translates (the tray menu) uses the translator.
    QTranslator translator;
    if (translator.load(translationFile(QLocale::system().name())))
        installTranslator(&translator);

    if (!startScripting())
        return 1;
    createTrayIcon();
    m_trayIcon->show();
    homePage();
    return 0;
}

QString OrvoApp::translationFile(const QString &localeName)
{
    // Only the name is lower-cased: the folder's own spelling matters on a case-sensitive file system.
    return OrvoEnv::instance()->resourcePath(QStringLiteral("orvod_%1").arg(localeName).toLower());
}

bool OrvoApp::startEnvironment(const QString &role)
{
    OrvoEnv *env = OrvoEnv::instance();
    env->init(role, QString());
    const QString problem = dataFolderProblem(env->userFolder());
    if (!problem.isEmpty()) {
        m_console.error(problem);
        return false;
    }
    env->copyNewIni();
    // After the settings file is in place: its "debug" value sets what the ZK layer logs.
    ZKLogger::instance().addAppender(std::make_unique<OrvoZKLogAppender>(*env));
    return true;
}

bool OrvoApp::startScripting()
{
    initPython();
    QDomImplementation::setInvalidDataPolicy(QDomImplementation::DropInvalidChars);
    const OrvoEnv *env = OrvoEnv::instance();
    if (OrvoWebToken::current().isEmpty()) {
        // The web application would refuse every request, the web window's too.
        m_console.error(QStringLiteral("the web application's token could not be written to %1")
                            .arg(QDir(env->userFolder()).filePath(OrvoWebToken::fileName(env->role()))));
        return false;
    }
    if (!isListenPortTaken())
        return true;
    const QString text = QStringLiteral("port %1 is taken by another program; set \"listen_port\" in the group "
                                        "[%2] of %3 to a free port")
                             .arg(env->listenPort(), OrvoEnv::appName(), env->iniFilePath());
    ORVO_TRACE_CRITICAL(lcOrvoApp, "OrvoApp::startScripting") << text;
    m_console.error(text);
    return false;
}

bool OrvoApp::handOverToRunningInstance()
{
    if (!isRunning())
        return false;
    if (sendMessage(QLatin1String(kInstanceMessage), kInstanceTimeoutMs)) {
        m_console.info(QStringLiteral("an instance is already running; this start was handed to it"));
    } else {
        ORVO_TRACE_WARNING(lcOrvoApp, "main") << "the running instance did not answer";
        m_console.info(QStringLiteral("an instance is already running, but it did not answer"));
    }
    return true;
}

void OrvoApp::shutdown()
{
    if (PythonCppBridge *bridge = pythonBridge())
        bridge->stopScheduler();
    OrvoDaemon::release();
    delete m_trayIcon;
    m_trayIcon = nullptr;
    finalizePython();
    ZKLogger::instance().clearAppenders();
    OrvoEnv::instance()->shutdown();
}

QAction *OrvoApp::addMenuAction(const char *text)
{
    auto *action = new QAction(QLatin1Char('&') + translated(text), this);
    m_trayMenu->addAction(action);
    return action;
}

void OrvoApp::createTrayIcon()
{
    m_trayMenu = std::make_unique<QMenu>();
    m_quitAction = addMenuAction("Quit");
    m_aboutAction = addMenuAction("About");
    m_exportLogAction = addMenuAction("Export log");
    m_openUserFolderAction = addMenuAction("Open User Folder");
    m_openHomePageAction = addMenuAction("Open Tarvex Orvo 2-My Device Manager");
    connect(m_quitAction, &QAction::triggered, this, &QCoreApplication::quit);
    connect(m_aboutAction, &QAction::triggered, this, &OrvoApp::about);
    connect(m_exportLogAction, &QAction::triggered, this, &OrvoApp::exportLog);
    connect(m_openUserFolderAction, &QAction::triggered, this, &OrvoApp::locateOrvoUserFolder);
    connect(m_openHomePageAction, &QAction::triggered, this, &OrvoApp::homePage);

    const QIcon icon(QStringLiteral(":/orvo-icon-s.png"));
    if (icon.isNull())
        ORVO_TRACE_WARNING(lcOrvoApp, "OrvoApp::createTrayIcon") << "null tray icon";
    m_trayIcon = new QSystemTrayIcon(icon, this);
    m_trayIcon->setContextMenu(m_trayMenu.get());
    setWindowIcon(QIcon(QStringLiteral(":/orvo-icon-m.png")));
}

void OrvoApp::about()
{
    QMessageBox::information(
        nullptr, QStringLiteral("Tarvex Orvo 2"),
        QStringLiteral("Tarvex Orvo 2 ,Version : %1\nBuild: %2").arg(OrvoEnv::version(), OrvoEnv::build()));
}

void OrvoApp::exportLog()
{
    ORVO_TRACE_CRITICAL(lcOrvoApp, "OrvoApp::exportLog") << "enter exportLog";
    // A bare name would start the dialog in whatever folder the program was started from.
    const QString path =
        QFileDialog::getSaveFileName(nullptr, QStringLiteral("Save as zip file..."),
                                     QDir::home().filePath(QStringLiteral("orvoexport.zip")), QStringLiteral("*.zip"));
    if (path.isEmpty())
        return;
    // The controller tells the user of a failure itself.
    QString error;
    OrvoControllerHooks::exportLog(path, error);
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

void OrvoApp::locateOrvoUserFolder()
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(OrvoEnv::instance()->userFolder()));
}

void OrvoApp::homePage()
{
    if (PythonCppBridge *bridge = pythonBridge())
        bridge->showHomePage();
}

void OrvoApp::onInstanceMessage(const QString &message)
{
    ORVO_TRACE_DEBUG(lcOrvoApp, "OrvoApp::onInstanceMessage") << "message from a second start" << message;
}
