#include "FixtureZip.h"
#include "Kavel35Emulator.h"
#include "OrvoTestSupport.h"
#include "OrvoUserFolderScope.h"
#include "ProfileFixtures.h"

#include "device/OrvoVirtualDeviceWaits.h"
#include "devices/psf14/OrvoPulmor30.h"
#include "profile/OrvoProfileData.h"
#include "profile/OrvoProfileKeys.h"
#include "psf14/OrvoPSFPOIFrame.h"

#include <QCryptographicHash>
#include <QSet>

#include <gtest/gtest.h>

#include <functional>

using namespace Kavel35;
using PsfImage14Builder::Content;

// Every write path of the PSF 1.4 family under a command that fails: for each chosen k the
// emulated device fails the k-th command of the action. Whatever the action answers, the
// device must then hold what a run without the fault leaves, either at once (true) or after a
// re-plug and a retry (false).
namespace {

const ProfileFixtures::UserRecord kUser{1, 40, 0, 175, 69, 70.5f, 155, 180};
constexpr quint8 kEraseArea = 14;
constexpr quint8 kImageWriteArea = 15;
// How many commands at each end of an action are all failed.
constexpr int kEndCommands = 10;

using ClientPtr = std::unique_ptr<OrvoKavel30>;

struct Model
{
    const char *name;
    PsfImage14Builder::Model layout;
    OrvoDeviceInfo info;
    QByteArray product;
};

const Model kKavel35{"Kavel35", PsfImage14Builder::Model::Kavel35, row(), "QUILMA"};
const Model kPulmor35{"Pulmor35", PsfImage14Builder::Model::Pulmor30,
                      OrvoDeviceInfo{QStringLiteral("1103"), QStringLiteral("Pulmor35"), QStringLiteral("TESKA"), {}},
                      "TESKA"};

ClientPtr clientOf(const Model &model, const std::shared_ptr<OrvoEmulatedFlashDevice> &device)
{
    if (model.layout == PsfImage14Builder::Model::Kavel35)
        return makeClientOf<OrvoKavel35>(device, model.info);
    return makeClientOf<OrvoPulmor30>(device, model.info);
}

std::shared_ptr<OrvoEmulatedFlashDevice> deviceOf(const Model &model)
{
    return makeDevice(PsfImage14Builder::flashImage(model.layout, PsfImage14Builder::sampleContent(), kUser), "V100",
                      model.product);
}

QString names(const QVector<OrvoClientData> &items)
{
    QStringList texts;
    for (const OrvoClientData &item : items)
        texts << (item.name.isEmpty() && !item.nameImage.isNull() ? QStringLiteral("<bit-font>") : item.name);
    return texts.join(QLatin1Char('|'));
}

QString digest(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex().left(12));
}

// What a client that reads the device afresh finds, and the memories next to the flash.
QStringList stateOf(const Model &model, const std::shared_ptr<OrvoEmulatedFlashDevice> &device)
{
    auto client = clientOf(model, device);
    QVector<OrvoClientData> routes;
    QVector<OrvoClientData> rides;
    QVector<OrvoClientData> workouts;
    client->getRoutes(routes);
    client->getTracks(rides);
    client->getWorkouts(workouts);
    const OrvoPSFPOIFrame *pois = client->container() ? client->container()->poiFrame() : nullptr;
    QString weight;
    QString language;
    if (client->profile() || client->loadProfile()) {
        weight = client->profile()->value(OrvoProfileKeys::kWeightMetric);
        language = client->profile()->value(OrvoProfileKeys::kLang);
    }
    return {QStringLiteral("routes ") + names(routes),
            QStringLiteral("rides ") + names(rides),
            QStringLiteral("workouts ") + names(workouts),
            QStringLiteral("pois %1").arg(pois ? pois->pois().size() : -1),
            QStringLiteral("weight ") + weight,
            QStringLiteral("profile language ") + language,
            QStringLiteral("language ") + digest(device->memory(kLanguage)),
            QStringLiteral("firmware ") + digest(device->memory(kFirmware))};
}

struct Action
{
    const char *name;
    const Model *model;
    std::function<bool(OrvoKavel30 &)> run;
};

// The commands worth failing: the first and last ten, every erase, every write of the block
// that holds the header record, and every command whose kind differs from the one before.
QVector<int> chosenCommands(const QVector<OrvoEmulatedFlashDevice::LoggedCommand> &log)
{
    QSet<int> chosen;
    const int count = int(log.size());
    for (int k = 1; k <= count; ++k) {
        const auto &command = log.at(k - 1);
        const quint8 opcode = quint8(command.cdb[0]);
        const quint8 area = quint8(command.cdb[6]);
        const bool atAnEnd = k <= kEndCommands || k > count - kEndCommands;
        const bool erase = opcode == kWrite && area == kEraseArea;
        const bool headerWrite = opcode == kWrite && area == kImageWriteArea && blockOf(command) == 0;
        const bool newKind = k == 1 || log.at(k - 2).cdb.left(1) + log.at(k - 2).cdb.mid(6, 1) !=
                                           command.cdb.left(1) + command.cdb.mid(6, 1);
        if (atAnEnd || erase || headerWrite || newKind)
            chosen.insert(k);
    }
    QVector<int> sorted(chosen.cbegin(), chosen.cend());
    std::sort(sorted.begin(), sorted.end());
    return sorted;
}

class OrvoKavel30FaultTest : public ::testing::TestWithParam<Action>
{
protected:
    void SetUp() override { OrvoDeviceWaits::install(&m_waits); }
    void TearDown() override { OrvoDeviceWaits::install(nullptr); }

    OrvoVirtualDeviceWaits m_waits{QDateTime(QDate(2024, 5, 1), QTime(8, 0), Qt::UTC)};
    // Each test process has its own temporary folder: parallel runs must not empty each other's.
    const OrvoTest::UserFolderScope m_userFolder;
};

// The files the actions take, made once per process in a folder that outlives the tests.
struct Files
{
    OrvoTest::OutputDir dir;
    QString share;
    QString restoreFolder;
    QString iap;
    QString languages;
    QString resource;

    Files()
    {
        share = dir.filePath(QStringLiteral("share.zip"));
        const QByteArray route =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<gpx xmlns=\"http://www.tarvex.com/xmlschemas/KRM/2/2\" creator=\"Tarvex\" version=\"2.2.0.3\">\n"
            "<metadata><name>Shared climb</name><extensions><sharetype>1</sharetype></extensions></metadata>\n"
            "<rte><rtept lat=\"35.0\" lon=\"139.0\"/><rtept lat=\"35.01\" lon=\"139.0\"/></rte>\n"
            "<trk><trkseg><trkpt lat=\"35.000000\" lon=\"139.000000\"/>"
            "<trkpt lat=\"35.010000\" lon=\"139.000000\"/></trkseg></trk>\n</gpx>\n";
        const QByteArray poi =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<gpx xmlns=\"http://www.tarvex.com/xmlschemas/KRM/2/2\" creator=\"Tarvex\" version=\"2.2.0.3\">\n"
            "<metadata><name>Bakery</name><extensions><sharetype>0</sharetype></extensions></metadata>\n"
            "<wpt lat=\"47.1\" lon=\"8.5\"><name>Bakery</name></wpt>\n</gpx>\n";
        EXPECT_TRUE(OrvoTest::writeFile(share, FixtureZip::storedArchive({{"a.krm", route}, {"b.gpx", poi}})));

        restoreFolder = dir.filePath(QStringLiteral("restore"));
        QDir().mkpath(restoreFolder);
        Content restored;
        restored.routes = {PsfImage14Builder::sampleContent().routes.at(2)};
        EXPECT_TRUE(OrvoTest::writeFile(restoreFolder + QStringLiteral("/QUILMA.bin"), QByteArray(4096, 'i')));
        EXPECT_TRUE(
            OrvoTest::writeFile(restoreFolder + QStringLiteral("/QUILMAExData.bin"),
                                PsfImage14Builder::flashImage(PsfImage14Builder::Model::Kavel35, restored, kUser)));

        iap = dir.filePath(QStringLiteral("iap.zip"));
        EXPECT_TRUE(OrvoTest::writeFile(iap, FixtureZip::storedArchive({{"IT_loader.bin", QByteArray(3000, 'l')},
                                                                        {"I_firmware.bin", QByteArray(5000, 'f')}})));
        languages = dir.filePath(QStringLiteral("languages.zip"));
        EXPECT_TRUE(OrvoTest::writeFile(
            languages, FixtureZip::storedArchive(
                           {{"quilma.bin", QByteArray(16, 'b')},
                            {"t_eng_.lng", QByteArray::fromHex("A1B2C3D4") + "eng" + QByteArray(64, 'e')},
                            {"t_ger_.lng", QByteArray::fromHex("A1B2C3D4") + "ger" + QByteArray(64, 'g')}})));
        resource = dir.filePath(QStringLiteral("resource.zip"));
        EXPECT_TRUE(OrvoTest::writeFile(
            resource, FixtureZip::storedArchive({{"teska.bin", QByteArray("TESKA-RESOURCE").repeated(100)}})));
    }
};

const Files &files()
{
    static const Files made;
    return made;
}

bool weighs61(OrvoKavel30 &client)
{
    return client.saveProfile({{QString(OrvoProfileKeys::kWeightMetric), QStringLiteral("61")}}) && client._finalize();
}

const std::vector<Action> kActions = {
    {"Kavel35ShareImport", &kKavel35, [](OrvoKavel30 &c) { return c.setShareData(files().share) && c._finalize(); }},
    {"Kavel35ProfileWrite", &kKavel35, weighs61},
    {"Kavel35Deletions", &kKavel35,
     [](OrvoKavel30 &c) { return c.deletePOIs({1}) && c.deleteRoutes({2}) && c.deleteWorkouts({0}) && c._finalize(); }},
    {"Kavel35DeleteAll", &kKavel35, [](OrvoKavel30 &c) { return c.deleteAll(); }},
    {"Kavel35LanguageWrite", &kKavel35, [](OrvoKavel30 &c) { return c._updateTotal(files().languages, QString()); }},
    {"Kavel35FactoryRestore", &kKavel35, [](OrvoKavel30 &c) { return c._restoreFactory(files().restoreFolder); }},
    {"Kavel35IapUpdate", &kKavel35, [](OrvoKavel30 &c) { return c.updateLaunchsec(files().iap); }},
    {"Pulmor35ProfileWrite", &kPulmor35, weighs61},
    {"Pulmor35DeleteAll", &kPulmor35, [](OrvoKavel30 &c) { return c.deleteAll(); }},
    {"Pulmor35Update", &kPulmor35, [](OrvoKavel30 &c) { return c._updateTotal(files().resource, QString()); }},
};

} // namespace

TEST_P(OrvoKavel30FaultTest, AFailedCommandLeavesWhatARetryCompletes)
{
    const Action &action = GetParam();
    const Model &model = *action.model;

    auto clean = deviceOf(model);
    const QStringList before = stateOf(model, clean);
    auto cleanClient = clientOf(model, clean);
    ASSERT_TRUE(action.run(*cleanClient)) << "the action succeeds without a fault";
    const QVector<int> chosen = chosenCommands(clean->commandLog());
    ASSERT_FALSE(chosen.isEmpty());
    const QStringList expected = stateOf(model, clean);
    EXPECT_NE(expected, before) << "the action changes the device";

    for (int k : chosen) {
        SCOPED_TRACE(QStringLiteral("command %1 of %2").arg(k).arg(clean->commandLog().size()).toStdString());
        auto device = deviceOf(model);
        auto client = clientOf(model, device);
        device->failCommand(k);
        const bool done = action.run(*client);
        ASSERT_FALSE(device->faultPending()) << "the action sends the same commands as without the fault";
        client.reset();
        device->unplug();
        device->plug(device->identity());
        if (!done) {
            auto retry = clientOf(model, device);
            ASSERT_TRUE(action.run(*retry)) << "the retry without the fault succeeds";
        }
        EXPECT_EQ(stateOf(model, device), expected) << (done ? "answered true" : "retried");
    }
}

INSTANTIATE_TEST_SUITE_P(EveryWritePath, OrvoKavel30FaultTest, ::testing::ValuesIn(kActions),
                         [](const auto &i) { return std::string(i.param.name); });
