#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// One installation of a program for a test: its own data folder with a settings file that
// the shipped one does not replace, its own instance key and web application port.
class OrvoProgramInstall
{
public:
    // program: "orvo-daemon" or "orvo-tray", found in the build's bin folder; settingsBase:
    // the role's settings and log name without its suffix ("orvo", "orvouser").
    OrvoProgramInstall(const QString &program, const QString &settingsBase);

    QString dataDir() const;
    QString logPath() const;
    QString log() const;
    int port() const;
    // What the program is started with; the test adds its own variables.
    QProcessEnvironment &environment();

    std::unique_ptr<QProcess> start(QProcess::ProcessChannelMode channels, const QStringList &arguments = {}) const;

private:
    QTemporaryDir m_dataDir;
    QString m_program;
    QString m_settingsBase;
    int m_port = 0;
    QProcessEnvironment m_environment;
};
