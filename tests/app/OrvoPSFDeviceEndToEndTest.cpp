#include "AppTestSupport.h"
#include "FixtureBytes.h"
#include "FixtureZip.h"
#include "FlashDeviceDescriptions.h"
#include "OrvoTestSupport.h"
#include "ProfileFixtures.h"
#include "PsfImage15Builder.h"
#include "TestDeviceClient.h"

#include "app/OrvoControllerHooks.h"
#include "app/OrvoDeviceTypeTable.h"
#include "device/OrvoDeviceFactory.h"
#include "device/OrvoDeviceManager.h"
#include "device/OrvoLanguageImage.h"
#include "device/OrvoLinuxSCSIService.h"
#include "device/OrvoPlatform.h"
#include "device/OrvoVirtualDeviceWaits.h"
#include "devices/psf15/OrvoPSFDevice.h"
#include "emulator/OrvoEmulatedFlashDevice.h"
#include "emulator/OrvoEmulatedFolder.h"
#include "emulator/OrvoEmulatedPlatform.h"
#include "emulator/OrvoEmulatedScsiHandle.h"
#include "env/OrvoEnv.h"

#include <QDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace AppTest;

namespace {

// The Kavel40 of the demo folder's description, with an image of the builder.
std::shared_ptr<OrvoEmulatedFlashDevice> plugKavel40(const QString &folder, const QByteArray &image)
{
    if (!OrvoTest::writeFile(folder + QStringLiteral("/kosmir.bin"), image))
        return nullptr;
    const QByteArray description = FlashDeviceDescriptions::kavel40("1105D3E40000C0DE", "kosmir.bin");
    const QString path = folder + QStringLiteral("/kosmir.scsi");
    if (!OrvoTest::writeFile(path, description))
        return nullptr;
    return OrvoEmulatedFolder::loadFlashDevice(path);
}

OrvoDeviceInfo kavel40Row()
{
    for (const OrvoDeviceTypeTable::Row &row : OrvoDeviceTypeTable::rows()) {
        if (row.info.modelName == QLatin1String("Kavel40"))
            return row.info;
    }
    return {};
}

bool waitIdle(OrvoClient &client)
{
    return QTest::qWaitFor([&client] { return !client.isBusy(); }, kPatienceMs);
}

class OrvoPSFDeviceEndToEndTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        OrvoDeviceWaits::install(&m_waits);
        auto platform = m_platform;
        OrvoPlatform::setImplementationFactory([platform] { return platform; });
    }
    void TearDown() override
    {
        OrvoControllerHooks::setCurrentClientHook({});
        OrvoPlatform::setImplementationFactory({});
        OrvoDeviceWaits::install(nullptr);
    }

    OrvoVirtualDeviceWaits m_waits;
    std::shared_ptr<OrvoEmulatedPlatform> m_platform = std::make_shared<OrvoEmulatedPlatform>();
    OrvoTest::OutputDir m_dir;
};

} // namespace

TEST_F(OrvoPSFDeviceEndToEndTest, AKavel40IsServedItsProfileWrittenBackAndItsLanguageFileMade)
{
    PsfImage15Builder builder;
    builder.setProfileEntries({ProfileFixtures::listEntry(9, 7, QByteArray::fromHex("00 00 8D 42"))});
    auto device = plugKavel40(m_dir.path(), builder.build().bytes);
    ASSERT_TRUE(device);
    m_platform->plugScsiDevice(device);
    OrvoDeviceManager manager;
    manager.registerDevice(kavel40Row(), false);
    ASSERT_TRUE(manager.start());
    auto *client = dynamic_cast<OrvoPSFDevice *>(manager.currentClient());
    ASSERT_NE(client, nullptr);

    const QString xml = m_dir.filePath(QStringLiteral("profile.xml"));
    ASSERT_TRUE(OrvoTest::writeFile(xml, "<settings><property name=\"User Weight.Metric\" value=\"64\"/></settings>"));
    const QByteArray before = device->memory(QStringLiteral("flash")).mid(0x1F8000, 0x2000);
    ASSERT_TRUE(client->writeProfile(xml));
    ASSERT_TRUE(waitIdle(*client));
    ASSERT_FALSE(client->error());
    ASSERT_TRUE(client->finalize());
    ASSERT_TRUE(waitIdle(*client));
    ASSERT_FALSE(client->error());
    EXPECT_NE(device->memory(QStringLiteral("flash")).mid(0x1F8000, 0x2000), before);

    const OrvoDeviceInfo row = kavel40Row();
    auto fresh = OrvoDeviceFactory::create<OrvoPSFDevice>(
        std::make_unique<OrvoLinuxSCSIService>(OrvoEmulatedScsiHandle::open(device), row));
    ASSERT_TRUE(fresh);
    const QString read = m_dir.filePath(QStringLiteral("read.xml"));
    ASSERT_TRUE(fresh->readProfile(read));
    ASSERT_TRUE(waitIdle(*fresh));
    EXPECT_TRUE(OrvoTest::readFile(read).contains("name=\"User Weight.Metric\" value=\"64\""))
        << OrvoTest::readFile(read).toStdString();

    // The language file of the unpacked package, built on the GUI thread from Python; the
    // environment's folders are the ones Python starts with.
    startPython();
    const QString folder = OrvoLanguageImage::folder();
    QDir(folder).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(folder));
    const QByteArray eng = QByteArray("\x01\x02\x03\x04", 4) + "eng" + "words";
    ASSERT_TRUE(OrvoTest::writeFile(folder + QStringLiteral("/Kosmir.bin"), QByteArray(1008, 'B')));
    ASSERT_TRUE(OrvoTest::writeFile(folder + QStringLiteral("/lang_eng_.bin"), eng));
    QByteArray header(229, '\0');
    FixtureBytes::putU32Le(header, 0, 0x77A0B2C3);
    FixtureBytes::putBytes(header, 4, eng.left(4));
    FixtureBytes::putU8(header, 8, 1);
    FixtureBytes::putBytes(header, 9, "eng");
    FixtureBytes::putU32Le(header, 69, 229);
    FixtureBytes::putU32Le(header, 149, quint32(eng.size()));
    const QString lanfile = OrvoEnv::instance()->tmpDir() + QStringLiteral("/lanfile.txt");
    QFile::remove(lanfile);

    OrvoControllerHooks::setCurrentClientHook([client] { return client; });
    runPython(QStringLiteral("import orvo\nkavel40 = orvo.OrvoClient()\n"));
    EXPECT_EQ(evalPython(QStringLiteral("repr(kavel40.makelanfile(['eng']))")), QStringLiteral("True"));
    EXPECT_EQ(OrvoTest::readFile(lanfile), QByteArray(1008, 'B') + header + eng);
    QDir(folder).removeRecursively();
}

namespace {

QByteArray le32(quint32 value)
{
    QByteArray bytes(4, '\0');
    FixtureBytes::putU32Le(bytes, 0, value);
    return bytes;
}

} // namespace

// A ride leaves the device as a workout file and a GPX file through Python's export, and a
// share package from Python reaches the flash with the next finalize.
TEST_F(OrvoPSFDeviceEndToEndTest, ARideIsExportedAndASharePackageIsStoredOnTheKavel40)
{
    PsfImage15Builder builder;
    PsfImage15Builder::Route ride;
    ride.recorded = true;
    ride.startTime = 1700000000;
    ride.names = {{"eng", "Evening"}};
    PsfImage15Builder::Segment segment;
    segment.time = 1700000000;
    segment.lat = 35600000;
    segment.lon = 139600000;
    segment.points = {{0, 1, 5, 120, -40}, {1, 2, -300, -7, 2000}};
    segment.sensorLog = builder.addSensorLog({0x05, 0, {QByteArray::fromHex("50 8C"), QByteArray::fromHex("48 8E")}});
    ride.segments = {segment};
    ride.laps = {{1700000000, 1700000300, 1500}};
    ride.hasSummary = true;
    ride.summary = {1700000000, 1700000300, 1500};
    const int rideIndex = builder.addRoute(ride);
    PsfImage15Builder::Workout workout;
    workout.number = 5;
    workout.names = {{"eng", "Steps"}};
    workout.intervals = {{2, 2, 300, -1, 0}};
    workout.logs = {{rideIndex, {le32(1700000000) + le32(1700000300)}}};
    builder.addWorkout(workout);
    auto device = plugKavel40(m_dir.path(), builder.build().bytes);
    ASSERT_TRUE(device);
    m_platform->plugScsiDevice(device);
    OrvoDeviceManager manager;
    manager.registerDevice(kavel40Row(), false);
    ASSERT_TRUE(manager.start());
    auto *client = dynamic_cast<OrvoPSFDevice *>(manager.currentClient());
    ASSERT_NE(client, nullptr);

    startPython();
    OrvoControllerHooks::setCurrentClientHook([client] { return client; });
    const QString folder = m_dir.filePath(QStringLiteral("rides"));
    runPython(QStringLiteral("import orvo\nkavel40 = orvo.OrvoClient()\nresults = []\n"
                             "def on_result(r):\n    results.append(r)\n"));
    EXPECT_EQ(evalPython(QStringLiteral("repr(kavel40.asyncExportTrack('%1', on_result))").arg(folder)),
              QStringLiteral("True"));
    ASSERT_TRUE(waitIdle(*client));
    ASSERT_TRUE(
        QTest::qWaitFor([] { return evalPython(QStringLiteral("len(results)")) == QLatin1String("1"); }, kPatienceMs));
    const QString gpx = folder + QStringLiteral("/Evening0.gpx");
    EXPECT_EQ(evalPython(QStringLiteral("repr(results[0])")),
              QStringLiteral("['%1/Steps0.wrk', '%2']").arg(folder, gpx));

    const ProcessResult lint = runProcess(QStringLiteral("xmllint"), {QStringLiteral("--noout"), gpx});
    EXPECT_EQ(lint.exitCode, 0) << lint.output.toStdString();
    const QByteArray written = OrvoTest::readFile(gpx);
    for (const char *point : {R"(lat="35.600000" lon="139.600000")", R"(lat="35.599960" lon="139.600120")",
                              R"(lat="35.601960" lon="139.600113")"})
        EXPECT_TRUE(written.contains(point)) << point;
    EXPECT_TRUE(written.contains("<ssrlog")) << written.toStdString();
    EXPECT_EQ(written.count("<hrm>140</hrm>") + written.count("<hrm>142</hrm>"), 2) << written.toStdString();

    const QString share = m_dir.filePath(QStringLiteral("share.zip"));
    ASSERT_TRUE(OrvoTest::writeFile(
        share, FixtureZip::storedArchive(
                   {{"Loop.krm", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                 "<gpx creator=\"tarvex\" version=\"2.2.0.3\"><metadata><name>Loop</name></metadata>"
                                 "<rte><rtept lat=\"35.6\" lon=\"139.6\"/></rte><trk><trkseg>"
                                 "<trkpt lat=\"35.6\" lon=\"139.6\"><ele>10</ele></trkpt>"
                                 "<trkpt lat=\"35.61\" lon=\"139.6\"><ele>40</ele></trkpt></trkseg></trk></gpx>\n"},
                    {"Hill.wrk", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                 "<trncrs creator=\"tarvex\" version=\"1.3.0.9\"><wrk id=\"31\">"
                                 "<name lang=\"fra\">Colline</name><itv id=\"1\"><name>Work</name>"
                                 "<target type=\"2\" low=\"100\" high=\"150\"/><duration type=\"2\" value=\"60\"/>"
                                 "</itv></wrk></trncrs>\n"}})));
    EXPECT_EQ(evalPython(QStringLiteral("repr(kavel40.newSetShareData('%1'))").arg(share)), QStringLiteral("True"));
    ASSERT_TRUE(client->finalize());
    ASSERT_TRUE(waitIdle(*client));
    ASSERT_FALSE(client->error());

    auto fresh = OrvoDeviceFactory::create<OrvoPSFDevice>(
        std::make_unique<OrvoLinuxSCSIService>(OrvoEmulatedScsiHandle::open(device), kavel40Row()));
    ASSERT_TRUE(fresh);
    QVector<OrvoClientData> routes;
    fresh->getRoutes(routes);
    ASSERT_EQ(routes.size(), 1);
    EXPECT_EQ(routes[0].name, QStringLiteral("Loop"));
    QVector<OrvoClientData> workouts;
    fresh->getWorkouts(workouts);
    ASSERT_EQ(workouts.size(), 2);
    EXPECT_EQ(workouts[1].name, QStringLiteral("Colline"));
    EXPECT_EQ(workouts[1].itemId, 31);
}
