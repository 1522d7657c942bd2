#pragma once

#include <QString>

class ZKGpx1;

// The context of the ZK device code: the data folder of the attached device on this computer,
// the device's version text and model name, and the names of the files a ride leaves in the
// data folder. Workers read it while the GUI thread sets it, so every access is locked and
// getters answer copies.
class ZKTraceLog
{
public:
    // Stores the folder and creates it with its missing parents.
    static void setDataDir(const QString &path);
    static QString dataDir();
    static void setDeviceVersion(const QString &version);
    static QString deviceVersion();
    static void setModelName(const QString &name);
    static QString modelName();

    // Devices whose version text begins with "ZK2" are the newer firmware generation.
    static bool isNonZk2Version();

    // The files of the ride with this key (its idRoute, equal to its CreateTime).
    static QString gpsLogPath(qint64 key);
    static QString trainLogPath(qint64 key);
    static QString st2XmlPath(qint64 key);
    static QString staXmlPath(qint64 key);
    static QString wrkXmlPath(qint64 key);
    static QString usrXmlPath(qint64 key);
    static QString plnXmlPath(qint64 key);
    static QString dbgLogPath(qint64 key);

    // The OR of the comma-separated unsigned numbers of a type text; a part that is no number
    // counts 0.
    static quint16 typeMask(const QString &text);

    // Writes a shared route or track as a planned-trip GPS log at path: every track point, a
    // track-end copy of the last point between tracks, then the route points marked as planned.
    // True only when every record was written and the file saved; otherwise the previous file
    // stays as it was.
    static bool savePlannedTrip(const QString &path, const ZKGpx1 &gpx);
};
