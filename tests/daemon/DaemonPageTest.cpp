#include "DaemonInstall.h"
#include "DemoDevicesFolder.h"
#include "OrvoTestProcess.h"
#include "OrvoTestSupport.h"

#include "app/OrvoWebToken.h"

#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

using OrvoTest::kProgramTimeoutMs;
using OrvoTest::terminate;

constexpr int kPollMs = 200;
constexpr int kRequestMs = 5000;
const QByteArray kPngSignature("\x89PNG\r\n\x1a\n");
const QString kDaemonRole = QStringLiteral("daemon");

// The files of the demo folder's entries other than entry: each family's device alone, so that
// the page's device does not hang on which family the device manager takes first.
bool keepOnly(const QString &folder, const QString &entry)
{
    const QDir dir(folder);
    for (const QString &other : DemoDevicesFolder::entries()) {
        if (other == entry)
            continue;
        QDir(dir.filePath(other)).removeRecursively();
        for (const char *suffix : {".vendor", ".label", ".scsi", ".img"})
            QFile::remove(dir.filePath(other + QLatin1String(suffix)));
    }
    return OrvoTest::writeFile(dir.filePath(DemoDevicesFolder::kPluggedFile), entry.toLatin1() + '\n');
}

// The page once it shows every text of what, while the daemon runs; empty when it never does.
QString pageShowing(const DaemonInstall &install, const QProcess &daemon, const QStringList &what)
{
    QNetworkAccessManager network;
    const QUrl url(QStringLiteral("http://127.0.0.1:%1/").arg(install.port()));
    for (QDeadlineTimer deadline(kProgramTimeoutMs); !deadline.hasExpired() && daemon.state() != QProcess::NotRunning;
         QTest::qWait(kPollMs)) {
        QNetworkRequest request(url);
        request.setRawHeader("Authorization", "Token " + OrvoWebToken::read(install.dataDir(), kDaemonRole).toLatin1());
        std::unique_ptr<QNetworkReply> reply(network.get(request));
        QSignalSpy finished(reply.get(), &QNetworkReply::finished);
        if (!finished.wait(kRequestMs) || reply->error() != QNetworkReply::NoError)
            continue;
        const QString page = QString::fromUtf8(reply->readAll());
        if (std::all_of(what.begin(), what.end(), [&page](const QString &text) { return page.contains(text); }))
            return page;
    }
    return {};
}

// A headless browser run of its own profile folder; the standard output on success.
struct Browser
{
    QString program = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    QTemporaryDir profile;

    bool run(const QStringList &arguments, QByteArray &output)
    {
        QProcess browser;
        browser.start(program, QStringList{QStringLiteral("--headless"), QStringLiteral("--no-sandbox"),
                                           QStringLiteral("--disable-gpu"),
                                           QStringLiteral("--user-data-dir=") + profile.path()} +
                                   arguments);
        if (!browser.waitForFinished(kProgramTimeoutMs)) {
            browser.kill();
            browser.waitForFinished();
            return false;
        }
        output = browser.readAllStandardOutput();
        return browser.exitStatus() == QProcess::NormalExit && browser.exitCode() == 0;
    }
};

class DaemonPageTest : public ::testing::TestWithParam<QString>
{};

// The page as a browser builds it: the plugged device's model, id and rides, and the forms of
// its actions; the browser draws it too.
TEST_P(DaemonPageTest, BrowserShowsThePluggedDemoDeviceAndItsActions)
{
    Browser browser;
    if (browser.program.isEmpty())
        GTEST_SKIP() << "chromium is not installed (scripts/install-deps.sh installs it): the page is not opened";
    const DaemonInstall install;
    QString error;
    ASSERT_TRUE(DemoDevicesFolder::write(install.devicesDir(), error)) << error.toStdString();
    ASSERT_TRUE(keepOnly(install.devicesDir(), GetParam()));
    const DemoDevicesFolder::Device device = DemoDevicesFolder::device(GetParam());
    ASSERT_FALSE(device.rides.isEmpty());
    const QString model = QStringLiteral("<dd id=\"device\">%1</dd>").arg(device.model.toHtmlEscaped());
    QStringList rides;
    for (const DemoDevicesFolder::Ride &ride : device.rides)
        rides << QStringLiteral(">%1</li>").arg(ride.name.toHtmlEscaped());

    // The device is plugged a moment after the page is served, and is read before it is free.
    std::unique_ptr<QProcess> daemon = install.start();
    ASSERT_FALSE(pageShowing(install, *daemon, QStringList{model} + rides).isEmpty()) << install.log().toStdString();
    // One browser run writes both the document it built and its picture. It opens the address
    // with the token, as the scripts print it; the page's own requests then carry its cookie.
    const QString url = QStringLiteral("http://127.0.0.1:%1/?token=%2")
                            .arg(install.port())
                            .arg(OrvoWebToken::read(install.dataDir(), kDaemonRole));
    const QString screenshot = QDir(install.dataDir()).filePath(QStringLiteral("page.png"));
    QByteArray dom;
    ASSERT_TRUE(browser.run({QStringLiteral("--dump-dom"), QStringLiteral("--screenshot=") + screenshot,
                             QStringLiteral("--window-size=800,900"), url},
                            dom));
    const QString shown = QString::fromUtf8(dom);
    EXPECT_TRUE(shown.contains(model)) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("<dd id=\"uuid\">%1</dd>").arg(device.deviceId)));
    for (const QString &ride : std::as_const(rides))
        EXPECT_TRUE(shown.contains(ride)) << ride.toStdString() << "\n" << shown.toStdString();
    for (const char *control : {"<form id=\"export\" method=\"post\" action=\"/export\">", "<form id=\"upload\"",
                                "<form id=\"import\"", "<form id=\"profile\"", "formaction=\"/profile/write\""}) {
        EXPECT_TRUE(shown.contains(QLatin1String(control))) << control;
    }

    EXPECT_TRUE(OrvoTest::readFile(screenshot).startsWith(kPngSignature));
    EXPECT_EQ(terminate(*daemon), 0);
}

// The drive the demo plugs at start, and a flash device, whose rides come from its image.
INSTANTIATE_TEST_SUITE_P(Demo, DaemonPageTest,
                         ::testing::Values(DemoDevicesFolder::kKavel50, DemoDevicesFolder::kKavel40),
                         [](const auto &entry) { return entry.param.toStdString(); });

} // namespace
