#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

#include <functional>

class ZKDbModel;

// The connections of the device databases. A connection may only be used by the thread that
// made it and every device client has a worker thread of its own, so each name is opened once
// per thread (see zkThreadConnectionName).
inline const QString kZKDeviceConnection = QStringLiteral("zkddb");
inline const QString kZKPoiConnection = QStringLiteral("zkpoi");
inline const QString kZKMapTileConnection = QStringLiteral("map_tile_0");

// The calling thread's Qt connection for one of the names above.
QString zkThreadConnectionName(const QString &connectionName);

// Points the calling thread's connection at the file and opens it, unless it is open on that
// file already. An empty file name closes the connection and opens nothing. The connection is
// returned whether it opened or not.
QSqlDatabase zkOpenDatabase(const QString &file, const QString &connectionName);

// The statements of the four operations as the model describes them.
QString zkSelectStatement(const ZKDbModel &model);
QString zkDeleteStatement(const ZKDbModel &model);
QString zkInsertStatement(const ZKDbModel &model);
QString zkUpdateStatement(const ZKDbModel &model);

// Each opens the model's file, binds the model's values in order and runs its statement. A
// select on a file that did not open comes back unexecuted, without rows.
QSqlQuery zkSelect(ZKDbModel &model);
bool zkDelete(ZKDbModel &model);
bool zkInsert(ZKDbModel &model);
bool zkUpdate(ZKDbModel &model);

// Closes and removes the calling thread's connections, so that no file on the drive stays
// open after an action.
void closeDeviceDatabases();

// Finds a file of the current device's tree from its path under the device root; empty when
// the file is not there. The database service installs one when it opens a device's
// databases, so that the models need not know where the device's roots are.
using ZKDeviceFileFinder = std::function<QString(const QString &relativePath)>;

// Replaces the finder for every thread and forgets the workout file the previous one found.
// Without a finder no device file is found.
void zkSetDeviceFileFinder(ZKDeviceFileFinder finder);

// A file of the device tree through the installed finder; empty when it does not exist.
QString zkDeviceFile(const QString &relativePath);

// The route database that holds the workouts, found once per device: the first lookup that
// finds it fixes it until the next device's databases are opened.
QString zkWorkoutDatabaseFile();
void zkResetWorkoutDatabaseFile();
