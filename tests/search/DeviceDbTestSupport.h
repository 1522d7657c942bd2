#pragma once

#include "DeviceDbTree.h"
#include "OrvoTestSupport.h"

#include "search/ZKDeviceDB.h"
#include "sql/ZKModel.h"
#include "util/ZKTraceLog.h"

#include <QDir>
#include <QProcess>
#include <QString>

#include <gtest/gtest.h>

// What the sqlite3 program answers, read apart from the code under test.
inline QString sqliteAnswer(const QString &file, const QString &statement)
{
    QProcess process;
    process.start(QStringLiteral("sqlite3"), {file, statement});
    if (!process.waitForFinished(30000))
        return QStringLiteral("<sqlite3 did not finish>");
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// A device tree whose route.dat comes from the device's script (Route with its two script
// rows, an empty TraceLog with pause) and whose favorite.dat holds the default favourite, as a
// newer device opens them; the version is set back to an older one when a test asks for it.
class DeviceDbTestBase : public ::testing::Test
{
protected:
    static inline const QString kOlderVersion = QStringLiteral("ZK1.2.0");
    static inline const QString kNewerVersion = QStringLiteral("ZK2.0.1");

    void SetUp() override
    {
        ASSERT_TRUE(m_tree.writeRouteScript());
        ZKTraceLog::setDeviceVersion(kNewerVersion);
        ZKTraceLog::setDataDir(m_dir.filePath(QStringLiteral("pc")));
        ASSERT_TRUE(QDir().mkpath(exportDir()));
        openTree(QString(), exportDir());
    }

    void TearDown() override
    {
        closeDeviceDatabases();
        ZKTraceLog::setDeviceVersion(QString());
        ZKTraceLog::setDataDir(QString());
    }

    void openTree(const QString &secondRoot, const QString &exportDir)
    {
        ZKDeviceDB::openDeviceDatabases(m_tree.root(), secondRoot, exportDir);
        closeDeviceDatabases();
    }

    QString exportDir() const { return m_dir.filePath(QStringLiteral("export")); }
    QString routeDb() const { return m_tree.path(QStringLiteral("/data/route/route.dat")); }
    QString favoriteDb() const { return m_tree.path(QStringLiteral("/data/poi/favorite.dat")); }

    // Runs statements on route.dat through a connection of the fixture's own.
    bool addRows(const QStringList &statements) const
    {
        return m_tree.writeDatabase(QStringLiteral("/data/route/route.dat"), statements);
    }

    OrvoTest::OutputDir m_dir;
    DeviceDbTree m_tree{m_dir.filePath(QStringLiteral("device"))};
};
