#include "ClientTestDoubles.h"
#include "CommonClient.h"
#include "DeviceTestDevices.h"
#include "OrvoMessageCapture.h"
#include "OrvoTestSupport.h"

#include "device/OrvoCapabilityInterface.h"
#include "device/OrvoDeviceInfo.h"
#include "device/OrvoLinuxSCSIService.h"
#include "emulator/OrvoEmulatedScsiHandle.h"
#include "env/OrvoEnv.h"
#include "psf/OrvoPSFBitFontCreator.h"
#include "psf/OrvoPSFMultiLangString_1_5.h"

#include <QThread>

#include <gtest/gtest.h>

using namespace DeviceTest;

namespace {

struct MinVersionCase
{
    const char *name;
    const char *minImage;
    const char *total;
    const char *minBootLoader;
    const char *bootLoader;
    const char *minAp;
    const char *ap;
    const char *minProgram;
    bool deviceUpdate;
    bool programUpdate;
};

// The program's own version is 2.8.0.20.
const MinVersionCase kMinVersionCases[] = {
    {"nothing required", "", "1.0", "", "1.0", "", "1.0", "", false, false},
    {"image older", "2.1", "2.0", "", "1.0", "", "1.0", "", true, false},
    {"image 10.0 is newer than 2.0", "2.0", "10.0", "", "1.0", "", "1.0", "", false, false},
    {"image 1.0.10 is newer than 1.0.2", "1.0.2", "1.0.10", "", "", "", "", "", false, false},
    {"image 2.0 is older than 10.0", "10.0", "2.0", "", "", "", "", "", true, false},
    {"image equal", "2.0.3", "2.0.3", "", "", "", "", "", false, false},
    {"missing image version is older", "2.0", "", "", "", "", "", "", true, false},
    {"boot loader older", "", "", "1.10", "1.9", "", "", "", true, false},
    {"boot loader newer", "", "", "1.9", "1.10", "", "", "", false, false},
    {"unknown boot loader version is not checked", "", "", "1.9", "", "", "", "", false, false},
    {"AP older", "", "", "", "", "3.2", "3.1.9", "", true, false},
    {"AP 3.10 is newer than 3.9", "", "", "", "", "3.9", "3.10", "", false, false},
    {"unknown AP version is not checked", "", "", "", "", "3.2", "", "", false, false},
    {"program older", "", "", "", "", "", "", "2.8.1.0", false, true},
    {"program newer", "", "", "", "", "", "", "2.7.9.99", false, false},
    {"program equal to a three-part minimum", "", "", "", "", "", "", "2.8.0", false, false},
    {"program older than a two-part minimum", "", "", "", "", "", "", "2.9", false, true},
    {"program 2.8.0.20 is newer than 2.8.0.3", "", "", "", "", "", "", "2.8.0.3", false, false},
    {"both flags", "5", "4", "", "", "", "", "3.0", true, true},
};

TEST(OrvoClientCommon, MinimumVersionsRaiseTheUpdateFlagsComparingPartByPart)
{
    OrvoEnv *env = OrvoEnv::instance();
    ASSERT_EQ(env->version(), QStringLiteral("2.8.0.20"));
    for (const MinVersionCase &c : kMinVersionCases) {
        SCOPED_TRACE(c.name);
        const ClientTest::UserFolderScope settings;
        env->setGroupValue(QStringLiteral("TestModel"), QStringLiteral("MinImgVer"), QString::fromLatin1(c.minImage));
        env->setGroupValue(QStringLiteral("TestModel"), QStringLiteral("MinIapVer"),
                           QString::fromLatin1(c.minBootLoader));
        env->setGroupValue(QStringLiteral("TestModel"), QStringLiteral("MinApVer"), QString::fromLatin1(c.minAp));
        env->setGroupValue(QStringLiteral("TestModel"), QStringLiteral("MinOrvoVer"),
                           QString::fromLatin1(c.minProgram));
        env->setForceDeviceUpdate(false);
        env->setForceOrvoUpdate(false);
        CommonClient client;
        client.total = QString::fromLatin1(c.total);
        client.bootLoader = QString::fromLatin1(c.bootLoader);
        client.ap = QString::fromLatin1(c.ap);

        client.checkMinVersions(env);
        EXPECT_EQ(env->isForceDeviceUpdate(), c.deviceUpdate);
        EXPECT_EQ(env->isForceOrvoUpdate(), c.programUpdate);
    }
    env->setForceDeviceUpdate(false);
    env->setForceOrvoUpdate(false);
}

TEST(OrvoClientCommon, MinimumVersionsNeedANameAndABootLoaderAnswerAndNeverClearFlags)
{
    OrvoEnv *env = OrvoEnv::instance();
    const ClientTest::UserFolderScope settings;
    env->setGroupValue(QStringLiteral("TestModel"), QStringLiteral("MinImgVer"), QStringLiteral("9.0"));
    env->setGroupValue(QStringLiteral("TestModel"), QStringLiteral("MinOrvoVer"), QStringLiteral("9.0"));
    CommonClient client;
    client.total = QStringLiteral("1.0");

    env->setForceDeviceUpdate(false);
    env->setForceOrvoUpdate(false);
    client.hasName = false;
    client.checkMinVersions(env);
    client.hasName = true;
    client.answersBootLoader = false;
    client.checkMinVersions(env);
    EXPECT_FALSE(env->isForceDeviceUpdate());
    EXPECT_FALSE(env->isForceOrvoUpdate());

    // Raised flags stay raised when a later check finds nothing old.
    env->setForceDeviceUpdate(true);
    env->setForceOrvoUpdate(true);
    client.answersBootLoader = true;
    client.total = QStringLiteral("9.1");
    env->setGroupValue(QStringLiteral("TestModel"), QStringLiteral("MinOrvoVer"), QString());
    client.checkMinVersions(env);
    EXPECT_TRUE(env->isForceDeviceUpdate());
    EXPECT_TRUE(env->isForceOrvoUpdate());
    env->setForceDeviceUpdate(false);
    env->setForceOrvoUpdate(false);
}

class FakeCapabilityLibrary : public OrvoCapabilityInterface
{
public:
    FakeCapabilityLibrary() { OrvoClient::setCapabilitySource(this); }
    ~FakeCapabilityLibrary() override { OrvoClient::setCapabilitySource(nullptr); }
    FakeCapabilityLibrary(const FakeCapabilityLibrary &) = delete;
    FakeCapabilityLibrary &operator=(const FakeCapabilityLibrary &) = delete;

    bool projSwCapability(const QByteArray &model, QString &capability) override
    {
        models.append(model);
        capability = answer;
        return succeeds;
    }

    QByteArrayList models;
    QString answer = QStringLiteral("route=1;workout=1");
    bool succeeds = true;
};

TEST(OrvoClientCommon, CapabilityComesFromTheDeviceLibraryOrIsEmpty)
{
    CommonClient client;
    client.model = QStringLiteral("Kavel 50");
    {
        OrvoMessageCapture capture;
        EXPECT_EQ(client.getCapability(), QString());
        EXPECT_TRUE(capture.contains(QtCriticalMsg, QStringLiteral("call ProjSwCapability failed")));
    }
    FakeCapabilityLibrary library;
    EXPECT_EQ(client.getCapability(), QStringLiteral("route=1;workout=1"));
    EXPECT_EQ(library.models, QByteArrayList{"Kavel 50"});

    library.succeeds = false;
    OrvoMessageCapture capture;
    EXPECT_EQ(client.getCapability(), QString());
    EXPECT_TRUE(capture.contains(QtCriticalMsg, QStringLiteral("[ OrvoClient::getCapability ]")));
}

QByteArray renderedDirectly(const QString &text, bool isDesc)
{
    QByteArray bytes(12 + OrvoPSFMultiLangString_1_5::kDescriptionBytes, '\0');
    OrvoPSFMultiLangString_1_5 string(OrvoPSFObject::spanOf(bytes), true);
    string.setString(text, QStringLiteral("eng"), true, isDesc);
    return bytes.left(string.size());
}

TEST(OrvoClientCommon, TextBecomesAStringRecordTrimmedToItsSize)
{
    CommonClient client;
    const QByteArray name = client.toPsfBitfont(QStringLiteral("Ride"), QStringLiteral("eng"), true, false, true);
    ASSERT_EQ(name.size(), 268);
    EXPECT_EQ(name.left(12), QByteArray::fromHex("02 00 0001 656e6700 8000 1000"));
    EXPECT_EQ(name.mid(1), renderedDirectly(QStringLiteral("Ride"), false).mid(1));

    const QByteArray description =
        client.toPsfBitfont(QStringLiteral("Two easy laps"), QStringLiteral("eng"), false, true, true);
    EXPECT_EQ(description, renderedDirectly(QStringLiteral("Two easy laps"), true));
    EXPECT_EQ(quint8(description[0]), 0);
}

TEST(OrvoClientCommon, AWorkerConvertsWhileTheGuiThreadWaitsForIt)
{
    CommonClient client;
    QByteArray fromWorker;
    QThread *worker = QThread::create([&] {
        fromWorker = client.toPsfBitfont(QStringLiteral("Worker"), QStringLiteral("deu"), false, false, false);
    });
    worker->start();
    const bool finished = worker->wait(QDeadlineTimer(ClientTest::kPatienceMs));
    EXPECT_TRUE(finished);
    if (!finished) {
        worker->terminate();
        worker->wait();
    }
    delete worker;
    const QByteArray onGui = client.toPsfBitfont(QStringLiteral("Worker"), QStringLiteral("deu"), false, false, true);
    EXPECT_EQ(fromWorker, onGui);
    EXPECT_EQ(currentBitFontCreator(), nullptr);
}

class MarkingCreator : public OrvoPSFBitFontCreator
{
public:
    bool createBitfontFor(OrvoPSFMultiLangString_1_5 *target, const QString &, bool) override
    {
        return target->setPayload("marked");
    }
};

TEST(OrvoClientCommon, ConversionLeavesTheThreadsCreatorAsItFoundIt)
{
    MarkingCreator mine;
    setCurrentBitFontCreator(&mine);
    CommonClient client;
    const QByteArray record = client.toPsfBitfont(QStringLiteral("Ride"), QStringLiteral("eng"), false, false, false);
    EXPECT_EQ(record.size(), 268);
    EXPECT_EQ(currentBitFontCreator(), &mine);
    setCurrentBitFontCreator(nullptr);
}

struct DecodeCase
{
    const char *name;
    QByteArray record;
    const char *language;
    QString text;
    QSize image;
};

const DecodeCase kDecodeCases[] = {
    {"text", QByteArray::fromHex("00 00 0400 656e6700 0000 0000 52696465"), "eng", QStringLiteral("Ride"), QSize()},
    {"two-letter code", QByteArray::fromHex("00 00 0100 656e0000 0000 0000 41"), "en", QStringLiteral("A"), QSize()},
    {"rows", QByteArray::fromHex("00 00 0400 64657500 0a00 0200 4040 0180"), "deu",
     QString::fromLatin1("\x40\x40\x01\x80", 4), QSize(10, 2)},
    {"glyph", QByteArray::fromHex("00 00 0600 6a706e00 0000 0000 84 09 00 FF 80 01"), "jpn",
     QString::fromLatin1("\x84\x09\x00\xFF\x80\x01", 6), QSize(9, 16)},
    {"payload past the end", QByteArray::fromHex("00 00 ff00 656e6700 0a00 0200 4040"), "eng",
     QString::fromLatin1("\x40\x40", 2), QSize()},
    {"header cut short", QByteArray::fromHex("00 00 0400 6672"), "", QString(), QSize()},
    {"empty", QByteArray(), "", QString(), QSize()},
};

TEST(OrvoClientCommon, StringRecordsDecodeToTextAndPng)
{
    for (const DecodeCase &c : kDecodeCases) {
        SCOPED_TRACE(c.name);
        OrvoMessageCapture capture;
        QString language = QStringLiteral("stale");
        EXPECT_EQ(OrvoClient::bitfontToText(c.record, language), c.text);
        EXPECT_EQ(language, QString::fromLatin1(c.language));

        language = QStringLiteral("stale");
        const QByteArray png = OrvoClient::bitfontToPng(c.record, language);
        EXPECT_EQ(language, QString::fromLatin1(c.language));
        const QImage image = QImage::fromData(png, "PNG");
        EXPECT_EQ(image.size(), c.image.isValid() ? c.image : QSize(0, 0));
        EXPECT_EQ(png.isEmpty(), !c.image.isValid());
    }
}

TEST(OrvoClientCommon, ARenderedNameSurvivesTheTripToPng)
{
    CommonClient client;
    const QByteArray record = client.toPsfBitfont(QStringLiteral("Lake"), QStringLiteral("fra"), false, false, true);
    QString language;
    const QImage image = QImage::fromData(OrvoClient::bitfontToPng(record, language), "PNG");
    EXPECT_EQ(language, QStringLiteral("fra"));
    QByteArray copy = record;
    const QImage expected = OrvoPSFMultiLangString_1_5(OrvoPSFObject::spanOf(copy), false).toImage();
    ASSERT_EQ(image.size(), QSize(128, 16));
    EXPECT_EQ(image.convertToFormat(QImage::Format_RGB32), expected.convertToFormat(QImage::Format_RGB32));
}

// The flash image files of a model, in a folder of the test's own, and a client whose SCSI
// service reaches an emulated device.
struct FlashSetup
{
    FlashSetup()
    {
        client.service = std::make_unique<OrvoLinuxSCSIService>(
            OrvoEmulatedScsiHandle::open(device),
            OrvoDeviceInfo{QStringLiteral("1105"), QStringLiteral("Kavel40"), QStringLiteral("KOSMIR"), {}});
    }

    std::shared_ptr<OrvoEmulatedFlashDevice> device = makeKosmir();
    OrvoTest::OutputDir folder;
    CommonClient client;
};

struct FlashCase
{
    const char *name;
    bool external;
    // The file the test writes into the folder; null writes none.
    const char *file;
    quint8 region;
    bool ok;
    const char *message;
};

const FlashCase kFlashCases[] = {
    {"internal", false, "K40.bin", kSectorRegion, true, nullptr},
    {"external", true, "K40ExData.bin", kSectorRegion, true, nullptr},
    {"internal image missing", false, "K40ExData.bin", kSectorRegion, false, "can not open file: \"%1/K40.bin\""},
    {"external image missing", true, "K40.bin", kSectorRegion, false, "can not open file: \"%1/K40ExData.bin\""},
    {"internal write refused", false, "K40.bin", 0x55, false, "fail to write internal flash for \"K40\""},
    {"external write refused", true, "K40ExData.bin", 0x55, false, "fail to write external flash for \"K40\""},
};

TEST(OrvoClientCommon, FlashImagesGoToTheDeviceInBlocks)
{
    const QByteArray image = pattern(1000);
    for (const FlashCase &c : kFlashCases) {
        SCOPED_TRACE(c.name);
        FlashSetup s;
        ASSERT_TRUE(OrvoTest::writeFile(s.folder.filePath(QString::fromLatin1(c.file)), image));
        OrvoMessageCapture capture;
        const QString folder = s.folder.path();
        const bool ok = c.external ? s.client.writeExternalFlash(folder, QStringLiteral("K40"), c.region, 512)
                                   : s.client.writeInternalFlash(folder, QStringLiteral("K40"), c.region, 512);
        EXPECT_EQ(ok, c.ok);
        EXPECT_EQ(s.client.error(), !c.ok);
        if (c.ok) {
            EXPECT_EQ(s.device->memory(kSectors).left(1024), image + QByteArray(24, '\xFF'));
        } else {
            EXPECT_TRUE(capture.contains(QtCriticalMsg, QString::fromLatin1(c.message).arg(folder)));
        }
        if (c.message && QByteArray(c.message).startsWith("can not")) {
            EXPECT_TRUE(s.device->commandLog().isEmpty());
        }
    }
}

TEST(OrvoClientCommon, FlashWritesNeedABlockWriteService)
{
    CommonClient client;
    OrvoTest::OutputDir folder;
    ASSERT_TRUE(OrvoTest::writeFile(folder.filePath(QStringLiteral("K40.bin")), pattern(16)));
    OrvoMessageCapture capture;
    EXPECT_FALSE(client.writeInternalFlash(folder.path(), QStringLiteral("K40"), kSectorRegion, 512));
    EXPECT_TRUE(client.error());
    EXPECT_TRUE(capture.contains(QtCriticalMsg, QStringLiteral("fail to write internal flash for \"K40\"")));
}

} // namespace
