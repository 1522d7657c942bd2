#include "OrvoProgramInstall.h"
#include "OrvoTestProcess.h"
#include "OrvoTestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

using OrvoTest::kProgramTimeoutMs;
using OrvoTest::terminate;
using OrvoTest::waitForExit;

constexpr int kPollMs = 100;
const QString kTitle = QStringLiteral("Tarvex Orvo 2-My Device Manager");

// One installation of the tray program: its own data folder, instance key and ports.
class TrayInstall
{
public:
    explicit TrayInstall(const QString &resourceDir = QString())
        : m_debugPort(OrvoTest::freePort())
    {
        QProcessEnvironment &environment = m_install.environment();
        environment.insert(QStringLiteral("QTWEBENGINE_REMOTE_DEBUGGING"), QString::number(m_debugPort));
        // The web engine's own libraries, built without frame pointers, leave blocks at the exit
        // whose makers the leak check cannot name, so no suppression could list them: the tray
        // program runs without the leak check; the classes it shares with the daemon are checked in
        // the other test programs.
        const QString sanitizer = environment.value(QStringLiteral("ASAN_OPTIONS"));
        environment.insert(QStringLiteral("ASAN_OPTIONS"), sanitizer + QLatin1String(sanitizer.isEmpty() ? "" : ":") +
                                                               QStringLiteral("detect_leaks=0"));
        if (!resourceDir.isEmpty())
            environment.insert(QStringLiteral("ORVO_RESOURCE_DIR"), resourceDir);
    }

    QString dataDir() const { return m_install.dataDir(); }
    QString logPath() const { return m_install.logPath(); }
    QString log() const { return m_install.log(); }
    int port() const { return m_install.port(); }
    int debugPort() const { return m_debugPort; }

    QProcessEnvironment &environment() { return m_install.environment(); }

    std::unique_ptr<QProcess> start(const QStringList &arguments = {}) const
    {
        return m_install.start(QProcess::ForwardedErrorChannel, arguments);
    }
    // Standard error kept apart for the test to read.
    std::unique_ptr<QProcess> startReadingErrors() const { return m_install.start(QProcess::SeparateChannels); }

private:
    OrvoProgramInstall m_install{QStringLiteral("orvo-tray"), QStringLiteral("orvouser")};
    int m_debugPort = 0;
};

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
        ASSERT_TRUE(QTest::qWaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, kProgramTimeoutMs));
    }

    std::unique_ptr<QProcess> m_tray;
};

// The page as the server answers it to the tray program's user, whose token the program wrote
// to its data folder.
QString fetch(const QString &url, const QString &dataDir)
{
    QFile tokenFile(dataDir + QStringLiteral("/orvouser.token"));
    if (!tokenFile.open(QIODevice::ReadOnly))
        return {};
    QNetworkRequest request{QUrl(url)};
    request.setRawHeader("Authorization", "Token " + tokenFile.readAll().trimmed());
    QNetworkAccessManager network;
    std::unique_ptr<QNetworkReply> reply(network.get(request));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    if (!finished.wait(5000))
        return {};
    return QString::fromUtf8(reply->readAll());
}

// The tray program serves no device: its page leads to the daemon's, at the daemon's port.
TEST_F(TrayProgramTest, ShowsTheApplicationPageAndHandsASecondStartOver)
{
    startSystemTray();
    const TrayInstall install;
    const int daemonPort = OrvoTest::freePort();
    ASSERT_TRUE(QDir().mkpath(install.dataDir()));
    QFile daemonSettings(install.dataDir() + QStringLiteral("/orvo.ini"));
    ASSERT_TRUE(daemonSettings.open(QIODevice::WriteOnly));
    daemonSettings.write(QStringLiteral("[TarvexOrvo]\nlisten_port=%1\n").arg(daemonPort).toUtf8());
    daemonSettings.close();
    std::unique_ptr<QProcess> first = install.start();
    const QString url = QStringLiteral("http://127.0.0.1:%1/").arg(install.port());
    bool shown = false;
    for (QDeadlineTimer deadline(kProgramTimeoutMs);
         !shown && !deadline.hasExpired() && first->state() != QProcess::NotRunning; QTest::qWait(kPollMs))
        shown = showsPage(install.debugPort(), url, kTitle);
    ASSERT_TRUE(shown);
    const QString page = fetch(url, install.dataDir());
    // The link goes through the tray's own address, which adds the daemon's latest token.
    EXPECT_TRUE(page.contains(
        QStringLiteral("<a id=\"daemon-page\" href=\"/daemon\">http://127.0.0.1:%1/</a>").arg(daemonPort)))
        << page.toStdString();

    std::unique_ptr<QProcess> second = install.start();
    EXPECT_EQ(waitForExit(*second), 0);
    EXPECT_EQ(second->readAllStandardOutput(),
              "orvo-tray: an instance is already running; this start was handed to it\n");
    EXPECT_EQ(first->state(), QProcess::Running);

    EXPECT_EQ(terminate(*first), 0);
    const QString log = install.log();
    EXPECT_TRUE(log.contains(QStringLiteral("message from a second start \"raies\""))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("OrvoEnv destructor")));
}

TEST_F(TrayProgramTest, WithoutASystemTrayTheProgramExitsWithOneBeforeItLogs)
{
    ASSERT_TRUE(QTest::qWaitFor([] { return !QSystemTrayIcon::isSystemTrayAvailable(); }, kProgramTimeoutMs));
    const TrayInstall install;
    std::unique_ptr<QProcess> program = install.start();
    // The error box waits for its Ok; the termination request ends it like the Ok would.
    EXPECT_EQ(terminate(*program), 1);
    EXPECT_FALSE(QFile::exists(install.logPath()));
}

TEST_F(TrayProgramTest, ATakenListenPortEndsTheProgramWithOneAndNamesTheSettingThatMovesIt)
{
    startSystemTray();
    const TrayInstall install;
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::LocalHost, quint16(install.port())));
    std::unique_ptr<QProcess> program = install.startReadingErrors();
    EXPECT_EQ(waitForExit(*program), 1);
    const QString said = QString::fromLocal8Bit(program->readAllStandardError());
    EXPECT_TRUE(said.contains(QStringLiteral("orvo-tray: port %1 is taken by another program; set \"listen_port\" in "
                                             "the group [TarvexOrvo] of %2/orvouser.ini to a free port\n")
                                  .arg(install.port())
                                  .arg(install.dataDir())))
        << said.toStdString();
}

// Answered before the program looks for a display, a system tray or a running instance.
TEST_F(TrayProgramTest, HelpAndVersionAnswerWithoutADisplay)
{
    TrayInstall install;
    install.environment().remove(QStringLiteral("DISPLAY"));
    struct Case
    {
        QString argument;
        QString printedStart;
    };
    const Case cases[] = {
        {QStringLiteral("--help"), QStringLiteral("Usage: orvo-tray [options]\n")},
        {QStringLiteral("--version"), QStringLiteral("orvo-tray 2.8.0.20 (build 25)\n")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.argument.toStdString());
        std::unique_ptr<QProcess> program = install.start({c.argument});
        EXPECT_EQ(waitForExit(*program), 0);
        EXPECT_TRUE(QString::fromLocal8Bit(program->readAllStandardOutput()).startsWith(c.printedStart));
    }
    EXPECT_FALSE(QFile::exists(install.logPath()));
}

// Qt alone would abort (134) with a message that does not say what to run instead.
TEST_F(TrayProgramTest, WithoutADisplayTheProgramSaysSoAndExitsWithOne)
{
    TrayInstall install;
    install.environment().remove(QStringLiteral("DISPLAY"));
    install.environment().remove(QStringLiteral("WAYLAND_DISPLAY"));
    install.environment().insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    std::unique_ptr<QProcess> program = install.startReadingErrors();
    EXPECT_EQ(waitForExit(*program), 1);
    const QString said = QString::fromLocal8Bit(program->readAllStandardError());
    EXPECT_TRUE(said.startsWith(QStringLiteral("orvo-tray: needs a display"))) << said.toStdString();
    EXPECT_TRUE(said.contains(QStringLiteral("orvo-daemon"))) << said.toStdString();
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
        [&install] { return install.log().contains(QStringLiteral("no web application today")); }, kProgramTimeoutMs));
    EXPECT_EQ(program->state(), QProcess::Running);
    EXPECT_EQ(terminate(*program), 0);
    EXPECT_TRUE(install.log().contains(QStringLiteral("[Critical]")));
}

} // namespace
