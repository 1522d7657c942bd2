#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <memory>
#include <vector>

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

    // Workouts of route.dat. A workout has a row id (the id column, chosen by SQLite) and its
    // own number, the wid carried in workout files; interval rows hold the workout's row id.
    // The row id of the first workout with that wid, or -1.
    static qint64 findWorkoutId(int wid);
    // Deletes the workout row and its intervals.
    static void deleteWorkout(qint64 rowId);
    static void deleteWorkoutOf(const ZKWorkout &workout);
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
    // file is written.
    static bool exportWorkout(int wid, const QString &path);

private:
    static QString rootOf(int rootIndex, bool *known);
    static void restoreFromBackup(const QString &root, const QString &file, const QString &backup, const char *kind);
    static void openOlderDevice(const QString &root);
    static void openNewerDevice(const QString &root);
};
