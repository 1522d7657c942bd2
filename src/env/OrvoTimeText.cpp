#include "env/OrvoTimeText.h"

#include <QDateTime>
#include <QTimeZone>

namespace {

const QString kUtcFormat = QStringLiteral("yyyy-MM-ddThh:mm:ssZ");

} // namespace

QString psfTimeText(std::time_t seconds)
{
    return QDateTime::fromSecsSinceEpoch(qint64(seconds), QTimeZone::utc()).toString(kUtcFormat);
}

std::time_t parseUtcTime(const QString &text)
{
    QDateTime time = QDateTime::fromString(text, kUtcFormat);
    if (!time.isValid())
        return 0;
    time.setTimeZone(QTimeZone::utc());
    return std::time_t(time.toSecsSinceEpoch());
}
