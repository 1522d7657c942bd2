#pragma once

#include <QString>

// The "metadata" block of a training-course document. Texts as read or set, never converted.
struct ZKTrncrsMetadata
{
    QString name;
    QString nameShtname;
    QString desc;
    QString author;
    QString authorShtname;
    QString time;
    QString sys;
    QString sysMajor;
    QString sysMinor;
    QString sysBuildmajor;
    QString sysBuildminor;
};
