#include "OrvoTestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>

namespace {

constexpr int kStartTimeoutMs = 60000;
constexpr int kPollMs = 100;
const QString kTitle = QStringLiteral("Tarvex Orvo 2-My Device Manager");

int freePort()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 0;
    return server.serverPort();
}

QString programPath()
{
    return qEnvironmentVariable("ORVO_TEST_BUILD_DIR") + QStringLiteral("/bin/orvo-tray");
}

// One installation of the tray program: its own data folder, instance key and ports.
class TrayInstall
{
public:
    explicit TrayInstall(const QString &resourceDir = QString())
        : m_key(QStringLiteral("orvo-tray-test-") + QUuid::createUuid().toString(QUuid::Id128))
        , m_port(freePort())
        , m_debugPort(freePort())
    {
        // The version stamp keeps the shipped settings file from replacing these.
        QSettings settings(dataDir() + QStringLiteral("/orvouser.ini"), QSettings::IniFormat);
        settings.setValue(QStringLiteral("TarvexOrvo/version"), QStringLiteral("2.8.0.20"));
        settings.setValue(QStringLiteral("TarvexOrvo/debug"), QStringLiteral("0"));
        settings.setValue(QStringLiteral("TarvexOrvo/listen_port"), QString::number(m_port));
        m_environment = QProcessEnvironment::systemEnvironment();
        m_environment.insert(QStringLiteral("ORVO_DATA_DIR"), dataDir());
        m_environment.insert(QStringLiteral("ORVO_INSTANCE_KEY"), m_key);
        m_environment.insert(QStringLiteral("QTWEBENGINE_REMOTE_DEBUGGING"), QString::number(m_debugPort));
        if (!resourceDir.isEmpty())
            m_environment.insert(QStringLiteral("ORVO_RESOURCE_DIR"), resourceDir);
    }

    QString dataDir() const { return m_dataDir.path(); }
    QString logPath() const { return dataDir() + QStringLiteral("/orvouser.log"); }
    QString log() const { return QString::fromUtf8(OrvoTest::readFile(logPath())); }
    int port() const { return m_port; }
    int debugPort() const { return m_debugPort; }

    std::unique_ptr<QProcess> start() const
    {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(m_environment);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(programPath(), {});
        return process;
    }

private:
    QTemporaryDir m_dataDir;
    QString m_key;
    int m_port = 0;
    int m_debugPort = 0;
    QProcessEnvironment m_environment;
};

// The exit code, or -1 when the process did not end normally in time.
int waitForExit(QProcess &process)
{
    if (process.state() != QProcess::NotRunning) {
        QSignalSpy finished(&process, &QProcess::finished);
        if (!finished.wait(kStartTimeoutMs))
            return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// True once the program's termination handler is in place (its SIGTERM bit in SigCgt).
bool catchesTermination(const QProcess &process)
{
    const QByteArray status = OrvoTest::readFile(QStringLiteral("/proc/%1/status").arg(process.processId()));
    for (const QByteArray &line : status.split('\n')) {
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1;
    }
    return false;
}

int terminate(QProcess &process)
{
    if (!QTest::qWaitFor([&process] { return catchesTermination(process); }, kStartTimeoutMs))
        return -1;
    ::kill(pid_t(process.processId()), SIGTERM);
    return waitForExit(process);
}

// The pages the program's web window shows, as its browser engine lists them.
QJsonArray shownPages(int debugPort)
{
    QNetworkAccessManager network;
    std::unique_ptr<QNetworkReply> reply(
        network.get(QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/json/list").arg(debugPort)))));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    if (!finished.wait(5000) || reply->error() != QNetworkReply::NoError)
        return {};
    return QJsonDocument::fromJson(reply->readAll()).array();
}

bool showsPage(int debugPort, const QString &url, const QString &title)
{
    const QJsonArray pages = shownPages(debugPort);
    for (const QJsonValue &page : pages) {
        if (page[QStringLiteral("url")].toString() == url && page[QStringLiteral("title")].toString() == title)
            return true;
    }
    return false;
}

class TrayProgramTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        if (m_tray) {
            m_tray->terminate();
            m_tray->waitForFinished();
        }
    }

    // A system tray in this test's X server.
    void startSystemTray()
    {
        m_tray = std::make_unique<QProcess>();
        m_tray->start(QStringLiteral("trayer"), {});
        ASSERT_TRUE(QTest::qWaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, kStartTimeoutMs));
    }

    std::unique_ptr<QProcess> m_tray;
};

TEST_F(TrayProgramTest, ShowsTheApplicationPageAndHandsASecondStartOver)
{
    startSystemTray();
    const TrayInstall install;
    std::unique_ptr<QProcess> first = install.start();
    const QString url = QStringLiteral("http://127.0.0.1:%1/").arg(install.port());
    bool shown = false;
    for (QDeadlineTimer deadline(kStartTimeoutMs);
         !shown && !deadline.hasExpired() && first->state() != QProcess::NotRunning; QTest::qWait(kPollMs))
        shown = showsPage(install.debugPort(), url, kTitle);
    ASSERT_TRUE(shown);

    std::unique_ptr<QProcess> second = install.start();
    EXPECT_EQ(waitForExit(*second), 0);
    EXPECT_EQ(first->state(), QProcess::Running);

    EXPECT_EQ(terminate(*first), 0);
    const QString log = install.log();
    EXPECT_TRUE(log.contains(QStringLiteral("message from a second start \"raies\""))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("OrvoEnv destructor")));
}

TEST_F(TrayProgramTest, WithoutASystemTrayTheProgramExitsWithOneBeforeItLogs)
{
    ASSERT_TRUE(QTest::qWaitFor([] { return !QSystemTrayIcon::isSystemTrayAvailable(); }, kStartTimeoutMs));
    const TrayInstall install;
    std::unique_ptr<QProcess> program = install.start();
    // The error box waits for its Ok; the termination request ends it like the Ok would.
    EXPECT_EQ(terminate(*program), 1);
    EXPECT_FALSE(QFile::exists(install.logPath()));
}

TEST_F(TrayProgramTest, ApplicationThatExitsOnImportLeavesTheProgramRunning)
{
    startSystemTray();
    QTemporaryDir resources;
    ASSERT_TRUE(OrvoTest::writeFile(resources.filePath(QStringLiteral("main.py")),
                                    "import sys\nsys.exit('no web application today')\n"));
    const TrayInstall install(resources.path());
    std::unique_ptr<QProcess> program = install.start();
    EXPECT_TRUE(QTest::qWaitFor(
        [&install] { return install.log().contains(QStringLiteral("no web application today")); }, kStartTimeoutMs));
    EXPECT_EQ(program->state(), QProcess::Running);
    EXPECT_EQ(terminate(*program), 0);
    EXPECT_TRUE(install.log().contains(QStringLiteral("[Critical]")));
}

} // namespace
