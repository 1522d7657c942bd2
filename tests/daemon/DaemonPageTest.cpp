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

#include <sys/stat.h>

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

// The address of one of the daemon's pages: every request of these tests, the browser's too,
// goes to the address this gives.
QUrl pageUrl(const DaemonInstall &install, const QString &path = QStringLiteral("/"))
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(install.port()).arg(path));
}

// A request of the daemon's page that carries the daemon user's token.
QNetworkRequest pageRequest(const DaemonInstall &install, const QString &path = QStringLiteral("/"))
{
    QNetworkRequest request(pageUrl(install, path));
    request.setRawHeader("Authorization", "Token " + OrvoWebToken::read(install.dataDir(), kDaemonRole).toLatin1());
    return request;
}

// Posts the form fields ("name=value") and answers the page sent back, or an empty text.
QString postForm(const DaemonInstall &install, const QString &path, const QStringList &fields)
{
    QNetworkAccessManager network;
    QNetworkRequest request = pageRequest(install, path);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
    QStringList encoded;
    for (const QString &field : fields) {
        encoded << QString::fromLatin1(QUrl::toPercentEncoding(field.section(QLatin1Char('='), 0, 0))) +
                       QLatin1Char('=') +
                       QString::fromLatin1(QUrl::toPercentEncoding(field.section(QLatin1Char('='), 1)));
    }
    std::unique_ptr<QNetworkReply> reply(network.post(request, encoded.join(QLatin1Char('&')).toLatin1()));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    if (!finished.wait(kRequestMs))
        return {};
    return QString::fromUtf8(reply->readAll());
}

// The page once it shows every text of what, while the daemon runs; empty when it never does.
QString pageShowing(const DaemonInstall &install, const QProcess &daemon, const QStringList &what)
{
    QNetworkAccessManager network;
    for (QDeadlineTimer deadline(kProgramTimeoutMs); !deadline.hasExpired() && daemon.state() != QProcess::NotRunning;
         QTest::qWait(kPollMs)) {
        std::unique_ptr<QNetworkReply> reply(network.get(pageRequest(install)));
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

// The forms every device is offered, and those of its family alone.
QStringList controlsOf(const QString &entry)
{
    QStringList controls = {"<form id=\"export\" method=\"post\" action=\"/export\">",
                            "<form id=\"upload\"",
                            "<form id=\"import\"",
                            "<form id=\"profile\"",
                            "formaction=\"/profile/write\"",
                            "<form id=\"delete\"",
                            "<form id=\"delete-history\"",
                            "<form id=\"update\"",
                            "<option value=\"Total\">",
                            "<form id=\"eject\""};
    if (entry == DemoDevicesFolder::kKavel50)
        controls << "<option value=\"DeviceAp\">"
                 << "<option value=\"MapData\">";
    else if (entry == DemoDevicesFolder::kKavel21)
        controls << "<option value=\"DeviceAp\">";
    else if (entry == DemoDevicesFolder::kKavel35)
        controls << "<option value=\"LaunchSEC\">";
    else
        controls << "<form id=\"languages\"";
    return controls;
}

// The page as a browser builds it: the plugged device's model, id and rides, the forms of the
// actions its family runs, and a failed action shown as failed; the browser draws it too.
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
    // A failed action: the rides cannot be written where a file is in the way. A refused
    // profile value and the question before an erase come back beside their forms.
    const QString exportRoot = QDir(install.dataDir()).filePath(QStringLiteral("export"));
    ASSERT_TRUE(QDir().mkpath(exportRoot));
    ASSERT_TRUE(OrvoTest::writeFile(exportRoot + QStringLiteral("/in-the-way"), "a file"));
    ASSERT_TRUE(OrvoTest::writeFile(exportRoot + QStringLiteral("/heavy.xml"),
                                    "<settings><property name=\"User Weight.Metric\" value=\"heavy\"/></settings>"));
    const QString refused = postForm(install, QStringLiteral("/profile/write"), {QStringLiteral("file=heavy.xml")});
    EXPECT_TRUE(refused.contains(QStringLiteral("of the field &quot;User Weight.Metric&quot; is not a number")))
        << refused.toStdString();
    const QString question = postForm(install, QStringLiteral("/delete_history"), {});
    EXPECT_TRUE(
        question.contains(QStringLiteral("This erases every ride on the device (%1 rides)").arg(device.rides.size())))
        << question.toStdString();
    postForm(install, QStringLiteral("/export"), {QStringLiteral("folder=in-the-way")});
    ASSERT_FALSE(
        pageShowing(install, *daemon, {QStringLiteral("<p class=\"failed\">Export rides: failed</p>")}).isEmpty())
        << install.log().toStdString();

    // One browser run writes both the document it built and its picture. It opens the address
    // with the token, as the scripts print it; the page's own requests then carry its cookie.
    const QString url =
        pageUrl(install).toString() + QStringLiteral("?token=") + OrvoWebToken::read(install.dataDir(), kDaemonRole);
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
    for (const QString &control : controlsOf(GetParam()))
        EXPECT_TRUE(shown.contains(control)) << control.toStdString() << "\n" << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("<p class=\"failed\">Export rides: failed</p>")));
    EXPECT_EQ(shown.count(QStringLiteral("class=\"refused\"")), 0) << "a refusal stays with the answer it came in";

    EXPECT_TRUE(OrvoTest::readFile(screenshot).startsWith(kPngSignature));
    EXPECT_EQ(terminate(*daemon), 0);
}

mode_t modeOf(const QString &path)
{
    struct stat status = {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777 : 07777;
}

// The program writes privately, but what the page's actions write into the export folder is the
// user's to take elsewhere: the rides and the log export, and the folders made for them, have the
// modes of the umask the daemon was started with, whichever family wrote them. The data folder
// and the log and settings in it stay the user's alone.
TEST_P(DaemonPageTest, ExportsFollowTheUsersUmaskWhileTheDataFolderStaysPrivate)
{
    const DemoDevicesFolder::Device device = DemoDevicesFolder::device(GetParam());
    const QString model = QStringLiteral("<dd id=\"device\">%1</dd>").arg(device.model.toHtmlEscaped());
    for (const mode_t mask : {mode_t(022), mode_t(002)}) {
        SCOPED_TRACE(mask);
        const DaemonInstall install;
        QString error;
        ASSERT_TRUE(DemoDevicesFolder::write(install.devicesDir(), error)) << error.toStdString();
        ASSERT_TRUE(keepOnly(install.devicesDir(), GetParam()));
        const mode_t before = ::umask(mask);
        std::unique_ptr<QProcess> daemon = install.start();
        ::umask(before);
        ASSERT_FALSE(
            pageShowing(install, *daemon, {model, QStringLiteral(">%1</li>").arg(device.rides.first().name)}).isEmpty())
            << install.log().toStdString();

        postForm(install, QStringLiteral("/export"), {QStringLiteral("folder=rides/today")});
        ASSERT_FALSE(
            pageShowing(install, *daemon, {QStringLiteral("<p class=\"done\">Export rides: done</p>")}).isEmpty())
            << install.log().toStdString();
        const QDir exportRoot(QDir(install.dataDir()).filePath(QStringLiteral("export")));
        const QString logExport = exportRoot.filePath(QStringLiteral("orvo-log.zip"));
        postForm(install, QStringLiteral("/export_log"), {QStringLiteral("dest=") + logExport});
        ASSERT_TRUE(QFile::exists(logExport)) << install.log().toStdString();

        for (const QString &folder : {QStringLiteral("rides"), QStringLiteral("rides/today")})
            EXPECT_EQ(modeOf(exportRoot.filePath(folder)), 0777 & ~mask) << folder.toStdString();
        const QDir rides(exportRoot.filePath(QStringLiteral("rides/today")));
        QStringList written = rides.entryList(QDir::Files | QDir::Hidden);
        EXPECT_FALSE(written.isEmpty());
        written.append(QStringLiteral("../../orvo-log.zip"));
        for (const QString &file : std::as_const(written))
            EXPECT_EQ(modeOf(rides.filePath(file)), 0666 & ~mask) << file.toStdString();
        EXPECT_EQ(modeOf(install.dataDir()), 0700u);
        for (const char *own : {"orvo.log", "orvo.ini"})
            EXPECT_EQ(modeOf(QDir(install.dataDir()).filePath(QLatin1String(own))), 0600u) << own;
        EXPECT_EQ(terminate(*daemon), 0);
    }
}

// One device of each family: the drive the demo plugs at start, the GAL drive, and the two
// flash devices, whose rides come from their images.
INSTANTIATE_TEST_SUITE_P(Demo, DaemonPageTest,
                         ::testing::Values(DemoDevicesFolder::kKavel50, DemoDevicesFolder::kKavel21,
                                           DemoDevicesFolder::kKavel35, DemoDevicesFolder::kKavel40),
                         [](const auto &entry) { return entry.param.toStdString(); });

} // namespace
