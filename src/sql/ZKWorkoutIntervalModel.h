#pragma once

#include "sql/ZKDbModel.h"
#include "sql/ZKTrainModel.h"

// The intervals of the workouts of route.dat; their wid is the workout's row id.
class ZKWorkoutIntervalModel : public ZKTrainModel, public ZKDbModel
{
public:
    QString databaseFile() const override;
    QString connectionName() const override;
    QString tableName() const override;
};
