#include "app/OrvoApp.h"

#include "app/OrvoAppLogging.h"
#include "app/OrvoControllerHooks.h"
#include "app/OrvoDaemon.h"
#include "app/OrvoPython.h"
#include "app/OrvoSingleInstance.h"
#include "app/OrvoTerminationWatcher.h"
#include "app/PythonCppBridge.h"
#include "env/OrvoEnv.h"
#include "env/OrvoEnvInterface.h"
#include "env/OrvoFunctionTrace.h"
#include "env/OrvoZKLogAppender.h"
#include "env/ZKLogger.h"

#include <QDesktopServices>
#include <QDomImplementation>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QLocale>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <QTranslator>
#include <QUrl>

namespace {

const char *const kTranslationContext = "OrvoDaemon";
const QString kRoleUser = QStringLiteral("user");

QString translated(const char *text)
{
    return QCoreApplication::translate(kTranslationContext, text);
}

QString instanceKey(const QString &programName)
{
    const QString configured = qEnvironmentVariable("ORVO_INSTANCE_KEY");
    return configured.isEmpty() ? OrvoSingleInstance::defaultKey(programName) : configured;
}

} // namespace

OrvoApp::OrvoApp(int &argc, char **argv, const QString &programName)
    : QApplication(argc, argv)
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
        QMessageBox::critical(nullptr, translated("Systray"),
                              translated("I couldn't detect any system tray on this system."));
        return 1;
    }
    setQuitOnLastWindowClosed(false);
    startEnvironment(kRoleUser);

    // Only what init translates (the tray menu) uses the translator.
    QTranslator translator;
    if (translator.load(translationFile(QLocale::system().name())))
        installTranslator(&translator);

    startScripting();
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

void OrvoApp::startEnvironment(const QString &role)
{
    OrvoEnv::instance()->init(role, QString());
    OrvoEnv::instance()->copyNewIni();
    // After the settings file is in place: its "debug" value sets what the ZK layer logs.
    ZKLogger::instance().addAppender(std::make_unique<OrvoZKLogAppender>(*OrvoEnv::instance()));
}

void OrvoApp::startScripting()
{
    initPython();
    QDomImplementation::setInvalidDataPolicy(QDomImplementation::DropInvalidChars);
}

bool OrvoApp::handOverToRunningInstance()
{
    if (!isRunning())
        return false;
    if (!sendMessage(QLatin1String(kInstanceMessage), kInstanceTimeoutMs))
        ORVO_TRACE_WARNING(lcOrvoApp, "main") << "the running instance did not answer";
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
    const QString path = QFileDialog::getSaveFileName(nullptr, QStringLiteral("Save as zip file..."),
                                                      QStringLiteral("orvoexport.zip"), QStringLiteral("*.zip"));
    if (path.isEmpty())
        return;
    OrvoControllerHooks::exportLog(path);
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
