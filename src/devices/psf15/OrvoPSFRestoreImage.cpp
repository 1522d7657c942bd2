#include "devices/psf15/OrvoPSFRestoreImage.h"

#include "device/OrvoDeviceWaits.h"
#include "devices/psf15/OrvoPSFDeviceLogging.h"
#include "env/OrvoByteReader.h"
#include "env/OrvoByteWriter.h"
#include "env/OrvoEnv.h"
#include "env/OrvoFunctionTrace.h"
#include "env/OrvoSaveFile.h"

#include <QByteArrayView>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

namespace {

const QString kPrefix = QStringLiteral("kavel40-");
const QString kSuffix = QStringLiteral(".restore");
const QString kAsideMark = QStringLiteral(".kept-");
constexpr qsizetype kSumSize = 32;
constexpr qsizetype kMaxText = 0xFFFF;
constexpr int kAsideAttempts = 100;

QString fileName(const QString &deviceId)
{
    return kPrefix + QString::fromLatin1(deviceId.toUtf8().toHex()) + kSuffix;
}

// The sum of every byte of the file but the sum's own.
QByteArray fileSum(const QByteArray &bytes, qsizetype sumAt)
{
    const QByteArrayView view(bytes);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(view.first(sumAt));
    hash.addData(view.sliced(sumAt + kSumSize));
    return hash.result();
}

// fsync of a file or a folder: the rename that QSaveFile makes reaches the disk only with its
// folder's.
bool syncToDisk(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    const bool synced = fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0)
        ::close(fd);
    return synced;
}

bool refused(const QString &path, const char *why)
{
    ORVO_TRACE_WARNING(lcOrvoPsfDevice, "OrvoPSFRestoreImage::load") << path << why;
    return false;
}

} // namespace

OrvoPSFRestoreImage::OrvoPSFRestoreImage(const QString &deviceId)
    : m_deviceId(deviceId)
    , m_path(OrvoEnv::instance()->userFolder() + QLatin1Char('/') + fileName(deviceId))
{}

bool OrvoPSFRestoreImage::anyPending()
{
    const QDir folder(OrvoEnv::instance()->userFolder());
    return !folder.entryList({kPrefix + QLatin1Char('*') + kSuffix}, QDir::Files).isEmpty();
}

QByteArray OrvoPSFRestoreImage::blockSum(const QByteArray &block)
{
    return QCryptographicHash::hash(block, QCryptographicHash::Sha256);
}

QString OrvoPSFRestoreImage::path() const
{
    return m_path;
}

bool OrvoPSFRestoreImage::exists() const
{
    return QFile::exists(m_path);
}

bool OrvoPSFRestoreImage::save(const Copy &copy) const
{
    const char *function = "OrvoPSFRestoreImage::save";
    const QByteArray id = copy.deviceId.toUtf8();
    const QByteArray firmware = copy.firmware.toUtf8();
    if (id.size() > kMaxText || firmware.size() > kMaxText || copy.former.size() % kBlockSize != 0 ||
        copy.newBlockSums.size() != copy.former.size() / kBlockSize) {
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, function) << "the copy of" << copy.former.size() << "bytes with"
                                                       << copy.newBlockSums.size() << "block sums can not be kept";
        return false;
    }
    QByteArray bytes;
    OrvoByteWriter out(bytes);
    out.writeU32Le(kOrvoRestoreMagic);
    out.writeU16Le(kOrvoRestoreVersion);
    out.writeU16Le(quint16(id.size()));
    out.writeBytes(id);
    out.writeU16Le(quint16(firmware.size()));
    out.writeBytes(firmware);
    out.writeU32Le(quint32(copy.former.size()));
    const qsizetype sumAt = out.offset();
    out.fill('\0', kSumSize);
    for (const QByteArray &sum : copy.newBlockSums)
        out.writeBytes(sum);
    out.writeBytes(copy.former);
    OrvoByteWriter::patch(bytes, sumAt).writeBytes(fileSum(bytes, sumAt));
    QString error;
    if (!out.ok() || !saveFileBytes(m_path, bytes, error) || !syncToDisk(m_path) ||
        !syncToDisk(QFileInfo(m_path).absolutePath())) {
        ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, function)
            << "can not keep the image before the erase in" << m_path << error << "; the flash is left as it is";
        return false;
    }
    return true;
}

bool OrvoPSFRestoreImage::load(Copy &copy) const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return refused(m_path, "can not be read");
    const QByteArray bytes = file.readAll();
    OrvoByteReader in(bytes);
    if (in.readU32Le() != kOrvoRestoreMagic || in.readU16Le() != kOrvoRestoreVersion)
        return refused(m_path, "is no recovery copy of this program's format");
    const QByteArray id = in.readBytes(in.readU16Le());
    const QByteArray firmware = in.readBytes(in.readU16Le());
    const qsizetype length = in.readU32Le();
    const qsizetype sumAt = in.offset();
    const QByteArray sum = in.readBytes(kSumSize);
    if (!in.ok())
        return refused(m_path, "is cut inside its header");
    if (length % kBlockSize != 0)
        return refused(m_path, "names an image length that is no whole number of blocks");
    const qsizetype blocks = length / kBlockSize;
    if (in.remaining() != blocks * kSumSize + length)
        return refused(m_path, "is cut or longer than its header says");
    if (fileSum(bytes, sumAt) != sum)
        return refused(m_path, "is damaged: its checksum does not match");
    if (QString::fromUtf8(id) != m_deviceId)
        return refused(m_path, "is the copy of another device");
    copy.deviceId = m_deviceId;
    copy.firmware = QString::fromUtf8(firmware);
    copy.newBlockSums.clear();
    for (qsizetype block = 0; block < blocks; ++block)
        copy.newBlockSums.append(in.readBytes(kSumSize));
    copy.former = in.readBytes(length);
    return in.ok();
}

void OrvoPSFRestoreImage::remove() const
{
    if (!QFile::remove(m_path))
        ORVO_TRACE_WARNING(lcOrvoPsfDevice, "OrvoPSFRestoreImage::remove") << "can not remove" << m_path;
}

QString OrvoPSFRestoreImage::setAside() const
{
    const QString stamp = OrvoDeviceWaits::current().currentUtc().toString(QStringLiteral("yyyyMMddHHmmss"));
    for (int attempt = 0; attempt < kAsideAttempts; ++attempt) {
        const QString aside =
            m_path + kAsideMark + stamp + (attempt == 0 ? QString() : QStringLiteral("-%1").arg(attempt));
        if (QFile::exists(aside))
            continue;
        if (QFile::rename(m_path, aside))
            return aside;
        break;
    }
    ORVO_TRACE_CRITICAL(lcOrvoPsfDevice, "OrvoPSFRestoreImage::setAside") << "can not move" << m_path << "aside";
    return QString();
}
