#include "GalFolderBuilder.h"
#include "OrvoTestSupport.h"

#include "devices/gal/OrvoGalLibrary.h"

#include <QFile>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

using Name = PsfImage15Builder::Name;

class OrvoGalLibraryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qputenv("LUMOLIB_CALL_LOG", QFile::encodeName(m_dir.filePath(QStringLiteral("calls.log"))));
        m_root = m_dir.filePath(QStringLiteral("device"));
        ASSERT_TRUE(addActivities(m_root, 2));
        ASSERT_TRUE(GalFolderBuilder(m_root).addWorkout({.fileName = QStringLiteral("240101000000.wkt"),
                                                         .id = 1704067200,
                                                         .names = {Name{"eng", "Tempo"}, Name{"deu", "Tempolauf"}}}));
    }

    static bool addActivities(const QString &root, int count)
    {
        const GalFolderBuilder device(root);
        for (int i = 0; i < count; ++i) {
            if (!device.addActivity(
                    {.fileName = QStringLiteral("2401") + QString::number(i + 10) + QStringLiteral("120000.gal"),
                     .start = 1}))
                return false;
        }
        return true;
    }

    QString callLog() const
    {
        return QString::fromUtf8(OrvoTest::readFile(m_dir.filePath(QStringLiteral("calls.log"))));
    }

    OrvoTest::OutputDir m_dir;
    QString m_root;
    OrvoGalLibrary m_library;
};

TEST_F(OrvoGalLibraryTest, ServesTheDeviceAtTheGivenRoot)
{
    quint32 count = 0;
    ASSERT_TRUE(m_library.activityCount(m_root, count));
    EXPECT_EQ(count, 2u);
    QString name;
    ASSERT_TRUE(m_library.activityFileName(m_root, 2, name));
    EXPECT_EQ(name, QStringLiteral("240111120000.gal"));
    QByteArray header;
    QByteArray lap;
    EXPECT_TRUE(m_library.activityContent(m_root, name, header));
    EXPECT_EQ(header.size(), OrvoGalLibrary::kActivityHeaderSize);
    EXPECT_TRUE(m_library.summaryLapContent(m_root, name, lap));
    EXPECT_EQ(lap.size(), OrvoGalLibrary::kSummaryLapSize);

    QByteArray workoutTemplate;
    ASSERT_TRUE(m_library.readTemplate(m_root, QStringLiteral("240101000000.wkt"), {}, workoutTemplate));
    EXPECT_EQ(workoutTemplate.size(), OrvoGalLibrary::kTemplateSize);
    QByteArray record;
    ASSERT_TRUE(
        m_library.readWorkoutName(m_root, QStringLiteral("240101000000.wkt"), {}, QStringLiteral("deu"), record));
    EXPECT_EQ(record, PsfImage15Builder::nameString(Name{"deu", "Tempolauf"}, false));

    EXPECT_TRUE(m_library.deleteFile(m_root, 21, QStringLiteral("240101000000.wkt")));
    EXPECT_FALSE(m_library.deleteFile(m_root, 21, QStringLiteral("240101000000.wkt"))) << "nothing left to delete";
    EXPECT_TRUE(m_library.workoutCount(m_root, {}, count));
    EXPECT_EQ(count, 0u);
}

// The callers copied a 260-byte name and a root of any length into 256-byte buffers: a text
// that does not fit is refused before the library sees it.
TEST_F(OrvoGalLibraryTest, TextsThatDoNotFitTheirBufferAreRefusedNotCut)
{
    const QString longName = QString(OrvoGalLibrary::kPathBufferSize, QLatin1Char('a'));
    const QString fitting = QString(OrvoGalLibrary::kPathBufferSize - 1, QLatin1Char('a'));
    QByteArray bytes;
    quint32 count = 0;
    EXPECT_FALSE(m_library.activityContent(m_root, longName, bytes));
    EXPECT_FALSE(m_library.deleteFile(m_root, 30, longName));
    EXPECT_FALSE(m_library.activityCount(m_root + QLatin1Char('/') + fitting, count));
    EXPECT_FALSE(m_library.readWorkoutName(m_root, QStringLiteral("240101000000.wkt"), {},
                                           QString(OrvoGalLibrary::kLanguageBufferSize, QLatin1Char('e')), bytes));
    EXPECT_FALSE(m_library.getProfile(m_root, m_dir.filePath(fitting)));
    EXPECT_FALSE(m_library.activityCount(QString(), count)) << "no root: the library would serve /";

    const QString log = callLog();
    EXPECT_FALSE(log.contains(QStringLiteral("GetActivityContent"))) << log.toStdString();
    EXPECT_FALSE(log.contains(QStringLiteral("DeleteGALFile"))) << log.toStdString();
    EXPECT_FALSE(log.contains(QStringLiteral("ReadWKTName"))) << log.toStdString();
    EXPECT_FALSE(log.contains(QStringLiteral("GetProfile"))) << log.toStdString();
    EXPECT_FALSE(log.contains(QStringLiteral("GetActivityfileamount"))) << log.toStdString();
}

// Each worker sets the home to its own device before every call; the lock keeps another
// worker's home from slipping in between.
TEST_F(OrvoGalLibraryTest, WorkersOfTwoDevicesEachSeeTheirOwnDevice)
{
    const QString other = m_dir.filePath(QStringLiteral("other"));
    ASSERT_TRUE(addActivities(other, 5));
    qunsetenv("LUMOLIB_CALL_LOG");
    std::atomic<int> wrong{0};
    const auto count = [&wrong](const QString &root, quint32 expected) {
        OrvoGalLibrary library;
        for (int i = 0; i < 300; ++i) {
            quint32 found = 0;
            if (!library.activityCount(root, found) || found != expected)
                ++wrong;
        }
    };
    std::thread first(count, m_root, 2u);
    std::thread second(count, other, 5u);
    first.join();
    second.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST_F(OrvoGalLibraryTest, CapabilityAndModelSetUpReachTheLibrary)
{
    QString capability;
    EXPECT_FALSE(m_library.projSwCapability("Kavel21", capability));
    ASSERT_TRUE(GalFolderBuilder(m_root).setEmulator("[EMU]\nCapability=WKT\n"));
    quint32 count = 0;
    ASSERT_TRUE(m_library.activityCount(m_root, count));
    ASSERT_TRUE(m_library.projSwCapability("Kavel21", capability));
    EXPECT_EQ(capability, QStringLiteral("WKT"));

    m_library.setModelName("Kavel21");
    m_library.setModelImg("A01");
    m_library.setModelIap("B2");
    const QString log = callLog();
    for (const char *line : {"SetModelName\tKavel21\t=1\n", "SetModelIMG\tA01\t=1\n", "SetModelIAP\tB2\t=1\n"})
        EXPECT_TRUE(log.contains(QLatin1String(line))) << line;
}

TEST_F(OrvoGalLibraryTest, UpdateProfileAnswersTheLibrarysByte)
{
    const QString map = m_dir.filePath(QStringLiteral("ProfileMap.txt"));
    const QString bin = m_dir.filePath(QStringLiteral("Profile.bin"));
    ASSERT_TRUE(OrvoTest::writeFile(map, "m"));
    ASSERT_TRUE(OrvoTest::writeFile(bin, "b"));
    ASSERT_TRUE(GalFolderBuilder(m_root).setEmulator("[EMU]\nUpdateProfile=2\n"));
    EXPECT_EQ(m_library.updateProfile(m_root + QLatin1Char('/'), map, bin), 2);
    EXPECT_EQ(m_library.updateProfile(m_root + QLatin1Char('/'), map + QStringLiteral(".gone"), bin), 0);
}

} // namespace
