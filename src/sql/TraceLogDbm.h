#pragma once

#include "sql/ZKDbModel.h"

// The rides of route.dat.
class TraceLogDbm : public ZKDbModel
{
public:
    QString databaseFile() const override;
    QString connectionName() const override;
    QString tableName() const override;
};
