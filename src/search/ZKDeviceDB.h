#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

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

private:
    static QString rootOf(int rootIndex, bool *known);
    static void restoreFromBackup(const QString &root, const QString &file, const QString &backup, const char *kind);
    static void openOlderDevice(const QString &root);
    static void openNewerDevice(const QString &root);
};
