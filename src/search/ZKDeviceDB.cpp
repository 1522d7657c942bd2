#include "search/ZKDeviceDB.h"

#include "env/OrvoSaveFile.h"
#include "env/OrvoTimeText.h"
#include "env/OrvoUtility.h"
#include "env/ZKLogger.h"
#include "search/ZKTrackExport.h"
#include "sql/FavoriteDbm.h"
#include "sql/RouteDbm.h"
#include "sql/TraceLogDbm.h"
#include "sql/ZKModel.h"
#include "sql/ZKWorkoutIntervalModel.h"
#include "sql/ZKWorkoutModel.h"
#include "training/ZKTrnWriter.h"
#include "training/ZKTrncrs.h"
#include "training/ZKTrncrsReader.h"
#include "training/ZKWorkout.h"
#include "util/ZKBinaryLogFormat.h"
#include "util/ZKGeoPoint.h"
#include "util/ZKGpx2.h"
#include "util/ZKGpxReader.h"
#include "util/ZKTraceLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QSqlError>
#include <QSqlRecord>
#include <QXmlStreamReader>

#include <array>
#include <functional>
#include <limits>
#include <optional>

namespace {

const QString kPoiFile = QStringLiteral("/data/poi/poi.dat");
const QString kPoiBackup = QStringLiteral("/data/poi/poi.000");
const QString kRouteFile = QStringLiteral("/data/route/route.dat");
const QString kRouteBackup = QStringLiteral("/data/route/route.000");
const QString kRouteScript = QStringLiteral("/data/route/route.sql");
const QString kFavoriteFile = QStringLiteral("/data/poi/favorite.dat");
const QString kFavoriteBackup = QStringLiteral("/data/poi/favorite.000");
const QString kRouteFolder = QStringLiteral("/data/route");

// Listing with this activity or route type lists every type.
constexpr int kEveryType = 5;
// A ride is listed with checkFiles only when its GPS log holds more than the header and two
// records: a shorter one is no ride worth showing.
constexpr qint64 kLargestUnlistedGpsLog = kZKLogHeaderSize + 2 * kZKGpsLogRecordSize;
// The title the device gives a ride it has not finished.
const QString kPlaceholderTitle = QStringLiteral("...");

// The kinds of items that travel as share files.
enum ShareKind { ShareRoute = 1, ShareRide = 2, ShareWorkout = 3 };
// The route types a device keeps; a shared GPX's share type is the type of the route it becomes.
constexpr int kFirstRouteType = 1;
constexpr int kLastRouteType = 2;
constexpr int kCompressShareFile = 0x1;
constexpr int kShareCompressionLevel = 9;

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

// The route's own file, "<root>/data/route/route-<id>.gpx".
QString routeFilePath(const QString &root, qint64 id)
{
    return root + kRouteFolder + QStringLiteral("/route-%1.gpx").arg(id);
}

// Replaces the file only once every byte is on disk.
bool saveBytes(const QString &path, const QByteArray &bytes)
{
    QString error;
    if (saveFileBytes(path, bytes, error))
        return true;
    ZK_LOG_ERROR(QStringLiteral("can't write %s: %s"), path, error);
    return false;
}

bool copyOver(const QString &source, const QString &destination)
{
    if (OrvoUtility::copyFile(source, destination, true, 1, 0, {}, false, 0, nullptr))
        return true;
    ZK_LOG_ERROR(QStringLiteral("can't copy %s to %s"), source, destination);
    return false;
}

// Rows titled "..." are rides the device never finished: their files and rows go.
void removePlaceholderRides(TraceLogDbm &model)
{
    const QStringList columns = {QStringLiteral("idRoute")};
    const QVector<QVariant> values = {kPlaceholderTitle};
    model.setColumns(&columns);
    model.setValues(&values);
    model.setWhere(QStringLiteral("Title=?"));
    QVector<qint64> ids;
    {
        QSqlQuery query = zkSelect(model);
        while (query.next()) {
            bool isNumber = false;
            const qulonglong id = query.value(0).toULongLong(&isNumber);
            if (isNumber)
                ids.append(qint64(id));
        }
    }
    for (const qint64 id : ids) {
        QFile::remove(ZKTraceLog::trainLogPath(id));
        QFile::remove(ZKTraceLog::gpsLogPath(id));
        QFile::remove(ZKTraceLog::staXmlPath(id));
    }
    zkDelete(model);
    model.setValues(nullptr);
}

// The Route columns addRoute fills, in the order they are inserted.
const QStringList kRouteColumns = {
    QStringLiteral("Title"),      QStringLiteral("Abstract"),     QStringLiteral("Author"),
    QStringLiteral("CreateTime"), QStringLiteral("StartCountry"), QStringLiteral("EndCountry"),
    QStringLiteral("StartPlace"), QStringLiteral("EndPlace"),     QStringLiteral("LDLon"),
    QStringLiteral("LDLat"),      QStringLiteral("RTLon"),        QStringLiteral("RTLat"),
    QStringLiteral("TravelTime"), QStringLiteral("TotalLength"),  QStringLiteral("ActiveType"),
    QStringLiteral("RouteType"),
};

// A route's time: 0 when the document has none, -1 when its text does not parse.
qint64 routeCreateTime(const QString &text)
{
    if (text.isEmpty())
        return 0;
    bool parsed = false;
    const std::time_t seconds = parseUtcTime(text, &parsed);
    return parsed ? qint64(seconds) : -1;
}

QString microDegreesText(const QString &degrees)
{
    return QString::number(ZKGeoPoint::e6FromDegreesText(degrees));
}

// The values of kRouteColumns; all texts but the time.
QVector<QVariant> routeValues(int routeType, const ZKGpxMetadata &m)
{
    return {m.name,
            m.desc,
            m.authorName,
            routeCreateTime(m.time),
            m.sctry,
            m.ectry,
            m.splace,
            m.eplace,
            microDegreesText(m.minlon),
            microDegreesText(m.minlat),
            microDegreesText(m.maxlon),
            microDegreesText(m.maxlat),
            m.trvtime,
            m.trvdist,
            m.acttype,
            QString::number(routeType)};
}

// A stored route of the same title and total length. "is" also matches two NULLs, which a
// route without title or length has.
bool routeExists(RouteDbm &model, const QString &title, const QString &totalLength)
{
    const QStringList columns = {QStringLiteral("idRoute")};
    const QVector<QVariant> values = {title, totalLength};
    model.setColumns(&columns);
    model.setValues(&values);
    model.setWhere(QStringLiteral("Title is ? and TotalLength is ?"));
    const bool found = zkSelect(model).next();
    model.setValues(nullptr);
    model.setWhere(QString());
    return found;
}

// Replaces the share file by its unpacked form. False, with the file left in place, when it
// unpacks to nothing or cannot be written; a file that cannot be read is taken as it is.
bool unpackShareFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return true;
    const QByteArray unpacked = qUncompress(file.readAll());
    file.close();
    if (unpacked.isEmpty()) {
        ZK_LOG_ERROR(QStringLiteral("share file %s does not unpack"), path);
        return false;
    }
    return saveBytes(path, unpacked);
}

// The share type of a document, 0 when it has none that reads as a number.
int shareTypeOf(const ZKGpx1 &gpx)
{
    bool isNumber = false;
    const int type = gpx.metadata ? gpx.metadata->sharetype.toInt(&isNumber) : 0;
    return isNumber ? type : 0;
}

// A route of the document's title and length is in the device's route table.
bool sharedRouteStored(const ZKGpx1 &gpx)
{
    const QString file = ZKDeviceDB::findDeviceFile(ZKDeviceDB::deviceRoot(), QString(), kRouteFile);
    if (file.isEmpty())
        return false;
    const ZKGpxMetadata metadata = gpx.metadata.value_or(ZKGpxMetadata());
    RouteDbm model(file);
    return routeExists(model, metadata.name, metadata.trvdist);
}

// Stores a shared GPX document as a route with its route file; the newer devices read routes
// as planned-trip logs, the older ones as GPX. A route the device holds already counts as
// stored. False, with the reason logged, when the device does not hold the route afterwards.
bool storeSharedRoute(const QString &path, const ZKGpx1 &gpx)
{
    const int type = shareTypeOf(gpx);
    if (type < kFirstRouteType || type > kLastRouteType) {
        ZK_LOG_ERROR(QStringLiteral("share file %s is no route of share type 1 or 2 (type %s)"), path, type);
        return false;
    }
    const int id = ZKDeviceDB::addRoute(type, gpx);
    if (id < 0) {
        if (sharedRouteStored(gpx))
            return true;
        ZK_LOG_ERROR(QStringLiteral("share file %s: its route could not be stored"), path);
        return false;
    }
    const QString routeFile = routeFilePath(ZKDeviceDB::deviceRoot(), id);
    QFile::remove(routeFile);
    const bool saved =
        ZKTraceLog::isNonZk2Version() ? copyOver(path, routeFile) : ZKTraceLog::savePlannedTrip(routeFile, gpx);
    if (saved)
        return true;
    // A route row without its file is a route the device cannot show.
    ZK_LOG_ERROR(QStringLiteral("share file %s: its route file could not be written"), path);
    ZKDeviceDB::deleteRoute(id, 0);
    return false;
}

// The workout a ride followed: the id of the first "wrklog" of its workout log.
std::optional<int> followedWorkout(const QString &workoutLog)
{
    QFile file(workoutLog);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QXmlStreamReader reader(&file);
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement || reader.name() != QLatin1String("wrklog"))
            continue;
        bool isNumber = false;
        const int id = reader.attributes().value(QLatin1String("id")).toInt(&isNumber);
        return isNumber ? std::optional<int>(id) : std::nullopt;
    }
    return std::nullopt;
}

// The files of a deleted ride, and the workout it followed when that was meant to be used once.
void removeRideFiles(qint64 key)
{
    QFile::remove(ZKTraceLog::trainLogPath(key));
    QFile::remove(ZKTraceLog::gpsLogPath(key));
    QFile::remove(ZKTraceLog::staXmlPath(key));
    const QString workoutLog = ZKTraceLog::wrkXmlPath(key);
    if (const std::optional<int> wid = followedWorkout(workoutLog)) {
        const std::unique_ptr<ZKWorkout> workout = ZKDeviceDB::readWorkoutHeader(*wid);
        if (workout && workout->isOneShot())
            ZKDeviceDB::deleteWorkoutOf(*workout);
    }
    QFile::remove(workoutLog);
    QFile::remove(ZKTraceLog::usrXmlPath(key));
    QFile::remove(ZKTraceLog::st2XmlPath(key));
    QFile::remove(ZKTraceLog::plnXmlPath(key));
    QFile::remove(ZKTraceLog::dbgLogPath(key));
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
    // The models find this device's files from now on, and the workout file of the previous
    // device no longer serves.
    zkSetDeviceFileFinder(
        [](const QString &relativePath) { return findDeviceFile(ZKDeviceDB::deviceRoot(), QString(), relativePath); });
    if (deviceRoot.isEmpty()) {
        ZK_LOG_ERROR(QStringLiteral("no device root: no database opened"));
        return;
    }
    // Made only inside a root that is there: the root of a drive that was pulled is not made
    // anew on the computer's disk.
    OrvoUtility::makeFolderBelow(deviceRoot, deviceRoot + QStringLiteral("/data/poi"));
    OrvoUtility::makeFolderBelow(deviceRoot, deviceRoot + QStringLiteral("/data/route"));
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

QString ZKDeviceDB::configuredExportDir()
{
    return roots().exportDir;
}

QString ZKDeviceDB::findDeviceFile(const QString &root, const QString &alternativeRoot, const QString &relativePath)
{
    for (const QString &base : {root, alternativeRoot}) {
        // An empty root holds nothing: joined with the relative path it would name a file of
        // the computer.
        if (base.isEmpty())
            continue;
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
    const Roots current = roots();
    const QString root = rootIndex == 0 ? current.device : rootIndex == 1 ? current.second : QString();
    *known = !root.isEmpty();
    return root;
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

qint64 ZKDeviceDB::itemId(qint64 rowId, int rootIndex)
{
    return (qint64(rootIndex) << 32) | quint32(rowId);
}

bool ZKDeviceDB::listTracks(int activityType, QVector<ZKTrackEntry> &tracks, bool checkFiles)
{
    TraceLogDbm model;
    if (model.databaseFile().isEmpty())
        return true;
    removePlaceholderRides(model);
    const QStringList columns = {QStringLiteral("idRoute"), QStringLiteral("Title")};
    const QVector<QVariant> values = {activityType};
    model.setColumns(&columns);
    model.setOrderBy(QStringLiteral("order by StartTime desc"));
    if (activityType == kEveryType) {
        model.setWhere(QStringLiteral("pause is null or pause=0"));
    } else {
        model.setWhere(QStringLiteral("(pause is null or pause=0) and ActivityType=?"));
        model.setValues(&values);
    }
    QSqlQuery query = zkSelect(model);
    if (!query.isActive())
        return false;
    while (query.next()) {
        const qint64 id = query.value(0).toLongLong();
        if (checkFiles && QFileInfo(ZKTraceLog::gpsLogPath(id)).size() <= kLargestUnlistedGpsLog)
            continue;
        tracks.append(ZKTrackEntry{itemId(id, 0), query.value(1).toString()});
    }
    return true;
}

bool ZKDeviceDB::deleteTrack(qint64 itemId)
{
    TraceLogDbm model;
    if (model.databaseFile().isEmpty())
        return false;
    const QStringList columns = {QStringLiteral("CreateTime")};
    const QVector<QVariant> values = {qint64(quint32(itemId))};
    model.setColumns(&columns);
    model.setValues(&values);
    model.setWhere(QStringLiteral("idRoute=?"));
    qint64 key = 0;
    {
        QSqlQuery query = zkSelect(model);
        if (!query.next())
            return false;
        key = qint64(query.value(0).toULongLong());
    }
    // The row goes first: a ride whose row stays keeps its files.
    if (!zkDelete(model))
        return false;
    removeRideFiles(key);
    return true;
}

void ZKDeviceDB::setTrackUploaded(qint64 id, int rootIndex, bool uploaded)
{
    updateById(QStringLiteral("TraceLog"), id, rootIndex, {QStringLiteral("Uploaded")}, {uploaded ? 1 : 0});
}

void ZKDeviceDB::listRoutes(int routeType, QMap<qint64, QString> &routes, const QString &alternativeRoot)
{
    listRoutesOfType(routeType, routes, deviceRoot(), 0, alternativeRoot);
    listRoutesOfType(routeType, routes, secondRoot(), 1, alternativeRoot);
}

void ZKDeviceDB::listRoutesOfType(int routeType, QMap<qint64, QString> &routes, const QString &root, int rootIndex,
                                  const QString &alternativeRoot)
{
    const QString file = findDeviceFile(root, alternativeRoot, kRouteFile);
    if (file.isEmpty())
        return;
    RouteDbm model(file);
    const QStringList columns = {QStringLiteral("idRoute"), QStringLiteral("Title")};
    const QVector<QVariant> values = {routeType};
    model.setColumns(&columns);
    model.setOrderBy(QStringLiteral("order by Title"));
    if (routeType != kEveryType) {
        model.setWhere(QStringLiteral("RouteType=?"));
        model.setValues(&values);
    }
    QSqlQuery query = zkSelect(model);
    while (query.next())
        routes.insert(itemId(query.value(0).toLongLong(), rootIndex), query.value(1).toString());
}

int ZKDeviceDB::addRoute(int routeType, const ZKGpx1 &gpx)
{
    const QString file = findDeviceFile(deviceRoot(), QString(), kRouteFile);
    if (file.isEmpty() || routeType < kFirstRouteType || routeType > kLastRouteType)
        return -1;
    const ZKGpxMetadata metadata = gpx.metadata.value_or(ZKGpxMetadata());
    RouteDbm model(file);
    if (routeExists(model, metadata.name, metadata.trvdist))
        return -1;
    const QVector<QVariant> values = routeValues(routeType, metadata);
    model.setColumns(&kRouteColumns);
    model.setValues(&values);
    if (!zkInsert(model))
        return -1;
    return model.lastInsertId().toInt();
}

bool ZKDeviceDB::deleteRoute(qint64 id, int rootIndex)
{
    bool known = false;
    const QString root = rootOf(rootIndex, &known);
    const QString file = known ? findDeviceFile(root, QString(), kRouteFile) : QString();
    if (file.isEmpty())
        return false;
    RouteDbm model(file);
    const QVector<QVariant> values = {id};
    model.setWhere(QStringLiteral("idRoute=?"));
    model.setValues(&values);
    if (!zkDelete(model))
        return false;
    QFile::remove(routeFilePath(root, id));
    return true;
}

QString ZKDeviceDB::exportRoute(qint64 id, int rootIndex, bool &uploaded)
{
    bool known = false;
    const QString root = rootOf(rootIndex, &known);
    if (!known)
        return QString();
    QVector<QVariant> values;
    selectRouteById(id, rootIndex, {QStringLiteral("Route"), QStringLiteral("Uploaded")}, values);
    const bool hasRow = values.size() == 2;
    if (hasRow)
        uploaded = values.at(1).toBool();
    const QString staged = exportDir() + QStringLiteral("/export-%1.gpx").arg(id);
    QFile::remove(staged);
    const QString routeFile = routeFilePath(root, id);
    if (QFileInfo::exists(routeFile))
        return copyOver(routeFile, staged) ? staged : QString();
    // Without its file and its row there is nothing to stage.
    if (!hasRow || !saveBytes(staged, values.at(0).toString().toUtf8()))
        return QString();
    // From now on the route lives in its file; the column keeps an empty text, not NULL.
    if (copyOver(staged, routeFile))
        updateRoute(id, rootIndex, {QStringLiteral("Route")}, {QString(QLatin1String(""))});
    return staged;
}

bool ZKDeviceDB::updateRoute(qint64 id, int rootIndex, const QStringList &columns, const QVector<QVariant> &values)
{
    bool known = false;
    const QString root = rootOf(rootIndex, &known);
    const QString file = known ? findDeviceFile(root, QString(), kRouteFile) : QString();
    if (file.isEmpty())
        return false;
    RouteDbm model(file);
    model.setColumns(&columns);
    model.setValues(&values);
    model.setWhere(QStringLiteral("idRoute=%1").arg(id));
    return zkUpdate(model);
}

void ZKDeviceDB::listFavorites(QMap<qint64, QString> &favorites)
{
    FavoriteDbm model;
    if (model.databaseFile().isEmpty())
        return;
    const QStringList columns = {QStringLiteral("idMyFavorite"), QStringLiteral("Name")};
    model.setColumns(&columns);
    model.setOrderBy(QStringLiteral("order by Name"));
    QSqlQuery query = zkSelect(model);
    while (query.next())
        favorites.insert(itemId(query.value(0).toLongLong(), 0), query.value(1).toString());
}

bool ZKDeviceDB::readFavorite(qint64 itemId, ZKFavoriteRecord &record)
{
    FavoriteDbm model;
    if (model.databaseFile().isEmpty())
        return false;
    const QStringList columns = {
        QStringLiteral("Name"),        QStringLiteral("Tel"),        QStringLiteral("Place"),
        QStringLiteral("Info"),        QStringLiteral("Longitude"),  QStringLiteral("Latitude"),
        QStringLiteral("Country"),     QStringLiteral("RecordTime"), QStringLiteral("RoadName"),
        QStringLiteral("HouseNumber"),
    };
    const quint32 id = quint32(itemId);
    const QVector<QVariant> values = {qint64(id)};
    model.setColumns(&columns);
    model.setValues(&values);
    model.setWhere(QStringLiteral("idMyFavorite=?"));
    QSqlQuery query = zkSelect(model);
    if (!query.next())
        return false;
    record.id = int(id);
    record.name = query.value(0).toString();
    record.telephone = query.value(1).toString();
    record.place = query.value(2).toString();
    record.info = query.value(3).toString();
    record.longitude = query.value(4).toInt();
    record.latitude = query.value(5).toInt();
    record.country = query.value(6).toString();
    record.recordTime = psfTimeText(std::time_t(query.value(7).toLongLong()));
    record.roadName = query.value(8).toString();
    record.houseNumber = query.value(9).toString();
    return true;
}

bool ZKDeviceDB::deleteFavorite(qint64 itemId)
{
    FavoriteDbm model;
    if (model.databaseFile().isEmpty())
        return true;
    const QVector<QVariant> values = {qint64(quint32(itemId))};
    model.setValues(&values);
    model.setWhere(QStringLiteral("idMyFavorite=?"));
    return zkDelete(model);
}

QString ZKDeviceDB::stageShareFile(int kind, qint64 itemId, bool &uploaded, int flags)
{
    switch (kind) {
    case ShareRoute:
        return exportRoute(quint32(itemId), int(itemId >> 32), uploaded);
    case ShareRide:
        return exportTrackGpx(itemId, uploaded, flags);
    case ShareWorkout: {
        const int wid = int(quint32(itemId));
        const QString path = exportDir() + QStringLiteral("/export-%1.wrk").arg(wid);
        QFile::remove(path);
        return exportWorkout(wid, path) ? path : QString();
    }
    default:
        return QString();
    }
}

QString ZKDeviceDB::exportShareFile(int kind, qint64 itemId, bool &uploaded, int flags)
{
    const QString path = stageShareFile(kind, itemId, uploaded, flags);
    if (path.isEmpty() || !(flags & kCompressShareFile) || !ZKTraceLog::isNonZk2Version())
        return path;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return path;
    const QByteArray packed = qCompress(file.readAll(), kShareCompressionLevel);
    file.close();
    return saveBytes(path, packed) ? path : QString();
}

bool ZKDeviceDB::importShareFile(const QString &path, bool compressed)
{
    if (compressed && ZKTraceLog::isNonZk2Version() && !unpackShareFile(path))
        return false;
    ZKGpx2 gpx;
    ZKGpxReader reader(gpx);
    const bool imported = reader.readFile(path) ? storeSharedRoute(path, gpx) : importWorkout(path);
    QFile::remove(path);
    return imported;
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

// Inside the caller's transaction: the workout row and its intervals. Intervals left behind
// would join the next workout that SQLite gives the same row id.
bool deleteWorkoutRows(qint64 rowId)
{
    ZKWorkoutModel workouts;
    ZKWorkoutIntervalModel intervals;
    return deleteRows(workouts, QStringLiteral("id=?"), rowId) && deleteRows(intervals, QStringLiteral("wid=?"), rowId);
}

// Inside the caller's transaction: the replaced workout goes, the new one comes with every
// interval. False at the first statement that fails.
bool insertWorkout(const ZKTrncrsWorkout &workout, const ZKTrncrsMetadata *metadata)
{
    // A workout without an orgid replaces nothing: read as 0 it would name the workout of wid 0.
    const int wid = unsignedNumber(workout.id);
    const int orgid = unsignedNumber(workout.orgid);
    if (!workout.orgid.trimmed().isEmpty() && orgid != wid) {
        const qint64 replaced = ZKDeviceDB::findWorkoutId(orgid);
        if (replaced >= 0 && !deleteWorkoutRows(replaced))
            return false;
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

// Runs the statements of one change of the workout database in one transaction: all of them
// are stored, or none. what names the change in the log.
bool inWorkoutTransaction(const QString &what, const std::function<bool()> &statements)
{
    QSqlDatabase db = zkOpenDatabase(zkWorkoutDatabaseFile(), kZKDeviceConnection);
    if (!db.isOpen() || !db.transaction()) {
        ZK_LOG_ERROR(QStringLiteral("can't %s: %s"), what, db.lastError().text());
        return false;
    }
    // A failed statement logged its own error; the connection's is the commit's.
    if (!statements()) {
        ZK_LOG_ERROR(QStringLiteral("can't %s"), what);
        db.rollback();
        return false;
    }
    if (db.commit())
        return true;
    ZK_LOG_ERROR(QStringLiteral("can't %s: %s"), what, db.lastError().text());
    db.rollback();
    return false;
}

bool storeWorkout(const ZKTrncrsWorkout &workout, const ZKTrncrsMetadata *metadata)
{
    return inWorkoutTransaction(QStringLiteral("store workout ") + workout.id,
                                [&] { return insertWorkout(workout, metadata); });
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

bool ZKDeviceDB::deleteWorkout(qint64 rowId)
{
    return inWorkoutTransaction(QStringLiteral("delete workout row %1").arg(rowId),
                                [rowId] { return deleteWorkoutRows(rowId); });
}

bool ZKDeviceDB::deleteWorkoutOf(const ZKWorkout &workout)
{
    return deleteWorkout(workout.rowId());
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
    if (!ZKTrncrsReader(&document).readFile(path)) {
        ZK_LOG_ERROR(QStringLiteral("%s reads as no route and no workout"), path);
        return false;
    }
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

bool ZKDeviceDB::exportWorkout(int wid, const QString &path, OneShot oneShot)
{
    const std::unique_ptr<ZKWorkout> workout = readWorkoutByWid(wid);
    if (!workout)
        return false;
    if (!ZKTrnWriter(kWorkoutVersion, *workout).write(path))
        return false;
    if (oneShot == OneShot::Remove && workout->isOneShot())
        deleteWorkoutOf(*workout);
    return true;
}
