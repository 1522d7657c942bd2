#include "OrvoProgramInstall.h"

#include "OrvoTestProcess.h"
#include "OrvoTestSupport.h"

#include <QDir>
#include <QSettings>
#include <QUuid>

OrvoProgramInstall::OrvoProgramInstall(const QString &program, const QString &settingsBase)
    : m_program(program)
    , m_settingsBase(settingsBase)
    , m_port(OrvoTest::freePort())
    , m_environment(QProcessEnvironment::systemEnvironment())
{
    // The version stamp keeps the shipped settings file from replacing these.
    QSettings settings(QDir(dataDir()).filePath(settingsBase + QStringLiteral(".ini")), QSettings::IniFormat);
    settings.setValue(QStringLiteral("TarvexOrvo/version"), QStringLiteral("2.8.0.20"));
    settings.setValue(QStringLiteral("TarvexOrvo/debug"), QStringLiteral("0"));
    settings.setValue(QStringLiteral("TarvexOrvo/listen_port"), QString::number(m_port));
    m_environment.insert(QStringLiteral("ORVO_DATA_DIR"), dataDir());
    m_environment.insert(QStringLiteral("ORVO_INSTANCE_KEY"),
                         program + QStringLiteral("-test-") + QUuid::createUuid().toString(QUuid::Id128));
}

QString OrvoProgramInstall::dataDir() const
{
    return m_dataDir.path();
}

QString OrvoProgramInstall::logPath() const
{
    return QDir(dataDir()).filePath(m_settingsBase + QStringLiteral(".log"));
}

QString OrvoProgramInstall::log() const
{
    return QString::fromUtf8(OrvoTest::readFile(logPath()));
}

int OrvoProgramInstall::port() const
{
    return m_port;
}

QProcessEnvironment &OrvoProgramInstall::environment()
{
    return m_environment;
}

std::unique_ptr<QProcess> OrvoProgramInstall::start(QProcess::ProcessChannelMode channels,
                                                    const QStringList &arguments) const
{
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(m_environment);
    process->setProcessChannelMode(channels);
    process->start(QDir(qEnvironmentVariable("ORVO_TEST_BUILD_DIR")).filePath(QStringLiteral("bin/") + m_program),
                   arguments);
    return process;
}
