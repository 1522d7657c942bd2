#include "emulator/OrvoEmulatedFolder.h"

#include "emulator/OrvoEmulatedFlashDevice.h"
#include "emulator/OrvoEmulatedPlatform.h"
#include "emulator/OrvoEmulatorLogging.h"
#include "env/OrvoFunctionTrace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <optional>

namespace {

const QString kVendorSuffix = QStringLiteral(".vendor");
const QString kLabelSuffix = QStringLiteral(".label");
const QString kScsiSuffix = QStringLiteral(".scsi");
// Descriptions are small; anything larger is not one.
constexpr qint64 kMaxDescriptionSize = 1024 * 1024;

// Field widths of the INQUIRY answer and the device-id answer.
constexpr qsizetype kVendorWidth = 8;
constexpr qsizetype kProductWidth = 11;
constexpr qsizetype kVersionWidth = 4;
constexpr qsizetype kRevisionWidth = 4;
constexpr qsizetype kVendorDataWidth = 60;
constexpr qsizetype kDeviceIdWidth = 16;

const QHash<QString, OrvoEmulatedArea::Access> kAccessNames = {
    {QStringLiteral("read"), OrvoEmulatedArea::Access::Read},
    {QStringLiteral("write"), OrvoEmulatedArea::Access::Write},
    {QStringLiteral("eraseBlock"), OrvoEmulatedArea::Access::EraseBlock},
    {QStringLiteral("eraseAll"), OrvoEmulatedArea::Access::EraseAll},
    {QStringLiteral("deviceId"), OrvoEmulatedArea::Access::DeviceId},
    {QStringLiteral("readyPoll"), OrvoEmulatedArea::Access::ReadyPoll},
};
constexpr qint64 kMaxBusyPolls = 1000;

// Collects the first fault of a description; later checks pass once one failed.
class DescriptionReader
{
public:
    explicit DescriptionReader(const QString &path)
        : m_path(path)
    {}

    bool failed() const { return !m_fault.isEmpty(); }
    QString fault() const { return m_fault; }

    void fail(const QString &fault)
    {
        if (m_fault.isEmpty())
            m_fault = fault;
    }

    QJsonObject readRoot()
    {
        QFile file(m_path);
        if (!file.open(QIODevice::ReadOnly)) {
            fail(QStringLiteral("can not be read"));
            return {};
        }
        if (file.size() > kMaxDescriptionSize) {
            fail(QStringLiteral("is larger than %1 bytes").arg(kMaxDescriptionSize));
            return {};
        }
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
        if (!doc.isObject()) {
            fail(QStringLiteral("is no JSON object (%1 at offset %2)").arg(error.errorString()).arg(error.offset));
            return {};
        }
        return doc.object();
    }

    // Printable ASCII of at most width characters; a missing text is empty.
    QByteArray text(const QJsonObject &object, const char *key, qsizetype width)
    {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined())
            return {};
        const QString text = value.toString();
        const bool printable =
            std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7F; });
        if (!value.isString() || !printable || text.size() > width) {
            fail(QStringLiteral("\"%1\" must be printable ASCII of at most %2 characters")
                     .arg(QLatin1String(key))
                     .arg(width));
            return {};
        }
        return text.toLatin1();
    }

    // A whole number from low to high.
    qint64 number(const QJsonObject &object, const char *key, qint64 low, qint64 high)
    {
        const QJsonValue value = object.value(QLatin1String(key));
        const double number = value.toDouble(-1);
        if (!value.isDouble() || number != double(qint64(number)) || number < double(low) || number > double(high)) {
            fail(QStringLiteral("\"%1\" must be a whole number from %2 to %3")
                     .arg(QLatin1String(key))
                     .arg(low)
                     .arg(high));
            return low;
        }
        return qint64(number);
    }

    QJsonArray list(const QJsonObject &object, const char *key)
    {
        const QJsonValue value = object.value(QLatin1String(key));
        if (!value.isArray())
            fail(QStringLiteral("\"%1\" must be a list").arg(QLatin1String(key)));
        return value.toArray();
    }

    QJsonObject entry(const QJsonValue &value, const char *list)
    {
        if (!value.isObject())
            fail(QStringLiteral("every entry of \"%1\" must be an object").arg(QLatin1String(list)));
        return value.toObject();
    }

private:
    QString m_path;
    QString m_fault;
};

OrvoEmulatedIdentity readIdentity(DescriptionReader &reader, const QJsonObject &root)
{
    OrvoEmulatedIdentity identity;
    identity.vendor = reader.text(root, "vendor", kVendorWidth);
    identity.product = reader.text(root, "product", kProductWidth);
    identity.version = reader.text(root, "version", kVersionWidth);
    identity.revision = reader.text(root, "revision", kRevisionWidth);
    identity.vendorData = reader.text(root, "vendorData", kVendorDataWidth);
    identity.deviceId = reader.text(root, "deviceId", kDeviceIdWidth);
    if (identity.deviceId.size() != kDeviceIdWidth)
        reader.fail(QStringLiteral("\"deviceId\" must have %1 characters").arg(kDeviceIdWidth));
    return identity;
}

void readMemories(DescriptionReader &reader, const QJsonObject &root, const QDir &folder,
                  OrvoEmulatedFlashDevice &device, QSet<QString> &names)
{
    const QJsonArray memories = reader.list(root, "memories");
    for (const QJsonValue &value : memories) {
        const QJsonObject memory = reader.entry(value, "memories");
        const QString name = memory.value(QStringLiteral("name")).toString();
        const qint64 size = reader.number(memory, "size", 1, OrvoEmulatedFolder::kMaxMemorySize);
        if (reader.failed())
            return;
        if (name.isEmpty() || names.contains(name)) {
            reader.fail(QStringLiteral("every memory needs a name of its own"));
            return;
        }
        names.insert(name);
        device.addMemory(name, size, memory.value(QStringLiteral("eraseBeforeWrite")).toBool());
        const QString image = memory.value(QStringLiteral("image")).toString();
        if (image.isEmpty())
            continue;
        QFile file(folder.filePath(image));
        if (!file.open(QIODevice::ReadOnly) || file.size() > size) {
            reader.fail(
                QStringLiteral("image %1 of memory %2 is missing or larger than %3 bytes").arg(image, name).arg(size));
            return;
        }
        device.loadMemory(name, file.readAll());
    }
}

void readAreas(DescriptionReader &reader, const QJsonObject &root, const QSet<QString> &memories,
               OrvoEmulatedFlashDevice &device)
{
    const QJsonArray areas = reader.list(root, "areas");
    for (const QJsonValue &value : areas) {
        const QJsonObject object = reader.entry(value, "areas");
        OrvoEmulatedArea area;
        area.code = quint8(reader.number(object, "code", 0, 255));
        const auto access = kAccessNames.constFind(object.value(QStringLiteral("access")).toString());
        area.transferSize = int(reader.number(object, "transferSize", OrvoEmulatedFolder::kSectorSize,
                                              OrvoEmulatedFolder::kMaxTransferSize));
        if (object.contains(QStringLiteral("unitSize")))
            area.unitSize = int(reader.number(object, "unitSize", 0, OrvoEmulatedFolder::kMaxMemorySize));
        if (object.contains(QStringLiteral("busyPolls")))
            device.setBusyPolls(int(reader.number(object, "busyPolls", 0, kMaxBusyPolls)));
        area.memory = object.value(QStringLiteral("memory")).toString();
        if (reader.failed())
            return;
        if (access == kAccessNames.cend()) {
            reader.fail(
                QStringLiteral("\"access\" must be one of read, write, eraseBlock, eraseAll, deviceId, readyPoll"));
            return;
        }
        area.access = access.value();
        if (area.transferSize % OrvoEmulatedFolder::kSectorSize != 0) {
            reader.fail(
                QStringLiteral("\"transferSize\" must be a multiple of %1").arg(OrvoEmulatedFolder::kSectorSize));
            return;
        }
        const bool needsMemory =
            area.access != OrvoEmulatedArea::Access::DeviceId && area.access != OrvoEmulatedArea::Access::ReadyPoll;
        if (needsMemory && !memories.contains(area.memory)) {
            reader.fail(QStringLiteral("area %1 names no memory of the device").arg(area.code));
            return;
        }
        device.addArea(area);
    }
}

// The first line of a drive's description file, trimmed; empty without the file.
QString firstLine(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readLine(kMaxDescriptionSize)).trimmed();
}

} // namespace

OrvoEmulatedFolder::OrvoEmulatedFolder(const QString &folder)
    : m_folder(folder)
{}

bool OrvoEmulatedFolder::plugInto(OrvoEmulatedPlatform &platform) const
{
    if (!QDir(m_folder).exists()) {
        ORVO_TRACE_WARNING(lcOrvoEmulator, "OrvoEmulatedFolder::plugInto") << "no folder" << m_folder;
        return false;
    }
    for (const QString &name : driveNames())
        plugDrive(platform, name);
    for (const QString &name : flashDeviceNames())
        plugFlashDevice(platform, name);
    return true;
}

QStringList OrvoEmulatedFolder::driveNames() const
{
    return QDir(m_folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

QStringList OrvoEmulatedFolder::flashDeviceNames() const
{
    QStringList names = QDir(m_folder).entryList({QStringLiteral("*") + kScsiSuffix}, QDir::Files, QDir::Name);
    for (QString &name : names)
        name.chop(kScsiSuffix.size());
    return names;
}

QString OrvoEmulatedFolder::plugDrive(OrvoEmulatedPlatform &platform, const QString &name) const
{
    const QDir folder(m_folder);
    const QString vendor = firstLine(folder.filePath(name + kVendorSuffix));
    const QString label = firstLine(folder.filePath(name + kLabelSuffix));
    ORVO_TRACE_DEBUG(lcOrvoEmulator, "OrvoEmulatedFolder::plugDrive")
        << "drive" << name << "vendor" << vendor << "label" << label;
    const QString path = folder.absoluteFilePath(name);
    platform.plugDrive(path, vendor, label);
    return path;
}

std::shared_ptr<OrvoEmulatedFlashDevice> OrvoEmulatedFolder::plugFlashDevice(OrvoEmulatedPlatform &platform,
                                                                             const QString &name) const
{
    auto device = loadFlashDevice(QDir(m_folder).filePath(name + kScsiSuffix));
    if (device)
        platform.plugScsiDevice(device);
    return device;
}

std::shared_ptr<OrvoEmulatedFlashDevice> OrvoEmulatedFolder::loadFlashDevice(const QString &descriptionPath)
{
    DescriptionReader reader(descriptionPath);
    const QJsonObject root = reader.readRoot();
    const OrvoEmulatedIdentity identity = reader.failed() ? OrvoEmulatedIdentity() : readIdentity(reader, root);
    auto device = std::make_shared<OrvoEmulatedFlashDevice>(identity);
    QSet<QString> memories;
    if (!reader.failed())
        readMemories(reader, root, QFileInfo(descriptionPath).dir(), *device, memories);
    if (!reader.failed())
        readAreas(reader, root, memories, *device);
    if (reader.failed()) {
        ORVO_TRACE_WARNING(lcOrvoEmulator, "OrvoEmulatedFolder::loadFlashDevice")
            << "device left out:" << descriptionPath << qUtf8Printable(reader.fault());
        return nullptr;
    }
    return device;
}
