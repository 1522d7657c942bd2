#include "BenchGalActivities.h"

#include "GalFolderBuilder.h"

#include <QDateTime>
#include <QTimeZone>

namespace BenchGalActivities {

bool writeDevice(const QString &root, int activities)
{
    const GalFolderBuilder device(root);
    if (!device.setDeviceIni(GalFolderBuilder::DeviceIni{}))
        return false;
    const QDateTime first(QDate(2024, 1, 1), QTime(6, 0), QTimeZone::utc());
    for (int i = 0; i < activities; ++i) {
        const QDateTime start = first.addSecs(60 * qint64(i));
        GalFolderBuilder::Activity activity;
        activity.fileName = start.toString(QStringLiteral("yyMMddHHmmss")) + QStringLiteral(".gal");
        activity.start = quint32(start.toSecsSinceEpoch());
        activity.end = activity.start + 50;
        if (!device.addActivity(activity))
            return false;
    }
    return true;
}

} // namespace BenchGalActivities
