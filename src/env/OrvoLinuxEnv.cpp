#include "env/OrvoLinuxEnv.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

// The installed layout keeps the programs in <prefix>/bin and their resources in one share
// folder, ORVO_INSTALL_SHARE_DIR below the same prefix.
const QString kInstalledResources = QStringLiteral("../" ORVO_INSTALL_SHARE_DIR);
const QString kBuildResources = QStringLiteral("Resources");

} // namespace

OrvoLinuxEnv::OrvoLinuxEnv()
{
    m_resourceDir = qEnvironmentVariable("ORVO_RESOURCE_DIR");
    if (m_resourceDir.isEmpty()) {
        // The program may be started from any folder; its resources lie next to it.
        const QString programDir =
            QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
        m_resourceDir = findResourceDir(programDir);
    }
}

QString OrvoLinuxEnv::findResourceDir(const QString &programDir)
{
    const QDir program(programDir);
    const QString built = program.filePath(kBuildResources);
    if (QFileInfo(built).isDir())
        return built;
    const QString installed = QDir::cleanPath(program.filePath(kInstalledResources));
    return QFileInfo(installed).isDir() ? installed : built;
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
