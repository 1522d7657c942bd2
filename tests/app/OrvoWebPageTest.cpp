#include "AppTestSupport.h"
#include "OrvoTestSupport.h"
#include "TestDeviceClient.h"

#include "app/OrvoControllerHooks.h"
#include "env/OrvoEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace AppTest;

namespace {

OrvoClientData ride(int id, const QString &name, const QImage &nameImage = QImage())
{
    OrvoClientData item;
    item.id = id;
    item.name = name;
    item.nameImage = nameImage;
    item.kind = OrvoClientData::KindRide;
    return item;
}

QString url(const QString &path)
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(listenPort()).arg(path);
}

QString page()
{
    const ProcessResult result =
        runProcess(QStringLiteral("curl"),
                   QStringList{QStringLiteral("-sS"), QStringLiteral("--max-time"), QStringLiteral("30"), url("/")} +
                       tokenArguments());
    EXPECT_EQ(result.exitCode, 0);
    return QString::fromUtf8(result.output);
}

// Posts the form fields ("name=value", sent URL-encoded) and answers the HTTP status.
QString post(const QString &path, const QStringList &fields, const QStringList &headers = {})
{
    QStringList arguments = {QStringLiteral("-s"), QStringLiteral("-o"),           QStringLiteral("/dev/null"),
                             QStringLiteral("-w"), QStringLiteral("%{http_code}"), QStringLiteral("--max-time"),
                             QStringLiteral("30"), QStringLiteral("-X"),           QStringLiteral("POST")};
    for (const QString &field : fields)
        arguments << QStringLiteral("--data-urlencode") << field;
    for (const QString &header : headers)
        arguments << QStringLiteral("-H") << header;
    return QString::fromUtf8(runProcess(QStringLiteral("curl"), arguments << tokenArguments() << url(path)).output);
}

// Posts the form fields and answers the page sent back.
QString postForPage(const QString &path, const QStringList &fields)
{
    QStringList arguments = {QStringLiteral("-s"), QStringLiteral("--max-time"), QStringLiteral("30"),
                             QStringLiteral("-X"), QStringLiteral("POST")};
    for (const QString &field : fields)
        arguments << QStringLiteral("--data-urlencode") << field;
    return QString::fromUtf8(runProcess(QStringLiteral("curl"), arguments << tokenArguments() << url(path)).output);
}

// The web application with one attached device, the controller's current client.
class WebPageTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        startPython();
        OrvoControllerHooks::setCurrentClientHook([this] { return attached; });
        exportRoot = OrvoEnv::instance()->userFolder() + QStringLiteral("/export");
        ASSERT_TRUE(QDir().mkpath(exportRoot));
        exportRoot = QFileInfo(exportRoot).canonicalFilePath();
    }
    void TearDown() override { OrvoControllerHooks::setCurrentClientHook({}); }

    bool finished()
    {
        return QTest::qWaitFor([this] { return !client.isBusy(); }, kPatienceMs);
    }

    TestDeviceClient client;
    OrvoClient *attached = &client;
    QString exportRoot;
};

TEST_F(WebPageTest, WithoutADeviceThePageOffersNoAction)
{
    attached = nullptr;
    const QString shown = page();
    EXPECT_TRUE(shown.contains(QStringLiteral("No device connected"))) << shown.toStdString();
    EXPECT_FALSE(shown.contains(QStringLiteral("<form")));
    EXPECT_EQ(post(QStringLiteral("/upload"), {}), QStringLiteral("409"));
    EXPECT_TRUE(client.calls().isEmpty());
}

// Every text of the device reaches the page as text, never as markup; a name the device keeps
// only as a picture is shown as that picture.
TEST_F(WebPageTest, ShowsTheDeviceAndItsRidesWithEveryTextEscaped)
{
    client.model = QStringLiteral("Kavel<50>");
    client.uuid = QStringLiteral("0901&A1\"B2");
    client.ap = QString();
    // A flash device's launch text is a padded field of its inquiry answer.
    client.launchsec = QStringLiteral("1.4        ");
    QImage picture(6, 3, QImage::Format_RGB32);
    picture.fill(Qt::black);
    client.tracks = {ride(3, QStringLiteral("Morning <b>ride</b> & back")), ride(5, QString(), picture),
                     ride(7, QString())};
    const QString shown = page();
    for (const char *expected :
         {"<dd id=\"device\">Kavel&lt;50&gt;</dd>", "<dd id=\"uuid\">0901&amp;A1&quot;B2</dd>",
          "<li>Firmware 3.1.0</li>", "<li>Launcher 1.4</li>", "<li>Boot loader 0.9.1</li>",
          "<li class=\"ride\" data-id=\"3\">Morning &lt;b&gt;ride&lt;/b&gt; &amp; back</li>",
          "<li class=\"ride\" data-id=\"5\"><img src=\"data:image/png;base64,", "alt=\"Ride 5\">",
          "<li class=\"ride\" data-id=\"7\">Ride 7</li>", "<form id=\"export\"", "<form id=\"upload\"",
          "<form id=\"import\"", "<form id=\"profile\"", "formaction=\"/profile/write\""}) {
        EXPECT_TRUE(shown.contains(QLatin1String(expected))) << expected << "\n" << shown.toStdString();
    }
    EXPECT_FALSE(shown.contains(QStringLiteral("<li>Application"))) << "an empty version is left out";
    EXPECT_FALSE(shown.contains(QStringLiteral("http-equiv=\"refresh\"")));
    EXPECT_EQ(client.calls(), QStringList{QStringLiteral("getTracks")});
    for (const QString &unreadable : {QStringLiteral("           "), QStringLiteral("\x02\x00\x1f ")}) {
        client.launchsec = unreadable;
        EXPECT_FALSE(page().contains(QStringLiteral("Launcher"))) << "a version without a readable text is left out";
    }
}

// A form names files and folders relative to the export folder; nothing outside it is reached,
// whatever the name, and no other site's page may start an action.
TEST_F(WebPageTest, ActionsReachOnlyFilesOfTheExportFolder)
{
    const QString outside = QFileInfo(exportRoot + QStringLiteral("/..")).canonicalFilePath();
    ASSERT_TRUE(OrvoTest::writeFile(exportRoot + QStringLiteral("/share.zip"), "PK"));
    ASSERT_TRUE(OrvoTest::writeFile(outside + QStringLiteral("/outside.zip"), "PK"));
    ASSERT_TRUE(OrvoTest::writeFile(exportRoot + QStringLiteral("/profile.xml"),
                                    "<settings><property name=\"User Weight\" value=\"70\"/></settings>"));
    QFile::remove(exportRoot + QStringLiteral("/away"));
    ASSERT_TRUE(QFile::link(outside, exportRoot + QStringLiteral("/away")));
    struct Case
    {
        const char *name;
        QString path;
        QStringList fields;
        QStringList headers;
        const char *status;
        // What the device was asked for, empty when the request is refused.
        QString call;
    };
    const QString own = url(QString());
    const QString rebound = QStringLiteral("attacker.example:%1").arg(QUrl(own).port());
    const std::vector<Case> cases = {
        {"export to a folder", "/export", {"folder=rides"}, {}, "303", "_exportTrack " + exportRoot + "/rides"},
        {"export to a nested folder",
         "/export",
         {"folder=2024/may"},
         {},
         "303",
         "_exportTrack " + exportRoot + "/2024/may"},
        {"export from the own page",
         "/export",
         {"folder=rides"},
         {"Sec-Fetch-Site: same-origin", "Origin: " + own},
         "303",
         "_exportTrack " + exportRoot + "/rides"},
        {"export up and out", "/export", {"folder=../rides"}, {}, "400", {}},
        {"export down and up and out", "/export", {"folder=a/../../rides"}, {}, "400", {}},
        {"export to an absolute folder", "/export", {"folder=/tmp/rides"}, {}, "400", {}},
        {"export through a link that leads out", "/export", {"folder=away/rides"}, {}, "400", {}},
        {"export to no folder", "/export", {"folder="}, {}, "400", {}},
        {"export for another site", "/export", {"folder=rides"}, {"Sec-Fetch-Site: cross-site"}, "403", {}},
        {"export for another site's script", "/export", {"folder=rides"}, {"Origin: http://example.com"}, "403", {}},
        {"export for a page whose name was rebound to this computer",
         "/export",
         {"folder=rides"},
         {"Host: " + rebound, "Origin: http://" + rebound, "Sec-Fetch-Site: same-origin"},
         "403",
         {}},
        {"upload package", "/upload", {}, {}, "303", "prepareUploadData 1"},
        {"import a package", "/import", {"package=share.zip"}, {}, "303", "setShareData " + exportRoot + "/share.zip"},
        {"import a missing package", "/import", {"package=missing.zip"}, {}, "400", {}},
        {"import a package outside", "/import", {"package=../outside.zip"}, {}, "400", {}},
        {"import a package through a link", "/import", {"package=away/outside.zip"}, {}, "400", {}},
        {"import the folder itself", "/import", {"package=."}, {}, "400", {}},
        {"read the profile",
         "/profile/read",
         {"file=profile.xml"},
         {},
         "303",
         "prepareUploadProfile " + exportRoot + "/profile.xml"},
        {"read the profile into a new folder",
         "/profile/read",
         {"file=mine/p.xml"},
         {},
         "303",
         "prepareUploadProfile " + exportRoot + "/mine/p.xml"},
        {"read the profile outside", "/profile/read", {"file=../p.xml"}, {}, "400", {}},
        {"read the profile into a folder", "/profile/read", {"file=mine"}, {}, "400", {}},
        {"read the profile below a file", "/profile/read", {"file=share.zip/p.xml"}, {}, "400", {}},
        {"write the profile", "/profile/write", {"file=profile.xml"}, {}, "303", "saveProfile"},
        {"write a missing profile", "/profile/write", {"file=none.xml"}, {}, "400", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QStringList before = client.calls();
        EXPECT_EQ(post(c.path, c.fields, c.headers), QLatin1String(c.status));
        ASSERT_TRUE(finished());
        // Listing the rides (for the page a refusal comes back in, and for the export's count)
        // changes nothing.
        QStringList asked = client.calls().mid(before.size());
        asked.removeAll(QStringLiteral("getTracks"));
        EXPECT_EQ(asked, c.call.isEmpty() ? QStringList() : QStringList{c.call});
    }
    EXPECT_EQ(client.savedProfile.value(QStringLiteral("User Weight")), QStringLiteral("70"));
    EXPECT_TRUE(QFileInfo(exportRoot + QStringLiteral("/mine")).isDir());
    EXPECT_FALSE(QFileInfo::exists(outside + QStringLiteral("/rides")));
    EXPECT_EQ(post(QStringLiteral("/export"), {}, {}), QStringLiteral("400"));
    EXPECT_EQ(runProcess(QStringLiteral("curl"),
                         QStringList{QStringLiteral("-s"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                                     QStringLiteral("-w"), QStringLiteral("%{http_code}"), url("/upload")} +
                             tokenArguments())
                  .output,
              QByteArray("405"));
}

// The page shows an action as running until the device's result arrives, then what it gave.
TEST_F(WebPageTest, ShowsEachActionRunningThenItsResult)
{
    client.exportedFiles = {exportRoot + QStringLiteral("/rides/a.gpx"), exportRoot + QStringLiteral("/rides/b.gpx")};
    client.gate.close();
    ASSERT_EQ(post(QStringLiteral("/export"), {QStringLiteral("folder=rides")}), QStringLiteral("303"));
    ASSERT_TRUE(client.gate.waitEntered());
    QString shown = page();
    EXPECT_TRUE(shown.contains(QStringLiteral("<p class=\"running\">Export rides: running</p>")))
        << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("http-equiv=\"refresh\"")));

    ASSERT_EQ(post(QStringLiteral("/upload"), {}), QStringLiteral("303"));
    shown = page();
    EXPECT_TRUE(shown.contains(QStringLiteral("<p class=\"failed\">Upload package: failed</p>")))
        << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("busy or no longer connected")));

    client.gate.open();
    ASSERT_TRUE(finished());
    shown = page();
    EXPECT_TRUE(shown.contains(QStringLiteral("<p class=\"done\">Export rides: done</p>"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("<li>2 files written to ") + exportRoot + QStringLiteral("/rides</li>")));
    EXPECT_TRUE(shown.contains(QStringLiteral("<li>b.gpx</li>")));
    EXPECT_FALSE(shown.contains(QStringLiteral("http-equiv=\"refresh\"")));

    // Fewer files than rides: a full disk must not read as done.
    client.tracks = {ride(1, QStringLiteral("a")), ride(2, QStringLiteral("b")), ride(3, QStringLiteral("c"))};
    ASSERT_EQ(post(QStringLiteral("/export"), {QStringLiteral("folder=rides")}), QStringLiteral("303"));
    ASSERT_TRUE(finished());
    shown = page();
    EXPECT_TRUE(
        shown.contains(QStringLiteral("<p class=\"failed\">Export rides: failed</p>\n<ul>\n<li>2 files written")))
        << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("<li>Not every ride was written")));

    client.result = false;
    ASSERT_EQ(post(QStringLiteral("/profile/read"), {QStringLiteral("file=p.xml")}), QStringLiteral("303"));
    ASSERT_TRUE(finished());
    shown = page();
    EXPECT_TRUE(shown.contains(QStringLiteral("<p class=\"failed\">Read profile: failed</p>"))) << shown.toStdString();
}

// A device that goes away during an action never delivers its result: the page does not wait for
// it forever, and the next device's actions start afresh.
TEST_F(WebPageTest, AnActionOfADeviceThatWentAwayEndsAsFailed)
{
    auto first = std::make_unique<TestDeviceClient>();
    attached = first.get();
    first->gate.close();
    ASSERT_EQ(post(QStringLiteral("/export"), {QStringLiteral("folder=rides")}), QStringLiteral("303"));
    ASSERT_TRUE(first->gate.waitEntered());
    attached = nullptr;
    first.reset();

    attached = &client;
    QString shown = page();
    EXPECT_TRUE(shown.contains(QStringLiteral("<p class=\"failed\">Export rides: failed</p>"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("<li>The device was disconnected.</li>")));
    EXPECT_FALSE(shown.contains(QStringLiteral("http-equiv=\"refresh\"")));

    ASSERT_EQ(post(QStringLiteral("/upload"), {}), QStringLiteral("303"));
    ASSERT_TRUE(finished());
    shown = page();
    EXPECT_TRUE(shown.contains(QStringLiteral("<p class=\"done\">Upload package: done</p>"))) << shown.toStdString();
}

// A share import on a flash device ends with the write-back of its image; a drive keeps what
// the import wrote, and a failed import writes nothing back.
TEST_F(WebPageTest, ShareImportFinalizesOnlyAFlashDeviceAndOnlyAfterSuccess)
{
    ASSERT_TRUE(OrvoTest::writeFile(exportRoot + QStringLiteral("/share.zip"), "PK"));
    const QString import = QStringLiteral("setShareData ") + exportRoot + QStringLiteral("/share.zip");
    struct Case
    {
        const char *name;
        int serviceType;
        bool result;
        QStringList calls;
        const char *shown;
    };
    const std::vector<Case> cases = {
        {"drive", 0, true, {import}, "<p class=\"done\">Share import: done</p>"},
        {"flash device", 1, true, {import, "_finalize"}, "<p class=\"done\">Finalize the device: done</p>"},
        {"flash device, failed import", 1, false, {import}, "<p class=\"failed\">Share import: failed</p>"},
        // Done only once the image reached the device.
        {"flash device, import done", 1, true, {import, "_finalize"}, "<p class=\"done\">Share import: done</p>"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        client.serviceType = c.serviceType;
        client.result = c.result;
        const qsizetype before = client.calls().size();
        ASSERT_EQ(post(QStringLiteral("/import"), {QStringLiteral("package=share.zip")}), QStringLiteral("303"));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return !client.isBusy() && client.calls().size() >= before + c.calls.size(); }, kPatienceMs));
        ASSERT_TRUE(finished());
        EXPECT_EQ(client.calls().mid(before), c.calls);
        const QString shown = page();
        EXPECT_TRUE(shown.contains(QLatin1String(c.shown))) << shown.toStdString();
    }
}

// A flash device keeps a written profile in its image in memory: the write is done only once the
// finalize wrote the image to the device.
TEST_F(WebPageTest, AProfileWriteFinalizesAFlashDeviceBeforeItIsDone)
{
    ASSERT_TRUE(OrvoTest::writeFile(exportRoot + QStringLiteral("/profile.xml"),
                                    "<settings><property name=\"User Weight.Metric\" value=\"70\"/></settings>"));
    struct Case
    {
        const char *name;
        int serviceType;
        QStringList calls;
    };
    const std::vector<Case> cases = {
        {"drive", 0, {"saveProfile"}},
        {"flash device", 1, {"saveProfile", "_finalize"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        client.serviceType = c.serviceType;
        const qsizetype before = client.calls().size();
        ASSERT_EQ(post(QStringLiteral("/profile/write"), {QStringLiteral("file=profile.xml")}), QStringLiteral("303"));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return !client.isBusy() && client.calls().size() >= before + c.calls.size(); }, kPatienceMs));
        ASSERT_TRUE(finished());
        EXPECT_EQ(client.calls().mid(before), c.calls);
        const QString shown = page();
        EXPECT_TRUE(shown.contains(QStringLiteral("<p class=\"done\">Write profile: done</p>"))) << shown.toStdString();
    }
}

// A refused form comes back as the page, with the reason beside that form and the values the
// user sent; nothing reaches the device. A profile value is checked against its field first.
TEST_F(WebPageTest, RefusedFormsComeBackBesideTheFormWithTheirValues)
{
    const auto profile = [this](const char *name, const char *value) {
        return OrvoTest::writeFile(exportRoot + QStringLiteral("/") + QLatin1String(name),
                                   QByteArray("<settings><property name=\"User Name\" value=\"me\"/>") + value +
                                       "</settings>");
    };
    ASSERT_TRUE(profile("heavy.xml", "<property name=\"User Weight.Metric\" value=\"heavy\"/>"));
    ASSERT_TRUE(profile("huge.xml", "<property name=\"User Weight.Metric\" value=\"900\"/>"));
    ASSERT_TRUE(profile("born.xml", "<property name=\"User Birthday\" value=\"1980-05-31\"/>"));
    ASSERT_TRUE(profile("zone.xml", "<property name=\"User MHR.zone3.high\" value=\"1.5\"/>"));
    ASSERT_TRUE(OrvoTest::writeFile(exportRoot + QStringLiteral("/notes.txt"), "not a profile"));
    struct Case
    {
        const char *name;
        QString path;
        QString field;
        const char *form;
        const char *reason;
    };
    const std::vector<Case> cases = {
        {"missing package", "/import", "package=missing.zip", "import",
         "The file &quot;missing.zip&quot; does not exist in the export folder."},
        {"no package", "/import", "package=", "import", "Give the name of a file in the export folder."},
        {"package outside", "/import", "package=../x.zip", "import", "is not a name inside the export folder"},
        {"export outside", "/export", "folder=../rides", "export", "is not a folder name inside the export folder"},
        {"word for a weight", "/profile/write", "file=heavy.xml", "profile",
         "The value &quot;heavy&quot; of the field &quot;User Weight.Metric&quot; is not a number"},
        {"weight out of range", "/profile/write", "file=huge.xml", "profile",
         "&quot;User Weight.Metric&quot; is not a number from 20 to 300"},
        {"birthday in another form", "/profile/write", "file=born.xml", "profile", "&quot;User Birthday&quot;"},
        {"fraction for a heart rate", "/profile/write", "file=zone.xml", "profile", "&quot;User MHR.zone3.high&quot;"},
        {"not a profile", "/profile/write", "file=notes.txt", "profile", "is not a profile file"},
        {"missing profile", "/profile/write", "file=none.xml", "profile", "does not exist"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QStringList before = client.calls();
        const QString shown = postForPage(c.path, {c.field});
        EXPECT_EQ(post(c.path, {c.field}), QStringLiteral("400"));
        const QString formStart = QStringLiteral("<form id=\"%1\"").arg(QLatin1String(c.form));
        const qsizetype at = shown.indexOf(formStart);
        ASSERT_GE(at, 0) << shown.toStdString();
        const QString form = shown.mid(at, shown.indexOf(QStringLiteral("</form>"), at) - at);
        EXPECT_TRUE(form.contains(QStringLiteral("<p class=\"refused\" role=\"alert\">"))) << form.toStdString();
        EXPECT_TRUE(form.contains(QLatin1String(c.reason))) << form.toStdString();
        const QString value = c.field.section(QLatin1Char('='), 1).toHtmlEscaped();
        EXPECT_TRUE(form.contains(QStringLiteral("value=\"%1\"").arg(value))) << form.toStdString();
        EXPECT_EQ(shown.count(QStringLiteral("class=\"refused\"")), 1);
        EXPECT_EQ(client.calls().mid(before.size()).filter(QStringLiteral("getTracks")).size(),
                  client.calls().mid(before.size()).size())
            << "nothing but the listing reached the device";
    }
    EXPECT_EQ(client.saveProfileCalls, 0);
}

// Each family is offered the actions its client runs, and only those.
TEST_F(WebPageTest, OffersEachFamilyTheActionsItsClientRuns)
{
    client.tracks = {ride(3, QStringLiteral("Morning"))};
    struct Case
    {
        const char *model;
        int serviceType;
        QStringList offered;
        QStringList hidden;
    };
    const std::vector<Case> cases = {
        {"Kavel50",
         0,
         {"value=\"Total\"", "value=\"DeviceAp\"", "value=\"MapData\"", "value=\"GPST_ENGINE\""},
         {"<form id=\"languages\""}},
        {"Kavel21", 0, {"value=\"Total\"", "value=\"DeviceAp\""}, {"value=\"MapData\"", "<form id=\"languages\""}},
        {"Kavel35", 1, {"value=\"Total\"", "value=\"LaunchSEC\""}, {"value=\"MapData\"", "<form id=\"languages\""}},
        {"Kavel40", 1, {"value=\"Total\"", "<form id=\"languages\""}, {"value=\"MapData\"", "value=\"DeviceAp\""}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.model);
        client.model = QLatin1String(c.model);
        client.serviceType = c.serviceType;
        const QString shown = page();
        QStringList offered = c.offered;
        offered << "<form id=\"export\""
                << "<form id=\"upload\""
                << "<form id=\"import\""
                << "<form id=\"profile\""
                << "<form id=\"delete\""
                << "<form id=\"delete-history\""
                << "<form id=\"update\""
                << "<form id=\"eject\""
                << "<dd id=\"capability\">route,workout</dd>";
        for (const QString &expected : offered)
            EXPECT_TRUE(shown.contains(expected)) << expected.toStdString() << "\n" << shown.toStdString();
        for (const QString &absent : c.hidden)
            EXPECT_FALSE(shown.contains(absent)) << absent.toStdString();
    }
}

// What erases asks first, saying what it erases; only the confirmed form reaches the device.
TEST_F(WebPageTest, AnEraseAsksFirstAndRunsOnlyOnceConfirmed)
{
    client.tracks = {ride(3, QStringLiteral("Morning")), ride(4, QStringLiteral("Evening"))};
    ASSERT_TRUE(OrvoTest::writeFile(exportRoot + QStringLiteral("/firmware.bin"), "firmware"));
    struct Case
    {
        const char *name;
        QString path;
        QStringList fields;
        const char *question;
        QString call;
        const char *shown;
    };
    const std::vector<Case> cases = {
        {"every ride",
         "/delete_history",
         {},
         "This erases every ride on the device (2 rides)",
         "deleteTracks 3,4",
         "<p class=\"done\">Delete every ride: done</p>"},
        {"firmware",
         "/update",
         {"component=Total", "update=firmware.bin"},
         "Updating the Firmware from &quot;firmware.bin&quot; erases the firmware and the languages on the device",
         "_updateTotal " + exportRoot + "/firmware.bin 0",
         "<p class=\"done\">Update Firmware: done</p>"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const qsizetype before = client.calls().size();
        const QString asked = postForPage(c.path, c.fields);
        EXPECT_TRUE(asked.contains(QStringLiteral("<section id=\"confirm\">"))) << asked.toStdString();
        EXPECT_TRUE(asked.contains(QLatin1String(c.question))) << asked.toStdString();
        EXPECT_TRUE(asked.contains(QStringLiteral("<input type=\"hidden\" name=\"confirmed\" value=\"yes\">")));
        QStringList calls = client.calls().mid(before);
        calls.removeAll(QStringLiteral("getTracks"));
        EXPECT_TRUE(calls.isEmpty()) << calls.join(QLatin1Char(' ')).toStdString();

        EXPECT_EQ(post(c.path, QStringList(c.fields) << QStringLiteral("confirmed=yes")), QStringLiteral("303"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return client.calls().mid(before).contains(c.call) && !client.isBusy(); },
                                    kPatienceMs));
        const QString shown = page();
        EXPECT_TRUE(shown.contains(QLatin1String(c.shown))) << shown.toStdString();
    }
}

// The actions that answer at once show done or failed with a reason, whatever the device said.
TEST_F(WebPageTest, ActionsThatAnswerAtOnceShowDoneOrFailedWithAReason)
{
    client.tracks = {ride(3, QStringLiteral("Morning")), ride(4, QStringLiteral("Evening"))};
    ASSERT_EQ(post(QStringLiteral("/delete"), {QStringLiteral("ride=Evening")}), QStringLiteral("303"));
    EXPECT_TRUE(client.calls().contains(QStringLiteral("deleteTracks 4")));
    QString shown = page();
    EXPECT_TRUE(shown.contains(QStringLiteral("<p class=\"done\">Delete rides: done</p>"))) << shown.toStdString();

    client.result = false;
    ASSERT_EQ(post(QStringLiteral("/eject"), {}), QStringLiteral("303"));
    EXPECT_TRUE(client.calls().contains(QStringLiteral("eject")));
    shown = page();
    EXPECT_TRUE(shown.contains(QStringLiteral("<p class=\"failed\">Eject: failed</p>\n<ul>\n<li>The device answered")))
        << shown.toStdString();

    // The device's answer was true, but its error flag says the work was not done.
    client.result = true;
    client.setError(true);
    ASSERT_EQ(post(QStringLiteral("/delete"), {QStringLiteral("ride=Morning")}), QStringLiteral("303"));
    shown = page();
    EXPECT_TRUE(shown.contains(QStringLiteral("<p class=\"failed\">Delete rides: failed</p>"))) << shown.toStdString();

    EXPECT_EQ(post(QStringLiteral("/delete"), {}), QStringLiteral("400"));
}

// The log goes into a new file of the export folder; a file already there is never replaced,
// and the refusal comes back beside the form with the name kept.
TEST_F(WebPageTest, TheLogExportsIntoANewFileOfTheExportFolderOnly)
{
    // The program's log export, which here writes what it is asked for only while it can.
    bool writes = false;
    OrvoControllerHooks::setExportLogHook([&writes](const QString &dest, QString &error) {
        error = QStringLiteral("not now");
        return writes && OrvoTest::writeFile(dest, "zip");
    });
    ASSERT_EQ(post(QStringLiteral("/log"), {QStringLiteral("log=logs/first.zip")}), QStringLiteral("303"));
    QString shown = page();
    EXPECT_TRUE(shown.contains(QStringLiteral("<p class=\"failed\">Export log: failed</p>"))) << shown.toStdString();
    writes = true;
    ASSERT_EQ(post(QStringLiteral("/log"), {QStringLiteral("log=logs/first.zip")}), QStringLiteral("303"));
    EXPECT_TRUE(QFileInfo(exportRoot + QStringLiteral("/logs/first.zip")).isFile());
    shown = page();
    EXPECT_TRUE(shown.contains(QStringLiteral("<p class=\"done\">Export log: done</p>"))) << shown.toStdString();

    ASSERT_TRUE(OrvoTest::writeFile(exportRoot + QStringLiteral("/kept.zip"), "mine"));
    const QString refused = postForPage(QStringLiteral("/log"), {QStringLiteral("log=kept.zip")});
    EXPECT_TRUE(refused.contains(QStringLiteral("The file &quot;kept.zip&quot; exists already")))
        << refused.toStdString();
    EXPECT_TRUE(refused.contains(QStringLiteral("name=\"log\" value=\"kept.zip\""))) << refused.toStdString();
    EXPECT_EQ(OrvoTest::readFile(exportRoot + QStringLiteral("/kept.zip")), QByteArray("mine"));
    EXPECT_EQ(post(QStringLiteral("/log"), {QStringLiteral("log=../outside.zip")}), QStringLiteral("400"));
    EXPECT_FALSE(QFileInfo::exists(exportRoot + QStringLiteral("/../outside.zip")));
    OrvoControllerHooks::setExportLogHook({});
}

// The page follows the device without a reload: /state says which device is plugged and
// whether an action runs.
TEST_F(WebPageTest, TheStateFollowsPlugAndUnplug)
{
    const auto state = [] {
        return QString::fromUtf8(
            runProcess(QStringLiteral("curl"), QStringList{QStringLiteral("-sS"), url("/state")} + tokenArguments())
                .output);
    };
    EXPECT_EQ(state(), QStringLiteral("{\"device\": \"Kavel50 0042-7\", \"working\": false, \"progress\": -1.0}"));
    attached = nullptr;
    EXPECT_EQ(state(), QStringLiteral("{\"device\": \"\", \"working\": false, \"progress\": -1.0}"));
    EXPECT_TRUE(page().contains(QStringLiteral("fetch(\"/state\"")));
}

// The profile file read from the device shows as a form of its named fields; what the user
// changes there is checked, then written to the file and to the device.
TEST_F(WebPageTest, TheProfileIsAFormOfItsNamedFields)
{
    const QString file = exportRoot + QStringLiteral("/profile.xml");
    ASSERT_TRUE(OrvoTest::writeFile(file, "<settings><property name=\"User Weight.Metric\" value=\"70\"/>"
                                          "<property name=\"User Name\" value=\"me &amp; you\"/></settings>"));
    QString shown = page();
    EXPECT_TRUE(shown.contains(QStringLiteral("<input name=\"field.User Weight.Metric\" value=\"70\">")))
        << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("<input name=\"field.User Name\" value=\"me &amp; you\">")));

    const QStringList heavy = {QStringLiteral("file=profile.xml"), QStringLiteral("field.User Weight.Metric=heavy"),
                               QStringLiteral("field.User Name=me")};
    shown = postForPage(QStringLiteral("/profile/write"), heavy);
    EXPECT_EQ(post(QStringLiteral("/profile/write"), heavy), QStringLiteral("400"));
    EXPECT_TRUE(shown.contains(QStringLiteral("&quot;User Weight.Metric&quot; is not a number")))
        << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("<input name=\"field.User Weight.Metric\" value=\"heavy\">")));
    EXPECT_EQ(client.saveProfileCalls, 0);
    EXPECT_TRUE(OrvoTest::readFile(file).contains("value=\"70\""));

    ASSERT_EQ(post(QStringLiteral("/profile/write"),
                   {QStringLiteral("file=profile.xml"), QStringLiteral("field.User Weight.Metric=72.5"),
                    QStringLiteral("field.User Name=me")}),
              QStringLiteral("303"));
    ASSERT_TRUE(QTest::qWaitFor([this] { return client.saveProfileCalls == 1 && !client.isBusy(); }, kPatienceMs));
    EXPECT_EQ(client.savedProfile.value(QStringLiteral("User Weight.Metric")), QStringLiteral("72.5"));
    EXPECT_EQ(client.savedProfile.value(QStringLiteral("User Name")), QStringLiteral("me"));
}

} // namespace
