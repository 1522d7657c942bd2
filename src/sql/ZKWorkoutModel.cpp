#include "sql/ZKWorkoutModel.h"

#include "sql/ZKModel.h"

QString ZKWorkoutModel::databaseFile() const
{
    return zkWorkoutDatabaseFile();
}

QString ZKWorkoutModel::connectionName() const
{
    return kZKDeviceConnection;
}

QString ZKWorkoutModel::tableName() const
{
    return QStringLiteral("Workout");
}
