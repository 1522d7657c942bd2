#include "sql/FavoriteDbm.h"

#include "sql/ZKModel.h"

QString FavoriteDbm::databaseFile() const
{
    return zkDeviceFile(QStringLiteral("/data/poi/favorite.dat"));
}

QString FavoriteDbm::connectionName() const
{
    return kZKDeviceConnection;
}

QString FavoriteDbm::tableName() const
{
    return QStringLiteral("MyFavorite");
}
