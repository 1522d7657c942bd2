#include "lumolib/LumoCallLog.h"

#include <QFile>

void LumoCallLog::append(const char *function, const QStringList &arguments, qint64 result)
{
    const QString path = qEnvironmentVariable(kVariable);
    if (path.isEmpty())
        return;
    QStringList fields{QLatin1String(function)};
    fields << arguments << QStringLiteral("=%1").arg(result);
    QFile log(path);
    if (log.open(QIODevice::WriteOnly | QIODevice::Append))
        log.write(fields.join(QLatin1Char('\t')).toUtf8() + '\n');
}
