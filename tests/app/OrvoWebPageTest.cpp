#include "AppTestSupport.h"
#include "OrvoTestSupport.h"
#include "TestDeviceClient.h"

#include "FixtureZip.h"
#include "app/OrvoControllerHooks.h"
#include "env/OrvoEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>
#include <utility>
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

// The device the page showed the forms for: every form names it in two hidden fields.
QString g_shownId = QStringLiteral("0042-7");
QString g_shownModel = QStringLiteral("Kavel50");

// The fields as the page's form sends them: with the shown device, unless the test names one.
QStringList asShown(const QStringList &fields)
{
    if (!fields.filter(QRegularExpression(QStringLiteral("^device_(id|model)="))).isEmpty())
        return fields;
    return QStringList(fields) << QStringLiteral("device_id=") + g_shownId
                               << QStringLiteral("device_model=") + g_shownModel;
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
    for (const QString &field : asShown(fields))
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
    for (const QString &field : asShown(fields))
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
        showClient();
    }
    void TearDown() override { OrvoControllerHooks::setCurrentClientHook({}); }

    // The page shows the client as it is now: the forms name it.
    void showClient()
    {
        g_shownId = client.uuid;
        g_shownModel = client.model;
    }

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
    // A form the page sent before the device went away comes back as the page, saying so.
    const QString refused = postForPage(QStringLiteral("/upload"), {});
    EXPECT_TRUE(refused.startsWith(QStringLiteral("<!DOCTYPE html>"))) << refused.toStdString();
    EXPECT_TRUE(refused.contains(QStringLiteral("<dd id=\"device\">No device connected")));
    EXPECT_TRUE(refused.contains(
        QStringLiteral("<p class=\"refused\" role=\"alert\">No device is connected any more; nothing was done.")))
        << refused.toStdString();
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
    client.setNotice(QStringLiteral("A recovery copy is kept in /home/u/<kavel40>.restore.kept"));
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
          "<form id=\"import\"", "<form id=\"profile\"", "formaction=\"/profile/write\"",
          "<dd id=\"notice\" class=\"refused\" role=\"alert\">A recovery copy is kept in "
          "/home/u/&lt;kavel40&gt;.restore.kept</dd>"}) {
        EXPECT_TRUE(shown.contains(QLatin1String(expected))) << expected << "\n" << shown.toStdString();
    }
    EXPECT_FALSE(shown.contains(QStringLiteral("<li>Application"))) << "an empty version is left out";
    EXPECT_FALSE(shown.contains(QStringLiteral("http-equiv=\"refresh\"")));
    EXPECT_EQ(client.calls(), QStringList{QStringLiteral("getTracks")});
    for (const QString &unreadable : {QStringLiteral("           "), QStringLiteral("\x02\x00\x1f ")}) {
        client.launchsec = unreadable;
        EXPECT_FALSE(page().contains(QStringLiteral("Launcher"))) << "a version without a readable text is left out";
    }
    client.setNotice(QString());
    EXPECT_FALSE(page().contains(QStringLiteral("id=\"notice\""))) << "without a notice there is none";
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
    EXPECT_TRUE(shown.contains(QStringLiteral("<progress id=\"progress\" max=\"100\" value=\"0\">")));

    // While the device works, a form is refused with the reason, and nothing reaches the device.
    const qsizetype before = client.calls().size();
    EXPECT_EQ(post(QStringLiteral("/upload"), {}), QStringLiteral("409"));
    shown = postForPage(QStringLiteral("/upload"), {});
    EXPECT_TRUE(shown.contains(QStringLiteral("<p class=\"refused\" role=\"alert\">The device is busy with "
                                              "&quot;Export rides&quot;; nothing was done.")))
        << shown.toStdString();
    EXPECT_FALSE(shown.contains(QStringLiteral("Upload package")));
    EXPECT_EQ(client.calls().size(), before);

    client.gate.open();
    ASSERT_TRUE(finished());
    shown = page();
    EXPECT_TRUE(shown.contains(QStringLiteral("<p class=\"done\">Export rides: done</p>"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("<li>2 files written to ") + exportRoot +
                               QStringLiteral("/rides, 0 files there already kept as they were</li>")));
    EXPECT_TRUE(shown.contains(QStringLiteral("<li>written: b.gpx</li>")));
    EXPECT_FALSE(shown.contains(QStringLiteral("<progress")));

    // Fewer files than rides: a full disk must not read as done.
    client.tracks = {ride(1, QStringLiteral("a")), ride(2, QStringLiteral("b")), ride(3, QStringLiteral("c"))};
    ASSERT_EQ(post(QStringLiteral("/export"), {QStringLiteral("folder=rides")}), QStringLiteral("303"));
    ASSERT_TRUE(finished());
    shown = page();
    EXPECT_TRUE(
        shown.contains(QStringLiteral("<p class=\"failed\">Export rides: failed</p>\n<ul>\n<li>2 files written")))
        << shown.toStdString();
    // The reason is the one the export logged.
    EXPECT_TRUE(shown.contains(QStringLiteral("<li>2 of 3 rides written to ")));

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
    EXPECT_FALSE(shown.contains(QStringLiteral("<progress")));

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
    const char *eject = "<form id=\"eject\"";
    const char *deleteChosen = "<form id=\"delete\" method";
    const char *routes = "<label>Share package <input name=\"package\"";
    const char *workouts = "<label>Share package (its workouts) <input name=\"package\"";
    const std::vector<Case> cases = {
        {"Kavel50",
         0,
         {"value=\"Total\"", "value=\"DeviceAp\"", "value=\"MapData\"", "value=\"GPST_ENGINE\"", eject, deleteChosen,
          routes},
         {"<form id=\"languages\"", workouts}},
        {"Kavel21",
         0,
         {"value=\"Total\"", "value=\"DeviceAp\"", eject, deleteChosen, workouts},
         {"value=\"MapData\"", "<form id=\"languages\"", routes}},
        {"Kavel35",
         1,
         {"value=\"Total\"", "value=\"LaunchSEC\"", deleteChosen, routes},
         {"value=\"MapData\"", "<form id=\"languages\"", eject}},
        {"Kavel40",
         1,
         {"value=\"Total\"", "<form id=\"languages\"", routes},
         {"value=\"MapData\"", "value=\"DeviceAp\"", eject, deleteChosen}},
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
                << "<form id=\"delete-history\""
                << "<form id=\"update\""
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
        QString shown;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                shown = page();
                return client.calls().mid(before).contains(c.call) && shown.contains(QLatin1String(c.shown));
            },
            kPatienceMs))
            << shown.toStdString();
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
    // The page carries the state it was made in, so that its script sees an unplug that comes
    // before its first question.
    EXPECT_TRUE(page().contains(QStringLiteral("data-state=\"[&quot;Kavel50 0042-7&quot;, false]\"")));
    attached = nullptr;
    EXPECT_EQ(state(), QStringLiteral("{\"device\": \"\", \"working\": false, \"progress\": -1.0}"));
    EXPECT_TRUE(page().contains(QStringLiteral("data-state=\"[&quot;&quot;, false]\"")));
}

// The profile read from the device shows as a form of its named fields; what the user
// changes there is checked, then written to the file and to the device.
TEST_F(WebPageTest, TheProfileIsAFormOfItsNamedFields)
{
    const QString file = exportRoot + QStringLiteral("/profile.xml");
    ASSERT_TRUE(OrvoTest::writeFile(file, "<settings><property name=\"User Weight.Metric\" value=\"70\"/>"
                                          "<property name=\"User Name\" value=\"me &amp; you\"/></settings>"));
    // The test's device leaves the file as it is when its profile is read into it.
    ASSERT_EQ(post(QStringLiteral("/profile/read"), {QStringLiteral("file=profile.xml")}), QStringLiteral("303"));
    ASSERT_TRUE(finished());
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

// Every form names the device the page showed it for. A form sent for another device, or for
// none named, is refused with the page of the device plugged now and the reason above it, and
// nothing reaches the device: a ride of the same name on the device plugged now stays.
TEST_F(WebPageTest, AFormActsOnlyOnTheDeviceThePageShowed)
{
    client.tracks = {ride(3, QStringLiteral("Morning ride")), ride(4, QStringLiteral("Evening"))};
    ASSERT_TRUE(OrvoTest::writeFile(exportRoot + QStringLiteral("/share.zip"), "PK"));
    ASSERT_TRUE(OrvoTest::writeFile(exportRoot + QStringLiteral("/firmware.bin"), "firmware"));
    const QString shown = page();
    const QString named = QStringLiteral("<input type=\"hidden\" name=\"device_id\" value=\"0042-7\">\n"
                                         "<input type=\"hidden\" name=\"device_model\" value=\"Kavel50\">\n");
    EXPECT_GE(shown.count(QStringLiteral("<form ")), 9);
    EXPECT_EQ(shown.count(named), shown.count(QStringLiteral("<form "))) << shown.toStdString();

    struct Identity
    {
        const char *name;
        QStringList fields;
        const char *reason;
    };
    const std::vector<Identity> identities = {
        {"another device of the model",
         {"device_id=0042-8", "device_model=Kavel50"},
         "The page showed the Kavel50 (id 0042-8), but the Kavel50 (id 0042-7) is connected now; nothing was done."},
        {"another model", {"device_id=1003", "device_model=Kavel35"}, "The page showed the Kavel35 (id 1003), but the"},
        {"no device named", {"device_id=", "device_model="}, "The form did not say which device it was shown for"},
    };
    const std::vector<std::pair<QString, QStringList>> forms = {
        {"/delete", {"ride=Morning ride"}},
        {"/delete_history", {"confirmed=yes"}},
        {"/import", {"package=share.zip"}},
        {"/export", {"folder=rides"}},
        {"/upload", {}},
        {"/update", {"component=Total", "update=firmware.bin", "confirmed=yes"}},
        {"/profile/read", {"file=profile.xml"}},
        {"/eject", {}},
    };
    for (const Identity &identity : identities) {
        for (const auto &[path, fields] : forms) {
            SCOPED_TRACE(std::string(identity.name) + " " + path.toStdString());
            const qsizetype before = client.calls().size();
            EXPECT_EQ(post(path, fields + identity.fields), QStringLiteral("409"));
            const QString refused = postForPage(path, fields + identity.fields);
            EXPECT_TRUE(refused.contains(QStringLiteral("<p class=\"refused\" role=\"alert\">") +
                                         QString::fromUtf8(identity.reason).toHtmlEscaped()))
                << refused.toStdString();
            EXPECT_TRUE(refused.contains(QStringLiteral("<dd id=\"device\">Kavel50</dd>")));
            EXPECT_TRUE(refused.contains(QStringLiteral(">Morning ride</li>")));
            QStringList calls = client.calls().mid(before);
            calls.removeAll(QStringLiteral("getTracks"));
            EXPECT_TRUE(calls.isEmpty()) << calls.join(QLatin1Char(' ')).toStdString();
        }
    }
    EXPECT_EQ(client.tracks.size(), 2);
}

// Each family runs only the actions it offers: a form of an action it cannot run is refused
// and nothing reaches the device; the GAL family takes only the workouts of a share package.
TEST_F(WebPageTest, ActionsTheFamilyCannotRunAreRefused)
{
    client.tracks = {ride(3, QStringLiteral("Morning"))};
    const auto package = [this](const char *name, const QByteArray &entry) {
        return OrvoTest::writeFile(exportRoot + QLatin1Char('/') + QLatin1String(name),
                                   FixtureZip::storedArchive({{entry, "<x/>"}}));
    };
    ASSERT_TRUE(package("routes.zip", "route/alps.rte"));
    ASSERT_TRUE(package("workouts.zip", "workout/intervals.WRK"));
    struct Case
    {
        const char *model;
        int serviceType;
        QString path;
        QStringList fields;
        const char *status;
        const char *reason;
        QString call;
    };
    const std::vector<Case> cases = {
        {"Kavel40", 1, "/delete", {"ride=Morning"}, "409", "This device deletes only every ride at once", {}},
        {"Kavel40", 1, "/eject", {}, "409", "This device is not ejected", {}},
        {"Kavel35", 1, "/eject", {}, "409", "This device is not ejected", {}},
        {"Kavel21", 0, "/import", {"package=routes.zip"}, "400", "takes only the workouts of a share package", {}},
        {"Kavel21",
         0,
         "/import",
         {"package=workouts.zip"},
         "303",
         nullptr,
         "setShareData " + exportRoot + "/workouts.zip"},
        {"Kavel35", 1, "/delete", {"ride=Morning"}, "303", nullptr, "deleteTracks 3"},
        {"Kavel21", 0, "/eject", {}, "303", nullptr, "eject"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(QStringLiteral("%1 %2 %3").arg(QLatin1String(c.model), c.path, c.fields.join(' ')).toStdString());
        client.model = QLatin1String(c.model);
        client.serviceType = c.serviceType;
        showClient();
        const qsizetype before = client.calls().size();
        if (c.reason != nullptr) {
            const QString refused = postForPage(c.path, c.fields);
            EXPECT_TRUE(refused.contains(QLatin1String(c.reason))) << refused.toStdString();
        }
        EXPECT_EQ(post(c.path, c.fields), QLatin1String(c.status));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return !client.isBusy() && (c.call.isEmpty() || client.calls().mid(before).contains(c.call)); },
            kPatienceMs));
        QStringList calls = client.calls().mid(before);
        calls.removeAll(QStringLiteral("getTracks"));
        EXPECT_EQ(calls, c.call.isEmpty() ? QStringList() : QStringList{c.call});
    }
}

// A failed action shows why: the lines it logged while it ran, else that the device gave no
// reason.
TEST_F(WebPageTest, AFailedActionShowsTheReasonItLogged)
{
    ASSERT_TRUE(OrvoTest::writeFile(exportRoot + QStringLiteral("/firmware.bin"), "firmware"));
    ASSERT_TRUE(OrvoTest::writeFile(exportRoot + QStringLiteral("/share.zip"), "PK"));
    struct Case
    {
        const char *name;
        QString path;
        QStringList fields;
        QString logged;
        const char *shown;
    };
    const std::vector<Case> cases = {
        {"profile read",
         "/profile/read",
         {"file=p.xml"},
         "profile sector reads short at block 7",
         "<p class=\"failed\">Read profile: failed</p>"},
        {"firmware update",
         "/update",
         {"component=Total", "update=firmware.bin", "confirmed=yes"},
         "firmware.bin did not unpack whole",
         "<p class=\"failed\">Update Firmware: failed</p>"},
        {"share import",
         "/import",
         {"package=share.zip"},
         "unzip failed: share.zip",
         "<p class=\"failed\">Share import: failed</p>"},
        {"eject, nothing logged", "/eject", {}, {}, "<p class=\"failed\">Eject: failed</p>"},
    };
    client.result = false;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        client.behaviour = [logged = c.logged] { qWarning().noquote() << logged; };
        ASSERT_EQ(post(c.path, c.fields), QStringLiteral("303"));
        ASSERT_TRUE(finished());
        const QString shown = page();
        const qsizetype at = shown.indexOf(QLatin1String(c.shown));
        ASSERT_GE(at, 0) << shown.toStdString();
        const QString lines = shown.mid(at, shown.indexOf(QStringLiteral("</ul>"), at) - at);
        const QString reason = c.logged.isEmpty()
                                   ? QStringLiteral("The device answered that the action failed, without a reason.")
                                   : c.logged;
        EXPECT_TRUE(lines.contains(QStringLiteral("<li>") + reason + QStringLiteral("</li>"))) << lines.toStdString();
        EXPECT_FALSE(lines.contains(QStringLiteral("the log says more")));
    }
}

// Exporting again into the same folder says per file whether it was written or was there
// already and kept.
TEST_F(WebPageTest, AnExportSaysPerFileWhetherItWasWrittenOrKept)
{
    ASSERT_TRUE(OrvoTest::writeFile(exportRoot + QStringLiteral("/again/a.gpx"), "ride a"));
    client.tracks = {ride(1, QStringLiteral("a")), ride(2, QStringLiteral("b"))};
    client.exportedFiles = {exportRoot + QStringLiteral("/again/b.gpx")};
    client.behaviour = [this] { OrvoTest::writeFile(exportRoot + QStringLiteral("/again/b.gpx"), "ride b"); };
    ASSERT_EQ(post(QStringLiteral("/export"), {QStringLiteral("folder=again")}), QStringLiteral("303"));
    ASSERT_TRUE(finished());
    const QString shown = page();
    for (const QString &line : {QStringLiteral("<li>1 files written to %1/again, 1 files there already kept as they "
                                               "were</li>")
                                    .arg(exportRoot),
                                QStringLiteral("<li>written: b.gpx</li>"), QStringLiteral("<li>kept: a.gpx</li>")})
        EXPECT_TRUE(shown.contains(line)) << line.toStdString() << "\n" << shown.toStdString();
}

// An eject that worked ends with the device gone: the page without a device still says so.
TEST_F(WebPageTest, ASuccessfulEjectIsShownOnceTheDeviceIsGone)
{
    ASSERT_EQ(post(QStringLiteral("/eject"), {}), QStringLiteral("303"));
    attached = nullptr;
    const QString shown = page();
    EXPECT_TRUE(shown.contains(QStringLiteral("<dd id=\"device\">No device connected"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("<p class=\"done\">Eject: done</p>"))) << shown.toStdString();
}

// The page's script and style are files of their own, served from a fixed table of names with
// their types, to requests that carry the token and name this server, like every route.
TEST_F(WebPageTest, ThePageLoadsItsScriptAndStyleFromAFixedTableOfFiles)
{
    const QString shown = page();
    EXPECT_TRUE(shown.contains(QStringLiteral("<script src=\"/static/page.js\" defer></script>")))
        << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("<link rel=\"stylesheet\" href=\"/static/page.css\">")));
    EXPECT_FALSE(shown.contains(QStringLiteral("<script>")));
    EXPECT_FALSE(shown.contains(QStringLiteral("<style>")));
    struct Case
    {
        const char *path;
        QStringList headers;
        bool token;
        const char *answer;
        const char *body;
    };
    const QString rebound = QStringLiteral("Host: attacker.example:%1").arg(listenPort());
    const std::vector<Case> cases = {
        {"/static/page.js", {}, true, "200 text/javascript; charset=utf-8", "fetch(\"/state\""},
        {"/static/page.css", {}, true, "200 text/css; charset=utf-8", "font-family"},
        {"/static/page.js", {}, false, "403 text/plain; charset=utf-8", nullptr},
        {"/static/page.js", {rebound}, true, "403 text/plain; charset=utf-8", nullptr},
        {"/static/main.py", {}, true, "404 text/plain; charset=utf-8", nullptr},
        {"/static/../main.py", {}, true, "404 text/plain; charset=utf-8", nullptr},
        {"/static/%2e%2e/main.py", {}, true, "404 text/plain; charset=utf-8", nullptr},
        {"/static/", {}, true, "404 text/plain; charset=utf-8", nullptr},
        {"/static/page.js/", {}, true, "404 text/plain; charset=utf-8", nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        QStringList arguments = {QStringLiteral("-s"), QStringLiteral("--path-as-is"), QStringLiteral("-w"),
                                 QStringLiteral("\n%{http_code} %{content_type}")};
        for (const QString &header : c.headers)
            arguments << QStringLiteral("-H") << header;
        if (c.token)
            arguments << tokenArguments();
        const QString answer =
            QString::fromUtf8(runProcess(QStringLiteral("curl"), arguments << url(QLatin1String(c.path))).output);
        EXPECT_EQ(answer.section(QLatin1Char('\n'), -1), QLatin1String(c.answer)) << answer.toStdString();
        if (c.body != nullptr) {
            EXPECT_TRUE(answer.contains(QLatin1String(c.body))) << answer.toStdString();
        }
    }
}

// The tray program's page leads to the daemon's through its own address, which sends the browser
// on with the token the daemon wrote at its latest start: the link works for the user who
// started both, also after the daemon was started again.
TEST_F(WebPageTest, TheLinkToTheDaemonsPageCarriesTheDaemonsLatestToken)
{
    attached = nullptr;
    const QDir data(OrvoEnv::instance()->userFolder());
    ASSERT_TRUE(OrvoTest::writeFile(data.filePath(QStringLiteral("orvo.ini")), "[TarvexOrvo]\nlisten_port=23456\n"));
    const QString shown = page();
    EXPECT_TRUE(shown.contains(QStringLiteral("<a id=\"daemon-page\" href=\"/daemon\">http://127.0.0.1:23456/</a>")))
        << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("<p id=\"restarted\" class=\"lost\" role=\"alert\" hidden>")));
    const QString token = QStringLiteral("0123456789abcdef").repeated(4);
    struct Case
    {
        const char *name;
        QByteArray file;
        QString location;
    };
    const std::vector<Case> cases = {
        {"the daemon's token", token.toLatin1() + '\n', "http://127.0.0.1:23456/?token=" + token},
        {"another start's token", token.toUpper().toLatin1() + '\n',
         "http://127.0.0.1:23456/?token=" + token.toUpper()},
        {"no token", {}, "http://127.0.0.1:23456/"},
        {"not a token", "<script>\n", "http://127.0.0.1:23456/"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = data.filePath(QStringLiteral("orvo.token"));
        QFile::remove(file);
        if (!c.file.isEmpty()) {
            ASSERT_TRUE(OrvoTest::writeFile(file, c.file));
        }
        const QByteArray answer =
            runProcess(QStringLiteral("curl"),
                       QStringList{QStringLiteral("-s"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                                   QStringLiteral("-w"), QStringLiteral("%{http_code} %{redirect_url}"), url("/daemon")}
                           << tokenArguments())
                .output;
        EXPECT_EQ(QString::fromUtf8(answer), QStringLiteral("303 ") + c.location);
    }
    QFile::remove(data.filePath(QStringLiteral("orvo.token")));
    QFile::remove(data.filePath(QStringLiteral("orvo.ini")));
}

// Deleting every ride of a drive runs as the other long actions run: a few rides per call, the
// page and its state answering between the calls, then the rides named only by a picture at
// once. A flash device deletes all at once.
TEST_F(WebPageTest, DeletingEveryRideOfADriveRunsInTurns)
{
    QImage picture(6, 3, QImage::Format_RGB32);
    picture.fill(Qt::black);
    QStringList all;
    for (int number = 0; number < 45; ++number) {
        client.tracks.append(ride(100 + number, QStringLiteral("Ride %1").arg(number, 2, 10, QLatin1Char('0'))));
        all << QString::number(100 + number);
    }
    client.tracks.append(ride(200, QString(), picture));
    all << QStringLiteral("200");
    const auto ids = [](int first, int last) {
        QStringList texts;
        for (int id = first; id <= last; ++id)
            texts << QString::number(id);
        return QStringLiteral("deleteTracks ") + texts.join(QLatin1Char(','));
    };
    const QString every = QStringLiteral("deleteTracks ") + all.join(QLatin1Char(','));
    struct Case
    {
        const char *model;
        int serviceType;
        QStringList calls;
    };
    const std::vector<Case> cases = {
        {"Kavel50", 0, {ids(100, 119), ids(120, 139), ids(140, 144), every}},
        {"Kavel21", 0, {ids(100, 119), ids(120, 139), ids(140, 144), every}},
        {"Kavel35", 1, {every}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.model);
        client.model = QLatin1String(c.model);
        client.serviceType = c.serviceType;
        showClient();
        const qsizetype before = client.calls().size();
        ASSERT_EQ(post(QStringLiteral("/delete_history"), {QStringLiteral("confirmed=yes")}), QStringLiteral("303"));
        QString shown;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                shown = page();
                return shown.contains(QStringLiteral("<p class=\"done\">Delete every ride: done</p>"));
            },
            kPatienceMs))
            << shown.toStdString();
        QStringList calls = client.calls().mid(before);
        calls.removeAll(QStringLiteral("getTracks"));
        EXPECT_EQ(calls, c.calls);
    }
}

} // namespace
