#include "search/ZKTrackExport.h"

#include "env/OrvoUtility.h"
#include "env/ZKLogger.h"
#include "search/ZKDeviceDB.h"
#include "search/ZKTrackDP.h"
#include "util/ZKBinaryLogFormat.h"
#include "util/ZKGpxWriter.h"
#include "util/ZKTraceLog.h"

#include <QFileInfo>
#include <QVariant>
#include <QVector>

namespace {

const QString kGpxVersion = QStringLiteral("2.0");
const QString kFileStamp = QStringLiteral("yyyyMMddhhmmss");
// Rides of more GPS records than this are thinned when the caller asks for it.
constexpr qint64 kThinningThreshold = 30000;

qint64 gpsRecordCount(const QString &gpsLog)
{
    return qMax<qint64>(0, QFileInfo(gpsLog).size() - kZKLogHeaderSize) / kZKGpsLogRecordSize;
}

QString exportFolder()
{
    const QString configured = ZKDeviceDB::configuredExportDir();
    return configured.isEmpty() ? ZKTraceLog::dataDir() : configured;
}

} // namespace

QString exportTrackGpx(qint64 trackId, bool &uploaded, int flags)
{
    ZK_LOG_DEBUG(QStringLiteral("convering track %d...."), qint32(trackId));
    QVector<QVariant> row;
    ZKDeviceDB::selectTraceLogById(trackId, 0, {QStringLiteral("CreateTime"), QStringLiteral("Uploaded")}, row);
    if (row.size() != 2)
        return QString();
    uploaded = row.at(1).toBool();
    const qint64 key = qint64(row.at(0).toULongLong());
    const QString path =
        exportFolder() + QLatin1Char('/') + OrvoUtility::timeToString(key, kFileStamp) + QStringLiteral(".gpx");

    const QString gpsLog = ZKTraceLog::gpsLogPath(key);
    if (!QFileInfo::exists(gpsLog)) {
        ZK_LOG_ERROR(QStringLiteral("%s not exist"), gpsLog);
        return QString();
    }
    if ((flags & kZKExportNeedsTrainLog) && !QFileInfo::exists(ZKTraceLog::trainLogPath(key)))
        return QString();
    const bool thin = (flags & kZKExportThinLargeRides) && gpsRecordCount(gpsLog) > kThinningThreshold;
    ZKTrackDP provider;
    if (!provider.open(key, thin)) {
        ZK_LOG_ERROR(QStringLiteral("failed read log binary"));
        return QString();
    }
    if (!ZKGpxWriter(kGpxVersion, provider).write(path)) {
        ZK_LOG_ERROR(QStringLiteral("failed export gpx"));
        return QString();
    }
    return path;
}
