#include "emulator/OrvoPlatformSetting.h"

#include "emulator/OrvoPlatformSelection.h"

#include <QFileInfo>

QString OrvoPlatformSetting::problem(const QString &setting)
{
    const QString variable = QLatin1String(OrvoPlatformSelection::kVariable);
    if (setting.isEmpty())
        return {};
    const std::optional<QString> folder = OrvoPlatformSelection::emulatorFolder(setting);
    if (!folder)
        return QStringLiteral("%1=%2 is not a platform; leave it unset for this computer's devices or set "
                              "\"emulator:<folder>\"")
            .arg(variable, setting);
    if (folder->isEmpty())
        return QStringLiteral("%1=%2 names no folder of emulated devices").arg(variable, setting);
    const QFileInfo info(*folder);
    if (!info.isDir())
        return QStringLiteral("%1: the folder of emulated devices %2 does not exist")
            .arg(variable, info.absoluteFilePath());
    return {};
}
