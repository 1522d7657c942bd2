#include "OrvoTestSupport.h"

#include "device/OrvoFSDeviceService.h"

#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

const OrvoDeviceInfo kKavel50{QStringLiteral("0901"), QStringLiteral("Kavel50"), QStringLiteral("VORNA"), {}};

ino_t inodeOf(const QString &path)
{
    struct stat st = {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

struct IdFileCase
{
    const char *name;
    QByteArray before;
    // The file as it must stand afterwards; equal to before when nothing may be written.
    QByteArray after;
    QString id;
};

// Device files as the devices write them, and what reading the id leaves behind.
const IdFileCase kIdFileCases[] = {
    {"CrLfFileGainsTheMarkerAfterTheGroupsLastKey",
     "[MODEL]\r\nModel=Kavel50\r\n\r\n[UUID]\r\nUUID=0901A1B2C3D4E5F6\r\nSerial=77\r\n\r\n[Other]\r\nx=1\r\n",
     "[MODEL]\r\nModel=Kavel50\r\n\r\n[UUID]\r\nUUID=0901A1B2C3D4E5F6\r\nSerial=77\r\nORVO=1\r\n\r\n[Other]\r\nx=1\r\n",
     QStringLiteral("0901A1B2C3D4E5F6")},
    {"LfFileKeepsLf", "[UUID]\nUUID=0901A1B2C3D4E5F6\n", "[UUID]\nUUID=0901A1B2C3D4E5F6\nORVO=1\n",
     QStringLiteral("0901A1B2C3D4E5F6")},
    {"MarkerPresentLeavesTheFileAlone", "[UUID]\r\nORVO=1\r\nUUID=0901A1B2C3D4E5F6\r\n",
     "[UUID]\r\nORVO=1\r\nUUID=0901A1B2C3D4E5F6\r\n", QStringLiteral("0901A1B2C3D4E5F6")},
    {"MarkerWithAnotherValueCountsAsPresent", "[UUID]\r\nUUID=0901A1B2C3D4E5F6\r\norvo = 0\r\n",
     "[UUID]\r\nUUID=0901A1B2C3D4E5F6\r\norvo = 0\r\n", QStringLiteral("0901A1B2C3D4E5F6")},
    {"NamesAreComparedWithoutCase", "[uuid]\r\nuuid = \"0901A1B2C3D4E5F6\" \r\n",
     "[uuid]\r\nuuid = \"0901A1B2C3D4E5F6\" \r\nORVO=1\r\n", QStringLiteral("0901A1B2C3D4E5F6")},
    {"LastLineWithoutBreak", "[UUID]\r\nUUID=0901A1B2C3D4E5F6", "[UUID]\r\nUUID=0901A1B2C3D4E5F6\r\nORVO=1",
     QStringLiteral("0901A1B2C3D4E5F6")},
    {"CommentsAndBlankLinesStayWhereTheyAre", "[UUID]\r\n; id of the unit\r\nUUID=1207000000000001\r\n\r\n",
     "[UUID]\r\n; id of the unit\r\nUUID=1207000000000001\r\nORVO=1\r\n\r\n", QStringLiteral("1207000000000001")},
    {"EmptyGroupGetsTheMarkerUnderItsHeader", "[UUID]\r\n[MODEL]\r\nModel=Kavel21\r\n",
     "[UUID]\r\nORVO=1\r\n[MODEL]\r\nModel=Kavel21\r\n", QString()},
    {"MissingGroupIsAppended", "[MODEL]\nModel=Kavel21", "[MODEL]\nModel=Kavel21\n[UUID]\nORVO=1\n", QString()},
    {"KeyOfAnotherGroupIsNotTheId", "[MODEL]\r\nUUID=0901A1B2C3D4E5F6\r\n",
     "[MODEL]\r\nUUID=0901A1B2C3D4E5F6\r\n[UUID]\r\nORVO=1\r\n", QString()},
};

void PrintTo(const IdFileCase &c, std::ostream *os)
{
    *os << c.name;
}

class OrvoDeviceIdFileTest : public ::testing::TestWithParam<IdFileCase>
{};

} // namespace

TEST_P(OrvoDeviceIdFileTest, ReadsTheIdAndAddsOnlyTheMissingMarker)
{
    const IdFileCase &c = GetParam();
    OrvoTest::OutputDir dir;
    const QString path = dir.filePath(QStringLiteral("device.ini"));
    ASSERT_TRUE(OrvoTest::writeFile(path, c.before));
    const ino_t inodeBefore = inodeOf(path);

    QString id = QStringLiteral("stale");
    EXPECT_EQ(OrvoFSDeviceService::readDeviceIdFromFile(path, id), !c.id.isEmpty());
    EXPECT_EQ(id, c.id);
    EXPECT_EQ(OrvoTest::readFile(path), c.after);
    if (c.before == c.after) {
        EXPECT_EQ(inodeOf(path), inodeBefore) << "a file that needs no marker must not be rewritten";
    }

    // The second read finds the marker and writes nothing.
    const ino_t inodeAfter = inodeOf(path);
    QString again;
    OrvoFSDeviceService::readDeviceIdFromFile(path, again);
    EXPECT_EQ(again, c.id);
    EXPECT_EQ(OrvoTest::readFile(path), c.after);
    EXPECT_EQ(inodeOf(path), inodeAfter);
}

INSTANTIATE_TEST_SUITE_P(Cases, OrvoDeviceIdFileTest, ::testing::ValuesIn(kIdFileCases),
                         [](const auto &row) { return std::string(row.param.name); });

TEST(OrvoFSDeviceService, ReadsItsOwnDeviceFileOrNothing)
{
    OrvoTest::OutputDir dir;
    const QString path = dir.filePath(QStringLiteral("device.ini"));
    ASSERT_TRUE(OrvoTest::writeFile(path, "[UUID]\nUUID=0901A1B2C3D4E5F6\n"));

    OrvoFSDeviceService withFile(dir.path(), kKavel50, path);
    QString id;
    EXPECT_TRUE(withFile.readDeviceId(id));
    EXPECT_EQ(id, QStringLiteral("0901A1B2C3D4E5F6"));
    EXPECT_EQ(withFile.serviceType(), OrvoDeviceService::FileSystemService);
    EXPECT_EQ(withFile.drivePath(), dir.path());
    EXPECT_EQ(withFile.deviceInfo()->modelName, QStringLiteral("Kavel50"));

    OrvoFSDeviceService withoutFile(dir.path(), kKavel50, QString());
    QString untouched = QStringLiteral("kept");
    EXPECT_FALSE(withoutFile.readDeviceId(untouched));
    EXPECT_EQ(untouched, QStringLiteral("kept"));

    OrvoFSDeviceService gone(dir.path(), kKavel50, dir.filePath(QStringLiteral("missing.ini")));
    EXPECT_FALSE(gone.readDeviceId(id));
    EXPECT_TRUE(id.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("missing.ini")))) << "no file is made up";
}

TEST(OrvoFSDeviceService, RefusesAFileTooLargeToBeADeviceFile)
{
    OrvoTest::OutputDir dir;
    const QString path = dir.filePath(QStringLiteral("device.ini"));
    const QByteArray big = "[UUID]\nUUID=0901A1B2C3D4E5F6\n" + QByteArray(70 * 1024, ' ');
    ASSERT_TRUE(OrvoTest::writeFile(path, big));
    QString id;
    EXPECT_FALSE(OrvoFSDeviceService::readDeviceIdFromFile(path, id));
    EXPECT_TRUE(id.isEmpty());
    EXPECT_EQ(OrvoTest::readFile(path), big);
}
