#include "device/OrvoSysfs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

// Attributes are one short line; nothing longer is read.
constexpr qint64 kMaxAttributeSize = 4096;
const QString kGenericPrefix = QStringLiteral("sg");
const QStringList kUsbStorageDrivers = {QStringLiteral("usb-storage"), QStringLiteral("uas")};

int genericNumber(const QString &node)
{
    bool ok = false;
    const int number = node.mid(kGenericPrefix.size()).toInt(&ok);
    return ok ? number : -1;
}

} // namespace

OrvoSysfs::OrvoSysfs(const QString &root)
    : m_root(QFileInfo(root).canonicalFilePath())
{}

QString OrvoSysfs::diskOf(const QString &majorMinor) const
{
    if (majorMinor.contains(QLatin1Char('/')))
        return QString();
    const QString device = resolve(m_root + QStringLiteral("/dev/block/") + majorMinor);
    if (device.isEmpty())
        return QString();
    // A partition's folder sits inside its disk's folder and holds a "partition" attribute.
    if (QFileInfo::exists(device + QStringLiteral("/partition")))
        return resolve(QFileInfo(device).absolutePath());
    return device;
}

bool OrvoSysfs::isRemovable(const QString &diskFolder) const
{
    return attribute(diskFolder, QStringLiteral("removable")).trimmed() == QLatin1String("1");
}

QString OrvoSysfs::vendor(const QString &diskFolder) const
{
    return attribute(diskFolder + QStringLiteral("/device"), QStringLiteral("vendor"));
}

QString OrvoSysfs::model(const QString &diskFolder) const
{
    return attribute(diskFolder + QStringLiteral("/device"), QStringLiteral("model"));
}

QString OrvoSysfs::genericNodeOfDisk(const QString &diskFolder) const
{
    const QStringList nodes =
        QDir(diskFolder + QStringLiteral("/device/scsi_generic")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    return nodes.isEmpty() ? QString() : nodes.first();
}

QStringList OrvoSysfs::genericNodes() const
{
    QStringList nodes = QDir(m_root + QStringLiteral("/class/scsi_generic"))
                            .entryList({kGenericPrefix + QLatin1Char('*')}, QDir::Dirs | QDir::NoDotAndDotDot);
    nodes.erase(std::remove_if(nodes.begin(), nodes.end(), [](const QString &n) { return genericNumber(n) < 0; }),
                nodes.end());
    std::sort(nodes.begin(), nodes.end(),
              [](const QString &a, const QString &b) { return genericNumber(a) < genericNumber(b); });
    return nodes;
}

bool OrvoSysfs::isUsbStorage(const QString &genericNode) const
{
    QString folder = resolve(m_root + QStringLiteral("/class/scsi_generic/") + genericNode + QStringLiteral("/device"));
    while (!folder.isEmpty() && folder != m_root) {
        const QString driver = QFileInfo(folder + QStringLiteral("/driver")).canonicalFilePath();
        if (!driver.isEmpty() && kUsbStorageDrivers.contains(QFileInfo(driver).fileName()))
            return true;
        folder = resolve(QFileInfo(folder).absolutePath());
    }
    return false;
}

QString OrvoSysfs::attribute(const QString &folder, const QString &name) const
{
    QFile file(folder + QLatin1Char('/') + name);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QByteArray value = file.read(kMaxAttributeSize);
    if (value.endsWith('\n'))
        value.chop(1);
    return QString::fromLatin1(value);
}

QString OrvoSysfs::resolve(const QString &path) const
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (m_root.isEmpty() || (canonical != m_root && !canonical.startsWith(m_root + QLatin1Char('/'))))
        return QString();
    return canonical;
}
