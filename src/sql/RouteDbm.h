#pragma once

#include "sql/ZKDbModel.h"

// The routes of a route.dat that its user names: a route database may lie under either root.
class RouteDbm : public ZKDbModel
{
public:
    explicit RouteDbm(const QString &path = QString());

    void setPath(const QString &path);
    QString path() const;

    QString databaseFile() const override;
    QString connectionName() const override;
    QString tableName() const override;

private:
    QString m_path;
};
