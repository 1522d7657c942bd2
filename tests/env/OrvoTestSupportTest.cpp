#include "OrvoTestSupport.h"

#include <QFileInfo>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

namespace {

// Takes ORVO_TEST_SOURCE_DIR away while it lives, as when a test binary is run by hand.
class WithoutSourceDir
{
public:
    WithoutSourceDir()
        : m_previous(qgetenv("ORVO_TEST_SOURCE_DIR"))
    {
        qunsetenv("ORVO_TEST_SOURCE_DIR");
    }
    ~WithoutSourceDir() { qputenv("ORVO_TEST_SOURCE_DIR", m_previous); }
    WithoutSourceDir(const WithoutSourceDir &) = delete;
    WithoutSourceDir &operator=(const WithoutSourceDir &) = delete;

private:
    QByteArray m_previous;
};

QString g_dataPath;

} // namespace

TEST(OrvoTestSupport, WithoutTheSourceFolderATestFailsInsteadOfReadingFromTheRoot)
{
    ASSERT_FALSE(OrvoTest::sourceDir().isEmpty());
    {
        const WithoutSourceDir unset;
        EXPECT_NONFATAL_FAILURE(g_dataPath = OrvoTest::dataPath(QStringLiteral("util/full-ride.gpx")),
                                "ORVO_TEST_SOURCE_DIR is not set");
        EXPECT_TRUE(g_dataPath.isEmpty()) << g_dataPath.toStdString();
    }
    EXPECT_TRUE(QFileInfo(OrvoTest::dataPath(QStringLiteral("util/full-ride.gpx"))).isFile());
}
