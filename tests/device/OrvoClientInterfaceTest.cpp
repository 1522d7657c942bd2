#include "ClientTestDoubles.h"
#include "OrvoTestSupport.h"

#include "device/OrvoClientDummy.h"
#include "device/OrvoDeviceService.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <ostream>

using namespace ClientTest;

namespace {

// A device class that holds a service of the given type.
class ServiceStub : public OrvoDeviceService
{
public:
    explicit ServiceStub(int type)
        : m_type(type)
    {}
    bool readDeviceId(QString &) override { return false; }
    OrvoDeviceInfo *deviceInfo() override { return nullptr; }
    int serviceType() const override { return m_type; }

private:
    int m_type;
};

class ServicedClient : public RecordingClient
{
public:
    OrvoDeviceService *deviceService() override { return service; }
    OrvoDeviceService *service = nullptr;
};

TEST(OrvoClientInterface, TheServiceTypeIsTheHeldServicesOrMinusOneWithoutOne)
{
    ServicedClient client;
    EXPECT_EQ(client.deviceService(), nullptr);
    EXPECT_EQ(client.deviceServiceType(), -1);

    ServiceStub fileSystem(OrvoDeviceService::FileSystemService);
    client.service = &fileSystem;
    EXPECT_EQ(client.deviceServiceType(), 0);
    ServiceStub scsi(OrvoDeviceService::ScsiPassThroughService);
    client.service = &scsi;
    EXPECT_EQ(client.deviceServiceType(), 1);
}

TEST(OrvoClientInterface, VersionGettersDefaultsAndTheVersionList)
{
    RecordingClient client;
    client.totalVersion = QStringLiteral("2.1.0");

    // The OS version of a class that knows only its total version is that version.
    QString os;
    EXPECT_TRUE(client.getOS(os));
    EXPECT_EQ(os, QStringLiteral("2.1.0"));

    // A caller that checks the answer goes on with an untouched boot-loader text.
    QString bootLoader = QStringLiteral("kept");
    EXPECT_TRUE(client.getBootloader(bootLoader));
    EXPECT_EQ(bootLoader, QStringLiteral("kept"));

    for (const char *component : {"GPST_ENGINE", "CYCLEROAD", ""}) {
        SCOPED_TRACE(component);
        EXPECT_EQ(client.getComponentVersion(QString::fromLatin1(component)), QStringLiteral("not support"));
    }

    QStringList versions;
    client.getVersions(versions);
    EXPECT_EQ(versions, QStringList{"2.1.0"});
    client.apVersion = QStringLiteral("0.9");
    versions.clear();
    client.getVersions(versions);
    EXPECT_EQ(versions, (QStringList{"2.1.0", "0.9"}));
}

TEST(OrvoClientInterface, ThePlaceholderIsInvalidNamelessAndProducesNothing)
{
    OrvoClientDummy dummy;
    QString model;
    EXPECT_FALSE(dummy.getName(model));
    EXPECT_EQ(model, QStringLiteral("dummy"));
    EXPECT_FALSE(dummy.isValid());
    QString path = QStringLiteral("untouched");
    EXPECT_FALSE(dummy.prepareUploadData(path, true));
    EXPECT_EQ(path, QStringLiteral("untouched"));
    EXPECT_TRUE(dummy._exportTrack(QStringLiteral("/out")).isEmpty());
    // Without a model name the model's settings are never consulted.
    EXPECT_EQ(dummy.getMinOrvoVer(), QStringLiteral(""));
}

TEST(OrvoClientInterface, ThePlaceholdersActionsRunAndReportLikeAnyClients)
{
    ResultRecorder results;
    ActionRecorder actions;
    OrvoClientDummy dummy;

    ASSERT_TRUE(dummy.exportTrack(QStringLiteral("/out")));
    ASSERT_TRUE(QTest::qWaitFor([&dummy] { return !dummy.isBusy(); }, kPatienceMs));
    ASSERT_EQ(results.results.size(), 1);
    EXPECT_TRUE(results.results[0].isEmpty());

    QSignalSpy done(&dummy, &OrvoClient::finalizeDone);
    ASSERT_TRUE(dummy.finalize());
    ASSERT_TRUE(done.wait(kPatienceMs));
    EXPECT_FALSE(dummy.error());
    ASSERT_EQ(actions.notices.size(), 2);
    EXPECT_EQ(actions.notices[0].client, &dummy);
    EXPECT_EQ(actions.notices[1].action, OrvoClient::Action_Finalize);
}

struct SettingCase
{
    const char *name;
    bool hasName;
    const char *key;
    // Null leaves the key out of the settings file.
    const char *stored;
    bool dontCheckUploaded;
    bool usePsfLanguageFilter;
};

// Names the row where GoogleTest would print its bytes.
void PrintTo(const SettingCase &row, std::ostream *os)
{
    *os << row.name;
}

class OrvoClientSettingTest : public ::testing::TestWithParam<SettingCase>
{};

TEST_P(OrvoClientSettingTest, ReadsTheModelsGroupWithItsDefaults)
{
    const SettingCase &c = GetParam();
    const UserFolderScope settings;
    if (c.stored != nullptr)
        OrvoEnv::instance()->setGroupValue("TestModel", c.key, c.stored);
    RecordingClient client;
    client.hasName = c.hasName;
    EXPECT_EQ(client.dontCheckUploaded(), c.dontCheckUploaded);
    EXPECT_EQ(client.usePsfLanguageFilter(), c.usePsfLanguageFilter);
}

const SettingCase kSettingCases[] = {
    {"NoGroup", true, "dontcheckuploaded", nullptr, false, true},
    {"UploadCheckOn", true, "dontcheckuploaded", "0", false, true},
    {"UploadCheckOff", true, "dontcheckuploaded", "1", true, true},
    {"UploadCheckOffByAnyOtherValue", true, "dontcheckuploaded", "yes", true, true},
    {"FilterOff", true, "psflanguagefilter", "0", false, false},
    {"FilterOnByAnyOtherValue", true, "psflanguagefilter", "2", false, true},
    {"NamelessClientIgnoresTheGroup", false, "dontcheckuploaded", "1", false, true},
    {"NamelessClientKeepsTheFilter", false, "psflanguagefilter", "0", false, true},
};

INSTANTIATE_TEST_SUITE_P(Settings, OrvoClientSettingTest, ::testing::ValuesIn(kSettingCases),
                         [](const auto &row) { return std::string(row.param.name); });

TEST(OrvoClientInterface, TheMinimumProgramVersionIsTheModelsSetting)
{
    const UserFolderScope settings;
    OrvoEnv::instance()->setGroupValue("TestModel", "MinOrvoVer", "2.8.1.0");
    RecordingClient client;
    EXPECT_EQ(client.getMinOrvoVer(), QStringLiteral("2.8.1.0"));
    // The answer of getName does not matter, only the text.
    client.hasName = false;
    EXPECT_EQ(client.getMinOrvoVer(), QStringLiteral("2.8.1.0"));
    client.modelName.clear();
    EXPECT_EQ(client.getMinOrvoVer(), QStringLiteral(""));
}

class FlashDumpClient : public RecordingClient
{
public:
    void saveExtFlashToFile(const QString &path) override
    {
        requested = path;
        if (writes)
            OrvoTest::writeFile(path, QByteArray(16, '\xFF'));
    }
    bool writes = true;
    QString requested;
};

TEST(OrvoClientInterface, TheFlashDumpIsListedOnlyWhenTheDeviceClassWroteIt)
{
    OrvoTest::OutputDir out;
    FlashDumpClient client;
    const QString dump = out.filePath(QStringLiteral("TestModelflash.dat"));

    QStringList files = {"orvo.log"};
    client.dumpFlashForLog(out.path(), &files);
    EXPECT_EQ(client.requested, dump);
    EXPECT_EQ(files, (QStringList{"orvo.log", "TestModelflash.dat"}));

    // A dump left from an earlier export is removed, not listed as this one.
    client.writes = false;
    files.clear();
    client.dumpFlashForLog(out.path(), &files);
    EXPECT_TRUE(files.isEmpty());
    EXPECT_FALSE(QFile::exists(dump));
}

} // namespace
