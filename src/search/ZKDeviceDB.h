#pragma once

#include "search/ZKFavoriteRecord.h"
#include "search/ZKTrackEntry.h"

#include <QMap>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <memory>
#include <vector>

class ZKGpx1;
class ZKWorkout;

// The device database service: the operations through which the file-system devices reach
// the SQLite files of their folder tree. Its only state is the roots of the last
// openDeviceDatabases, shared by every thread (one device is served at a time).
class ZKDeviceDB
{
public:
    ZKDeviceDB() = delete;

    // Fixes the roots, creates the data folders, restores missing files from their ".000"
    // backups and brings the schemas up to date (see the .cpp for the statements).
    static void openDeviceDatabases(const QString &deviceRoot, const QString &secondRoot, const QString &exportDir);
    static QString deviceRoot();
    static QString secondRoot();
    // Where upload copies are staged: the export folder, else the device's route folder.
    static QString exportDir();
    // The export folder as openDeviceDatabases was given it; empty when none was.
    static QString configuredExportDir();

    // root + relativePath when it exists, else alternativeRoot + relativePath when that
    // exists, else empty. The file found is made writable, since the databases are written.
    static QString findDeviceFile(const QString &root, const QString &alternativeRoot, const QString &relativePath);

    // Appends the favourite table and its index to the statements.
    static void createFavoriteDb(QStringList &statements);
    // Runs the script's ";"-separated statements; with withInserts false its INSERTs are left out.
    static void readSqlScript(QSqlQuery &query, const QString &path, bool withInserts);
    static void runSqlStatements(QSqlQuery &query, const QStringList &statements, bool withInserts);

    // The row of the table whose key is id, in the database under the root of rootIndex
    // (0: device root, 1: second root): its values in column order are appended to values.
    // An unknown table or root index, a missing file or a missing row appends nothing.
    static void selectById(const QString &table, qint64 id, int rootIndex, const QStringList &columns,
                           QVector<QVariant> &values);
    static void updateById(const QString &table, qint64 id, int rootIndex, const QStringList &columns,
                           const QVector<QVariant> &values);
    static void selectRouteById(qint64 id, int rootIndex, const QStringList &columns, QVector<QVariant> &values);
    static void selectTraceLogById(qint64 id, int rootIndex, const QStringList &columns, QVector<QVariant> &values);

    // Every row of a table of route.dat under the root of rootIndex, executed.
    static QSqlQuery queryRouteDb(int rootIndex, const QString &table, const QStringList &columns);
    static QSqlQuery queryTraceLogs(const QStringList &columns);
    static QSqlQuery queryRoutes(const QStringList &columns);
    static QSqlQuery queryFavorites(const QStringList &columns);

    // The words of one language of a multi-language text "\ENG words\FRA mots": the language
    // asked for, else English, else the first.
    static QString pickLanguageText(const QString &text, const QString &languageCode);

    // The item id of a row: the row id in the low 32 bits, the root index above.
    static qint64 itemId(qint64 rowId, int rootIndex);

    // Rides of one activity type (5: every type) that are not paused, newest start first. Rows
    // titled "..." (rides the device never finished) are removed with their files first. With
    // checkFiles only rides whose GPS log holds more than its header and two records are listed.
    // False when the device has a route database that cannot be opened or read: no ride is
    // listed then, which is not a device without rides.
    static bool listTracks(int activityType, QVector<ZKTrackEntry> &tracks, bool checkFiles);
    // Deletes the ride's row, then its files and the one-shot workout it followed. False when
    // the row is missing or stays; then no file is touched.
    static bool deleteTrack(qint64 itemId);
    static void setTrackUploaded(qint64 id, int rootIndex, bool uploaded);

    // Routes of one route type (5: every type) of both roots, item id to title.
    static void listRoutes(int routeType, QMap<qint64, QString> &routes, const QString &alternativeRoot);
    static void listRoutesOfType(int routeType, QMap<qint64, QString> &routes, const QString &root, int rootIndex,
                                 const QString &alternativeRoot);
    // Stores a route of type 1 or 2 from the document's metadata; the new idRoute, or -1 for
    // another type, a route of the same title and length, or a failed insert.
    static int addRoute(int routeType, const ZKGpx1 &gpx);
    // Deletes the row and, when that succeeded, its route file.
    static bool deleteRoute(qint64 id, int rootIndex);
    // Stages the route as "export-<id>.gpx" in the export folder. A route still kept in its row
    // is moved into its route file on the way, so later exports copy that file.
    static QString exportRoute(qint64 id, int rootIndex, bool &uploaded);
    static bool updateRoute(qint64 id, int rootIndex, const QStringList &columns, const QVector<QVariant> &values);

    // Favourites by name, item id to name.
    static void listFavorites(QMap<qint64, QString> &favorites);
    // Fills record from the favourite's row; false, and record untouched, without one.
    static bool readFavorite(qint64 itemId, ZKFavoriteRecord &record);
    // True when there is no favourites file: nothing to delete.
    static bool deleteFavorite(qint64 itemId);

    // Stages a route (kind 1), ride (2) or workout (3) as a share file and answers its path, or
    // an empty text. On an older device flags bit 0 compresses the file (qCompress, level 9).
    static QString exportShareFile(int kind, qint64 itemId, bool &uploaded, int flags);
    // Stores a downloaded share file, a GPX route or ride of share type 1 or 2 or a workout file,
    // and removes it. Only a compressed file that cannot be unpacked or rewritten is left in place.
    // True when the device holds what the file carries; otherwise false with the reason logged.
    static bool importShareFile(const QString &path, bool compressed);

    // Workouts of route.dat. A workout has a row id (the id column, chosen by SQLite) and its
    // own number, the wid carried in workout files; interval rows hold the workout's row id.
    // The row id of the first workout with that wid, or -1.
    static qint64 findWorkoutId(int wid);
    // Deletes the workout row and its intervals in one transaction; false, with both left, when
    // either statement or the commit failed.
    static bool deleteWorkout(qint64 rowId);
    static bool deleteWorkoutOf(const ZKWorkout &workout);
    // The listing part of the workout with that wid (row id, name, date, one-shot flag), or null.
    static std::unique_ptr<ZKWorkout> readWorkoutHeader(int wid);
    // The workout with that wid read whole, or null.
    static std::unique_ptr<ZKWorkout> readWorkoutByWid(int wid);
    // Fills the details and intervals of a listed workout; true at once when they are there.
    static bool readWorkout(ZKWorkout &workout);
    // Appends the planned workouts (type 5, sorted by name) or the others (newest first),
    // without their intervals.
    static void listWorkouts(std::vector<std::unique_ptr<ZKWorkout>> &workouts, bool plans);
    // Stores the workouts of a training-course file, each with the removal of the workout its
    // orgid replaces in one transaction. A workout whose wid is stored already is skipped.
    // False when the file does not read, a workout has no interval or a workout could not be
    // stored; the workouts stored before stay.
    static bool importWorkout(const QString &path);
    // Writes the workout as a training-course file; a one-shot workout is deleted once the
    // file is written, unless the caller keeps it until the file has gone where it goes.
    enum class OneShot { Remove, Keep };
    static bool exportWorkout(int wid, const QString &path, OneShot oneShot = OneShot::Remove);

private:
    static QString rootOf(int rootIndex, bool *known);
    static void restoreFromBackup(const QString &root, const QString &file, const QString &backup, const char *kind);
    static void openOlderDevice(const QString &root);
    static void openNewerDevice(const QString &root);
    // The share file of one item, uncompressed.
    static QString stageShareFile(int kind, qint64 itemId, bool &uploaded, int flags);
};
