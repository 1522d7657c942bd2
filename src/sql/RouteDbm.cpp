#include "sql/RouteDbm.h"

#include "sql/ZKModel.h"

RouteDbm::RouteDbm(const QString &path)
    : m_path(path)
{}

void RouteDbm::setPath(const QString &path)
{
    m_path = path;
}

QString RouteDbm::path() const
{
    return m_path;
}

QString RouteDbm::databaseFile() const
{
    return m_path;
}

QString RouteDbm::connectionName() const
{
    return kZKDeviceConnection;
}

QString RouteDbm::tableName() const
{
    return QStringLiteral("Route");
}
