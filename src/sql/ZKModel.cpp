#include "sql/ZKModel.h"

#include "env/ZKLogger.h"
#include "sql/ZKDbModel.h"
#include "sql/ZKSqlLogging.h"

#include <QMutex>
#include <QMutexLocker>
#include <QSqlError>
#include <QThread>

namespace {

const QString kDriver = QStringLiteral("QSQLITE");
const QString kRouteDatabase = QStringLiteral("/data/route/route.dat");

QMutex g_finderMutex;
ZKDeviceFileFinder g_finder;

QMutex g_workoutFileMutex;
QString g_workoutFile;

QString placeholders(qsizetype count)
{
    QStringList marks;
    marks.reserve(count);
    for (qsizetype i = 0; i < count; ++i)
        marks.append(QStringLiteral("?"));
    return marks.join(QLatin1Char(','));
}

void bindValues(QSqlQuery &query, const ZKDbModel &model)
{
    for (qsizetype i = 0; i < model.valueCount(); ++i)
        query.addBindValue(model.valueAt(i));
}

// The statement's own error: the connection's stays empty when a statement fails.
void logFailure(const QSqlQuery &query, const ZKDbModel &model)
{
    ZK_LOG_ERROR(QStringLiteral("SQL:%s\nError:%s"), query.lastQuery(), query.lastError().text());
    for (qsizetype i = 0; i < model.valueCount(); ++i)
        ZK_LOG_ERROR(QStringLiteral("bind col=%d, val=%s"), i, model.valueAt(i).toString());
}

// Prepares the statement on the model's open database, binds and runs it.
bool execute(const QString &statement, ZKDbModel &model, QSqlQuery &query)
{
    query.prepare(statement);
    bindValues(query, model);
    if (query.exec())
        return true;
    logFailure(query, model);
    return false;
}

// A file that did not open was logged by zkOpenDatabase (an empty name is no file at all).
bool run(const QString &statement, ZKDbModel &model)
{
    const QSqlDatabase db = zkOpenDatabase(model.databaseFile(), model.connectionName());
    if (!db.isOpen())
        return false;
    QSqlQuery query(db);
    return execute(statement, model, query);
}

// The insert as it would read with its values in place, for the debug log.
QString filledInsert(const ZKDbModel &model)
{
    QStringList texts;
    texts.reserve(model.valueCount());
    for (qsizetype i = 0; i < model.valueCount(); ++i)
        texts.append(model.valueAt(i).toString());
    return QStringLiteral("insert into %1 (%2) values (%3)")
        .arg(model.tableName(), model.columns().join(QLatin1Char(',')), texts.join(QLatin1Char(',')));
}

} // namespace

QString zkThreadConnectionName(const QString &connectionName)
{
    return connectionName + QLatin1Char('@') + QString::number(quintptr(QThread::currentThreadId()), 16);
}

QSqlDatabase zkOpenDatabase(const QString &file, const QString &connectionName)
{
    const QString name = zkThreadConnectionName(connectionName);
    QSqlDatabase db = QSqlDatabase::database(name, false);
    if (!db.isValid())
        db = QSqlDatabase::addDatabase(kDriver, name);
    if (file.isEmpty()) {
        // QSQLITE would open a temporary database for an empty name.
        db.close();
        db.setDatabaseName(QString());
        return db;
    }
    if (db.databaseName() == file && db.isOpen())
        return db;
    db.close();
    db.setDatabaseName(file);
    if (!db.open())
        ZK_LOG_ERROR(QStringLiteral("opendb %s Error:%s"), file, db.lastError().text());
    return db;
}

QString zkSelectStatement(const ZKDbModel &model)
{
    QString statement =
        QStringLiteral("select %1 from %2").arg(model.columns().join(QLatin1Char(',')), model.tableName());
    if (!model.where().isEmpty())
        statement += QStringLiteral(" where %1").arg(model.where());
    if (!model.orderBy().isEmpty())
        statement += QLatin1Char(' ') + model.orderBy();
    return statement;
}

QString zkDeleteStatement(const ZKDbModel &model)
{
    return QStringLiteral("delete from %1 where %2").arg(model.tableName(), model.where());
}

QString zkInsertStatement(const ZKDbModel &model)
{
    const QStringList columns = model.columns();
    return QStringLiteral("insert into %1 (%2) values (%3)")
        .arg(model.tableName(), columns.join(QLatin1Char(',')), placeholders(columns.size()));
}

QString zkUpdateStatement(const ZKDbModel &model)
{
    QStringList assignments;
    for (const QString &column : model.columns())
        assignments.append(QStringLiteral("%1=?").arg(column));
    return QStringLiteral("update %1 set %2 where %3")
        .arg(model.tableName(), assignments.join(QLatin1Char(',')), model.where());
}

QSqlQuery zkSelect(ZKDbModel &model)
{
    const QSqlDatabase db = zkOpenDatabase(model.databaseFile(), model.connectionName());
    QSqlQuery query(db);
    if (db.isOpen())
        execute(zkSelectStatement(model), model, query);
    return query;
}

bool zkDelete(ZKDbModel &model)
{
    return run(zkDeleteStatement(model), model);
}

bool zkInsert(ZKDbModel &model)
{
    const QString statement = zkInsertStatement(model);
    if (model.columns().size() != model.valueCount()) {
        ZK_LOG_ERROR(QStringLiteral("miss match column and values for sql cmd: %s"), statement);
        return false;
    }
    const QSqlDatabase db = zkOpenDatabase(model.databaseFile(), model.connectionName());
    if (!db.isOpen())
        return false;
    qCDebug(lcZKSql) << filledInsert(model);
    QSqlQuery query(db);
    if (!execute(statement, model, query))
        return false;
    model.setLastInsertId(query.lastInsertId());
    return true;
}

bool zkUpdate(ZKDbModel &model)
{
    return run(zkUpdateStatement(model), model);
}

void closeDeviceDatabases()
{
    for (const QString &connection : {kZKMapTileConnection, kZKDeviceConnection, kZKPoiConnection}) {
        const QString name = zkThreadConnectionName(connection);
        if (!QSqlDatabase::contains(name))
            continue;
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }
}

void zkSetDeviceFileFinder(ZKDeviceFileFinder finder)
{
    {
        QMutexLocker lock(&g_finderMutex);
        g_finder = std::move(finder);
    }
    zkResetWorkoutDatabaseFile();
}

QString zkDeviceFile(const QString &relativePath)
{
    ZKDeviceFileFinder finder;
    {
        QMutexLocker lock(&g_finderMutex);
        finder = g_finder;
    }
    return finder ? finder(relativePath) : QString();
}

QString zkWorkoutDatabaseFile()
{
    QMutexLocker lock(&g_workoutFileMutex);
    if (g_workoutFile.isEmpty())
        g_workoutFile = zkDeviceFile(kRouteDatabase);
    return g_workoutFile;
}

void zkResetWorkoutDatabaseFile()
{
    QMutexLocker lock(&g_workoutFileMutex);
    g_workoutFile.clear();
}
