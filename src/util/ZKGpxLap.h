#pragma once

#include <QString>

// One lap (`lap`) or the ride's summary (`summary`, whose order stays empty).
struct ZKGpxLap
{
    QString order;
    QString start;
    QString end;
    QString distance;
    QString calorie;
    QString step;
    QString altloss;
    QString altgain;
    QString speedMax;
    QString speedAvg;
    QString hrmMax;
    QString hrmAvg;
    QString cadMax;
    QString cadAvg;
    QString pwrMax;
    QString pwrAvg;
    QString rtime;
    QString gainaltlen;
    QString lostaltlen;
    QString gainalttime;
    QString lostalttime;

    bool operator==(const ZKGpxLap &) const = default;
};
