#include "DaemonInstall.h"
#include "DemoDevicesFolder.h"
#include "GalFolderBuilder.h"
#include "OrvoBrowser.h"
#include "OrvoTestProcess.h"
#include "OrvoTestSupport.h"

#include "app/OrvoWebToken.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>

#include <sys/stat.h>

namespace {

using OrvoTest::kProgramTimeoutMs;
using OrvoTest::terminate;

constexpr int kPollMs = 200;
// How often the page asks whether the device or its action changed.
constexpr int kFollowMs = 500;
constexpr int kRequestMs = 5000;
const QByteArray kPngSignature("\x89PNG\r\n\x1a\n");
const QString kDaemonRole = QStringLiteral("daemon");
// The upload package of this many rides of this many points takes the device seconds to make.
constexpr int kLongRides = 160;
constexpr int kLongRidePoints = 5000;

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

// Posts the form fields ("name=value") as the page of the device sends them, and answers the
// page sent back, or an empty text.
QString postForm(const DaemonInstall &install, const QString &path, const DemoDevicesFolder::Device &device,
                 QStringList fields)
{
    fields << QStringLiteral("device_id=") + device.deviceId << QStringLiteral("device_model=") + device.model;
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
                            "<form id=\"delete-history\"",
                            "<form id=\"update\"",
                            "<option value=\"Total\">"};
    // Only the drives are ejected; the Kavel40 deletes only every ride at once.
    if (entry == DemoDevicesFolder::kKavel50 || entry == DemoDevicesFolder::kKavel21)
        controls << "<form id=\"eject\"";
    if (entry != DemoDevicesFolder::kKavel40)
        controls << "<form id=\"delete\" method";
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
    const QString refused =
        postForm(install, QStringLiteral("/profile/write"), device, {QStringLiteral("file=heavy.xml")});
    EXPECT_TRUE(refused.contains(QStringLiteral("of the field &quot;User Weight.Metric&quot; is not a number")))
        << refused.toStdString();
    const QString question = postForm(install, QStringLiteral("/delete_history"), device, {});
    EXPECT_TRUE(
        question.contains(QStringLiteral("This erases every ride on the device (%1 rides)").arg(device.rides.size())))
        << question.toStdString();
    postForm(install, QStringLiteral("/export"), device, {QStringLiteral("folder=in-the-way")});
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

    // The page's script runs in the browser without an error, through a few of its questions.
    OrvoTest::Browser live;
    ASSERT_TRUE(live.start(error)) << error.toStdString();
    ASSERT_TRUE(live.open(url));
    ASSERT_TRUE(live.waitUntil(QStringLiteral("document.readyState === \"complete\" && "
                                              "document.getElementById(\"device\") !== null"),
                               kProgramTimeoutMs));
    QTest::qWait(kFollowMs * 3);
    EXPECT_EQ(live.errors(), QStringList());
    EXPECT_EQ(terminate(*daemon), 0);
}

// The text of the page's device field in the browser.
QString deviceShown(OrvoTest::Browser &browser)
{
    return browser.evaluate(QStringLiteral("(document.getElementById(\"device\") || {}).textContent || \"\""))
        .toString();
}

// Waits until the page in the browser shows the model (or, for an empty one, no device).
bool showsDevice(OrvoTest::Browser &browser, const QString &model)
{
    const QString expected = model.isEmpty() ? QStringLiteral("No device connected") : model;
    return browser.waitUntil(
        QStringLiteral("document.readyState === \"complete\" && "
                       "((document.getElementById(\"device\") || {}).textContent || \"\").startsWith(%1)")
            .arg(QString::fromUtf8(QJsonDocument(QJsonArray{expected}).toJson(QJsonDocument::Compact))
                     .mid(1)
                     .chopped(1)),
        kProgramTimeoutMs);
}

bool plug(const DaemonInstall &install, const QString &entry)
{
    const QString file = QDir(install.devicesDir()).filePath(DemoDevicesFolder::kPluggedFile);
    return entry.isEmpty() ? QFile::remove(file) : OrvoTest::writeFile(file, entry.toLatin1() + '\n');
}

// The page in a browser follows the device without a reload by the user: a plug of another
// family's device and an unplug show in the open page. A form of the page that showed the
// Kavel35, sent once the Kavel50 took its place, is refused with the Kavel50's page, and the
// Kavel50 keeps its ride of the same name. The browser meets no script error throughout.
TEST(DaemonBrowserTest, ThePageFollowsPlugAndUnplugAndActsOnlyOnTheDeviceItShowed)
{
    if (OrvoTest::Browser::program().isEmpty())
        GTEST_SKIP() << "chromium is not installed (scripts/install-deps.sh installs it): the page is not opened";
    const DaemonInstall install;
    QString error;
    ASSERT_TRUE(DemoDevicesFolder::write(install.devicesDir(), error)) << error.toStdString();
    const DemoDevicesFolder::Device kavel50 = DemoDevicesFolder::device(DemoDevicesFolder::kKavel50);
    const DemoDevicesFolder::Device kavel35 = DemoDevicesFolder::device(DemoDevicesFolder::kKavel35);
    ASSERT_TRUE(plug(install, DemoDevicesFolder::kKavel50));
    std::unique_ptr<QProcess> daemon = install.start();
    ASSERT_FALSE(pageShowing(install, *daemon, {QStringLiteral("<dd id=\"device\">Kavel50</dd>")}).isEmpty())
        << install.log().toStdString();

    OrvoTest::Browser browser;
    ASSERT_TRUE(browser.start(error)) << error.toStdString();
    ASSERT_TRUE(browser.open(pageUrl(install).toString() + QStringLiteral("?token=") +
                             OrvoWebToken::read(install.dataDir(), kDaemonRole)));
    ASSERT_TRUE(showsDevice(browser, kavel50.model)) << deviceShown(browser).toStdString();

    ASSERT_TRUE(plug(install, DemoDevicesFolder::kKavel35));
    ASSERT_TRUE(showsDevice(browser, kavel35.model)) << deviceShown(browser).toStdString();
    ASSERT_TRUE(browser.waitUntil(QStringLiteral("document.getElementById(\"delete\") !== null"), kProgramTimeoutMs));
    const QString kavel35Form =
        browser.evaluate(QStringLiteral("document.getElementById(\"delete\").outerHTML")).toString();
    const QString chosen = kavel35.rides.first().name;
    ASSERT_TRUE(kavel35Form.contains(QStringLiteral("value=\"%1\"").arg(chosen))) << kavel35Form.toStdString();

    ASSERT_TRUE(plug(install, DemoDevicesFolder::kKavel50));
    ASSERT_TRUE(showsDevice(browser, kavel50.model)) << deviceShown(browser).toStdString();
    QStringList kavel50Rides;
    for (const DemoDevicesFolder::Ride &ride : kavel50.rides)
        kavel50Rides << ride.name;
    ASSERT_TRUE(kavel50Rides.contains(chosen)) << "the Kavel50 has a ride of the same name";
    // The Kavel35's form, with its ride ticked, sent from the page that now shows the Kavel50.
    const QString send =
        QStringLiteral("document.body.insertAdjacentHTML(\"beforeend\", %1);"
                       "var form = document.querySelectorAll(\"form#delete\")[1];"
                       "form.querySelector(\"input[value='%2']\").checked = true;"
                       "form.submit(); true")
            .arg(QString::fromUtf8(QJsonDocument(QJsonArray{kavel35Form}).toJson(QJsonDocument::Compact))
                     .mid(1)
                     .chopped(1),
                 chosen);
    ASSERT_TRUE(browser.evaluate(send).toBool());
    ASSERT_TRUE(browser.waitUntil(QStringLiteral("document.body.innerText.includes(\"The page showed the Kavel35\")"),
                                  kProgramTimeoutMs))
        << browser.evaluate(QStringLiteral("document.body.innerText")).toString().toStdString();
    EXPECT_EQ(deviceShown(browser), kavel50.model);
    const QString rides = browser.evaluate(QStringLiteral("document.getElementById(\"rides\").innerText")).toString();
    for (const QString &ride : std::as_const(kavel50Rides))
        EXPECT_TRUE(rides.contains(ride)) << ride.toStdString() << "\n" << rides.toStdString();
    EXPECT_FALSE(
        browser.evaluate(QStringLiteral("document.body.innerText")).toString().contains(QStringLiteral("Delete rides")))
        << "no deletion ran";

    ASSERT_TRUE(plug(install, QString()));
    ASSERT_TRUE(showsDevice(browser, QString())) << deviceShown(browser).toStdString();
    EXPECT_EQ(browser.errors(), QStringList());
    EXPECT_EQ(terminate(*daemon), 0);
}

// A long action shows progress that moves in the open page, without a reload. Once the daemon
// was started again (with a new token), the open page says so and how to open it again.
TEST(DaemonBrowserTest, ALongActionShowsMovingProgressAndARestartIsShown)
{
    if (OrvoTest::Browser::program().isEmpty())
        GTEST_SKIP() << "chromium is not installed (scripts/install-deps.sh installs it): the page is not opened";
    const DaemonInstall install;
    QString error;
    ASSERT_TRUE(DemoDevicesFolder::write(install.devicesDir(), error)) << error.toStdString();
    // Rides enough that the upload package takes seconds to make.
    const GalFolderBuilder gal(QDir(install.devicesDir()).filePath(DemoDevicesFolder::kKavel21));
    constexpr quint32 kFirstStart = 1717200000; // 2024-06-01 00:00:00 UTC
    for (int number = 0; number < kLongRides; ++number) {
        const quint32 start = kFirstStart + quint32(number) * 86400;
        GalFolderBuilder::Activity activity{
            .fileName =
                QDateTime::fromSecsSinceEpoch(start, QTimeZone::utc()).toString(QStringLiteral("yyMMddHHmmss")) +
                QStringLiteral(".gal"),
            .name = QByteArray("Long ride ") + QByteArray::number(number),
            .start = start,
            .end = start + quint32(kLongRidePoints),
            .distance = 90000};
        for (int point = 0; point < kLongRidePoints; ++point)
            activity.points.append({start + quint32(point), 47000000 + point, 11000000 + point, 500, 130, 85});
        ASSERT_TRUE(gal.addActivity(activity));
    }
    ASSERT_TRUE(plug(install, DemoDevicesFolder::kKavel21));
    std::unique_ptr<QProcess> daemon = install.start();
    ASSERT_FALSE(pageShowing(install, *daemon, {QStringLiteral("<dd id=\"device\">Kavel21</dd>")}).isEmpty())
        << install.log().toStdString();

    OrvoTest::Browser browser;
    ASSERT_TRUE(browser.start(error)) << error.toStdString();
    ASSERT_TRUE(browser.open(pageUrl(install).toString() + QStringLiteral("?token=") +
                             OrvoWebToken::read(install.dataDir(), kDaemonRole)));
    ASSERT_TRUE(showsDevice(browser, QStringLiteral("Kavel21")));
    ASSERT_TRUE(browser.evaluate(QStringLiteral("document.querySelector(\"#upload button\").click(); true")).toBool());

    // Each document the browser shows gets a mark of its own: progress values seen under one
    // mark moved in place.
    const QString look = QStringLiteral(
        "window.orvoMark = window.orvoMark || String(Math.random());"
        "var bar = document.getElementById(\"progress\");"
        "[window.orvoMark, bar ? bar.value : -1, document.body.innerText.includes(\"Upload package: done\")]");
    std::map<QString, std::set<int>> seen;
    bool done = false;
    for (QDeadlineTimer deadline(kProgramTimeoutMs * 4); !done && !deadline.hasExpired(); QTest::qWait(kPollMs)) {
        const QJsonArray now = browser.evaluate(look).toArray();
        if (now.size() != 3)
            continue;
        if (now.at(1).toInt() >= 0)
            seen[now.at(0).toString()].insert(now.at(1).toInt());
        done = now.at(2).toBool();
    }
    ASSERT_TRUE(done) << browser.evaluate(QStringLiteral("document.body.innerText")).toString().toStdString();
    EXPECT_TRUE(std::any_of(seen.begin(), seen.end(), [](const auto &values) { return values.second.size() >= 2; }))
        << "no page saw its progress move";

    ASSERT_EQ(terminate(*daemon), 0);
    daemon = install.start();
    ASSERT_FALSE(pageShowing(install, *daemon, {QStringLiteral("<dd id=\"device\">Kavel21</dd>")}).isEmpty())
        << install.log().toStdString();
    ASSERT_TRUE(browser.waitUntil(QStringLiteral("!document.getElementById(\"restarted\").hidden"), kProgramTimeoutMs));
    const QString said =
        browser.evaluate(QStringLiteral("document.getElementById(\"restarted\").innerText")).toString();
    EXPECT_TRUE(said.contains(QStringLiteral("orvo-daemon was restarted"))) << said.toStdString();
    EXPECT_EQ(browser.evaluate(QStringLiteral("document.getElementById(\"reopen\").getAttribute(\"href\")")).toString(),
              QStringLiteral("http://127.0.0.1:18889/daemon"));
    EXPECT_EQ(browser.errors(), QStringList());
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

        postForm(install, QStringLiteral("/export"), device, {QStringLiteral("folder=rides/today")});
        ASSERT_FALSE(
            pageShowing(install, *daemon, {QStringLiteral("<p class=\"done\">Export rides: done</p>")}).isEmpty())
            << install.log().toStdString();
        const QDir exportRoot(QDir(install.dataDir()).filePath(QStringLiteral("export")));
        const QString logExport = exportRoot.filePath(QStringLiteral("orvo-log.zip"));
        postForm(install, QStringLiteral("/export_log"), device, {QStringLiteral("dest=") + logExport});
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
