#include "DaemonInstall.h"
#include "OrvoTestProcess.h"
#include "OrvoTestSupport.h"

#include "app/OrvoDaemonProxy.h"

#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

using OrvoTest::kProgramTimeoutMs;
using OrvoTest::terminate;
using OrvoTest::waitForExit;

constexpr int kPollMs = 100;

// The page at / once the daemon serves it; empty when it never does.
QString servedPage(const DaemonInstall &install, QProcess &daemon)
{
    QNetworkAccessManager network;
    const QUrl url(QStringLiteral("http://127.0.0.1:%1/").arg(install.port()));
    for (QDeadlineTimer deadline(kProgramTimeoutMs); !deadline.hasExpired() && daemon.state() != QProcess::NotRunning;
         QTest::qWait(kPollMs)) {
        std::unique_ptr<QNetworkReply> reply(network.get(QNetworkRequest(url)));
        QSignalSpy finished(reply.get(), &QNetworkReply::finished);
        if (finished.wait(5000) && reply->error() == QNetworkReply::NoError)
            return QString::fromUtf8(reply->readAll());
    }
    return {};
}

QStringList zipEntries(const QString &zip)
{
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-Z1"), zip});
    if (!unzip.waitForFinished(kProgramTimeoutMs) || unzip.exitCode() != 0)
        return {};
    return QString::fromUtf8(unzip.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

TEST(DaemonProgram, ServesItsPageWithoutDisplayTakesTheTraysLogExportAndShutsDownInOrder)
{
    const DaemonInstall install;
    std::unique_ptr<QProcess> daemon = install.start();
    const QString page = servedPage(install, *daemon);
    ASSERT_TRUE(page.contains(QStringLiteral("<title>Tarvex Orvo 2-My Device Manager</title>"))) << page.toStdString();
    EXPECT_TRUE(page.contains(QStringLiteral("No device connected")));

    std::unique_ptr<QProcess> second = install.start();
    EXPECT_EQ(waitForExit(*second), 0);
    EXPECT_EQ(daemon->state(), QProcess::Running);

    // The tray program's controller, with a folder whose name a query would otherwise change.
    OrvoTest::OutputDir exports;
    const QString folder = exports.filePath(QStringLiteral("orvo logs+1 %20"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString dest = folder + QStringLiteral("/orvo export.zip");
    OrvoDaemonProxy tray(install.port());
    tray.exportLog(dest);
    ASSERT_TRUE(QTest::qWaitFor([&dest] { return QFile::exists(dest); }, kProgramTimeoutMs))
        << install.log().toStdString();
    EXPECT_EQ(zipEntries(dest), QStringList{QStringLiteral("orvolog.txt")});
    EXPECT_FALSE(QFile::exists(install.dataDir() + QStringLiteral("/orvolog.txt")));

    EXPECT_EQ(terminate(*daemon), 0);
    const QString log = install.log();
    EXPECT_TRUE(log.contains(QStringLiteral("message from a second start \"raies\""))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("OrvoEnv destructor")));
}

TEST(DaemonProgram, EmulatedKavel50DriveIsServed)
{
    const DaemonInstall install;
    const QString drive = install.devicesDir() + QStringLiteral("/KAVEL50");
    ASSERT_TRUE(QDir().mkpath(drive));
    ASSERT_TRUE(OrvoTest::writeFile(drive + QStringLiteral("/device.ini"),
                                    "[MODEL]\r\nModel=Kavel50\r\n[UUID]\r\nUUID=0901A1B2C3D4E5F6\r\n"));
    ASSERT_TRUE(OrvoTest::writeFile(install.devicesDir() + QStringLiteral("/KAVEL50.vendor"), "TarvexKavel50\n"));
    std::unique_ptr<QProcess> daemon = install.start();
    const QString page = servedPage(install, *daemon);
    EXPECT_TRUE(page.contains(QStringLiteral("Kavel50"))) << page.toStdString();
    EXPECT_EQ(terminate(*daemon), 0);
    const QString log = install.log();
    EXPECT_FALSE(log.contains(QStringLiteral("Kavel50 (OrvoKavel50CR)"))) << log.toStdString();
    EXPECT_FALSE(log.contains(QStringLiteral("no client class")));
}

} // namespace
