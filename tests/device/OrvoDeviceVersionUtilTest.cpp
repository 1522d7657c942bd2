#include "OrvoMessageCapture.h"
#include "OrvoTestSupport.h"

#include "device/OrvoDeviceIniFile.h"
#include "device/OrvoDeviceVersionUtil.h"
#include "device/OrvoPlatform.h"

#include <QDir>
#include <QMap>

#include <gtest/gtest.h>

#include <ostream>

namespace {

struct LowestCase
{
    const char *name;
    QStringList versions;
    QString lowest;
};

// Names the row where GoogleTest would print its bytes.
void PrintTo(const LowestCase &row, std::ostream *os)
{
    *os << row.name;
}

class OrvoLowestVersionTest : public ::testing::TestWithParam<LowestCase>
{};

TEST_P(OrvoLowestVersionTest, FindsTheLowestOfVersionsOfOneShape)
{
    EXPECT_EQ(OrvoDeviceVersionUtil::lowestVersion(GetParam().versions), GetParam().lowest);
}

const LowestCase kLowestCases[] = {
    {"NumericNotTextual", {"1.0.2", "1.0.10"}, "1.0.2"},
    {"NumericNotTextualReversed", {"1.0.10", "1.0.2"}, "1.0.2"},
    {"TwoDigitMajor", {"10.0", "2.0"}, "2.0"},
    {"EqualTexts", {"2.1", "2.1"}, "2.1"},
    {"TwoDigitMinor", {"2.10", "2.9"}, "2.9"},
    {"FirstSmallerPartDecides", {"1.2.3", "1.10.0"}, "1.2.3"},
    {"LowestInTheMiddle", {"3.0", "2.5", "2.10"}, "2.5"},
    {"LeadingZerosAreTheSameNumber", {"1.01", "1.1"}, "1.01"},
    {"OneEntry", {"0.9"}, "0.9"},
    {"UnknownVersionIsLowest", {"1.2.3.4", "0.0.0.0"}, "0.0.0.0"},
    {"DifferentShapes", {"1.0", "1.0.1"}, ""},
    {"DifferentShapeAfterALowerOne", {"1.0", "0.9", "1.0.0"}, ""},
    {"Empty", {}, ""},
};

INSTANTIATE_TEST_SUITE_P(Versions, OrvoLowestVersionTest, ::testing::ValuesIn(kLowestCases),
                         [](const auto &row) { return std::string(row.param.name); });

TEST(OrvoDeviceVersionUtil, ReadsTheEngineVersionsOfADriveFolder)
{
    OrvoTest::OutputDir drive;
    ASSERT_TRUE(QDir().mkpath(drive.filePath("data")));
    ASSERT_TRUE(OrvoTest::writeFile(drive.filePath("data/version.ini"), "version=1.2.3\r\ndat=0.9\r\n"));
    OrvoTest::OutputDir bare;

    struct Case
    {
        const char *key;
        QString folder;
        QString expected;
    };
    const Case cases[] = {
        {"version", drive.path(), "1.2.3"},
        {"dat", drive.path(), "0.9"},
        {"missing", drive.path(), "0.0.0.0"},
        {"version", bare.path(), "0.0.0.0"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.key);
        OrvoMessageCapture log;
        const QString value = OrvoDeviceVersionUtil::GetGPSENGINEVersion(QString::fromLatin1(c.key), c.folder);
        EXPECT_EQ(value, c.expected);
        EXPECT_TRUE(log.contains(QtDebugMsg, QStringLiteral("get %1=%2").arg(QLatin1String(c.key), c.expected)));
    }
}

// The version file is the device's: a key may stand above any group or in [General], as
// settings files keep it, and a file larger than a device writes is not read at all, so that
// its text never reaches the page.
TEST(OrvoDeviceVersionUtil, ReadsTheVersionFileWithItsSizeBound)
{
    struct Case
    {
        const char *name;
        QByteArray text;
        QString expected;
    };
    const QByteArray longLine = "version=" + QByteArray(OrvoDeviceIniFile::kMaxFileSize, '7') + "\r\n";
    const Case cases[] = {
        {"key in General", "[General]\r\nversion=1.2.4\r\n", "1.2.4"},
        {"key of another group", "[Other]\r\nversion=1.2.4\r\n", "0.0.0.0"},
        {"file at the bound", "version=1.2.5\r\n" + QByteArray(OrvoDeviceIniFile::kMaxFileSize - 15, ';'), "1.2.5"},
        {"line beyond the bound", longLine, "0.0.0.0"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        OrvoTest::OutputDir drive;
        ASSERT_TRUE(OrvoTest::writeFile(drive.filePath("data/version.ini"), c.text));
        EXPECT_EQ(OrvoDeviceVersionUtil::GetGPSENGINEVersion(QStringLiteral("version"), drive.path()), c.expected);
    }
}

// Drives with their vendor texts, in the order the platform lists them.
class DrivePlatform : public OrvoPlatformInterface
{
public:
    DrivePlatform(QStringList drives, QMap<QString, QString> vendors)
        : m_drives(std::move(drives))
        , m_vendors(std::move(vendors))
    {}

    bool getDiskSpace(const QString &, quint64 &, quint64 &) override { return false; }
    std::unique_ptr<OrvoEnvInterface> createEnv() override { return nullptr; }
    QStringList getRemovableDrives(const QString &fileSystemType) override
    {
        askedType = fileSystemType;
        return m_drives;
    }
    QString getDriveVendorName(const QString &drive) override { return m_vendors.value(drive); }
    bool ejectDevice(const QString &) override { return false; }
    DeviceServices findSCSIDevices(const QVector<OrvoDeviceInfo> &) override { return {}; }
    std::unique_ptr<OrvoDeviceDetector> createDeviceDetector(OrvoDeviceDetectorHost &,
                                                             const OrvoDeviceClock::Tick &) override
    {
        return nullptr;
    }

    QString askedType;

private:
    QStringList m_drives;
    QMap<QString, QString> m_vendors;
};

struct DisksCase
{
    const char *name;
    QString model;
    QStringList disks;
};

// Names the row where GoogleTest would print its bytes.
void PrintTo(const DisksCase &row, std::ostream *os)
{
    *os << row.name;
}

class OrvoDriveDisksTest : public ::testing::TestWithParam<DisksCase>
{
protected:
    void SetUp() override
    {
        m_platform = std::make_shared<DrivePlatform>(
            QStringList{"/media/u/CARD", "/media/u/OWN/", "/media/u/STICK", "/media/u/MAP"},
            QMap<QString, QString>{{"/media/u/CARD", "TARVEX  Kavel60 Card"},
                                   {"/media/u/OWN/", "Tarvex  Kavel60"},
                                   {"/media/u/STICK", "SanDisk Cruzer"},
                                   {"/media/u/MAP", "tarvex map"}});
        OrvoPlatform::setImplementationFactory([platform = m_platform] { return platform; });
    }
    void TearDown() override { OrvoPlatform::setImplementationFactory({}); }

    std::shared_ptr<DrivePlatform> m_platform;
};

TEST_P(OrvoDriveDisksTest, ListsTheOwnDriveFirstThenTheMakersOtherFatDrives)
{
    OrvoMessageCapture log;
    EXPECT_EQ(OrvoDeviceVersionUtil::GetDriveDisks(GetParam().model, "/media/u/OWN"), GetParam().disks);
    EXPECT_TRUE(log.contains(QtDebugMsg, QStringLiteral("Tarvex Disks are:")));
    if (!GetParam().disks.isEmpty()) {
        EXPECT_EQ(m_platform->askedType, QStringLiteral("msdos"));
    }
}

const QStringList kAllDisks = {"/media/u/OWN", "/media/u/CARD", "/media/u/MAP"};

const DisksCase kDisksCases[] = {
    {"Kavel60", "Kavel60", kAllDisks},           {"Kavel50", "Kavel50", kAllDisks},
    {"Kavel50CR", "Kavel50CR", kAllDisks},       {"OtherModel", "Kavel35", {}},
    {"ModelNameIsCaseSensitive", "kavel50", {}}, {"Kavel60IsExact", "Kavel60X", {}},
};

INSTANTIATE_TEST_SUITE_P(Models, OrvoDriveDisksTest, ::testing::ValuesIn(kDisksCases),
                         [](const auto &row) { return std::string(row.param.name); });

} // namespace
