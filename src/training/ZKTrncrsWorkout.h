#pragma once

#include "training/ZKTrncrsInterval.h"

#include <QList>
#include <QString>

// One workout ("wrk") and its intervals in order. Names and descriptions may hold several
// languages joined as "\ENG text\DEU text".
struct ZKTrncrsWorkout
{
    QString id;
    QString orgid;
    QString daily;
    QString repeat;
    QString type;
    QString subtype;
    QString listOrder;
    QString acttype;
    QString desc;
    QString name;
    QString nameShtname;
    QString time;
    QString route;
    QString routeId;
    QList<ZKTrncrsInterval> intervals;
};
