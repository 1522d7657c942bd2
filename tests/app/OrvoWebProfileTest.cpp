#include "AppTestSupport.h"
#include "Kavel50Drive.h"
#include "OrvoTestSupport.h"
#include "TestDeviceClient.h"

#include "app/OrvoControllerHooks.h"
#include "app/OrvoDeviceTypeTable.h"
#include "device/OrvoDeviceManager.h"
#include "device/OrvoPlatform.h"
#include "emulator/OrvoEmulatedPlatform.h"
#include "env/OrvoEnv.h"
#include "profile/OrvoProfileData.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

using namespace AppTest;

namespace {

using Profile = std::vector<std::pair<QString, QString>>;

// The profile a Kavel50 gives when it is read: its 68 fields in their order, with the user's
// name, weight and unit set, the open top bound of each zone family -1 and every other field
// empty (the device's defaults file holds no value for them).
Profile kavel50Profile()
{
    Profile fields = {{"User Name", "demo"},        {"User Sex", ""},
                      {"User Birthday", ""},        {"User Height.Metric", ""},
                      {"User Height.Imperial", ""}, {"User Weight.Metric", "70"},
                      {"User Weight.Imperial", ""}, {"Dst Unit", "Metric"}};
    for (const char *family : {"User LTHR", "User MHR", "User MAP", "User FTP"}) {
        fields.emplace_back(QLatin1String(family), QString());
        for (int zone = 1; zone <= 7; ++zone) {
            fields.emplace_back(QStringLiteral("%1.zone%2.low").arg(QLatin1String(family)).arg(zone), QString());
            fields.emplace_back(QStringLiteral("%1.zone%2.high").arg(QLatin1String(family)).arg(zone),
                                zone == 7 ? QStringLiteral("-1") : QString());
        }
    }
    return fields;
}

QByteArray profileXml(const Profile &fields)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><settings>";
    for (const auto &[name, value] : fields)
        xml += "<property name=\"" + name.toUtf8() + "\" value=\"" + value.toUtf8() + "\"/>";
    return xml + "</settings>\n";
}

// The form the page sends: the file's name and every field as the form holds it.
QStringList profileForm(const QString &file, const Profile &fields)
{
    QStringList form = {QStringLiteral("file=") + file};
    for (const auto &[name, value] : fields)
        form << QStringLiteral("field.%1=%2").arg(name, value);
    return form;
}

Profile changed(Profile fields, const Profile &changes)
{
    for (const auto &[name, value] : changes) {
        for (auto &field : fields) {
            if (field.first == name)
                field.second = value;
        }
    }
    return fields;
}

QString url(const QString &path)
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(listenPort()).arg(path);
}

QString page()
{
    return QString::fromUtf8(
        runProcess(QStringLiteral("curl"),
                   QStringList{QStringLiteral("-sS"), QStringLiteral("--max-time"), QStringLiteral("30"), url("/")} +
                       tokenArguments())
            .output);
}

// The hidden fields by which every form of the page names the device it was shown for.
QStringList shownDevice()
{
    static const QRegularExpression hidden(
        QStringLiteral("<input type=\"hidden\" name=\"(device_id|device_model)\" value=\"([^\"]*)\">"));
    QStringList fields;
    const QString shown = page();
    for (QRegularExpressionMatchIterator it = hidden.globalMatch(shown); it.hasNext() && fields.size() < 2;) {
        const QRegularExpressionMatch match = it.next();
        fields << match.captured(1) + QLatin1Char('=') + match.captured(2);
    }
    return fields;
}

// Posts the form as the page shown now sends it, and answers the HTTP status and the body sent
// back.
std::pair<QString, QString> post(const QString &path, QStringList fields)
{
    fields << shownDevice();
    QStringList arguments = {QStringLiteral("-s"),         QStringLiteral("-w"), QStringLiteral("\n%{http_code}"),
                             QStringLiteral("--max-time"), QStringLiteral("30"), QStringLiteral("-X"),
                             QStringLiteral("POST")};
    for (const QString &field : fields)
        arguments << QStringLiteral("--data-urlencode") << field;
    const QString answer =
        QString::fromUtf8(runProcess(QStringLiteral("curl"), arguments << tokenArguments() << url(path)).output);
    const qsizetype end = answer.lastIndexOf(QLatin1Char('\n'));
    return {answer.mid(end + 1), answer.left(end)};
}

// The profile's fields the page shows, each as its input.
QStringList shownFields(const QString &shown)
{
    QStringList inputs;
    qsizetype at = 0;
    while ((at = shown.indexOf(QStringLiteral("<input name=\"field."), at)) >= 0) {
        const qsizetype end = shown.indexOf(QLatin1Char('>'), at);
        inputs << shown.mid(at, end + 1 - at);
        at = end;
    }
    return inputs;
}

QString input(const QString &name, const QString &value)
{
    return QStringLiteral("<input name=\"field.%1\" value=\"%2\">").arg(name.toHtmlEscaped(), value.toHtmlEscaped());
}

// A device whose profile read writes the profile it holds into the file it is given.
class ProfileDevice : public TestDeviceClient
{
public:
    QByteArray profile;

    bool prepareUploadProfile(const QString &file) override
    {
        return OrvoTest::writeFile(file, profile) && TestDeviceClient::prepareUploadProfile(file);
    }
};

// The web application with the device the test plugs, the controller's current client. Each
// test's devices have identities of their own: the running page remembers what it read from
// each.
class WebProfileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        startPython();
        OrvoControllerHooks::setCurrentClientHook([this] { return plugged; });
        exportRoot = OrvoEnv::instance()->userFolder() + QStringLiteral("/export");
        ASSERT_TRUE(QDir().mkpath(exportRoot));
        exportRoot = QFileInfo(exportRoot).canonicalFilePath();
        kavel50.profile = profileXml(kavel50Profile());
    }
    void TearDown() override { OrvoControllerHooks::setCurrentClientHook({}); }

    // Reads the plugged device's profile into the file through the page, to its end.
    bool readProfile(const QString &file)
    {
        const auto &[status, body] = post(QStringLiteral("/profile/read"), {QStringLiteral("file=") + file});
        EXPECT_EQ(status, QStringLiteral("303")) << body.toStdString();
        return QTest::qWaitFor([] { return page().contains(QStringLiteral("Read profile: done")); }, kPatienceMs);
    }

    bool written(ProfileDevice &device, int writes)
    {
        return QTest::qWaitFor([&] { return device.saveProfileCalls == writes && !device.isBusy(); }, kPatienceMs);
    }

    ProfileDevice kavel50;
    OrvoClient *plugged = &kavel50;
    QString exportRoot;
};

// Every value of a Kavel50's profile as the device gave it goes back as it is: its empty fields
// and the -1 of each open top zone are the device's own, not the user's mistakes.
TEST_F(WebProfileTest, AKavel50ProfileAsReadWritesBackUnchanged)
{
    kavel50.uuid = QStringLiteral("5050-unchanged");
    ASSERT_TRUE(readProfile(QStringLiteral("profile.xml")));
    const Profile given = kavel50Profile();
    const QStringList inputs = shownFields(page());
    ASSERT_EQ(inputs.size(), qsizetype(given.size()));
    for (const auto &[name, value] : given)
        EXPECT_TRUE(inputs.contains(input(name, value))) << name.toStdString();

    const auto &[status, body] =
        post(QStringLiteral("/profile/write"), profileForm(QStringLiteral("profile.xml"), given));
    ASSERT_EQ(status, QStringLiteral("303")) << body.toStdString();
    ASSERT_TRUE(written(kavel50, 1));
    for (const auto &[name, value] : given)
        EXPECT_EQ(kavel50.savedProfile.value(name, QStringLiteral("<missing>")), value) << name.toStdString();
}

// Only the fields the user changed are checked, and every changed field that does not fit is
// named in the one refusal, while the device's unchanged empty and -1 values are not.
TEST_F(WebProfileTest, OnlyChangedFieldsAreCheckedAndEveryRefusedOneIsNamed)
{
    kavel50.uuid = QStringLiteral("5050-changed");
    ASSERT_TRUE(readProfile(QStringLiteral("profile.xml")));
    struct Case
    {
        const char *name;
        Profile changes;
        // The refused fields, none when the write goes ahead.
        QStringList refused;
    };
    const std::vector<Case> cases = {
        {"a new weight", {{"User Weight.Metric", "72.5"}}, {}},
        {"an empty heart rate filled", {{"User MHR", "188"}, {"User MHR.zone1.low", "90"}}, {}},
        {"a name cleared", {{"User Name", ""}}, {}},
        {"a weight cleared", {{"User Weight.Metric", ""}}, {"User Weight.Metric"}},
        {"an open top bound given a wrong one", {{"User FTP.zone7.high", "-2"}}, {"User FTP.zone7.high"}},
        {"three wrong at once",
         {{"User Weight.Metric", "heavy"}, {"User Sex", "x"}, {"User LTHR.zone3.low", "1.5"}, {"User MHR", "180"}},
         {"User Weight.Metric", "User Sex", "User LTHR.zone3.low"}},
    };
    int writes = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Profile sent = changed(kavel50Profile(), c.changes);
        const auto &[status, body] =
            post(QStringLiteral("/profile/write"), profileForm(QStringLiteral("profile.xml"), sent));
        if (c.refused.isEmpty()) {
            ASSERT_EQ(status, QStringLiteral("303")) << body.toStdString();
            ASSERT_TRUE(written(kavel50, ++writes));
            for (const auto &[name, value] : c.changes)
                EXPECT_EQ(kavel50.savedProfile.value(name), value) << name.toStdString();
            // The next case starts again from what the device gave.
            ASSERT_TRUE(readProfile(QStringLiteral("profile.xml")));
            continue;
        }
        EXPECT_EQ(status, QStringLiteral("400"));
        EXPECT_EQ(body.count(QStringLiteral("class=\"refused\"")), 1) << body.toStdString();
        for (const QString &field : c.refused)
            EXPECT_TRUE(body.contains(QStringLiteral("of the field &quot;%1&quot;").arg(field))) << field.toStdString();
        EXPECT_EQ(body.count(QStringLiteral("of the field &quot;")), c.refused.size()) << body.toStdString();
        EXPECT_TRUE(body.contains(QStringLiteral("nothing was written"))) << body.toStdString();
        for (const auto &[name, value] : c.changes)
            EXPECT_TRUE(body.contains(input(name, value))) << "the value sent comes back: " << name.toStdString();
        EXPECT_EQ(kavel50.saveProfileCalls, writes);
    }
}

// A file in the export folder is some device's profile, or none: the form shows a device only the
// profile this page read from it, into whichever file, and never another device's.
TEST_F(WebProfileTest, EachDeviceIsShownOnlyTheProfileReadFromIt)
{
    kavel50.uuid = QStringLiteral("5050-two");
    ProfileDevice kavel35;
    kavel35.model = QStringLiteral("Kavel35");
    kavel35.uuid = QStringLiteral("3535-two");
    kavel35.serviceType = 1;
    const Profile kavel35Fields = {{"User Name", "kenji"}, {"User Weight.Metric", "64"}, {"User MHR", "181"}};
    kavel35.profile = profileXml(kavel35Fields);
    // Left by a device before the program started, or by a device of the same model.
    ASSERT_TRUE(OrvoTest::writeFile(exportRoot + QStringLiteral("/profile.xml"), profileXml(kavel50Profile())));
    ProfileDevice sameModel;
    sameModel.uuid = QStringLiteral("5050-other");

    struct Step
    {
        const char *name;
        ProfileDevice *device;
        // The file the device's profile is read into first, none to only show the page.
        QString readInto;
        // How many fields the form shows, and one of them.
        qsizetype fields;
        QString oneField;
    };
    const std::vector<Step> steps = {
        {"the Kavel50 before its profile was read", &kavel50, {}, 0, {}},
        {"the Kavel50 read into a folder of its own", &kavel50, "mine/kavel50.xml", 68, input("User Name", "demo")},
        {"the Kavel35 in its place", &kavel35, {}, 0, {}},
        {"the Kavel35 read", &kavel35, "kavel35.xml", 3, input("User MHR", "181")},
        {"another Kavel50", &sameModel, {}, 0, {}},
        {"the Kavel50 again", &kavel50, {}, 68, input("User Name", "demo")},
        {"the Kavel50 read into the file the Kavel35 was read into", &kavel50, "kavel35.xml", 68,
         input("User Weight.Metric", "70")},
        {"the Kavel35 again, its file now holding the Kavel50's profile", &kavel35, {}, 3, input("User MHR", "181")},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.name);
        plugged = step.device;
        if (!step.readInto.isEmpty()) {
            ASSERT_TRUE(readProfile(step.readInto));
        }
        const QString shown = page();
        const QStringList inputs = shownFields(shown);
        EXPECT_EQ(inputs.size(), step.fields) << shown.toStdString();
        if (!step.oneField.isEmpty()) {
            EXPECT_TRUE(inputs.contains(step.oneField)) << shown.toStdString();
        }
    }
}

// The emulated Kavel50 drive as the demo has it: only the user's name and weight set. The page
// reads its profile, and the form sent back as shown, with one value changed, reaches the drive.
TEST_F(WebProfileTest, AKavel50DrivesProfileGoesBackFromThePageAsShown)
{
    const auto platform = std::make_shared<OrvoEmulatedPlatform>();
    OrvoPlatform::setImplementationFactory([platform] { return platform; });
    OrvoTest::OutputDir folder;
    const Kavel50Drive drive(folder.filePath(QStringLiteral("KAVEL50")));
    const QString userSettings = QLatin1String(Kavel50Drive::kTrainingFolder) + QStringLiteral("/user_settings.xml");
    ASSERT_TRUE(drive.writeIdentity({}));
    ASSERT_TRUE(drive.writeSettings(userSettings, {{QStringLiteral("User Name"), QStringLiteral("demo")},
                                                   {QStringLiteral("User Weight.Metric"), QStringLiteral("70")}}));
    ASSERT_TRUE(drive.writeSettings(QLatin1String(Kavel50Drive::kCoreFolder) + QStringLiteral("/user_settings.xml"),
                                    {{QStringLiteral("unit system"), QStringLiteral("0")}}));
    platform->plugDrive(drive.root(), QStringLiteral("TarvexKavel50"));
    OrvoDeviceManager manager;
    for (const OrvoDeviceTypeTable::Row &row : OrvoDeviceTypeTable::rows())
        manager.registerDevice(row.info, false);
    ASSERT_TRUE(manager.start());
    OrvoClient *device = manager.currentClient();
    ASSERT_NE(device, nullptr);
    plugged = device;

    ASSERT_TRUE(readProfile(QStringLiteral("drive.xml")));
    Profile shown;
    for (const QString &field : shownFields(page())) {
        const QString name = field.section(QLatin1Char('"'), 1, 1).mid(qsizetype(strlen("field.")));
        shown.emplace_back(name, field.section(QLatin1Char('"'), 3, 3));
    }
    ASSERT_EQ(shown.size(), kavel50Profile().size()) << "the 68 fields of the drive's profile";
    const auto &[status, body] =
        post(QStringLiteral("/profile/write"),
             profileForm(QStringLiteral("drive.xml"), changed(shown, {{"User Weight.Metric", "72"}})));
    ASSERT_EQ(status, QStringLiteral("303")) << body.toStdString();
    ASSERT_TRUE(QTest::qWaitFor([] { return page().contains(QStringLiteral("Write profile: done")); }, kPatienceMs));
    OrvoProfileData onDrive(drive.path(userSettings).toUtf8(), OrvoProfileData::XmlFile);
    ASSERT_TRUE(onDrive.parse());
    EXPECT_EQ(onDrive.value(QStringLiteral("User Weight.Metric")), QStringLiteral("72"));
    EXPECT_EQ(onDrive.value(QStringLiteral("User Name")), QStringLiteral("demo"));
    OrvoControllerHooks::setCurrentClientHook({});
    OrvoPlatform::setImplementationFactory({});
}

} // namespace
