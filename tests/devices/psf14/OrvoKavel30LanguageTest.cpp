#include "FixtureBytes.h"
#include "FixtureZip.h"
#include "Kavel35Emulator.h"
#include "OrvoMessageCapture.h"
#include "OrvoTestSupport.h"
#include "OrvoUserFolderScope.h"
#include "ProfileFixtures.h"

#include "device/OrvoSaveFileChooser.h"
#include "device/OrvoVirtualDeviceWaits.h"
#include "devices/psf14/OrvoPulmor30.h"
#include "env/OrvoEnv.h"

#include <gtest/gtest.h>

using namespace Kavel35;

namespace {

const ProfileFixtures::UserRecord kUser{1, 40, 0, 175, 69, 70.5f, 155, 180};
constexpr qsizetype kArea = 0x79000;
constexpr quint32 kMagic = 0x77A0B2C3;

QByteArray kavel35Image()
{
    return PsfImage14Builder::flashImage(PsfImage14Builder::Model::Kavel35, PsfImage14Builder::sampleContent(), kUser);
}

// A language file: its first word, its code in bytes 4 to 6, then its text.
QByteArray languageFile(const QByteArray &code, const QByteArray &text)
{
    return QByteArray::fromHex("A1B2C3D4") + code + text;
}

// A language area holding a directory at offset with the codes.
QByteArray areaWithDirectory(qsizetype offset, const QList<QByteArray> &codes)
{
    QByteArray area(kArea, '\xFF');
    FixtureBytes::putU32Le(area, offset, kMagic);
    area[offset + 8] = char(codes.size());
    for (qsizetype k = 0; k < codes.size(); ++k)
        area.replace(offset + 9 + 3 * k, 3, codes.at(k));
    return area;
}

QString writeZip(const OrvoTest::OutputDir &dir, const QString &name, const QList<FixtureZip::Entry> &entries)
{
    const QString path = dir.filePath(name);
    EXPECT_TRUE(OrvoTest::writeFile(path, FixtureZip::storedArchive(entries)));
    return path;
}

QList<int> areasOf(const OrvoEmulatedFlashDevice &device)
{
    QList<int> areas;
    for (const auto &command : device.commandLog()) {
        const int area = quint8(command.cdb[6]);
        if (quint8(command.cdb[0]) == kWrite && (areas.isEmpty() || areas.last() != area))
            areas.append(area);
    }
    return areas;
}

class FixedChooser : public OrvoSaveFileChooser
{
public:
    explicit FixedChooser(QString path)
        : m_path(std::move(path))
    {}
    QString chooseSaveFile(const QString &title, const QString &proposedName, const QString &filter) override
    {
        asked = title + QLatin1Char('|') + proposedName + QLatin1Char('|') + filter;
        return m_path;
    }
    QString asked;

private:
    QString m_path;
};

class OrvoKavel30LanguageTest : public ::testing::Test
{
protected:
    void SetUp() override { OrvoDeviceWaits::install(&m_waits); }
    void TearDown() override
    {
        OrvoDeviceWaits::install(nullptr);
        OrvoEnv::instance()->setGroupValue(QStringLiteral("Kavel35"), QStringLiteral("savelangeageimage"),
                                           QStringLiteral("0"));
    }

    OrvoVirtualDeviceWaits m_waits{QDateTime(QDate(2024, 5, 1), QTime(8, 0), Qt::UTC)};
    OrvoTest::OutputDir m_dir;
    // Each test process has its own temporary folder: parallel runs must not empty each other's.
    const OrvoTest::UserFolderScope m_userFolder;
};

} // namespace

TEST_F(OrvoKavel30LanguageTest, TheImageHoldsTheRequestedLanguagesThatHaveFiles)
{
    const QByteArray base = QByteArray("BASE-IMAGE-OF-20-BYT");
    const QByteArray english = languageFile("eng", "English text");
    const QString package =
        writeZip(m_dir, QStringLiteral("lang.zip"),
                 {{"Quilma.bin", base}, {"text_ENG_1.lng", english}, {"text_ger_1.lng", "short"}, {"readme.txt", "x"}});
    auto device = makeDevice(kavel35Image());
    auto client = makeClient(device);
    QStringList names;
    ASSERT_TRUE(client->unpackLanguagePackage(package, names));
    EXPECT_TRUE(names.contains(QStringLiteral("English")));

    ASSERT_TRUE(client->setDefLanguage({QStringLiteral("eng"), QStringLiteral("fre"), QStringLiteral("ger")}));
    const QByteArray area = device->memory(kLanguage);
    EXPECT_EQ(area.left(20), base);
    EXPECT_EQ(area.mid(20, 12), QByteArray(12, '\0')) << "the base image fills 16-byte steps";
    const QByteArray header = area.mid(32, 229);
    EXPECT_EQ(FixtureBytes::getU32Le(header, 0), kMagic);
    EXPECT_EQ(header.mid(4, 4), QByteArray::fromHex("A1B2C3D4"));
    EXPECT_EQ(quint8(header[8]), 1) << "fre has no file; ger's file is shorter than 7 bytes";
    EXPECT_EQ(header.mid(9, 3), QByteArray("eng"));
    EXPECT_EQ(FixtureBytes::getU32Le(header, 69), 229u);
    EXPECT_EQ(FixtureBytes::getU32Le(header, 149), quint32(english.size()));
    EXPECT_EQ(area.mid(32 + 229, english.size()), english);
    EXPECT_EQ(commands(*device, kWrite, 12).size(), kArea / 2048);

    QStringList codes;
    ASSERT_TRUE(client->getLanguageOnDevice(codes)) << "read again after the write";
    EXPECT_EQ(codes, QStringList{"eng"});
}

TEST_F(OrvoKavel30LanguageTest, TheDeviceListsTheLaterDirectoryAndAFailedReadIsNotKept)
{
    auto device = makeDevice(kavel35Image());
    QByteArray area = areaWithDirectory(0, {"jpn"});
    const QByteArray later = areaWithDirectory(4096, {"eng", "xyz", "ger"});
    area.replace(4096, 229, later.mid(4096, 229));
    device->loadMemory(kLanguage, area);
    auto client = makeClient(device);
    device->failCommand(1);
    QStringList codes;
    EXPECT_FALSE(client->getLanguageOnDevice(codes));
    EXPECT_TRUE(codes.isEmpty());
    ASSERT_TRUE(client->getLanguageOnDevice(codes));
    EXPECT_EQ(codes, QStringList({"eng", "ger"})) << "xyz is no language";
}

TEST_F(OrvoKavel30LanguageTest, AnImageLargerThanTheAreaIsRefusedAndASavedOneGoesToTheChosenFile)
{
    auto device = makeDevice(kavel35Image());
    auto client = makeClient(device);
    QStringList names;
    ASSERT_TRUE(client->unpackLanguagePackage(
        writeZip(m_dir, QStringLiteral("big.zip"),
                 {{"quilma.bin", QByteArray(kArea - 100, 'b')}, {"t_eng_.lng", languageFile("eng", "text")}}),
        names));
    EXPECT_FALSE(client->setDefLanguage({QStringLiteral("eng")}));
    EXPECT_TRUE(device->commandLog().isEmpty());

    ASSERT_TRUE(client->unpackLanguagePackage(
        writeZip(m_dir, QStringLiteral("small.zip"),
                 {{"quilma.bin", QByteArray(16, 'b')}, {"t_eng_.lng", languageFile("eng", "text")}}),
        names));
    OrvoEnv::instance()->setGroupValue(QStringLiteral("Kavel35"), QStringLiteral("savelangeageimage"),
                                       QStringLiteral("1"));
    FixedChooser chooser(m_dir.filePath(QStringLiteral("saved.bin")));
    OrvoSaveFileChooser::install(&chooser);
    const bool saved = client->setDefLanguage({QStringLiteral("eng")});
    OrvoSaveFileChooser::install(nullptr);
    ASSERT_TRUE(saved);
    EXPECT_EQ(chooser.asked, QStringLiteral("Save Quilma file...|Quilma.bin|*.bin"));
    const QByteArray file = OrvoTest::readFile(m_dir.filePath(QStringLiteral("saved.bin")));
    EXPECT_EQ(file.size(), kArea);
    EXPECT_EQ(FixtureBytes::getU32Le(file, 16), kMagic);
    EXPECT_TRUE(device->commandLog().isEmpty());
}

TEST_F(OrvoKavel30LanguageTest, TheLanguageUpdateKeepsTheDevicesLanguagesOrFallsBackToEnglish)
{
    const QString package = writeZip(m_dir, QStringLiteral("update.zip"),
                                     {{"quilma.bin", QByteArray(16, 'b')},
                                      {"t_eng_.lng", languageFile("eng", "english")},
                                      {"t_ger_.lng", languageFile("ger", "german")},
                                      {"release.ini", "[Update]\nMinOrvoVer=0.0.1\n"}});
    struct Case
    {
        const char *name;
        QByteArray area;
        QByteArray codes;
    };
    const std::vector<Case> cases = {
        {"a device with German", areaWithDirectory(0, {"ger"}), "ger"},
        {"an erased language area", QByteArray(kArea, '\xFF'), "eng"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto device = makeDevice(kavel35Image());
        device->loadMemory(kLanguage, c.area);
        auto client = makeClient(device);
        // The fallback is the device language the family starts with.
        EXPECT_EQ(client->deviceLanguage(), QStringLiteral("eng"));
        ASSERT_TRUE(client->_updateTotal(package, QString()));
        const QByteArray area = device->memory(kLanguage);
        EXPECT_EQ(quint8(area[16 + 8]), 1);
        EXPECT_EQ(area.mid(16 + 9, 3), c.codes);
    }
    OrvoEnv *env = OrvoEnv::instance();
    EXPECT_EQ(env->getGroupValue(QStringLiteral("Kavel35"), QStringLiteral("MinOrvoVer"), QString()),
              QStringLiteral("0.0.1"));
    env->setGroupValue(QStringLiteral("Kavel35"), QStringLiteral("MinOrvoVer"), QString());
}

TEST_F(OrvoKavel30LanguageTest, TheIapUpdateSendsTheLoaderThenTheFirmware)
{
    const QString both =
        writeZip(m_dir, QStringLiteral("both.zip"),
                 {{"IT_loader.bin", QByteArray(3000, 'l')}, {"I_firmware.bin", QByteArray(5000, 'f')}});
    const QString firmwareOnly =
        writeZip(m_dir, QStringLiteral("firmware.zip"), {{"I_firmware.bin", QByteArray(5000, 'f')}});
    auto device = makeDevice(kavel35Image());
    auto client = makeClient(device);
    ASSERT_TRUE(client->updateLaunchsec(both));
    EXPECT_EQ(areasOf(*device), QList<int>({12, 1, 10, 0}));
    EXPECT_EQ(device->memory(kFirmware).left(5000), QByteArray(5000, 'f'));
    EXPECT_TRUE(OrvoEnv::instance()->isDeviceReady());

    device->clearCommandLog();
    OrvoMessageCapture capture;
    EXPECT_FALSE(client->updateLaunchsec(firmwareOnly));
    EXPECT_TRUE(capture.contains(QtCriticalMsg, QStringLiteral("write iap temp failed ")));
    EXPECT_TRUE(device->commandLog().isEmpty());

    auto pulmorDevice = makeDevice(kavel35Image(), "V100", "TESKA");
    auto pulmor = makeClientOf<OrvoPulmor30>(pulmorDevice, OrvoDeviceInfo{"1004", "Pulmor30", "TESKA", {}});
    EXPECT_FALSE(pulmor->updateLaunchsec(both)) << "its files start with L";
    EXPECT_TRUE(capture.contains(QtCriticalMsg, QStringLiteral("write teska iap temp failed ")));
    EXPECT_TRUE(pulmorDevice->commandLog().isEmpty());
    const QString pulmorPackage =
        writeZip(m_dir, QStringLiteral("pulmor.zip"),
                 {{"LT_loader.bin", QByteArray(100, 'l')}, {"L_fw.bin", QByteArray(100, 'f')}});
    EXPECT_TRUE(pulmor->updateLaunchsec(pulmorPackage));
    EXPECT_EQ(areasOf(*pulmorDevice), QList<int>({12, 1, 10, 0}));
}

TEST_F(OrvoKavel30LanguageTest, TheFactoryRestoreFailsWithAFailedEraseOrExternalWrite)
{
    struct Case
    {
        const char *name;
        QByteArray release;
        bool external;
        int failAt;
        bool restored;
        QList<int> areas;
    };
    // The internal image takes 2 blocks of 2048 bytes; the erase is the third command.
    const std::vector<Case> cases = {
        {"both images", QByteArray(), true, 0, true, {12, 14, 15}},
        {"release.ini without external data", "[General]\nExData=no\n", true, 0, true, {12, 14}},
        {"a failed erase", QByteArray(), true, 3, false, {12, 14}},
        {"a missing external image", QByteArray(), false, 0, false, {12, 14}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        OrvoTest::OutputDir folder;
        ASSERT_TRUE(OrvoTest::writeFile(folder.filePath(QStringLiteral("QUILMA.bin")), QByteArray(4096, 'i')));
        if (c.external) {
            ASSERT_TRUE(
                OrvoTest::writeFile(folder.filePath(QStringLiteral("QUILMAExData.bin")), QByteArray(8192, 'x')));
        }
        if (!c.release.isEmpty()) {
            ASSERT_TRUE(OrvoTest::writeFile(folder.filePath(QStringLiteral("release.ini")), c.release));
        }
        auto device = makeDevice(kavel35Image());
        auto client = makeClient(device);
        if (c.failAt > 0)
            device->failCommand(c.failAt);
        EXPECT_EQ(client->_restoreFactory(folder.path()), c.restored);
        EXPECT_EQ(areasOf(*device), c.areas);
        if (c.restored && c.external && c.release.isEmpty()) {
            EXPECT_EQ(device->memory(kFlash).left(8192), QByteArray(8192, 'x'));
        }
    }
}
