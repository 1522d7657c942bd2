#pragma once

#include "sql/ZKDbModel.h"
#include "sql/ZKTrainModel.h"

// The workouts of route.dat.
class ZKWorkoutModel : public ZKTrainModel, public ZKDbModel
{
public:
    QString databaseFile() const override;
    QString connectionName() const override;
    QString tableName() const override;
};
