#include "search/ZKDeviceDB.h"

#include "env/OrvoUtility.h"
#include "env/ZKLogger.h"
#include "sql/ZKModel.h"
#include "util/ZKTraceLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QSqlError>

#include <array>

namespace {

const QString kPoiFile = QStringLiteral("/data/poi/poi.dat");
const QString kPoiBackup = QStringLiteral("/data/poi/poi.000");
const QString kRouteFile = QStringLiteral("/data/route/route.dat");
const QString kRouteBackup = QStringLiteral("/data/route/route.000");
const QString kRouteScript = QStringLiteral("/data/route/route.sql");
const QString kFavoriteFile = QStringLiteral("/data/poi/favorite.dat");
const QString kFavoriteBackup = QStringLiteral("/data/poi/favorite.000");

// The statements exactly as the devices' own software runs them, double blanks included.
const QString kCreateWorkout = QStringLiteral(
    "CREATE TABLE if not exists Workout (id INTEGER PRIMARY KEY,wid INTEGER NOT NULL,daily INTEGER,repeatcnt "
    "INTEGER,wtype INTEGER,subtype INTEGER,acttype INTEGER,name TEXT,datetime INTEGER);");
const std::array<QString, 5> kWorkoutColumns = {
    QStringLiteral("alter table Workout add column createtime TEXT;"),
    QStringLiteral("alter table Workout add column orgid INTEGER;"),
    QStringLiteral("alter table Workout add column oneshot INTEGER;"),
    QStringLiteral("alter table Workout add column desc TEXT;"),
    QStringLiteral("alter table Workout add column listOrder INTEGER;"),
};
const QString kCreateWorkoutInterval = QStringLiteral(
    "CREATE TABLE if not exists WorkoutInterval (wid INTEGER NOT NULL,iid INTEGER NOT NULL,needlap INTEGER,name "
    "TEXT,targettype INTEGER,targetlow INTEGER,targethigh INTEGER,targetishard INTEGER,durtype INTEGER,durvalue "
    "INTEGER,durismanual INTEGER,dursegstart INTEGER,dursegend INTEGER,durlat INTEGER,durlon INTEGER,nextiid "
    "INTEGER,repeatcnt INTEGER,PRIMARY KEY(wid,iid));");
const QString kWorkoutIntervalColumn = QStringLiteral("alter table WorkoutInterval add column logreso INTEGER;");
const QString kCreateWorkoutRoute =
    QStringLiteral("CREATE TABLE if not exists WorkoutRoute (id INTEGER PRIMARY KEY,wid INTEGER NOT NULL,gpx BLOB);");
const QString kTraceLogColumn = QStringLiteral("alter table TraceLog add column pause INTEGER;");
const QString kCreateFavorite = QStringLiteral(
    "CREATE TABLE if not exists MyFavorite (  idMyFavorite INTEGER PRIMARY KEY,  CategoryID INTEGER NOT NULL "
    "DEFAULT 19,  Name TEXT NOT NULL,  Tel TEXT NULL,  Place TEXT NULL,  Info TEXT NULL,  Longitude INTEGER NOT "
    "NULL,  Latitude INTEGER NOT NULL,  Country CHAR(3) NULL,  RecordTime INTEGER NULL,  RoadName TEXT NULL,  "
    "HouseNumber TEXT NULL,  Uploaded INTEGER NOT NULL DEFAULT 0,  XIdx INTEGER NULL,  YIdx INTEGER NULL);");
const QString kCreateFavoriteIndex =
    QStringLiteral("CREATE UNIQUE INDEX if not exists FAVINDEX on MyFavorite (Name, Longitude, Latitude);");
// The one favourite a new device starts with: the maker's service desk.
const QString kDefaultFavorite = QStringLiteral(
    "INSERT INTO \"MyFavorite\" VALUES(1,19,'Tarvex Service','+886-2-2700-0000','Taipei','Tarvex customer "
    "service',121543800,25033000,'TWN',NULL,NULL,NULL,0,NULL,NULL);");

// The tables the by-id operations reach: their key column and their file.
struct KeyedTable
{
    QString table;
    QString key;
    QString file;
};

const std::array<KeyedTable, 4> kKeyedTables = {{
    {QStringLiteral("Route"), QStringLiteral("idRoute"), kRouteFile},
    {QStringLiteral("TraceLog"), QStringLiteral("idRoute"), kRouteFile},
    {QStringLiteral("MyFavorite"), QStringLiteral("idMyFavorite"), kFavoriteFile},
    {QStringLiteral("POICategory"), QStringLiteral("idPOICategory"), kPoiFile},
}};

// POICategory lives in poi.dat, which only the older devices keep.
const KeyedTable *keyedTable(const QString &table)
{
    for (const KeyedTable &entry : kKeyedTables) {
        if (entry.table != table)
            continue;
        if (entry.file == kPoiFile && !ZKTraceLog::isNonZk2Version())
            return nullptr;
        return &entry;
    }
    return nullptr;
}

struct Roots
{
    QString device;
    QString second;
    QString exportDir;
};

QMutex g_rootsMutex;
Roots g_roots;

Roots roots()
{
    QMutexLocker lock(&g_rootsMutex);
    return g_roots;
}

// Runs the first statement; only when it succeeded the others, whose results do not matter
// (an ALTER fails harmlessly once its column exists).
bool runThenAlter(const QSqlDatabase &db, const QString &first, const QStringList &alters)
{
    QSqlQuery query(db);
    if (!query.exec(first))
        return false;
    for (const QString &alter : alters)
        query.exec(alter);
    return true;
}

bool upgradeTraceLogTable(const QSqlDatabase &db)
{
    return QSqlQuery(db).exec(kTraceLogColumn);
}

bool upgradeWorkoutTable(const QSqlDatabase &db)
{
    return runThenAlter(db, kCreateWorkout, QStringList(kWorkoutColumns.begin(), kWorkoutColumns.end()));
}

bool upgradeWorkoutIntervalTable(const QSqlDatabase &db)
{
    return runThenAlter(db, kCreateWorkoutInterval, {kWorkoutIntervalColumn});
}

bool createWorkoutRouteTable(const QSqlDatabase &db)
{
    return QSqlQuery(db).exec(kCreateWorkoutRoute);
}

// The words of one "<code> words" piece without its code.
QString withoutFirstWord(const QString &piece)
{
    QStringList words = piece.split(QLatin1Char(' '));
    words.removeFirst();
    return words.join(QLatin1Char(' '));
}

} // namespace

void ZKDeviceDB::openDeviceDatabases(const QString &deviceRoot, const QString &secondRoot, const QString &exportDir)
{
    {
        QMutexLocker lock(&g_rootsMutex);
        g_roots = Roots{deviceRoot, secondRoot, exportDir};
    }
    // The workout file of the previous device must not serve this one.
    zkResetWorkoutDatabaseFile();
    QDir().mkpath(deviceRoot + QStringLiteral("/data/poi"));
    QDir().mkpath(deviceRoot + QStringLiteral("/data/route"));
    if (ZKTraceLog::isNonZk2Version())
        openOlderDevice(deviceRoot);
    else
        openNewerDevice(deviceRoot);
}

void ZKDeviceDB::openOlderDevice(const QString &root)
{
    restoreFromBackup(root, kPoiFile, kPoiBackup, "POI");
    restoreFromBackup(root, kRouteFile, kRouteBackup, "ROUTE");
    const QString routeFile = findDeviceFile(root, QString(), kRouteFile);
    if (!routeFile.isEmpty()) {
        const QSqlDatabase db = zkOpenDatabase(routeFile, kZKDeviceConnection);
        upgradeTraceLogTable(db);
        upgradeWorkoutTable(db);
        upgradeWorkoutIntervalTable(db);
        createWorkoutRouteTable(db);
    }
    restoreFromBackup(root, kFavoriteFile, kFavoriteBackup, "FAV");
}

void ZKDeviceDB::openNewerDevice(const QString &root)
{
    const bool routeMissing = findDeviceFile(root, QString(), kRouteFile).isEmpty();
    const bool favoriteMissing = findDeviceFile(root, QString(), kFavoriteFile).isEmpty();

    // Opening creates the file; the device's own script gives it its tables and, when new,
    // its rows.
    QSqlQuery routeQuery(zkOpenDatabase(root + kRouteFile, kZKDeviceConnection));
    readSqlScript(routeQuery, root + kRouteScript, routeMissing);

    QSqlQuery favoriteQuery(zkOpenDatabase(root + kFavoriteFile, kZKDeviceConnection));
    QStringList statements;
    createFavoriteDb(statements);
    if (favoriteMissing)
        statements.append(kDefaultFavorite);
    runSqlStatements(favoriteQuery, statements, favoriteMissing);
}

void ZKDeviceDB::restoreFromBackup(const QString &root, const QString &file, const QString &backup, const char *kind)
{
    if (!findDeviceFile(root, QString(), file).isEmpty())
        return;
    const QString found = findDeviceFile(root, QString(), backup);
    if (found.isEmpty()) {
        ZK_LOG_ERROR(QStringLiteral("can't found any %s dat file"), QString::fromLatin1(kind));
        return;
    }
    const QString restored = found.chopped(3) + QStringLiteral("dat");
    if (!OrvoUtility::copyFile(found, restored, false, 1, 0, {}, false, 0, nullptr))
        ZK_LOG_ERROR(QStringLiteral("can't restore %s from %s"), restored, found);
}

QString ZKDeviceDB::deviceRoot()
{
    return roots().device;
}

QString ZKDeviceDB::secondRoot()
{
    return roots().second;
}

QString ZKDeviceDB::exportDir()
{
    const Roots current = roots();
    return current.exportDir.isEmpty() ? current.device + QStringLiteral("/data/route") : current.exportDir;
}

QString ZKDeviceDB::findDeviceFile(const QString &root, const QString &alternativeRoot, const QString &relativePath)
{
    for (const QString &base : {root, alternativeRoot}) {
        const QString path = base + relativePath;
        const QFileInfo info(path);
        if (!info.isFile())
            continue;
        if (!info.isWritable())
            OrvoUtility::clearReadOnly(path);
        return path;
    }
    return QString();
}

void ZKDeviceDB::createFavoriteDb(QStringList &statements)
{
    statements.append(kCreateFavorite);
    statements.append(kCreateFavoriteIndex);
}

void ZKDeviceDB::readSqlScript(QSqlQuery &query, const QString &path, bool withInserts)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QString script = QString::fromUtf8(file.readAll());
    runSqlStatements(query, script.split(QLatin1Char(';'), Qt::SkipEmptyParts), withInserts);
}

void ZKDeviceDB::runSqlStatements(QSqlQuery &query, const QStringList &statements, bool withInserts)
{
    for (const QString &text : statements) {
        const QString statement = text.trimmed();
        if (statement.isEmpty())
            continue;
        if (!withInserts && statement.startsWith(QLatin1String("insert"), Qt::CaseInsensitive))
            continue;
        if (!query.exec(statement))
            ZK_LOG_ERROR(QStringLiteral("SQL Error: %s"), query.lastError().text());
        query.finish();
    }
}

QString ZKDeviceDB::rootOf(int rootIndex, bool *known)
{
    *known = rootIndex == 0 || rootIndex == 1;
    const Roots current = roots();
    return rootIndex == 0 ? current.device : rootIndex == 1 ? current.second : QString();
}

void ZKDeviceDB::selectById(const QString &table, qint64 id, int rootIndex, const QStringList &columns,
                            QVector<QVariant> &values)
{
    bool known = false;
    const QString root = rootOf(rootIndex, &known);
    const KeyedTable *entry = keyedTable(table);
    if (!known || !entry)
        return;
    const QString file = findDeviceFile(root, QString(), entry->file);
    if (file.isEmpty())
        return;
    QSqlQuery query(zkOpenDatabase(file, kZKDeviceConnection));
    query.prepare(
        QStringLiteral("select %1 from %2 where %3=?").arg(columns.join(QLatin1Char(',')), entry->table, entry->key));
    query.addBindValue(id);
    if (!query.exec() || !query.next())
        return;
    values.reserve(values.size() + columns.size());
    for (qsizetype i = 0; i < columns.size(); ++i)
        values.append(query.value(int(i)));
}

void ZKDeviceDB::updateById(const QString &table, qint64 id, int rootIndex, const QStringList &columns,
                            const QVector<QVariant> &values)
{
    bool known = false;
    const QString root = rootOf(rootIndex, &known);
    const KeyedTable *entry = keyedTable(table);
    if (!known || !entry)
        return;
    const QString file = findDeviceFile(root, QString(), entry->file);
    if (file.isEmpty())
        return;
    QStringList assignments;
    for (const QString &column : columns)
        assignments.append(column + QStringLiteral("=?"));
    QSqlQuery query(zkOpenDatabase(file, kZKDeviceConnection));
    query.prepare(QStringLiteral("update %1 set %2 where %3=%4")
                      .arg(entry->table, assignments.join(QLatin1Char(',')), entry->key, QString::number(id)));
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec())
        ZK_LOG_ERROR(QStringLiteral("SQL:%s\nError:%s"), query.lastQuery(), query.lastError().text());
}

void ZKDeviceDB::selectRouteById(qint64 id, int rootIndex, const QStringList &columns, QVector<QVariant> &values)
{
    selectById(QStringLiteral("Route"), id, rootIndex, columns, values);
}

void ZKDeviceDB::selectTraceLogById(qint64 id, int rootIndex, const QStringList &columns, QVector<QVariant> &values)
{
    selectById(QStringLiteral("TraceLog"), id, rootIndex, columns, values);
}

QSqlQuery ZKDeviceDB::queryRouteDb(int rootIndex, const QString &table, const QStringList &columns)
{
    bool known = false;
    const QString root = rootOf(rootIndex, &known);
    const QString file = known ? findDeviceFile(root, QString(), kRouteFile) : QString();
    const QSqlDatabase db = zkOpenDatabase(file, kZKDeviceConnection);
    QSqlQuery query(db);
    if (db.isOpen())
        query.exec(QStringLiteral("select %1 from %2").arg(columns.join(QLatin1Char(',')), table));
    return query;
}

QSqlQuery ZKDeviceDB::queryTraceLogs(const QStringList &columns)
{
    return queryRouteDb(0, QStringLiteral("TraceLog"), columns);
}

QSqlQuery ZKDeviceDB::queryRoutes(const QStringList &columns)
{
    return queryRouteDb(0, QStringLiteral("Route"), columns);
}

QSqlQuery ZKDeviceDB::queryFavorites(const QStringList &columns)
{
    const QSqlDatabase db = zkOpenDatabase(findDeviceFile(deviceRoot(), QString(), kFavoriteFile), kZKDeviceConnection);
    QSqlQuery query(db);
    if (db.isOpen())
        query.exec(QStringLiteral("select %1 from MyFavorite").arg(columns.join(QLatin1Char(','))));
    return query;
}

QString ZKDeviceDB::pickLanguageText(const QString &text, const QString &languageCode)
{
    if (!text.startsWith(QLatin1Char('\\')))
        return text;
    const QStringList pieces = text.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    if (pieces.isEmpty())
        return QString();
    for (const QString &prefix : {languageCode + QLatin1Char(' '), QStringLiteral("ENG ")}) {
        for (const QString &piece : pieces) {
            if (piece.startsWith(prefix))
                return withoutFirstWord(piece);
        }
    }
    const QString &first = pieces.first();
    const QStringList words = first.split(QLatin1Char(' '));
    if (words.size() > 1 && words.first().size() == 3)
        return withoutFirstWord(first);
    return first;
}
