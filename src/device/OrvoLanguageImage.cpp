#include "device/OrvoLanguageImage.h"

#include "device/OrvoDeviceLogging.h"
#include "env/OrvoByteReader.h"
#include "env/OrvoByteWriter.h"
#include "env/OrvoEnv.h"
#include "env/OrvoFunctionTrace.h"
#include "env/OrvoUtility.h"
#include "profile/OrvoLanguageMap.h"

#include <QDir>
#include <QFile>

namespace {

constexpr qsizetype kFirstWordOffset = 4;
constexpr qsizetype kCountOffset = 8;
constexpr qsizetype kCodesOffset = 9;
constexpr qsizetype kCodeSize = 3;
constexpr qsizetype kOffsetsOffset = 69;
constexpr qsizetype kSizesOffset = 149;
// A language file carries its first word and its code in its first seven bytes.
constexpr qsizetype kFileCodeOffset = 4;
constexpr qsizetype kFileMinimum = 7;
constexpr qsizetype kAlignment = 16;

QStringList folderEntries(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// The last entry that serves the code; empty when none does.
QString languageFile(const QStringList &entries, const QString &code)
{
    const QString marker = QLatin1Char('_') + code + QLatin1Char('_');
    QString found;
    for (const QString &entry : entries) {
        if (entry.contains(marker, Qt::CaseInsensitive))
            found = entry;
    }
    return found;
}

QString baseImage(const QStringList &entries)
{
    for (const QString &entry : entries) {
        if (entry.contains(QLatin1String("quilma.bin"), Qt::CaseInsensitive) ||
            entry.contains(QLatin1String("kosmir.bin"), Qt::CaseInsensitive))
            return entry;
    }
    return QString();
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

QString OrvoLanguageImage::folder()
{
    return OrvoEnv::instance()->tmpDir() + QStringLiteral("/langpack");
}

bool OrvoLanguageImage::unpackPackage(const QString &package, QStringList &names)
{
    const OrvoLanguageMap languages;
    return OrvoUtility::getSupportLanguage(package, folder(), names, languages.map());
}

bool OrvoLanguageImage::build(const QString &folderPath, const QStringList &codes, Built &built)
{
    const char *function = "OrvoLanguageImage::build";
    built = Built();
    if (!QDir(folderPath).exists()) {
        ORVO_TRACE_CRITICAL(lcOrvoDevice, function) << "do not exist langpack folder";
        return false;
    }
    const QStringList entries = folderEntries(folderPath);
    QByteArray header(kHeaderSize, '\0');
    OrvoByteWriter::patch(header, 0).writeU32Le(kMagic);
    QByteArray files;
    for (const QString &code : codes) {
        const QString name = languageFile(entries, code);
        if (name.isEmpty())
            continue;
        if (built.languages == kMaxLanguages) {
            ORVO_TRACE_WARNING(lcOrvoDevice, function)
                << "the directory holds" << kMaxLanguages << "languages; left out:" << code;
            continue;
        }
        QByteArray file;
        const QString path = folderPath + QLatin1Char('/') + name;
        if (!readWhole(path, file) || file.size() < kFileMinimum) {
            ORVO_TRACE_WARNING(lcOrvoDevice, function)
                << "language file" << path << "unreadable or shorter than" << kFileMinimum << "bytes; left out";
            continue;
        }
        const int slot = built.languages++;
        OrvoByteWriter::patch(header, kOffsetsOffset + 4 * slot).writeU32Le(quint32(kHeaderSize + files.size()));
        OrvoByteWriter::patch(header, kSizesOffset + 4 * slot).writeU32Le(quint32(file.size()));
        OrvoByteWriter::patch(header, kFirstWordOffset).writeBytes(file.left(kFileCodeOffset));
        OrvoByteWriter::patch(header, kCodesOffset + kCodeSize * slot).writeBytes(file.mid(kFileCodeOffset, kCodeSize));
        files += file;
    }
    OrvoByteWriter::patch(header, kCountOffset).writeU8(quint8(built.languages));

    const QString base = baseImage(entries);
    QByteArray image;
    if (base.isEmpty() || !readWhole(folderPath + QLatin1Char('/') + base, image)) {
        ORVO_TRACE_CRITICAL(lcOrvoDevice, function) << " image is empty";
        return false;
    }
    built.basePath = folderPath + QLatin1Char('/') + base;
    const qsizetype remainder = image.size() % kAlignment;
    if (remainder != 0)
        image.append(kAlignment - remainder, '\0');
    built.image = image + header + files;
    return true;
}

bool OrvoLanguageImage::listLanguages(const QByteArray &area, QStringList &codes)
{
    qsizetype position = 0;
    OrvoByteReader reader(area);
    for (qsizetype at = 0; at + 4 <= area.size(); at += 4) {
        reader.seek(at);
        if (reader.readU32Le() == kMagic)
            position = at;
    }
    if (position > area.size() || kHeaderSize > area.size() - position) {
        ORVO_TRACE_WARNING(lcOrvoDevice, "OrvoLanguageImage::listLanguages")
            << "no language directory of" << kHeaderSize << "bytes fits at offset" << position << "of" << area.size();
        return false;
    }
    const OrvoLanguageMap languages;
    for (int slot = 0; slot < kMaxLanguages; ++slot) {
        reader.seek(position + kCodesOffset + kCodeSize * slot);
        const QString code = QString::fromLatin1(reader.readBytes(kCodeSize));
        if (!languages.languageName(code.toLower()).isEmpty())
            codes.append(code);
    }
    return true;
}
