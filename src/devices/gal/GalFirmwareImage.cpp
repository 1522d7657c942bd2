#include "devices/gal/GalFirmwareImage.h"

#include "devices/gal/OrvoGalLogging.h"
#include "env/OrvoByteWriter.h"
#include "env/OrvoEnv.h"
#include "env/OrvoFunctionTrace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QString kHeaderName = QStringLiteral("header.bin");
const QString kFontSuffix = QStringLiteral(".bft");
const QString kEnglishTag = QStringLiteral("_eng_");
const QString kProfileName = QStringLiteral("Profile.bin");
// The bytes of the image that the device also expects at the end of the image area.
constexpr qsizetype kMirrorOffset = 148;
constexpr qsizetype kMirrorLength = 4;
// A font's first bytes identify it; bytes 4..6 are its language code.
constexpr qsizetype kFontIdLength = 4;
constexpr qsizetype kFontCodeOffset = 4;
constexpr qsizetype kFontCodeLength = 3;
constexpr qsizetype kMinFontLength = kFontCodeOffset + kFontCodeLength;
constexpr qsizetype kCodesOffset = 9;
constexpr qsizetype kOffsetsOffset = 69;
constexpr qsizetype kSizesOffset = 149;

bool containsText(const QString &name, const QString &text)
{
    return !text.isEmpty() && name.contains(text, Qt::CaseInsensitive);
}

QString languageTag(const QStringList &languages)
{
    return languages.isEmpty() ? kEnglishTag : QLatin1Char('_') + languages.first() + QLatin1Char('_');
}

bool readWhole(const QString &path, QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    bytes = file.readAll();
    return file.error() == QFileDevice::NoError;
}

} // namespace

GalFirmwareImage::GalFirmwareImage(const QString &folder)
    : m_folder(folder)
{}

QString GalFirmwareImage::packageFolder()
{
    return OrvoEnv::instance()->tmpDir() + QStringLiteral("/langpack");
}

GalFirmwareImage::Parts GalFirmwareImage::findParts(const QString &imageName, const QStringList &languages) const
{
    const QString tag = languageTag(languages);
    Parts parts;
    const QFileInfoList files = QDir(m_folder).entryInfoList(QDir::Files, QDir::Name);
    for (const QFileInfo &file : files) {
        const QString name = file.fileName();
        const bool isHeader = containsText(name, kHeaderName);
        const bool isFont = name.endsWith(kFontSuffix, Qt::CaseInsensitive);
        if (parts.image.isEmpty() && !isHeader && !isFont && containsText(name, imageName))
            parts.image = file.absoluteFilePath();
        if (parts.header.isEmpty() && isHeader)
            parts.header = file.absoluteFilePath();
        if (parts.font.isEmpty() && containsText(name, tag))
            parts.font = file.absoluteFilePath();
        if (parts.englishFont.isEmpty() && containsText(name, kEnglishTag))
            parts.englishFont = file.absoluteFilePath();
        if (!parts.image.isEmpty() && !parts.header.isEmpty() && !parts.font.isEmpty())
            break;
    }
    if (parts.font.isEmpty())
        parts.font = parts.englishFont;
    return parts;
}

QString GalFirmwareImage::languageFont(const QStringList &languages) const
{
    return findParts(QString(), languages).font;
}

QStringList GalFirmwareImage::fontFiles() const
{
    return QDir(m_folder).entryList({QLatin1Char('*') + kFontSuffix}, QDir::Files, QDir::Name);
}

bool GalFirmwareImage::appendFile(const QString &path, QByteArray &out, const char *message) const
{
    QByteArray bytes;
    if (!readWhole(path, bytes) || bytes.isEmpty()) {
        ORVO_TRACE_CRITICAL(lcOrvoGal, "GalFirmwareImage::buildImage") << message << path;
        return false;
    }
    out.append(bytes);
    return true;
}

bool GalFirmwareImage::buildImage(const QStringList &languages, const OrvoImageMetaInfo &meta, bool withProfile,
                                  QByteArray &out) const
{
    if (!QFileInfo(m_folder).isDir()) {
        ORVO_TRACE_CRITICAL(lcOrvoGal, "GalFirmwareImage::buildImage") << "do not exist langpack folder";
        return false;
    }
    const Parts parts = findParts(meta.imageName, languages);
    for (const QString &path : {parts.image, parts.header, parts.font}) {
        if (path.isEmpty()) {
            ORVO_TRACE_CRITICAL(lcOrvoGal, "GalFirmwareImage::buildImage")
                << qPrintable(QStringLiteral("\"%1\" does NOT exist").arg(path));
            return false;
        }
    }
    out.clear();
    if (!appendFile(parts.image, out, "read bin file failed"))
        return false;
    const qsizetype rest = out.size() % kImageAlignment;
    if (rest != 0)
        out.append(kImageAlignment - rest, '\0');
    if (!appendFile(parts.header, out, "read header.bin file failed") ||
        !appendFile(parts.font, out, "read language font failed"))
        return false;
    const qsizetype size = meta.imageSize;
    if (size < out.size()) {
        ORVO_TRACE_CRITICAL(lcOrvoGal, "GalFirmwareImage::buildImage")
            << qPrintable(QStringLiteral(" img_temp size > %1").arg(size));
        return false;
    }
    out.append(size - out.size(), kFiller);
    // The image is at least one 2048-byte block, so the mirrored bytes exist.
    out.replace(size - kMirrorLength, kMirrorLength, out.mid(kMirrorOffset, kMirrorLength));
    if (withProfile)
        return appendFile(m_folder + QLatin1Char('/') + kProfileName, out, "read Profile.bin failed");
    return true;
}

bool GalFirmwareImage::buildLanguageBinary(QByteArray &out) const
{
    if (!QFileInfo(m_folder).isDir()) {
        ORVO_TRACE_CRITICAL(lcOrvoGal, "GalFirmwareImage::buildLanguageBinary") << "do not exist langpack folder";
        return false;
    }
    out = QByteArray(kLanguageHeaderSize, '\0');
    QByteArray firstId;
    int count = 0;
    const QStringList names = fontFiles();
    for (const QString &name : names) {
        const QString path = m_folder + QLatin1Char('/') + name;
        QByteArray font;
        if (!readWhole(path, font)) {
            ORVO_TRACE_CRITICAL(lcOrvoGal, "GalFirmwareImage::buildLanguageBinary") << "can not open file " << path;
            return false;
        }
        if (font.size() < kMinFontLength)
            continue;
        // The index has room for this many; a device given fewer fonts than its package holds
        // would lose languages without a word.
        if (count == kMaxFonts) {
            ORVO_TRACE_CRITICAL(lcOrvoGal, "GalFirmwareImage::buildLanguageBinary")
                << "more than" << kMaxFonts << "language fonts in" << m_folder;
            return false;
        }
        if (count == 0)
            firstId = font.left(kFontIdLength);
        OrvoByteWriter code = OrvoByteWriter::patch(out, kCodesOffset + kFontCodeLength * count);
        code.writeBytes(font.mid(kFontCodeOffset, kFontCodeLength));
        OrvoByteWriter::patch(out, kOffsetsOffset + 4 * count).writeU32Le(quint32(out.size()));
        OrvoByteWriter::patch(out, kSizesOffset + 4 * count).writeU32Le(quint32(font.size()));
        out.append(font);
        ++count;
    }
    if (count == 0) {
        ORVO_TRACE_CRITICAL(lcOrvoGal, "GalFirmwareImage::buildLanguageBinary") << "no language font in" << m_folder;
        return false;
    }
    OrvoByteWriter header = OrvoByteWriter::patch(out, 0);
    header.writeU32Le(kLanguageMagic);
    header.writeBytes(firstId);
    header.writeU8(quint8(count));
    return header.ok();
}
