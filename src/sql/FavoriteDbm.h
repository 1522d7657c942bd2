#pragma once

#include "sql/ZKDbModel.h"

// The user's favourite places of favorite.dat.
class FavoriteDbm : public ZKDbModel
{
public:
    QString databaseFile() const override;
    QString connectionName() const override;
    QString tableName() const override;
};
