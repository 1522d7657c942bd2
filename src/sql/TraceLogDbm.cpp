#include "sql/TraceLogDbm.h"

#include "sql/ZKModel.h"

QString TraceLogDbm::databaseFile() const
{
    return zkDeviceFile(QStringLiteral("/data/route/route.dat"));
}

QString TraceLogDbm::connectionName() const
{
    return kZKDeviceConnection;
}

QString TraceLogDbm::tableName() const
{
    return QStringLiteral("TraceLog");
}
