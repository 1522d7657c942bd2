#include "DeviceDbTestSupport.h"

#include <QFileInfo>

#include <vector>

namespace {

struct Ride
{
    qint64 id;
    const char *title;
    int startTime;
    int activityType;
    const char *pause;
    // Bytes of its GPS log; 0 for none.
    int gpsLogSize;
};

// Two listed rides of different types, a paused one, and two the device never finished.
const std::vector<Ride> kRides = {
    {1357000100, "Morning", 100, 1, "NULL", 93}, {1357000200, "Evening", 200, 2, "0", 92},
    {1357000300, "Paused", 300, 1, "1", 200},    {1357000400, "...", 400, 1, "NULL", 200},
    {1357000500, "...", 500, 2, "0", 0},
};

class ZKDeviceDBRidesTest : public DeviceDbTestBase
{
protected:
    void SetUp() override
    {
        DeviceDbTestBase::SetUp();
        QStringList rows;
        for (const Ride &ride : kRides) {
            rows.append(QStringLiteral("INSERT INTO TraceLog (idRoute, Title, StartTime, ActivityType, CreateTime, "
                                       "Uploaded, pause) VALUES (%1, '%2', %3, %4, %1, 0, %5)")
                            .arg(ride.id)
                            .arg(QLatin1String(ride.title))
                            .arg(ride.startTime)
                            .arg(ride.activityType)
                            .arg(QLatin1String(ride.pause)));
            if (ride.gpsLogSize > 0) {
                ASSERT_TRUE(OrvoTest::writeFile(ZKTraceLog::gpsLogPath(ride.id), QByteArray(ride.gpsLogSize, 'g')));
            }
            for (const QString &side :
                 {ZKTraceLog::trainLogPath(ride.id), ZKTraceLog::staXmlPath(ride.id), ZKTraceLog::usrXmlPath(ride.id)})
                ASSERT_TRUE(OrvoTest::writeFile(side, "side"));
        }
        ASSERT_TRUE(addRows(rows));
    }
};

struct ListCase
{
    const char *name;
    int activityType;
    bool checkFiles;
    std::vector<qint64> listed;
};

TEST_F(ZKDeviceDBRidesTest, ListsUnpausedRidesOfTheTypeNewestFirst)
{
    const std::vector<ListCase> cases = {
        {"every type", 5, false, {1357000200, 1357000100}},
        {"every type with a GPS log of more than 92 bytes", 5, true, {1357000100}},
        {"type 1, the paused ride left out", 1, false, {1357000100}},
        {"type 2", 2, false, {1357000200}},
        {"type 2 whose log holds only two records", 2, true, {}},
        {"a type without rides", 3, false, {}},
    };
    for (const ListCase &c : cases) {
        SCOPED_TRACE(c.name);
        QVector<ZKTrackEntry> tracks;
        ZKDeviceDB::listTracks(c.activityType, tracks, c.checkFiles);
        std::vector<qint64> ids;
        for (const ZKTrackEntry &track : tracks)
            ids.push_back(track.id);
        EXPECT_EQ(ids, c.listed);
    }
    QVector<ZKTrackEntry> tracks;
    ZKDeviceDB::listTracks(1, tracks, false);
    ASSERT_EQ(tracks.size(), 1);
    EXPECT_EQ(tracks.first().title, QStringLiteral("Morning"));
}

TEST_F(ZKDeviceDBRidesTest, AnyListingRemovesUnfinishedRidesWithTheirThreeFiles)
{
    QVector<ZKTrackEntry> tracks;
    ZKDeviceDB::listTracks(3, tracks, true);
    closeDeviceDatabases();
    EXPECT_TRUE(tracks.isEmpty());
    EXPECT_EQ(
        sqliteAnswer(routeDb(),
                     QStringLiteral("select group_concat(Title) from (select Title from TraceLog order by idRoute)")),
        QStringLiteral("Morning,Evening,Paused"));
    for (const qint64 id : {1357000400, 1357000500}) {
        SCOPED_TRACE(id);
        EXPECT_FALSE(QFileInfo::exists(ZKTraceLog::gpsLogPath(id)));
        EXPECT_FALSE(QFileInfo::exists(ZKTraceLog::trainLogPath(id)));
        EXPECT_FALSE(QFileInfo::exists(ZKTraceLog::staXmlPath(id)));
        // Only those three are the listing's to remove.
        EXPECT_TRUE(QFileInfo::exists(ZKTraceLog::usrXmlPath(id)));
    }
    EXPECT_TRUE(QFileInfo::exists(ZKTraceLog::gpsLogPath(1357000300)));
}

TEST_F(ZKDeviceDBRidesTest, MarksARideUploadedAndBack)
{
    const QString uploaded = QStringLiteral("select Uploaded from TraceLog where idRoute=1357000100");
    ZKDeviceDB::setTrackUploaded(1357000100, 0, true);
    closeDeviceDatabases();
    EXPECT_EQ(sqliteAnswer(routeDb(), uploaded), QStringLiteral("1"));
    ZKDeviceDB::setTrackUploaded(1357000100, 0, false);
    ZKDeviceDB::setTrackUploaded(1357000100, 1, true);
    closeDeviceDatabases();
    EXPECT_EQ(sqliteAnswer(routeDb(), uploaded), QStringLiteral("0"));
}

DeviceDbTree::WorkoutRow workoutRow(int id, int wid, const char *oneshot)
{
    DeviceDbTree::WorkoutRow row;
    row.id = id;
    row.wid = wid;
    row.oneshot = QLatin1String(oneshot);
    row.intervals = {QStringLiteral("1, 0, 'Warm', NULL, NULL, NULL, NULL, 1, 60, NULL, NULL, NULL, NULL, NULL, "
                                    "NULL")};
    return row;
}

QByteArray workoutLog(int wid)
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<wrklogs><wrklog id=\"%1\" name=\"Followed\">"
                          "<itv id=\"1\"/></wrklog></wrklogs>\n")
        .arg(wid)
        .toUtf8();
}

QStringList rideFiles(qint64 key)
{
    return {ZKTraceLog::gpsLogPath(key), ZKTraceLog::trainLogPath(key), ZKTraceLog::staXmlPath(key),
            ZKTraceLog::st2XmlPath(key), ZKTraceLog::wrkXmlPath(key),   ZKTraceLog::usrXmlPath(key),
            ZKTraceLog::plnXmlPath(key), ZKTraceLog::dbgLogPath(key)};
}

TEST_F(ZKDeviceDBRidesTest, DeletingARideRemovesItsFilesAndTheOneShotWorkoutItFollowed)
{
    ASSERT_TRUE(m_tree.writeWorkouts({workoutRow(1, 7, "'true'"), workoutRow(2, 8, "'false'")}));
    for (const qint64 key : {1357000100, 1357000200}) {
        for (const QString &file : rideFiles(key))
            ASSERT_TRUE(OrvoTest::writeFile(file, "ride file"));
        ASSERT_TRUE(OrvoTest::writeFile(ZKTraceLog::wrkXmlPath(key), workoutLog(key == 1357000100 ? 7 : 8)));
    }

    // Only the low half of the item id names the ride.
    EXPECT_TRUE(ZKDeviceDB::deleteTrack((qint64(1) << 32) | 1357000100));
    closeDeviceDatabases();
    for (const QString &file : rideFiles(1357000100))
        EXPECT_FALSE(QFileInfo::exists(file)) << file.toStdString();
    EXPECT_EQ(sqliteAnswer(routeDb(), QStringLiteral("select group_concat(wid) from Workout")), QStringLiteral("8"));
    EXPECT_EQ(sqliteAnswer(routeDb(), QStringLiteral("select group_concat(wid) from WorkoutInterval")),
              QStringLiteral("2"));

    EXPECT_TRUE(ZKDeviceDB::deleteTrack(1357000200));
    closeDeviceDatabases();
    EXPECT_FALSE(QFileInfo::exists(ZKTraceLog::wrkXmlPath(1357000200)));
    EXPECT_EQ(sqliteAnswer(routeDb(), QStringLiteral("select group_concat(wid) from Workout")), QStringLiteral("8"));
    EXPECT_EQ(sqliteAnswer(routeDb(), QStringLiteral("select group_concat(idRoute) from TraceLog where idRoute in "
                                                     "(1357000100, 1357000200)")),
              QString());
}

TEST_F(ZKDeviceDBRidesTest, DeletingARideWithoutRowRemovesNothing)
{
    const qint64 key = 1357000999;
    for (const QString &file : rideFiles(key))
        ASSERT_TRUE(OrvoTest::writeFile(file, "ride file"));
    EXPECT_FALSE(ZKDeviceDB::deleteTrack(key));
    for (const QString &file : rideFiles(key))
        EXPECT_TRUE(QFileInfo::exists(file)) << file.toStdString();
}

} // namespace
