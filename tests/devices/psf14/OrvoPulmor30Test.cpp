#include "FixtureBytes.h"
#include "FixtureZip.h"
#include "Kavel35Emulator.h"
#include "OrvoMessageCapture.h"
#include "OrvoTestSupport.h"
#include "OrvoUserFolderScope.h"
#include "ProfileFixtures.h"

#include "device/OrvoVirtualDeviceWaits.h"
#include "devices/psf14/OrvoPulmor30.h"
#include "profile/OrvoProfileData.h"
#include "profile/OrvoProfileKeys.h"

#include <gtest/gtest.h>

using namespace Kavel35;
using PsfImage14Builder::Content;

namespace {

const ProfileFixtures::UserRecord kUser{1, 40, 0, 175, 69, 70.5f, 155, 180};
constexpr qsizetype kProfileSector = 0xF8000;
constexpr quint8 kErase = 14;
constexpr quint8 kImageWrite = 15;

QByteArray pulmorImage(const Content &content)
{
    return PsfImage14Builder::flashImage(PsfImage14Builder::Model::Pulmor30, content, kUser);
}

OrvoDeviceInfo pulmorRow(const QString &model)
{
    const QString id = model == QLatin1String("Pulmor30")   ? QStringLiteral("1004")
                       : model == QLatin1String("Pulmor35") ? QStringLiteral("1103")
                                                            : QStringLiteral("1102");
    return OrvoDeviceInfo{id, model, QStringLiteral("TESKA"), {}};
}

std::unique_ptr<OrvoPulmor30> pulmor(const std::shared_ptr<OrvoEmulatedFlashDevice> &device,
                                     const QString &model = QStringLiteral("Pulmor30"))
{
    return makeClientOf<OrvoPulmor30>(device, pulmorRow(model));
}

Content ridesOnly()
{
    Content content = PsfImage14Builder::sampleContent();
    content.routes.resize(2);
    content.pois.clear();
    content.workouts.clear();
    return content;
}

int writesAndErases(const OrvoEmulatedFlashDevice &device)
{
    int count = 0;
    for (const auto &command : device.commandLog())
        count += quint8(command.cdb[0]) == kWrite ? 1 : 0;
    return count;
}

class OrvoPulmor30Test : public ::testing::Test
{
protected:
    void SetUp() override { OrvoDeviceWaits::install(&m_waits); }
    void TearDown() override { OrvoDeviceWaits::install(nullptr); }

    OrvoVirtualDeviceWaits m_waits{QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9), Qt::LocalTime)};
    // Each test process has its own temporary folder: parallel runs must not empty each other's.
    const OrvoTest::UserFolderScope m_userFolder;
};

} // namespace

TEST_F(OrvoPulmor30Test, InitialRefusesADeviceThatIsNotSetUp)
{
    struct Case
    {
        const char *name;
        QString model;
        qsizetype offset;
        quint8 value;
        bool attached;
    };
    const std::vector<Case> cases = {
        {"a Pulmor30 set up", QStringLiteral("Pulmor30"), 886, 1, true},
        {"a Pulmor30 not set up", QStringLiteral("Pulmor30"), 886, 0, false},
        {"a Pulmor30 on its first-use page", QStringLiteral("Pulmor30"), 1194, 0, true},
        {"a Pulmor35 on its first-use page", QStringLiteral("Pulmor35"), 1194, 0, false},
        {"a Kavel20 on its first-use page", QStringLiteral("Kavel20"), 1194, 0, false},
        {"a Kavel20 past it", QStringLiteral("Kavel20"), 1194, 2, true},
        {"a Pulmor35 whose byte 886 is 0", QStringLiteral("Pulmor35"), 886, 0, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray flash = pulmorImage(PsfImage14Builder::sampleContent());
        flash[kProfileSector + c.offset] = char(c.value);
        auto device = makeDevice(flash, "V100", "TESKA");
        auto client = pulmor(device, c.model);
        EXPECT_EQ(client->initial(), c.attached);
    }
    auto device = makeDevice(pulmorImage(PsfImage14Builder::sampleContent()), "V100", "TESKA");
    auto client = pulmor(device);
    device->failCommand(1);
    EXPECT_FALSE(client->initial());
}

TEST_F(OrvoPulmor30Test, SyncTimeSendsTheLocalClockToArea6)
{
    auto device = makeDevice(pulmorImage(PsfImage14Builder::sampleContent()), "V100", "TESKA");
    auto client = pulmor(device);
    ASSERT_TRUE(client->syncTime());
    const auto writes = commands(*device, kWrite, 6);
    ASSERT_EQ(writes.size(), 1);
    EXPECT_EQ(blockOf(writes.first()), 0);
    EXPECT_EQ(quint8(writes.first().cdb[8]), 4) << "one block of 2048 bytes";
    QByteArray expected = QByteArray::fromHex("09070E0503E807");
    expected.append(QByteArray(2048 - expected.size(), '\0'));
    EXPECT_EQ(writes.first().dataOut, expected);
    EXPECT_EQ(device->memory(kClock), expected);

    device->unplug();
    EXPECT_FALSE(client->syncTime());
}

TEST_F(OrvoPulmor30Test, TheLanguageLivesInTheProfile)
{
    auto device = makeDevice(pulmorImage(PsfImage14Builder::sampleContent()), "V100", "TESKA");
    auto client = pulmor(device);
    EXPECT_FALSE(client->setDefLanguage(QStringList{}));
    EXPECT_FALSE(client->isProfileChanged());
    ASSERT_TRUE(client->setDefLanguage({QStringLiteral("fre"), QStringLiteral("ger")}));
    EXPECT_TRUE(client->isProfileChanged());
    QStringList codes{QStringLiteral("eng")};
    EXPECT_TRUE(client->getLanguageOnDevice(codes));
    EXPECT_EQ(codes, QStringList({"eng", "fre"}));
    EXPECT_TRUE(commands(*device, kWrite, kImageWrite).isEmpty()) << "the device gets it with the write-back";

    auto unreadable = makeDevice(QByteArray(), "V100", "TESKA");
    auto without = pulmor(unreadable);
    unreadable->unplug();
    EXPECT_FALSE(without->setDefLanguage({QStringLiteral("fre")}));
    EXPECT_FALSE(without->isProfileChanged());
    QStringList none;
    EXPECT_FALSE(without->getLanguageOnDevice(none));
}

TEST_F(OrvoPulmor30Test, RidesGoOnlyWhenNothingElseWouldGoWithThem)
{
    struct Case
    {
        const char *name;
        Content content;
        QVector<int> ids;
    };
    const std::vector<Case> refused = {
        {"an empty list", ridesOnly(), {}},
        {"one ride of two", ridesOnly(), {0}},
        {"one ride named twice", ridesOnly(), {1, 1}},
        {"every ride of a device with POIs, routes and workouts", PsfImage14Builder::sampleContent(), {0, 1}},
    };
    for (const Case &c : refused) {
        SCOPED_TRACE(c.name);
        auto device = makeDevice(pulmorImage(c.content), "V100", "TESKA");
        auto client = pulmor(device);
        ASSERT_TRUE(client->_readData());
        device->clearCommandLog();
        EXPECT_FALSE(client->deleteTracks(c.ids));
        // The write-back sends the profile only: a single item's deletion would never arrive.
        EXPECT_FALSE(client->deleteRoutes(c.ids));
        EXPECT_FALSE(client->deleteWorkouts({0}));
        EXPECT_FALSE(client->deletePOIs({0}));
        EXPECT_EQ(writesAndErases(*device), 0);
        EXPECT_FALSE(client->isContentChanged());
    }

    const QByteArray flash = pulmorImage(ridesOnly());
    auto device = makeDevice(flash, "V100", "TESKA");
    auto client = pulmor(device);
    ASSERT_TRUE(client->_readData());
    device->clearCommandLog();
    device->failCommand(1);
    ASSERT_TRUE(client->deleteTracks({1, 0, 0})) << "a failed erase is tried again";
    EXPECT_FALSE(client->error());
    EXPECT_EQ(commands(*device, kWrite, kErase).size(), 2);
    const QByteArray after = device->memory(kFlash);
    EXPECT_EQ(FixtureBytes::getU16Le(after, 0), 0xAA55);
    EXPECT_EQ(after.mid(4096, 4), QByteArray::fromHex("11223344"));
    EXPECT_EQ(after.mid(0x6000, kProfileSector - 0x6000), QByteArray(kProfileSector - 0x6000, '\xFF'));
    EXPECT_EQ(after.mid(kProfileSector, 4096), flash.mid(kProfileSector, 4096));
    QVector<OrvoClientData> rides;
    client->getTracks(rides);
    EXPECT_TRUE(rides.isEmpty()) << "the lists come from the device again";
}

TEST_F(OrvoPulmor30Test, ASharePackageIsRefusedWithoutACommand)
{
    auto device = makeDevice(pulmorImage(PsfImage14Builder::sampleContent()), "V100", "TESKA");
    auto client = pulmor(device);
    OrvoTest::OutputDir dir;
    const QString zip = dir.filePath(QStringLiteral("share.zip"));
    ASSERT_TRUE(OrvoTest::writeFile(zip, FixtureZip::storedArchive({{"a.gpx", "<gpx/>"}})));
    EXPECT_FALSE(client->setShareData(zip));
    EXPECT_TRUE(device->commandLog().isEmpty());
    EXPECT_EQ(client->classFlag2(), 1);
    EXPECT_EQ(client->exportDevice().classFlag2, 1);
}

TEST_F(OrvoPulmor30Test, TheWriteBackSendsTheProfileAndLeavesTheDataPart)
{
    const QByteArray flash = pulmorImage(PsfImage14Builder::sampleContent());
    auto device = makeDevice(flash, "V100", "TESKA");
    auto client = pulmor(device);
    ASSERT_TRUE(client->saveProfile({{QString(OrvoProfileKeys::kWeightMetric), QStringLiteral("61")}}));
    ASSERT_TRUE(client->_finalize());
    EXPECT_FALSE(client->isProfileChanged());
    const QByteArray after = device->memory(kFlash);
    EXPECT_EQ(after.left(kProfileSector), flash.left(kProfileSector));
    EXPECT_EQ(after.mid(kProfileSector + 4096), flash.mid(kProfileSector + 4096));
    OrvoProfileData profile(after.mid(kProfileSector, 4096), OrvoProfileData::PsfObsoletePulmor30);
    ASSERT_TRUE(profile.parse());
    EXPECT_EQ(profile.value(OrvoProfileKeys::kWeightMetric), QStringLiteral("61"));
}

TEST_F(OrvoPulmor30Test, TheResourceImageUpdate)
{
    OrvoTest::OutputDir dir;
    const QByteArray resource = QByteArray("TESKA-RESOURCE").repeated(100);
    const QString good = dir.filePath(QStringLiteral("good.zip"));
    ASSERT_TRUE(OrvoTest::writeFile(good, FixtureZip::storedArchive({{"notes.txt", "x"}, {"teska.bin", resource}})));
    const QString empty = dir.filePath(QStringLiteral("empty.zip"));
    ASSERT_TRUE(OrvoTest::writeFile(empty, FixtureZip::storedArchive({{"notes.txt", "x"}})));
    const QString large = dir.filePath(QStringLiteral("large.zip"));
    ASSERT_TRUE(OrvoTest::writeFile(large, FixtureZip::storedArchive({{"teska.bin", QByteArray(0x79001, 'x')}})));

    struct Case
    {
        const char *name;
        QString model;
        QByteArray version;
        QString package;
        bool updated;
        bool erased;
    };
    const std::vector<Case> cases = {
        {"a Pulmor35 of any release", QStringLiteral("Pulmor35"), "V100", good, true, true},
        {"a Pulmor30 of release 2", QStringLiteral("Pulmor30"), "V002", good, true, true},
        {"a Pulmor30 of release 3", QStringLiteral("Pulmor30"), "V003", good, true, false},
        {"a Kavel20 of release 7", QStringLiteral("Kavel20"), "V007", good, true, true},
        {"a Kavel20 of release 8", QStringLiteral("Kavel20"), "V008", good, true, false},
        {"a package without an image", QStringLiteral("Pulmor35"), "V100", empty, false, false},
        {"an image larger than the area", QStringLiteral("Pulmor35"), "V100", large, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto device = makeDevice(pulmorImage(PsfImage14Builder::sampleContent()), c.version, "TESKA");
        auto client = pulmor(device, c.model);
        EXPECT_EQ(client->_updateTotal(c.package, QString()), c.updated);
        EXPECT_EQ(commands(*device, kWrite, kErase).size(), c.erased ? 1 : 0);
        if (c.updated) {
            EXPECT_EQ(commands(*device, kWrite, 12).size(), 0x79000 / 2048);
            EXPECT_EQ(device->memory(kLanguage), resource + QByteArray(0x79000 - resource.size(), '\0'));
        } else {
            EXPECT_EQ(writesAndErases(*device), 0);
        }
    }
}
