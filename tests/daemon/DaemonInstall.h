#pragma once

#include "OrvoProgramInstall.h"

#include <QProcess>
#include <QTemporaryDir>

#include <memory>

// One installation of the daemon: its own data folder, instance key, port and emulated
// devices, and no display.
class DaemonInstall
{
public:
    DaemonInstall()
    {
        QProcessEnvironment &environment = m_install.environment();
        for (const char *display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QLatin1String(display));
        environment.insert(QStringLiteral("ORVO_PLATFORM"), QStringLiteral("emulator:") + devicesDir());
    }

    QString dataDir() const { return m_install.dataDir(); }
    QString devicesDir() const { return m_devicesDir.path(); }
    QProcessEnvironment &environment() { return m_install.environment(); }
    QString log() const { return m_install.log(); }
    quint16 port() const { return quint16(m_install.port()); }

    std::unique_ptr<QProcess> start() const { return m_install.start(QProcess::ForwardedChannels); }
    // Both outputs kept apart for the test to read.
    std::unique_ptr<QProcess> startReading(const QStringList &arguments = {}) const
    {
        return m_install.start(QProcess::SeparateChannels, arguments);
    }

private:
    OrvoProgramInstall m_install{QStringLiteral("orvo-daemon"), QStringLiteral("orvo")};
    QTemporaryDir m_devicesDir;
};
