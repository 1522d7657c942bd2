#include "FixtureBytes.h"
#include "Kavel35Emulator.h"
#include "OrvoMessageCapture.h"
#include "OrvoTestSupport.h"
#include "OrvoUserFolderScope.h"
#include "ProfileFixtures.h"

#include "device/OrvoVirtualDeviceWaits.h"
#include "devices/psf14/OrvoFlashHeaderRecord.h"
#include "env/OrvoEnv.h"
#include "profile/OrvoProfileData.h"
#include "profile/OrvoProfileKeys.h"
#include "psf14/OrvoPSFRouteFrame.h"

#include <gtest/gtest.h>

using namespace Kavel35;

namespace {

const ProfileFixtures::UserRecord kUser{1, 40, 0, 175, 69, 70.5f, 155, 180};

QByteArray kavel35Image()
{
    return PsfImage14Builder::flashImage(PsfImage14Builder::Model::Kavel35, PsfImage14Builder::sampleContent(), kUser);
}

class OrvoKavel30Test : public ::testing::Test
{
protected:
    void SetUp() override { OrvoDeviceWaits::install(&m_waits); }
    void TearDown() override
    {
        OrvoDeviceWaits::install(nullptr);
        OrvoEnv::instance()->setGroupValue(QStringLiteral("Kavel35"), QStringLiteral("specifyextflash"),
                                           QStringLiteral("0"));
    }

    OrvoVirtualDeviceWaits m_waits{QDateTime(QDate(2024, 5, 1), QTime(8, 0), Qt::UTC)};
    QByteArray m_image = kavel35Image();
    // Each test process has its own temporary folder: parallel runs must not empty each other's.
    const OrvoTest::UserFolderScope m_userFolder;
};

// Bytes where two flashes differ, as [first, last] ranges.
QVector<std::pair<qsizetype, qsizetype>> differences(const QByteArray &a, const QByteArray &b)
{
    QVector<std::pair<qsizetype, qsizetype>> ranges;
    for (qsizetype i = 0; i < std::min(a.size(), b.size()); ++i) {
        if (a[i] == b[i])
            continue;
        if (!ranges.isEmpty() && ranges.last().second == i - 1)
            ranges.last().second = i;
        else
            ranges.append({i, i});
    }
    return ranges;
}

quint32 ownChecksum(const QByteArray &record)
{
    quint32 sum = 0;
    for (qsizetype i = 66; i < 208; ++i)
        sum += quint8(record[i]);
    return (sum % 65536) * 65536;
}

} // namespace

TEST(OrvoKavel30Values, ProfileReaderSexAndAge)
{
    struct ReaderCase
    {
        const char *name;
        QString model;
        QByteArray head;
        int type;
    };
    const std::vector<ReaderCase> readers = {
        {"a Kavel35, whatever its sector", QStringLiteral("Kavel35"), QByteArray::fromHex("0000010002"), 1},
        {"format 1.0.2", QStringLiteral("Kavel20"), QByteArray::fromHex("0000010002"), 3},
        {"format 1.0.0", QStringLiteral("Kavel20"), QByteArray::fromHex("0000010000"), 3},
        {"format 1.0.3", QStringLiteral("Kavel20"), QByteArray::fromHex("0000010003"), 1},
        {"an erased sector", QStringLiteral("Pulmor35"), QByteArray::fromHex("FFFFFFFFFF"), 1},
        {"a sector too short to tell", QStringLiteral("Kavel20"), QByteArray::fromHex("000001"), 1},
        {"a Pulmor30", QStringLiteral("Pulmor30"), QByteArray::fromHex("0000010002"), 2},
    };
    for (const ReaderCase &c : readers) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(OrvoKavel30::profileReaderType(c.model, c.head), c.type);
    }

    const std::vector<std::pair<QString, int>> sexes = {{"Female", 0}, {"1", 1}, {"Male", 1},
                                                        {"abc", 0},    {"0", 0}, {"", 0}};
    for (const auto &[text, sex] : sexes)
        EXPECT_EQ(OrvoKavel30::userSex(text), sex) << text.toStdString();

    struct AgeCase
    {
        const char *name;
        QString birthday;
        QDate today;
        int age;
    };
    const std::vector<AgeCase> ages = {
        {"on the birthday", "1984/05/01", QDate(2024, 5, 1), 40},
        {"the day before", "1984/05/01", QDate(2024, 4, 30), 39},
        {"at the year's end", "1984/05/01", QDate(2024, 12, 31), 40},
        {"born on 29 February, on 28 February", "1988/02/29", QDate(2023, 2, 28), 34},
        {"born on 29 February, on 1 March", "1988/02/29", QDate(2023, 3, 1), 35},
        {"no date", "01.05.1984", QDate(2024, 5, 1), 0},
    };
    for (const AgeCase &c : ages) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(OrvoKavel30::userAge(c.birthday, c.today), c.age);
    }
}

TEST(OrvoFlashHeaderRecordTest, TheCurrentRecordOfTheJournal)
{
    auto step = [](char fill) { return QByteArray(256, fill); };
    const QByteArray free = step('\xFF');
    struct Case
    {
        const char *name;
        QByteArray area;
        QByteArray record;
    };
    const std::vector<Case> cases = {
        {"the step before the first free one", step('\1') + step('\2') + free + step('\4'), QByteArray(212, '\2')},
        {"the last step when the first is free", free + step('\2') + step('\3'), QByteArray(212, '\3')},
        {"no free step", step('\1') + step('\2'), QByteArray(212, '\0')},
        {"an area without a whole step", QByteArray(100, '\xFF'), QByteArray(212, '\0')},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(OrvoFlashHeaderRecord::current(c.area, 212), c.record);
    }
}

TEST(OrvoFlashHeaderRecordTest, SealAddsTheFreeCountsAndTheChecksum)
{
    QByteArray zero(212, '\0');
    ASSERT_TRUE(OrvoFlashHeaderRecord::seal(zero));
    EXPECT_EQ(FixtureBytes::getU16Le(zero, 0), 0xAA55);
    EXPECT_EQ(zero.mid(2, 64), QByteArray(64, '\xFF'));
    EXPECT_EQ(FixtureBytes::getU32Le(zero, 204), 0u);
    EXPECT_EQ(FixtureBytes::getU32Le(zero, 208), 0u) << "nothing but zeros from 66 to 207";

    const PsfImage14Builder::Layout layout = PsfImage14Builder::layout(PsfImage14Builder::Model::Kavel35);
    const QByteArray stored = PsfImage14Builder::headerRecord(layout, PsfImage14Builder::sampleContent());
    QByteArray record = stored;
    FixtureBytes::putU32Le(record, 204, 0);
    FixtureBytes::putU32Le(record, 208, 0);
    ASSERT_TRUE(OrvoFlashHeaderRecord::seal(record));
    EXPECT_EQ(record, stored);

    QByteArray shortRecord(211, '\0');
    EXPECT_FALSE(OrvoFlashHeaderRecord::seal(shortRecord));
    EXPECT_EQ(shortRecord, QByteArray(211, '\0'));
}

TEST_F(OrvoKavel30Test, InitialReadsOnlyTheProfileSector)
{
    auto device = makeDevice(m_image);
    auto client = makeClient(device);
    ASSERT_TRUE(client->initial());
    EXPECT_EQ(cdbs(*device), QStringList({"28 00 00 00 00 f8 10 00 08 00"}));
    device->failCommand(1);
    EXPECT_FALSE(client->initial());
}

TEST_F(OrvoKavel30Test, ReadDataBuildsTheContainerWithTheProfilesUserValues)
{
    auto device = makeDevice(m_image);
    auto client = makeClient(device);
    ASSERT_TRUE(client->_readData());
    OrvoPSF *container = client->container();
    ASSERT_NE(container, nullptr);
    EXPECT_EQ(container->routeFrame()->routes().size(), PsfImage14Builder::sampleContent().routes.size());
    EXPECT_FLOAT_EQ(container->userWeight(), 70.5f);
    EXPECT_FLOAT_EQ(container->userHeight(), 175.0f);
    EXPECT_EQ(container->userMaxHeartRate(), 180);
    EXPECT_EQ(container->userGender(), 1);
    EXPECT_EQ(container->userAge(), 40);
    EXPECT_EQ(client->headerRecord(), m_image.mid(256, 212)) << "the journal's current record";
    EXPECT_EQ(client->flashImage(), m_image);
    EXPECT_EQ(OrvoTest::readFile(OrvoEnv::instance()->tmpDir() + QStringLiteral("/flash.tmp")), m_image);
}

TEST_F(OrvoKavel30Test, TheFirstUsePageAndTheIntegrityTestKeepTheContainerAway)
{
    struct Case
    {
        const char *name;
        QString model;
        QByteArray version;
        quint8 firstUsePage;
        bool parsed;
    };
    const std::vector<Case> cases = {
        {"a Kavel20 of release 7", QStringLiteral("Kavel20"), "V007", 0, true},
        {"a Kavel20 of release 8 on its first-use page", QStringLiteral("Kavel20"), "V008", 0, false},
        {"a Kavel20 of release 8 set up", QStringLiteral("Kavel20"), "V008", 1, true},
        {"a Pulmor35 of release 3 on its first-use page", QStringLiteral("Pulmor35"), "V003", 0, false},
        {"a Kavel35 of a late release", QStringLiteral("Kavel35"), "V099", 0, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray image = m_image;
        FixtureBytes::putU8(image, 0xF84AA, c.firstUsePage);
        auto client = makeClient(makeDevice(image, c.version), c.model);
        OrvoMessageCapture capture;
        EXPECT_EQ(client->_readData(), c.parsed);
        EXPECT_EQ(capture.count(QtWarningMsg, QStringLiteral(" in first use page")), c.parsed ? 0 : 1);
    }

    struct IntegrityCase
    {
        const char *name;
        QByteArray first;
        QByteArray at0x5000;
        bool passes;
    };
    const std::vector<IntegrityCase> integrity = {
        {"a language image", QByteArray::fromHex("C3B2A077"), QByteArray::fromHex("00000000"), false},
        {"an erased start and an erased 0x5000", QByteArray::fromHex("FFFFFFFF"), QByteArray::fromHex("FFFFFFFF"),
         false},
        {"an erased start and a record at 0x5000", QByteArray::fromHex("FFFFFFFF"), QByteArray::fromHex("55AA0000"),
         true},
        {"a header record", QByteArray::fromHex("55AAFFFF"), QByteArray::fromHex("FFFFFFFF"), true},
        {"the language magic read the other way", QByteArray::fromHex("77A0B2C3"), QByteArray::fromHex("FFFFFFFF"),
         true},
    };
    for (const IntegrityCase &c : integrity) {
        SCOPED_TRACE(c.name);
        QByteArray image = m_image;
        FixtureBytes::putBytes(image, 0, c.first);
        FixtureBytes::putBytes(image, 0x5000, c.at0x5000);
        auto client = makeClient(makeDevice(image));
        EXPECT_EQ(client->flashImage().size(), 0x100000);
        EXPECT_EQ(client->checkIntegrity(), c.passes);
        EXPECT_EQ(client->container() != nullptr, c.passes);
    }
}

TEST_F(OrvoKavel30Test, IdentityAndStorage)
{
    auto device = makeDevice(m_image);
    auto client = makeClient(device);
    QString text;
    EXPECT_TRUE(client->getTotal(text));
    EXPECT_EQ(text, QStringLiteral("V100"));
    EXPECT_TRUE(client->getName(text));
    EXPECT_EQ(text, QStringLiteral("Kavel35"));
    EXPECT_FALSE(client->getAP(text));
    EXPECT_EQ(text, QString());
    EXPECT_TRUE(client->getUUID(text));
    EXPECT_EQ(text, QStringLiteral("1003A1B2C3D4E5F6"));

    auto specified = makeClient(device);
    OrvoEnv::instance()->setGroupValue(QStringLiteral("Kavel35"), QStringLiteral("specifyextflash"),
                                       QStringLiteral("1"));
    EXPECT_TRUE(specified->getUUID(text));
    EXPECT_EQ(text, QStringLiteral("1003"));

    qint64 total = 0;
    qint64 free = 0;
    device->clearCommandLog();
    ASSERT_TRUE(client->getInternalStorage(total, free));
    EXPECT_EQ(total, 974712);
    EXPECT_EQ(free, qint64(FixtureBytes::getU32Le(m_image, 256 + 204)));
    EXPECT_EQ(commands(*device, kRead, 16).size(), 6) << "the header area, blocks 0 to 5";
    EXPECT_EQ(client->headerRecord(), QByteArray(212, '\0')) << "the worker's record is left alone";

    // An erased flash is empty: its erased counts give all the room there is, and no more.
    auto erased = makeClient(makeDevice(QByteArray()));
    ASSERT_TRUE(erased->getInternalStorage(total, free));
    EXPECT_EQ(free, total);
}

TEST_F(OrvoKavel30Test, AnEditedProfileOutlivesAReadUntilItIsWritten)
{
    auto device = makeDevice(m_image);
    auto client = makeClient(device);
    ASSERT_TRUE(client->loadProfile());
    QMap<QString, QString> values = client->profile()->values();
    values[OrvoProfileKeys::kWeightMetric] = QStringLiteral("64");
    ASSERT_TRUE(client->saveProfile(values));
    EXPECT_TRUE(client->isProfileChanged());
    ASSERT_TRUE(client->loadProfile());
    EXPECT_EQ(client->profile()->value(OrvoProfileKeys::kWeightMetric), QStringLiteral("64"));
    ASSERT_TRUE(client->_readData());
    EXPECT_FLOAT_EQ(client->container()->userWeight(), 64.0f);
}

TEST_F(OrvoKavel30Test, FinalizeWithoutAChangeSendsNothing)
{
    auto device = makeDevice(m_image);
    auto client = makeClient(device);
    ASSERT_FALSE(client->flashImage().isEmpty());
    device->clearCommandLog();
    EXPECT_TRUE(client->_finalize());
    EXPECT_TRUE(device->commandLog().isEmpty());
}

// The values not named keep what the device holds.
TEST_F(OrvoKavel30Test, AProfileChangeRewritesOnlyTheProfileSector)
{
    auto device = makeDevice(m_image);
    auto client = makeClient(device);
    ASSERT_TRUE(client->saveProfile({{QString(OrvoProfileKeys::kWeightMetric), QStringLiteral("64")}}));
    device->clearCommandLog();
    const qint64 slept = m_waits.sleptMilliseconds();

    ASSERT_TRUE(client->_finalize());
    const QByteArray after = device->memory(kFlash);
    const auto changed = differences(m_image, after);
    ASSERT_FALSE(changed.isEmpty());
    EXPECT_GE(changed.first().first, 0xF8000);
    EXPECT_LE(changed.last().second, 0xF8FFF);
    EXPECT_EQ(commands(*device, kWrite, 14).size(), 1);
    const auto writes = commands(*device, kWrite, 15);
    EXPECT_EQ(writes.size(), 256) << "block 0 is not written a second time";
    EXPECT_EQ(m_waits.sleptMilliseconds() - slept, 7000) << "the erase's 5 s and the read-back's 2 s";
    EXPECT_FALSE(client->isProfileChanged());

    OrvoProfileData written(after.mid(0xF8000, 4096), OrvoProfileData::PsfObsolete);
    ASSERT_TRUE(written.parse());
    EXPECT_EQ(written.value(OrvoProfileKeys::kWeightMetric), QStringLiteral("64"));
    EXPECT_EQ(written.value(OrvoProfileKeys::kMhr), QStringLiteral("180"));
    EXPECT_EQ(written.value(OrvoProfileKeys::kHeightMetric), QStringLiteral("175"));
}

TEST_F(OrvoKavel30Test, AContentChangeRebuildsTheImageAndSealsANewHeader)
{
    auto device = makeDevice(m_image);
    auto client = makeClient(device);
    ASSERT_TRUE(client->_readData());
    ASSERT_TRUE(client->container()->removeRoutes({0}));
    client->setContentChanged();
    device->clearCommandLog();

    ASSERT_TRUE(client->_finalize());
    EXPECT_FALSE(client->isContentChanged());
    const QByteArray after = device->memory(kFlash);
    EXPECT_EQ(after, client->flashImage());
    const QByteArray record = after.left(212);
    EXPECT_EQ(FixtureBytes::getU16Le(record, 0), 0xAA55);
    EXPECT_EQ(FixtureBytes::getU32Le(record, 208), ownChecksum(record));
    EXPECT_EQ(after.mid(212, 4096 - 212), QByteArray(4096 - 212, '\xFF'));
    EXPECT_EQ(after.mid(4096, 4), QByteArray::fromHex("11223344"));
    EXPECT_EQ(after.mid(0xFA000), QByteArray(0x6000, '\xFF'));
    const auto writes = commands(*device, kWrite, 15);
    ASSERT_EQ(writes.size(), 257);
    EXPECT_EQ(blockOf(writes.last()), 0);

    auto reread = makeClient(device);
    ASSERT_TRUE(reread->_readData());
    EXPECT_EQ(reread->container()->routeFrame()->routes().size(), PsfImage14Builder::sampleContent().routes.size() - 1);
}

TEST_F(OrvoKavel30Test, AReadBackThatNeverMatchesEndsAfterTenErasesAndKeepsTheFlags)
{
    auto device = makeDevice(m_image);
    auto client = makeClient(device);
    ASSERT_TRUE(client->_readData());
    client->setContentChanged();
    client->setProfileChanged();
    device->clearCommandLog();
    device->flipOnRead(kFlash, 0x80000, 10);

    EXPECT_FALSE(client->_finalize());
    EXPECT_EQ(commands(*device, kWrite, 14).size(), 10);
    EXPECT_TRUE(client->isContentChanged());
    EXPECT_TRUE(client->isProfileChanged());

    device->clearCommandLog();
    EXPECT_TRUE(client->_finalize());
    EXPECT_EQ(commands(*device, kWrite, 14).size(), 1);
    EXPECT_EQ(device->memory(kFlash), client->flashImage());
}

// An image that could not be read, or a content change without a container to write it, must
// never reach the erase: what followed it would wipe the device.
TEST_F(OrvoKavel30Test, NothingIsErasedWithoutAWholeImageToWrite)
{
    struct Case
    {
        const char *name;
        QByteArray image;
        int failAt;
        bool content;
    };
    QByteArray unparsable = m_image;
    FixtureBytes::putBytes(unparsable, 0, QByteArray::fromHex("C3B2A077"));
    const std::vector<Case> cases = {
        {"an unreadable image and a profile change", m_image, 3, false},
        {"an unreadable image and a content change", m_image, 3, true},
        {"an image the integrity test refused and a content change", unparsable, 0, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto device = makeDevice(c.image);
        auto client = makeClient(device);
        if (c.failAt > 0)
            device->failCommand(c.failAt);
        QMap<QString, QString> values{{QString(OrvoProfileKeys::kWeightMetric), QStringLiteral("64")}};
        EXPECT_EQ(client->saveProfile(values), c.failAt == 0);
        if (c.content)
            client->setContentChanged();
        else
            client->setProfileChanged();
        device->clearCommandLog();
        EXPECT_FALSE(client->_finalize());
        EXPECT_TRUE(commands(*device, kWrite, 14).isEmpty());
        EXPECT_EQ(device->memory(kFlash), c.image);
    }
}

TEST_F(OrvoKavel30Test, ASpecifiedExternalFlashIsNeverWritten)
{
    auto device = makeDevice(m_image);
    auto client = makeClient(device);
    ASSERT_FALSE(client->flashImage().isEmpty());
    client->setProfileChanged();
    OrvoEnv::instance()->setGroupValue(QStringLiteral("Kavel35"), QStringLiteral("specifyextflash"),
                                       QStringLiteral("1"));
    device->clearCommandLog();
    EXPECT_FALSE(client->_finalize());
    EXPECT_TRUE(device->commandLog().isEmpty());
}

TEST_F(OrvoKavel30Test, TheFlashDumpIsTheWholeImage)
{
    auto client = makeClient(makeDevice(m_image));
    OrvoTest::OutputDir dir;
    QStringList files;
    client->dumpFlashForLog(dir.path(), &files);
    EXPECT_EQ(files, QStringList({"Kavel35flash.dat"}));
    EXPECT_EQ(OrvoTest::readFile(dir.filePath(QStringLiteral("Kavel35flash.dat"))), m_image);
}
