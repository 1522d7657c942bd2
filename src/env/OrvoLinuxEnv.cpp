#include "env/OrvoLinuxEnv.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

OrvoLinuxEnv::OrvoLinuxEnv()
{
    m_resourceDir = qEnvironmentVariable("ORVO_RESOURCE_DIR");
    if (m_resourceDir.isEmpty()) {
        // The program may be started from any folder; its resources lie next to it.
        const QString programDir =
            QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
        m_resourceDir = programDir + QStringLiteral("/Resources");
    }
}

QString OrvoLinuxEnv::resourceDir() const
{
    return m_resourceDir;
}

QString OrvoLinuxEnv::dataDir() const
{
    const QString configured = qEnvironmentVariable("ORVO_DATA_DIR");
    if (!configured.isEmpty())
        return configured;
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/TarvexOrvo");
}

QString OrvoLinuxEnv::separator() const
{
    return QStringLiteral("/");
}
