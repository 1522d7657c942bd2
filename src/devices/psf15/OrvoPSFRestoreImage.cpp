#include "devices/psf15/OrvoPSFRestoreImage.h"

#include "devices/psf15/OrvoPSFDeviceLogging.h"
#include "env/OrvoEnv.h"
#include "env/OrvoFunctionTrace.h"
#include "env/OrvoSaveFile.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace {

const QString kPrefix = QStringLiteral("kavel40-");
const QString kSuffix = QStringLiteral(".restore");

// A device id with anything but letters and digits would not make a plain file name.
QString fileName(const QString &deviceId)
{
    QString id = deviceId;
    id.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]")), QStringLiteral("_"));
    return kPrefix + id + kSuffix;
}

} // namespace

OrvoPSFRestoreImage::OrvoPSFRestoreImage(const QString &deviceId)
    : m_path(OrvoEnv::instance()->userFolder() + QLatin1Char('/') + fileName(deviceId))
{}

bool OrvoPSFRestoreImage::anyPending()
{
    const QDir folder(OrvoEnv::instance()->userFolder());
    return !folder.entryList({kPrefix + QLatin1Char('*') + kSuffix}, QDir::Files).isEmpty();
}

bool OrvoPSFRestoreImage::exists() const
{
    return QFile::exists(m_path);
}

bool OrvoPSFRestoreImage::save(const QByteArray &image) const
{
    QString error;
    if (saveFileBytes(m_path, image, error))
        return true;
    ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, "OrvoPSFRestoreImage::save")
        << "can not keep the image before the erase in" << m_path << error << "; the flash is left as it is";
    return false;
}

bool OrvoPSFRestoreImage::load(qsizetype size, QByteArray &image) const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly) || file.size() != size) {
        ORVO_TRACE_WARNING(lcOrvoPsfDevice, "OrvoPSFRestoreImage::load")
            << m_path << "is unreadable or not of" << size << "bytes";
        return false;
    }
    image = file.readAll();
    return image.size() == size;
}

void OrvoPSFRestoreImage::remove() const
{
    if (!QFile::remove(m_path))
        ORVO_TRACE_WARNING(lcOrvoPsfDevice, "OrvoPSFRestoreImage::remove") << "can not remove" << m_path;
}
