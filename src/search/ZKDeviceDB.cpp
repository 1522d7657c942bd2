#include "search/ZKDeviceDB.h"

#include "env/OrvoTimeText.h"
#include "env/OrvoUtility.h"
#include "env/ZKLogger.h"
#include "sql/ZKModel.h"
#include "sql/ZKWorkoutIntervalModel.h"
#include "sql/ZKWorkoutModel.h"
#include "training/ZKTrnWriter.h"
#include "training/ZKTrncrs.h"
#include "training/ZKTrncrsReader.h"
#include "training/ZKWorkout.h"
#include "util/ZKGeoPoint.h"
#include "util/ZKTraceLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QSqlError>
#include <QSqlRecord>

#include <array>
#include <limits>

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

namespace {

// Workouts of this type are the planned ones the device lists apart.
constexpr int kPlannedWorkoutType = 5;
const QString kWorkoutVersion = QStringLiteral("1.3.0.9");

// Columns and their values for one insert, in the same order.
struct Row
{
    QStringList columns;
    QVector<QVariant> values;

    void add(const char *column, const QVariant &value)
    {
        columns.append(QLatin1String(column));
        values.append(value);
    }
};

QSqlQuery selectRows(ZKDbModel &model, const QStringList &columns, const QString &where,
                     const QVector<QVariant> &values, const QString &orderBy = QString())
{
    model.setColumns(&columns);
    model.setWhere(where);
    model.setValues(&values);
    model.setOrderBy(orderBy);
    return zkSelect(model);
}

bool deleteRows(ZKDbModel &model, const QString &where, qint64 id)
{
    const QVector<QVariant> values = {id};
    model.setWhere(where);
    model.setValues(&values);
    return zkDelete(model);
}

// The new row's id, or 0 when the insert failed.
qint64 insertRow(ZKDbModel &model, const Row &row)
{
    model.setColumns(&row.columns);
    model.setValues(&row.values);
    if (!zkInsert(model))
        return 0;
    return model.lastInsertId().toLongLong();
}

// A workout or interval number of a file: an unsigned decimal within int, else 0.
int unsignedNumber(const QString &text)
{
    bool ok = false;
    const uint value = text.toUInt(&ok);
    return ok && value <= uint(std::numeric_limits<int>::max()) ? int(value) : 0;
}

bool isTrue(const QString &text)
{
    return text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
}

// The device writes "true" and "false"; the import writes 1 and 0.
bool isTrueValue(const QVariant &value)
{
    return isTrue(value.toString()) || value.toString() == QLatin1String("1");
}

// The one-shot column: "false", 0 and NULL are false.
bool isOneShot(const QVariant &value)
{
    return !value.isNull() && value.toBool();
}

std::unique_ptr<ZKWorkout> workoutFromHeaderRow(const QSqlQuery &query)
{
    auto workout = std::make_unique<ZKWorkout>(query.value(QStringLiteral("wid")).toInt(),
                                               query.value(QStringLiteral("name")).toString());
    workout->setRowId(query.value(QStringLiteral("id")).toLongLong());
    workout->setOneShot(isOneShot(query.value(QStringLiteral("oneshot"))));
    const qint64 seconds = query.value(QStringLiteral("datetime")).toLongLong();
    if (seconds > 0)
        workout->setDateTime(QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC));
    return workout;
}

void readIntervalDuration(const QSqlRecord &record, ZKWorkoutInterval &interval)
{
    if (!record.isNull(QStringLiteral("durtype"))) {
        interval.duration().set(record.value(QStringLiteral("durtype")).toInt(),
                                record.value(QStringLiteral("durvalue")).toInt());
        if (!record.isNull(QStringLiteral("dursegstart")))
            interval.duration().setSegmentIndex(record.value(QStringLiteral("dursegstart")).toInt(),
                                                record.value(QStringLiteral("dursegend")).toInt());
    }
    if (!record.isNull(QStringLiteral("durismanual")))
        interval.setDurationIsManual(isTrueValue(record.value(QStringLiteral("durismanual"))));
}

ZKWorkoutInterval intervalFromRecord(const QSqlRecord &record)
{
    ZKWorkoutInterval interval(int(record.value(QStringLiteral("iid")).toUInt()),
                               record.value(QStringLiteral("name")).toString());
    interval.setNeedLap(record.value(QStringLiteral("needlap")).toInt() != 0);
    if (!record.isNull(QStringLiteral("targettype"))) {
        interval.setTarget(
            {record.value(QStringLiteral("targettype")).toInt(), record.value(QStringLiteral("targetlow")).toInt(),
             record.value(QStringLiteral("targethigh")).toInt(), record.value(QStringLiteral("targetishard")).toInt()});
    }
    readIntervalDuration(record, interval);
    if (!record.isNull(QStringLiteral("nextiid")))
        interval.setGoto(record.value(QStringLiteral("nextiid")).toInt(),
                         record.value(QStringLiteral("repeatcnt")).toInt());
    bool ok = false;
    const int resolution = record.value(QStringLiteral("logreso")).toInt(&ok);
    if (!record.isNull(QStringLiteral("logreso")) && ok)
        interval.setLogResolution(resolution);
    return interval;
}

Row workoutRow(const ZKTrncrsWorkout &workout, const ZKTrncrsMetadata *metadata)
{
    Row row;
    row.add("wid", unsignedNumber(workout.id));
    row.add("orgid", unsignedNumber(workout.orgid));
    row.add("daily", isTrue(workout.daily) ? 1 : 0);
    row.add("repeatcnt", workout.repeat.toInt());
    row.add("wtype", workout.type.toInt());
    row.add("subtype", workout.subtype.toInt());
    row.add("name", workout.name);
    row.add("desc", workout.desc);
    if (!workout.acttype.isEmpty())
        row.add("acttype", workout.acttype.toInt());
    const std::time_t time = parseUtcTime(workout.time);
    if (time != 0)
        row.add("datetime", qint64(time));
    row.add("createtime", metadata ? metadata->time : QString());
    if (!workout.listOrder.isEmpty())
        row.add("listOrder", workout.listOrder.toInt());
    return row;
}

void addDuration(Row &row, const ZKTrncrsDuration &duration)
{
    row.add("durtype", duration.type.toInt());
    row.add("durvalue", duration.value.toInt());
    row.add("durismanual", isTrue(duration.ismanual) ? 1 : 0);
    if (!duration.segidxStart.isEmpty() || !duration.segidxEnd.isEmpty()) {
        row.add("dursegstart", duration.segidxStart.toInt());
        row.add("dursegend", duration.segidxEnd.toInt());
    }
    if (!duration.locationLat.isEmpty() && !duration.locationLon.isEmpty()) {
        // Exact micro-degrees: through single precision the last digits of most places change.
        row.add("durlat", ZKGeoPoint::e6FromDegreesText(duration.locationLat));
        row.add("durlon", ZKGeoPoint::e6FromDegreesText(duration.locationLon));
    }
}

Row intervalRow(qint64 rowId, const ZKTrncrsInterval &interval)
{
    Row row;
    row.add("wid", rowId);
    row.add("iid", interval.id.toInt());
    row.add("needlap", isTrue(interval.needLap) ? 1 : 0);
    row.add("name", interval.name);
    if (interval.target) {
        row.add("targettype", interval.target->type.toInt());
        row.add("targetlow", interval.target->low.toInt());
        row.add("targethigh", interval.target->high.toInt());
        row.add("targetishard", isTrue(interval.target->ishardcon) ? 1 : 0);
    }
    if (interval.duration)
        addDuration(row, *interval.duration);
    if (!interval.gotoText.isEmpty()) {
        row.add("nextiid", interval.gotoText.toInt());
        row.add("repeatcnt", interval.gotoRepeat.toInt());
    }
    bool ok = false;
    const int resolution = interval.logreso.toInt(&ok);
    if (ok)
        row.add("logreso", resolution);
    return row;
}

// Inside the caller's transaction: the replaced workout goes, the new one comes with every
// interval. False at the first statement that fails.
bool insertWorkout(const ZKTrncrsWorkout &workout, const ZKTrncrsMetadata *metadata)
{
    const int wid = unsignedNumber(workout.id);
    const int orgid = unsignedNumber(workout.orgid);
    if (orgid != wid) {
        const qint64 replaced = ZKDeviceDB::findWorkoutId(orgid);
        if (replaced >= 0)
            ZKDeviceDB::deleteWorkout(replaced);
    }
    ZKWorkoutModel workouts;
    const qint64 rowId = insertRow(workouts, workoutRow(workout, metadata));
    if (rowId <= 0)
        return false;
    for (const ZKTrncrsInterval &interval : workout.intervals) {
        ZKWorkoutIntervalModel intervals;
        if (insertRow(intervals, intervalRow(rowId, interval)) <= 0)
            return false;
    }
    return true;
}

bool storeWorkout(const ZKTrncrsWorkout &workout, const ZKTrncrsMetadata *metadata)
{
    QSqlDatabase db = zkOpenDatabase(zkWorkoutDatabaseFile(), kZKDeviceConnection);
    if (!db.isOpen() || !db.transaction()) {
        ZK_LOG_ERROR(QStringLiteral("can't store workout %s: %s"), workout.id, db.lastError().text());
        return false;
    }
    if (insertWorkout(workout, metadata) && db.commit())
        return true;
    ZK_LOG_ERROR(QStringLiteral("can't store workout %s: %s"), workout.id, db.lastError().text());
    db.rollback();
    return false;
}

} // namespace

qint64 ZKDeviceDB::findWorkoutId(int wid)
{
    ZKWorkoutModel model;
    QSqlQuery query = selectRows(model, {QStringLiteral("id")}, QStringLiteral("wid=?"), {wid});
    if (!query.next())
        return -1;
    return query.value(0).toLongLong();
}

void ZKDeviceDB::deleteWorkout(qint64 rowId)
{
    ZKWorkoutModel workouts;
    deleteRows(workouts, QStringLiteral("id=?"), rowId);
    ZKWorkoutIntervalModel intervals;
    deleteRows(intervals, QStringLiteral("wid=?"), rowId);
}

void ZKDeviceDB::deleteWorkoutOf(const ZKWorkout &workout)
{
    deleteWorkout(workout.rowId());
}

std::unique_ptr<ZKWorkout> ZKDeviceDB::readWorkoutHeader(int wid)
{
    ZKWorkoutModel model;
    QSqlQuery query = selectRows(model,
                                 {QStringLiteral("id"), QStringLiteral("wid"), QStringLiteral("datetime"),
                                  QStringLiteral("name"), QStringLiteral("oneshot")},
                                 QStringLiteral("wid=?"), {wid});
    if (!query.next())
        return nullptr;
    return workoutFromHeaderRow(query);
}

std::unique_ptr<ZKWorkout> ZKDeviceDB::readWorkoutByWid(int wid)
{
    std::unique_ptr<ZKWorkout> workout;
    {
        ZKWorkoutModel model;
        QSqlQuery query = selectRows(model,
                                     {QStringLiteral("id"), QStringLiteral("wid"), QStringLiteral("wtype"),
                                      QStringLiteral("datetime"), QStringLiteral("name"), QStringLiteral("oneshot"),
                                      QStringLiteral("desc")},
                                     QStringLiteral("wid=?"), {wid});
        if (!query.next())
            return nullptr;
        workout = workoutFromHeaderRow(query);
        workout->setType(query.value(QStringLiteral("wtype")).toInt());
        workout->setDesc(query.value(QStringLiteral("desc")).toString());
    }
    if (!readWorkout(*workout))
        return nullptr;
    return workout;
}

bool ZKDeviceDB::readWorkout(ZKWorkout &workout)
{
    if (workout.isLoaded())
        return true;
    const QVector<QVariant> rowId = {workout.rowId()};
    ZKWorkoutModel workouts;
    QSqlQuery details =
        selectRows(workouts,
                   {QStringLiteral("orgid"), QStringLiteral("wtype"), QStringLiteral("daily"),
                    QStringLiteral("repeatcnt"), QStringLiteral("subtype"), QStringLiteral("createtime"),
                    QStringLiteral("oneshot"), QStringLiteral("desc"), QStringLiteral("listOrder")},
                   QStringLiteral("id=?"), rowId);
    if (!details.next())
        return false;
    workout.setOrgid(int(details.value(0).toUInt()));
    workout.setType(details.value(1).toInt());
    workout.setDaily(details.value(2).toInt() != 0);
    workout.setRepeat(details.value(3).toInt());
    workout.setSubtype(details.value(4).toInt());
    workout.setCreateTime(details.value(5).toString());
    workout.setOneShot(isOneShot(details.value(6)));
    workout.setDesc(details.value(7).toString());
    workout.setListOrder(details.value(8).toInt());

    ZKWorkoutIntervalModel intervals;
    QSqlQuery rows = selectRows(intervals, {QStringLiteral("*")}, QStringLiteral("wid=?"), rowId);
    while (rows.next())
        workout.appendInterval(intervalFromRecord(rows.record()));
    workout.setLoaded(true);
    return true;
}

void ZKDeviceDB::listWorkouts(std::vector<std::unique_ptr<ZKWorkout>> &workouts, bool plans)
{
    const QString where = plans ? QStringLiteral("wtype=? and (oneshot!='false' or oneshot is null)")
                                : QStringLiteral("wtype!=? and (oneshot='false' or oneshot is null)");
    const QString orderBy = plans ? QStringLiteral("order by name asc") : QStringLiteral("order by datetime desc");
    ZKWorkoutModel model;
    QSqlQuery query = selectRows(model,
                                 {QStringLiteral("id"), QStringLiteral("wid"), QStringLiteral("datetime"),
                                  QStringLiteral("name"), QStringLiteral("oneshot")},
                                 where, {kPlannedWorkoutType}, orderBy);
    while (query.next())
        workouts.push_back(workoutFromHeaderRow(query));
}

bool ZKDeviceDB::importWorkout(const QString &path)
{
    ZKTrncrs document;
    if (!ZKTrncrsReader(&document).readFile(path))
        return false;
    const ZKTrncrsMetadata *metadata = document.metadata() ? &*document.metadata() : nullptr;
    for (const ZKTrncrsWorkout &workout : document.workouts()) {
        if (findWorkoutId(unsignedNumber(workout.id)) >= 0) {
            ZK_LOG_DEBUG(QStringLiteral("workout %s is stored already"), workout.id);
            continue;
        }
        if (workout.intervals.isEmpty()) {
            ZK_LOG_ERROR(QStringLiteral("workout %s has no interval"), workout.id);
            return false;
        }
        if (!storeWorkout(workout, metadata))
            return false;
    }
    return true;
}

bool ZKDeviceDB::exportWorkout(int wid, const QString &path)
{
    const std::unique_ptr<ZKWorkout> workout = readWorkoutByWid(wid);
    if (!workout)
        return false;
    if (!ZKTrnWriter(kWorkoutVersion, *workout).write(path))
        return false;
    if (workout->isOneShot())
        deleteWorkoutOf(*workout);
    return true;
}
