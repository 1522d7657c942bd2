#include "FitDrive.h"
#include "FixtureZip.h"
#include "OrvoTestSupport.h"
#include "OrvoUserFolderScope.h"

#include "device/OrvoCapabilityInterface.h"
#include "device/OrvoDeviceInfo.h"
#include "device/OrvoDeviceWaits.h"
#include "device/OrvoFSDeviceService.h"
#include "device/OrvoPlatform.h"
#include "device/OrvoVirtualDeviceWaits.h"
#include "devices/gal/OrvoFitDevice.h"
#include "emulator/OrvoEmulatedPlatform.h"
#include "env/OrvoEnv.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <functional>
#include <limits>

namespace {

using Component = OrvoFitDevice::Component;

OrvoDeviceInfo fitRow()
{
    return {QStringLiteral("4401"), QStringLiteral("Fit20"), QStringLiteral("TARVEX"), {}};
}

// The emulated machine with a free space of the test's choosing on every drive.
class SpacePlatform : public OrvoEmulatedPlatform
{
public:
    bool getDiskSpace(const QString &, quint64 &totalBytes, quint64 &freeBytes) override
    {
        totalBytes = freeBytes = free;
        return true;
    }
    quint64 free = std::numeric_limits<quint32>::max();
};

// The device while its updater runs: no drive.
class NoDriveService : public OrvoDeviceService
{
public:
    bool readDeviceId(QString &) override { return false; }
    OrvoDeviceInfo *deviceInfo() override { return &m_info; }
    int serviceType() const override { return ScsiPassThroughService; }

private:
    OrvoDeviceInfo m_info = fitRow();
};

class OrvoFitDeviceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        OrvoDeviceWaits::install(&m_waits);
        OrvoPlatform::setImplementationFactory([platform = m_platform] { return platform; });
        m_platform->plugDrive(m_root.path(), QStringLiteral("TARVEX  Fit20"));
        ASSERT_TRUE(m_drive.setDeviceTxt({}));
    }
    void TearDown() override
    {
        OrvoPlatform::setImplementationFactory({});
        OrvoDeviceWaits::install(nullptr);
    }

    std::unique_ptr<OrvoFitDevice> device()
    {
        auto fit = std::make_unique<OrvoFitDevice>();
        fit->setDeviceService(std::make_unique<OrvoFSDeviceService>(root(), fitRow(), root() + "/System/device.txt"));
        return fit;
    }

    QString root() const { return m_root.path(); }
    QString onDrive(const QString &relative) const { return root() + relative; }

    QString package(const QString &name, const QList<FixtureZip::Entry> &entries) const
    {
        const QString path = m_packages.filePath(name);
        EXPECT_TRUE(OrvoTest::writeFile(path, FixtureZip::storedArchive(entries)));
        return path;
    }
    // A release package of the components (group, file name, version), each file holding its
    // group's name.
    QString release(const QList<Component> &components) const
    {
        QByteArray ini = "[MODEL]\r\nName=Fit20\r\n";
        QList<FixtureZip::Entry> entries;
        for (const Component &c : components) {
            ini += "[" + c.group.toLatin1() + "]\r\nName=" + c.name.toLatin1() + "\r\nVersion=" + c.version.toLatin1() +
                   "\r\n";
            entries.append({c.name.toLatin1(), c.group.toLatin1()});
        }
        entries.append({"release.ini", ini});
        return package(QStringLiteral("release.zip"), entries);
    }

    const OrvoTest::UserFolderScope m_userFolder;
    OrvoVirtualDeviceWaits m_waits;
    std::shared_ptr<SpacePlatform> m_platform = std::make_shared<SpacePlatform>();
    OrvoTest::OutputDir m_root;
    OrvoTest::OutputDir m_packages;
    FitDrive m_drive{m_root.path()};
};

} // namespace

TEST_F(OrvoFitDeviceTest, OsVersionCarriesTheTailsOfTheComponentVersions)
{
    struct Case
    {
        const char *name;
        FitDrive::DeviceTxt txt;
        bool found;
        QString os;
    };
    FitDrive::DeviceTxt noBootLoader;
    noBootLoader.bootLoader.clear();
    const FitDrive::DeviceTxt shortParts{.bootLoader = QStringLiteral("B1"),
                                         .deviceLang = QStringLiteral("12"),
                                         .notificationLang = QStringLiteral("6"),
                                         .timeZone = QStringLiteral("5"),
                                         .bluetooth = QStringLiteral("4")};
    const Case cases[] = {
        {"every version", {}, true, QStringLiteral("1.2.0.9.0012.34.005.006")},
        {"no boot loader", noBootLoader, false, QStringLiteral("1.2")},
        {"short versions stay whole", shortParts, true, QStringLiteral("1.2.1.12.4.5.6")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(m_drive.setDeviceTxt(c.txt));
        QString os;
        EXPECT_EQ(device()->getOS(os), c.found);
        EXPECT_EQ(os, c.os);
    }
}

TEST_F(OrvoFitDeviceTest, DeviceFileGivesProductTypeAndCapabilityAndIsReadOnce)
{
    struct Case
    {
        const char *name;
        QString type;
        int productType;
    };
    const Case cases[] = {{"a watch", QStringLiteral("Watch"), 0},
                          {"anything else", QStringLiteral("Band"), 1},
                          {"no type", QString(), 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(m_drive.setDeviceTxt({.capability = QStringLiteral("GPS|HRM"), .productType = c.type}));
        auto fit = device();
        EXPECT_EQ(fit->productType(), c.productType);
        EXPECT_EQ(fit->getCapability(), QStringLiteral("GPS|HRM"));
    }

    auto fit = device();
    QString uuid;
    ASSERT_TRUE(fit->getUUID(uuid));
    EXPECT_EQ(uuid, QStringLiteral("4401A1B2C3D4E5F6"));
    ASSERT_TRUE(m_drive.setDeviceTxt({.os = QStringLiteral("9.9")}));
    QString total;
    ASSERT_TRUE(fit->getTotal(total));
    EXPECT_EQ(total, QStringLiteral("1.2")) << "the file is read once per device";

    ASSERT_TRUE(QFile::remove(onDrive("/System/device.txt")));
    auto bare = device();
    EXPECT_FALSE(bare->getBootloader(total));
    EXPECT_EQ(total, QString());
    EXPECT_EQ(bare->productType(), 0);
}

TEST_F(OrvoFitDeviceTest, CapabilityWithoutItsKeyComesFromTheLibraryOnce)
{
    struct Library : OrvoCapabilityInterface
    {
        bool projSwCapability(const QByteArray &model, QString &capability) override
        {
            ++calls;
            capability = QString::fromLatin1("library capability of " + model);
            return true;
        }
        int calls = 0;
    } library;
    OrvoClient::setCapabilitySource(&library);
    auto fit = device();
    EXPECT_EQ(fit->getCapability(), QStringLiteral("library capability of Fit20"));
    EXPECT_EQ(fit->getCapability(), QStringLiteral("library capability of Fit20"));
    EXPECT_EQ(library.calls, 1);
    OrvoClient::setCapabilitySource(nullptr);
}

TEST_F(OrvoFitDeviceTest, AssistanceDateIsFourBigEndianBytesBesideTheFile)
{
    struct Case
    {
        const char *name;
        bool assistance;
        QByteArray dateFile;
        int date;
    };
    const Case cases[] = {
        {"a date", true, QByteArray::fromHex("00003039"), 12345},
        {"a negative date", true, QByteArray::fromHex("fffffffe"), -2},
        {"five bytes", true, QByteArray::fromHex("0000303900"), 0},
        {"three bytes", true, QByteArray::fromHex("000030"), 0},
        {"no assistance file", false, QByteArray::fromHex("00003039"), 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(onDrive("/System/AssitOff.alp"));
        if (c.assistance) {
            ASSERT_TRUE(m_drive.setAssistance("alp"));
        }
        ASSERT_TRUE(m_drive.setDateFile(c.dateFile));
        EXPECT_EQ(device()->getAlpDate(), c.date);
    }
}

TEST_F(OrvoFitDeviceTest, OnlyComponentsNewerThanTheDevicesAreCopied)
{
    ASSERT_TRUE(m_drive.setDeviceTxt({.os = QStringLiteral("1.2"),
                                      .bootLoader = QStringLiteral("1.10"),
                                      .deviceLang = QStringLiteral("1.9"),
                                      .timeZone = QString()}));
    struct Case
    {
        const char *name;
        Component component;
        bool copied;
    };
    const Case cases[] = {
        {"the same version", {"OS", "os.bin", "1.2"}, false},
        {"1.9 does not replace 1.10", {"BootLoader", "boot.bin", "1.9"}, false},
        {"1.10 replaces 1.9", {"DeviceLang", "lang.bin", "1.10"}, true},
        {"a version the device does not report", {"TimeZone", "tz.bin", "1"}, true},
        {"a group the device does not know", {"Sensor", "sensor.bin", "0.1"}, true},
        {"a group without version", {"Extra", "extra.bin", ""}, false},
    };
    QList<Component> components;
    for (const Case &c : cases)
        components.append(c.component);
    auto fit = device();
    EXPECT_TRUE(fit->_updateTotal(release(components), QString()));
    EXPECT_EQ(fit->errorCode(), OrvoFitDevice::NoError);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString copy = onDrive("/" + c.component.name);
        EXPECT_EQ(QFileInfo::exists(copy), c.copied);
        if (c.copied) {
            EXPECT_EQ(OrvoTest::readFile(copy), c.component.group.toLatin1());
        }
    }
    EXPECT_TRUE(QFileInfo::exists(onDrive("/update.ini")));
    EXPECT_EQ(OrvoTest::readFile(onDrive("/update.ini")), QByteArray());
}

TEST_F(OrvoFitDeviceTest, NothingNewWritesNoUpdateOrder)
{
    auto fit = device();
    EXPECT_TRUE(fit->_updateTotal(release({{"OS", "os.bin", "1.2"}, {"BootLoader", "boot.bin", "B0.9"}}), QString()));
    EXPECT_EQ(QDir(root()).entryList(QDir::Files), QStringList());
}

TEST_F(OrvoFitDeviceTest, FailedUpdatesLeaveTheirErrorCode)
{
    struct Case
    {
        const char *name;
        std::function<bool(OrvoFitDevice &)> run;
        int code;
    };
    const QString notZip = m_packages.filePath(QStringLiteral("broken.zip"));
    ASSERT_TRUE(OrvoTest::writeFile(notZip, "PK\x03\x04 cut"));
    const QString withoutWorkouts = package(QStringLiteral("plain.zip"), {{"readme.txt", "x"}});
    const QString brokenWorkouts = package(QStringLiteral("broken-set.zip"), {{"workout.zip", "not a zip"}});
    const QString big = release({{"OS", "os.bin", "2.0"}});
    const auto component = [](const QString &file, const char *install) {
        return [file, install](OrvoFitDevice &fit) {
            return fit._updateComponent({QStringLiteral("Fit20"), QLatin1String(install), QString(), file});
        };
    };
    const Case cases[] = {
        {"no drive",
         [&](OrvoFitDevice &fit) {
             fit.setDeviceService(std::make_unique<NoDriveService>());
             return fit._updateComponent({QStringLiteral("Fit20"), QStringLiteral("1"), QString(), withoutWorkouts});
         },
         OrvoFitDevice::NoDrive},
        {"package that does not unzip", component(notZip, "1"), OrvoFitDevice::NoSpaceOrBadPackage},
        {"too little space",
         [&](OrvoFitDevice &fit) {
             m_platform->free = 1;
             return fit._updateTotal(big, QString());
         },
         OrvoFitDevice::NoSpaceOrBadPackage},
        {"workout set that does not unzip", component(brokenWorkouts, "1"), OrvoFitDevice::WriteFailed},
        {"no workout set", component(withoutWorkouts, "0"), OrvoFitDevice::NoWorkoutPackage},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        m_platform->free = std::numeric_limits<quint32>::max();
        auto fit = device();
        fit->setErrorCode(99);
        EXPECT_FALSE(c.run(*fit));
        EXPECT_EQ(fit->errorCode(), c.code);
    }
    EXPECT_EQ(QDir(root()).entryList(QDir::Files), QStringList()) << "no update order after a failure";
}

TEST_F(OrvoFitDeviceTest, AComponentThatDoesNotArriveStartsNoUpdate)
{
    struct Case
    {
        const char *name;
        QString package;
    };
    // A release file that names a file the package lacks, and one that names a file outside the drive.
    const QString missing =
        package(QStringLiteral("missing.zip"), {{"release.ini", "[OS]\r\nName=os.bin\r\nVersion=2.0\r\n"
                                                                "[BootLoader]\r\nName=boot.bin\r\nVersion=2.0\r\n"},
                                                {"boot.bin", "boot"}});
    const QString outside =
        package(QStringLiteral("outside.zip"),
                {{"release.ini", "[OS]\r\nName=../outside.bin\r\nVersion=2.0\r\n"}, {"outside.bin", "escaped"}});
    const Case cases[] = {{"a missing file", missing}, {"a path out of the drive", outside}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto fit = device();
        EXPECT_FALSE(fit->_updateTotal(c.package, QString()));
        // Checked before the first copy: the package is refused, nothing was written.
        EXPECT_EQ(fit->errorCode(), OrvoFitDevice::NoSpaceOrBadPackage);
        EXPECT_FALSE(QFileInfo::exists(onDrive("/update.ini")));
        EXPECT_FALSE(QFileInfo::exists(onDrive("/boot.bin")));
    }
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(root()).path() + "/outside.bin"));
}

TEST_F(OrvoFitDeviceTest, WorkoutSetIsInstalledOnlyWhenAskedFor)
{
    const QByteArray set = FixtureZip::storedArchive({{"Tarvexwrk/", ""}, {"Tarvexwrk/run/tempo.wkt", "tempo"}});
    const QString zip = package(QStringLiteral("workouts.zip"), {{"workout.zip", set}});
    auto fit = device();
    EXPECT_TRUE(fit->_updateComponent({QStringLiteral("Fit20"), QStringLiteral("0"), QString(), zip}));
    EXPECT_FALSE(QFileInfo::exists(onDrive("/System/Tarvexwrk")));
    EXPECT_TRUE(fit->_updateComponent({QStringLiteral("Fit20"), QStringLiteral("1"), QString(), zip}));
    EXPECT_EQ(OrvoTest::readFile(onDrive("/System/Tarvexwrk/run/tempo.wkt")), QByteArray("tempo"));
}

TEST_F(OrvoFitDeviceTest, AssistanceFileIsReplacedOnlyByOneThatArrived)
{
    ASSERT_TRUE(m_drive.setAssistance("old data"));
    ASSERT_TRUE(m_drive.setDateFile(FitDrive::date(100)));
    const QString updates = OrvoEnv::instance()->userFolder() + "/updates/Fit20";
    auto fit = device();

    // Missing at the source, or named out of the folder: the device keeps what it had.
    ASSERT_TRUE(OrvoTest::writeFile(OrvoEnv::instance()->userFolder() + "/updates/AssitOff.alp", "elsewhere"));
    for (const QString &name : {QStringLiteral("AssitOff.alp"), QStringLiteral("../AssitOff.alp")}) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_FALSE(fit->_updateAlp(name, 200));
        EXPECT_EQ(OrvoTest::readFile(onDrive("/System/AssitOff.alp")), QByteArray("old data"));
        EXPECT_EQ(fit->getAlpDate(), 100);
        EXPECT_EQ(QDir(onDrive("/System")).entryList(QDir::Files).size(), 3);
    }

    ASSERT_TRUE(OrvoTest::writeFile(updates + "/AssitOff.alp", "new data"));
    EXPECT_TRUE(fit->_updateAlp(QStringLiteral("AssitOff.alp"), 0x01020304));
    EXPECT_EQ(OrvoTest::readFile(onDrive("/System/AssitOff.alp")), QByteArray("new data"));
    EXPECT_EQ(OrvoTest::readFile(onDrive("/System/date.txt")), QByteArray::fromHex("01020304"));
    EXPECT_EQ(fit->getAlpDate(), 0x01020304);
    EXPECT_EQ(device()->getAlpDate(), 0x01020304);
    EXPECT_EQ(QDir(onDrive("/System")).entryList(QDir::Files).size(), 3) << "no staged copy left";
}

TEST_F(OrvoFitDeviceTest, EjectUnplugsTheDrive)
{
    auto fit = device();
    EXPECT_TRUE(fit->eject());
    EXPECT_FALSE(fit->eject()) << "the drive is gone";
    QString path;
    EXPECT_FALSE(fit->prepareUploadData(path, false));
    EXPECT_EQ(fit->_exportTrack(root()), QStringList());
}

TEST_F(OrvoFitDeviceTest, AModelNameWithFoldersEmptiesNoFolderOutsideTheTemporaryOne)
{
    const QString victim = QFileInfo(OrvoEnv::instance()->tmpDir()).path() + QStringLiteral("/victim");
    ASSERT_TRUE(OrvoTest::writeFile(victim + QStringLiteral("/keep.txt"), "keep"));
    OrvoDeviceInfo row = fitRow();
    row.modelName = QStringLiteral("../victim");
    OrvoFitDevice fit;
    fit.setDeviceService(std::make_unique<OrvoFSDeviceService>(root(), row, root() + "/System/device.txt"));
    EXPECT_FALSE(fit._updateTotal(release({{"OS", "os.bin", "2.0"}}), QString()));
    EXPECT_FALSE(fit._updateComponent({row.modelName, QStringLiteral("1"), QString(), release({})}));
    EXPECT_EQ(OrvoTest::readFile(victim + QStringLiteral("/keep.txt")), QByteArray("keep"));
    EXPECT_TRUE(QDir(victim).removeRecursively());
}
