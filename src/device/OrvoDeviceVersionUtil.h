#pragma once

#include <QString>
#include <QStringList>

// Version queries over the drives of a file-system device. Such a device may show the computer
// more than one drive (its own storage and a map card), each with its own copy of the map
// engine and a version file; the scripting side reports the lowest version over all of them.
class OrvoDeviceVersionUtil
{
public:
    // For the models that keep their data on drives (names starting with "Kavel50", and
    // "Kavel60"): the device's own drive first, then every other removable FAT drive whose
    // vendor text holds "tarvex" (any case), in the platform's order. Empty for other models.
    static QStringList GetDriveDisks(const QString &model, const QString &ownDrive);

    // The key of folder + "/data/version.ini" (no group); "0.0.0.0" when it is missing.
    static QString GetGPSENGINEVersion(const QString &key, const QString &folder);

    // The lowest of dotted version texts, compared part by part (numerically where both parts
    // are numbers). Versions of different shapes can't be ordered: then, and for an empty
    // list, the answer is empty.
    static QString lowestVersion(const QStringList &versions);

    // Whether the model keeps its data and components on drives of its own.
    static bool isDriveModel(const QString &model);
};
