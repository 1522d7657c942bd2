#pragma once

#include "app/OrvoConsole.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QString>

#include <memory>

class OrvoSingleInstance;
class OrvoTerminationWatcher;
class QSystemTrayIcon;

// The application object of both programs: one running instance per user and program, an
// orderly shutdown on a termination request, the shared start-up steps, and, for the tray
// program (init), the tray icon with its menu and the web window. A program without windows
// uses the shared steps and never calls init.
class OrvoApp : public QApplication
{
    Q_OBJECT

public:
    // The message a second start hands to the running instance, and how long it waits.
    static constexpr const char *kInstanceMessage = "raies";
    static constexpr int kInstanceTimeoutMs = 5000;

    // The instance key is $ORVO_INSTANCE_KEY when set, else the program's key for this user and
    // the data folder the program will take.
    OrvoApp(int &argc, char **argv, const QString &programName);
    ~OrvoApp() override;

    // True when another instance of the program runs; otherwise this process becomes it.
    bool isRunning();
    bool sendMessage(const QString &message, int timeoutMs);

    // The tray program's start-up: 0, or 1 when there is no system tray or a start-up step
    // failed (said on standard error).
    int init();

    // The translation file for a locale: "orvod_<locale>" in lower case, in the resource folder.
    static QString translationFile(const QString &localeName);

    // Shared start-up steps: the environment with its settings file, then Python and the XML policy.
    // False, said on standard error, when the data folder cannot be written or another program
    // holds the web application's port: the program would run without settings, log or page.
    bool startEnvironment(const QString &role);
    bool startScripting();
    // A second start hands its message to the running instance and says so on standard output;
    // answers whether one runs.
    bool handOverToRunningInstance();
    // Shared shutdown, after the event loop, in order: the Python scheduler, the controller with
    // its clients, Python, then the environment's log.
    void shutdown();

public slots:
    void about();
    void exportLog();
    void locateOrvoUserFolder();
    void homePage();

private:
    void createTrayIcon();
    QAction *addMenuAction(const char *text);
    void onInstanceMessage(const QString &message);

    OrvoConsole m_console;
    OrvoSingleInstance *m_instance = nullptr;
    OrvoTerminationWatcher *m_terminationWatcher = nullptr;
    QSystemTrayIcon *m_trayIcon = nullptr;
    std::unique_ptr<QMenu> m_trayMenu;
    QAction *m_quitAction = nullptr;
    QAction *m_aboutAction = nullptr;
    QAction *m_exportLogAction = nullptr;
    QAction *m_openUserFolderAction = nullptr;
    QAction *m_openHomePageAction = nullptr;
};
