#include "DaemonInstall.h"
#include "OrvoTestProcess.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using OrvoTest::kProgramTimeoutMs;

constexpr int kConnectMs = 1000;

// An argument the daemon does not know is refused with the usage and exit code 2 before
// anything starts: no log, no server.
TEST(DaemonArguments, AnUnknownArgumentPrintsTheUsageAndExitsWithTwo)
{
    struct Case
    {
        const char *name;
        QStringList arguments;
        QString said;
    };
    const std::vector<Case> cases = {
        {"unknown long option", {QStringLiteral("--bogus")}, QStringLiteral("Unknown option 'bogus'.")},
        {"unknown short option", {QStringLiteral("-x")}, QStringLiteral("Unknown option 'x'.")},
        {"unknown after a known Qt option",
         {QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--bogus")},
         QStringLiteral("Unknown option 'bogus'.")},
        {"a word the daemon takes none of", {QStringLiteral("start")}, QStringLiteral("Unknown argument 'start'.")},
        {"Qt's option without its value", {QStringLiteral("-platform")}, QStringLiteral("Missing value after")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        DaemonInstall install;
        std::unique_ptr<QProcess> daemon = install.startReading(c.arguments);
        EXPECT_EQ(OrvoTest::waitForExit(*daemon), 2);
        const QString said = QString::fromLocal8Bit(daemon->readAllStandardError());
        EXPECT_TRUE(said.startsWith(QStringLiteral("orvo-daemon: ") + c.said)) << said.toStdString();
        EXPECT_TRUE(said.contains(QStringLiteral("\nUsage: orvo-daemon [options]\n"))) << said.toStdString();
        EXPECT_TRUE(said.contains(QStringLiteral("--help"))) << said.toStdString();
        EXPECT_TRUE(daemon->readAllStandardOutput().isEmpty());
        EXPECT_TRUE(install.log().isEmpty()) << install.log().toStdString();
    }
}

// The options Qt's application object takes still start the daemon: it comes to serve its page.
TEST(DaemonArguments, QtsOwnOptionsStillStartTheDaemon)
{
    DaemonInstall install;
    std::unique_ptr<QProcess> daemon =
        install.startReading({QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("-reverse")});
    const auto serves = [&] {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, install.port());
        return socket.waitForConnected(kConnectMs);
    };
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return daemon->state() == QProcess::NotRunning || serves(); }, kProgramTimeoutMs));
    EXPECT_EQ(daemon->state(), QProcess::Running) << daemon->readAllStandardError().toStdString();
    EXPECT_EQ(OrvoTest::terminate(*daemon), 0);
}

} // namespace
