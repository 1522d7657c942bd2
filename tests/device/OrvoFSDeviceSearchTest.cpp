#include "OrvoTestSupport.h"

#include "device/OrvoClient.h"
#include "device/OrvoDeviceRegistry.h"
#include "device/OrvoFSDeviceService.h"
#include "device/OrvoPlatform.h"
#include "emulator/OrvoEmulatedPlatform.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {

const QString kM2 = QStringLiteral("Tarvex:kavel:Kavel:VORNA Device:VORNA MS:VORNA");
const QString kFamilyVendor = QStringLiteral("TARVEX  Kavel50");

QByteArray deviceIni(const QByteArray &uuid, const QByteArray &model = QByteArray())
{
    QByteArray text = "[UUID]\r\nUUID=" + uuid + "\r\n";
    if (!model.isEmpty())
        text += "[MODEL]\r\nModel= " + model + " \r\n";
    return text;
}

// Removable drives of an emulated machine, served through the platform facade as the Linux
// platform would serve mounted volumes.
class OrvoFSDeviceSearchTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto platform = m_platform;
        OrvoPlatform::setImplementationFactory([platform] { return platform; });
        m_registry.setFileDeviceFactories({factory("gal"), factory("kavel60"), factory("fit")});
    }

    void TearDown() override { OrvoPlatform::setImplementationFactory({}); }

    OrvoDeviceInfo::Factory factory(const QString &tag)
    {
        return [this, tag](std::unique_ptr<OrvoDeviceService>) -> std::unique_ptr<OrvoClient> {
            m_factoriesCalled.append(tag);
            return nullptr;
        };
    }

    void addRow(const char *productId, const char *model, const QString &match = kM2)
    {
        m_registry.registerDevice({QString::fromLatin1(productId), QString::fromLatin1(model), match, {}}, false);
    }

    // A plugged drive; files maps relative paths to their contents.
    QString plug(const QString &name, const QString &vendor, const QMap<QString, QByteArray> &files = {})
    {
        const QString folder = m_dir.filePath(name);
        QDir().mkpath(folder);
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            QDir().mkpath(QFileInfo(folder + it.key()).path());
            OrvoTest::writeFile(folder + it.key(), it.value());
        }
        m_platform->plugDrive(folder, vendor);
        return folder;
    }

    OrvoFSDeviceService *searchOne()
    {
        m_found = OrvoPlatform().findFSDevices(m_registry);
        if (m_found.size() != 1)
            return nullptr;
        return dynamic_cast<OrvoFSDeviceService *>(m_found.front().get());
    }

    OrvoTest::OutputDir m_dir;
    std::shared_ptr<OrvoEmulatedPlatform> m_platform = std::make_shared<OrvoEmulatedPlatform>();
    OrvoDeviceRegistry m_registry;
    OrvoPlatformInterface::DeviceServices m_found;
    QStringList m_factoriesCalled;
};

} // namespace

TEST_F(OrvoFSDeviceSearchTest, FirstRowWhoseProductIdStartsTheIdWins)
{
    addRow("1207", "Kavel21");
    addRow("0901", "Kavel50");
    addRow("0901", "Kavel50Late");
    const QString drive = plug("unit", kFamilyVendor, {{"/Device.ini", deviceIni("0901A1B2C3D4E5F6")}});

    OrvoFSDeviceService *service = searchOne();
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(service->deviceInfo()->modelName, QStringLiteral("Kavel50"));
    EXPECT_EQ(service->drivePath(), drive);
    EXPECT_TRUE(service->secondDrive().isEmpty());
    EXPECT_EQ(m_registry.deviceTypes().size(), 3) << "a known device registers nothing";
    QString id;
    EXPECT_TRUE(service->readDeviceId(id));
    EXPECT_EQ(id, QStringLiteral("0901A1B2C3D4E5F6"));
}

TEST_F(OrvoFSDeviceSearchTest, OnlyTheFirstDeviceIsServedButEveryDeviceFileGetsItsMarker)
{
    addRow("0901", "Kavel50");
    addRow("1104", "Kavel50CR");
    const QString first = plug("first", kFamilyVendor, {{"/device.ini", deviceIni("1104000000000001")}});
    const QString second = plug("second", kFamilyVendor, {{"/device.ini", deviceIni("0901000000000002")}});

    OrvoFSDeviceService *service = searchOne();
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(service->drivePath(), first);
    EXPECT_EQ(service->deviceInfo()->modelName, QStringLiteral("Kavel50CR"));
    EXPECT_EQ(OrvoTest::readFile(first + "/device.ini"), deviceIni("1104000000000001") + "ORVO=1\r\n");
    EXPECT_EQ(OrvoTest::readFile(second + "/device.ini"), deviceIni("0901000000000002") + "ORVO=1\r\n");
}

namespace {

struct SecondDriveCase
{
    const char *name;
    QString otherVendor;
    bool otherFirst;
    bool paired;
};

const SecondDriveCase kSecondDriveCases[] = {
    {"VolumeAfterTheDevice", QStringLiteral("VORNA   VORNA MS"), false, true},
    {"VolumeBeforeTheDeviceInAnotherCase", QStringLiteral("vorna   storage"), true, true},
    {"UnrelatedVolumeAfter", QStringLiteral("SanDisk Cruzer"), false, false},
    {"UnrelatedVolumeBefore", QStringLiteral("Generic Flash Disk"), true, false},
};

void PrintTo(const SecondDriveCase &c, std::ostream *os)
{
    *os << c.name;
}

class OrvoSecondDriveTest : public OrvoFSDeviceSearchTest, public ::testing::WithParamInterface<SecondDriveCase>
{};

} // namespace

TEST_P(OrvoSecondDriveTest, PairsTheFamilysVolumeWithoutDeviceFile)
{
    const SecondDriveCase &c = GetParam();
    addRow("0901", "Kavel50");
    QString other;
    if (c.otherFirst)
        other = plug("other", c.otherVendor);
    const QString device = plug("device", kFamilyVendor, {{"/device.ini", deviceIni("0901A1B2C3D4E5F6")}});
    if (!c.otherFirst)
        other = plug("other", c.otherVendor);
    // A volume after the pairing is never looked at.
    const QString late = plug("late", QStringLiteral("VORNA   VORNA MS"), {{"/device.ini", deviceIni("1207")}});

    OrvoFSDeviceService *service = searchOne();
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(service->drivePath(), device);
    if (c.paired) {
        EXPECT_EQ(service->secondDrive(), other);
        EXPECT_EQ(OrvoTest::readFile(late + "/device.ini"), deviceIni("1207")) << "the search stopped at the pair";
    } else {
        EXPECT_TRUE(service->secondDrive().isEmpty()) << "only a volume of the family without device file is paired";
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, OrvoSecondDriveTest, ::testing::ValuesIn(kSecondDriveCases),
                         [](const auto &row) { return std::string(row.param.name); });

TEST_F(OrvoFSDeviceSearchTest, UnknownDeviceRegistersItsGalRowOnce)
{
    addRow("0901", "Kavel50");
    plug("unit", kFamilyVendor, {{"/device.ini", deviceIni("2001000000000009", "Kavel70")}});

    OrvoFSDeviceService *service = searchOne();
    ASSERT_NE(service, nullptr);
    ASSERT_EQ(m_registry.deviceTypes().size(), 2);
    const OrvoDeviceInfo registered = m_registry.deviceTypes().last();
    EXPECT_EQ(registered.productId, QStringLiteral("2001"));
    EXPECT_EQ(registered.modelName, QStringLiteral("Kavel70"));
    EXPECT_EQ(registered.matchString, QStringLiteral("TARVEX:kavel:Kavel:VORNA Device:VORNA MS:VORNA"));
    EXPECT_EQ(service->deviceInfo()->modelName, QStringLiteral("Kavel70"));
    service->deviceInfo()->factory({});
    EXPECT_EQ(m_factoriesCalled, QStringList({"gal"}));

    ASSERT_NE(searchOne(), nullptr);
    EXPECT_EQ(m_registry.deviceTypes().size(), 2) << "the next search finds the row by its product id";
}

TEST_F(OrvoFSDeviceSearchTest, Kavel60GetsItsOwnFactory)
{
    plug("unit", kFamilyVendor, {{"/device.ini", deviceIni("3001000000000009", "Kavel60")}});
    OrvoFSDeviceService *service = searchOne();
    ASSERT_NE(service, nullptr);
    service->deviceInfo()->factory({});
    EXPECT_EQ(m_factoriesCalled, QStringList({"kavel60"}));
}

namespace {

struct RefusedFileCase
{
    const char *name;
    QByteArray deviceFile;
};

const RefusedFileCase kRefusedFileCases[] = {
    {"IdOfFifteenCharacters", deviceIni("200100000000009", "Kavel70")},
    {"NoModelKey", deviceIni("2001000000000009") + "[MODEL]\r\nName=Kavel70\r\n"},
    {"NoIdAtAll", "[MODEL]\r\nModel=Kavel70\r\n"},
};

void PrintTo(const RefusedFileCase &c, std::ostream *os)
{
    *os << c.name;
}

class OrvoRefusedDeviceFileTest : public OrvoFSDeviceSearchTest, public ::testing::WithParamInterface<RefusedFileCase>
{};

} // namespace

TEST_P(OrvoRefusedDeviceFileTest, RegistersNothingAndServesNothing)
{
    addRow("0901", "Kavel50");
    plug("unit", kFamilyVendor, {{"/device.ini", GetParam().deviceFile}});
    EXPECT_TRUE(OrvoPlatform().findFSDevices(m_registry).empty());
    EXPECT_EQ(m_registry.deviceTypes().size(), 1);
}

INSTANTIATE_TEST_SUITE_P(Cases, OrvoRefusedDeviceFileTest, ::testing::ValuesIn(kRefusedFileCases),
                         [](const auto &row) { return std::string(row.param.name); });

TEST_F(OrvoFSDeviceSearchTest, DeviceTxtIdsServeFitDevicesWithoutAddingRowsTwice)
{
    m_registry.setFsIdSource(OrvoDeviceRegistry::kDefaultIdSource | OrvoDeviceRegistry::kDeviceTxtIds);
    addRow("0901", "Kavel50");
    // The device.ini names a known device, but with this flag only System/device.txt counts.
    const QString drive =
        plug("watch", kFamilyVendor,
             {{"/device.ini", deviceIni("0901A1B2C3D4E5F6")}, {"/System/Device.txt", deviceIni("F01", "Fit10")}});

    for (int search = 0; search < 3; ++search) {
        SCOPED_TRACE(search);
        OrvoFSDeviceService *service = searchOne();
        ASSERT_NE(service, nullptr);
        EXPECT_EQ(service->deviceInfo()->modelName, QStringLiteral("Fit10"));
        EXPECT_TRUE(service->deviceInfo()->productId.isEmpty()) << "a short id names no product";
        EXPECT_EQ(m_registry.deviceTypes().size(), 2) << "one Fit row, however often the device is found";
    }
    m_registry.deviceTypes().last().factory({});
    EXPECT_EQ(m_factoriesCalled, QStringList({"fit"}));
    EXPECT_EQ(OrvoTest::readFile(drive + "/device.ini"), deviceIni("0901A1B2C3D4E5F6")) << "not read at all";
}

TEST_F(OrvoFSDeviceSearchTest, FitDeviceWithAFullIdIsFoundByItsProductId)
{
    m_registry.setFsIdSource(OrvoDeviceRegistry::kDeviceTxtIds);
    plug("watch", kFamilyVendor, {{"/System/device.txt", deviceIni("4401000000000001", "Fit20")}});
    ASSERT_NE(searchOne(), nullptr);
    ASSERT_NE(searchOne(), nullptr);
    ASSERT_EQ(m_registry.deviceTypes().size(), 1);
    EXPECT_EQ(m_registry.deviceTypes().first().productId, QStringLiteral("4401"));
}

TEST_F(OrvoFSDeviceSearchTest, ADriveWithOnlyItsDeviceTxtIsServedAsAFitDevice)
{
    struct Case
    {
        const char *name;
        QMap<QString, QByteArray> files;
        const char *factory;
        const char *model;
    };
    const QByteArray watch = deviceIni("4401000000000001", "Fit20");
    const Case cases[] = {
        {"only the device.txt", {{"/System/device.txt", watch}}, "fit", "Fit20"},
        {"a device.txt spelt as some watches do", {{"/System/Device.txt", watch}}, "fit", "Fit20"},
        {"a device ini beside it",
         {{"/device.ini", deviceIni("2001000000000009", "Kavel70")}, {"/System/device.txt", watch}},
         "gal",
         "Kavel70"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        OrvoDeviceRegistry registry;
        registry.setFileDeviceFactories({factory("gal"), factory("kavel60"), factory("fit")});
        m_factoriesCalled.clear();
        const QString drive = plug(QString::fromLatin1(c.name), kFamilyVendor, c.files);
        const OrvoPlatformInterface::DeviceServices found = OrvoPlatform().findFSDevices(registry);
        m_platform->unplugDrive(drive);
        ASSERT_EQ(found.size(), 1u);
        const OrvoDeviceInfo *row = found.front()->deviceInfo();
        EXPECT_EQ(row->modelName, QLatin1String(c.model));
        row->factory({});
        EXPECT_EQ(m_factoriesCalled, QStringList({QLatin1String(c.factory)}));
    }
}
