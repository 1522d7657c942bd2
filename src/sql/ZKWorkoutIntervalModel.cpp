#include "sql/ZKWorkoutIntervalModel.h"

#include "sql/ZKModel.h"

QString ZKWorkoutIntervalModel::databaseFile() const
{
    return zkWorkoutDatabaseFile();
}

QString ZKWorkoutIntervalModel::connectionName() const
{
    return kZKDeviceConnection;
}

QString ZKWorkoutIntervalModel::tableName() const
{
    return QStringLiteral("WorkoutInterval");
}
