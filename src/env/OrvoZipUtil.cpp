#include "env/OrvoZipUtil.h"

#include "env/OrvoEnvLogging.h"
#include "env/OrvoSaveFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QSaveFile>
#include <QStorageInfo>

#include <minizip/unzip.h>
#include <minizip/zip.h>
#include <zlib.h>

#include <algorithm>
#include <functional>

namespace {

constexpr qint64 kChunkSize = 64 * 1024;
constexpr uLong kUtf8NameFlag = 0x800;
constexpr uLong kDosFolderAttribute = 0x10;
constexpr int kDefaultMemLevel = 8;
constexpr qint64 kZip64Threshold = 0xFFFFFFFFLL;

const char kPlainFailure[] = "unzip failed in decompress(QString fname,QString folder)";
const char kProgressFailure[] = "unzip failed in decompress(QString fname,QString folder,QMutex *m, float *f)";

using EntryDone = std::function<void(int index, int count)>;

// A new archive, written by minizip through these callbacks into a QSaveFile: the file of that
// name is replaced only when every entry and the central directory were written.
class ArchiveWriter
{
public:
    explicit ArchiveWriter(const QString &path)
        : m_file(path)
    {
        zlib_filefunc64_def functions = {};
        functions.zopen64_file = open;
        functions.zread_file = read;
        functions.zwrite_file = write;
        functions.ztell64_file = tell;
        functions.zseek64_file = seek;
        functions.zclose_file = close;
        functions.zerror_file = error;
        functions.opaque = this;
        m_zip = zipOpen2_64(&m_file, APPEND_STATUS_CREATE, nullptr, &functions);
    }

    ~ArchiveWriter()
    {
        if (m_zip != nullptr) {
            m_failed = true;
            zipClose(m_zip, nullptr);
        }
    }

    ArchiveWriter(const ArchiveWriter &) = delete;
    ArchiveWriter &operator=(const ArchiveWriter &) = delete;

    bool isOpen() const { return m_zip != nullptr; }

    bool addFile(const QString &diskPath, const QString &entryName)
    {
        QFile source(diskPath);
        if (!source.open(QIODevice::ReadOnly))
            return false;
        zip_fileinfo info = fileInfo(QFileInfo(source).lastModified(), 0);
        const bool zip64 = source.size() >= kZip64Threshold;
        if (!openEntry(entryName, info, Z_DEFLATED, Z_DEFAULT_COMPRESSION, zip64))
            return false;
        QByteArray chunk(kChunkSize, Qt::Uninitialized);
        bool ok = true;
        while (ok) {
            const qint64 length = source.read(chunk.data(), chunk.size());
            if (length <= 0) {
                ok = length == 0;
                break;
            }
            ok = zipWriteInFileInZip(m_zip, chunk.constData(), unsigned(length)) == ZIP_OK;
        }
        return zipCloseFileInZip(m_zip) == ZIP_OK && ok;
    }

    bool addFolder(const QString &name)
    {
        const QString entryName = name.endsWith(QLatin1Char('/')) ? name : name + QLatin1Char('/');
        zip_fileinfo info = fileInfo(QDateTime::currentDateTime(), kDosFolderAttribute);
        return openEntry(entryName, info, 0, 0, false) && zipCloseFileInZip(m_zip) == ZIP_OK;
    }

    // Writes the central directory; the archive replaces the file of its name only now.
    bool finish()
    {
        const int result = zipClose(m_zip, nullptr);
        m_zip = nullptr;
        return result == ZIP_OK && m_committed;
    }

private:
    static zip_fileinfo fileInfo(const QDateTime &time, uLong externalAttributes)
    {
        zip_fileinfo info = {};
        const QDate date = time.date();
        const QTime clock = time.time();
        info.tmz_date.tm_year = uInt(date.year());
        info.tmz_date.tm_mon = uInt(date.month() - 1);
        info.tmz_date.tm_mday = uInt(date.day());
        info.tmz_date.tm_hour = uInt(clock.hour());
        info.tmz_date.tm_min = uInt(clock.minute());
        info.tmz_date.tm_sec = uInt(clock.second());
        info.external_fa = externalAttributes;
        return info;
    }

    bool openEntry(const QString &entryName, const zip_fileinfo &info, int method, int level, bool zip64)
    {
        const QByteArray name = entryName.toUtf8();
        const bool ascii = name.size() == entryName.size();
        return zipOpenNewFileInZip4_64(m_zip, name.constData(), &info, nullptr, 0, nullptr, 0, nullptr, method, level,
                                       0, -MAX_WBITS, kDefaultMemLevel, Z_DEFAULT_STRATEGY, nullptr, 0, 0,
                                       ascii ? 0 : kUtf8NameFlag, zip64 ? 1 : 0) == ZIP_OK;
    }

    static ArchiveWriter *self(voidpf opaque) { return static_cast<ArchiveWriter *>(opaque); }

    static voidpf ZCALLBACK open(voidpf opaque, const void *, int)
    {
        return self(opaque)->m_file.open(QIODevice::WriteOnly) ? opaque : nullptr;
    }

    static uLong ZCALLBACK read(voidpf, voidpf, void *, uLong) { return 0; }

    static uLong ZCALLBACK write(voidpf opaque, voidpf, const void *buffer, uLong size)
    {
        ArchiveWriter *writer = self(opaque);
        const qint64 written = writer->m_file.write(static_cast<const char *>(buffer), qint64(size));
        if (written != qint64(size)) {
            writer->m_failed = true;
            return 0;
        }
        return size;
    }

    static ZPOS64_T ZCALLBACK tell(voidpf opaque, voidpf) { return ZPOS64_T(self(opaque)->m_file.pos()); }

    static long ZCALLBACK seek(voidpf opaque, voidpf, ZPOS64_T offset, int origin)
    {
        QSaveFile &file = self(opaque)->m_file;
        qint64 target = qint64(offset);
        if (origin == ZLIB_FILEFUNC_SEEK_CUR)
            target += file.pos();
        else if (origin == ZLIB_FILEFUNC_SEEK_END)
            target += file.size();
        return file.seek(target) ? 0 : -1;
    }

    static int ZCALLBACK close(voidpf opaque, voidpf)
    {
        ArchiveWriter *writer = self(opaque);
        if (writer->m_failed) {
            writer->m_file.cancelWriting();
            return -1;
        }
        writer->m_committed = commitSaveFile(writer->m_file);
        return writer->m_committed ? 0 : -1;
    }

    static int ZCALLBACK error(voidpf opaque, voidpf) { return self(opaque)->m_failed ? 1 : 0; }

    QSaveFile m_file;
    zipFile m_zip = nullptr;
    bool m_failed = false;
    bool m_committed = false;
};

bool writeArchive(const QString &archive, const QString &baseFolder, const QStringList &files, const EntryDone &onAdded)
{
    ArchiveWriter writer(archive);
    if (!writer.isOpen()) {
        qCWarning(lcOrvoEnv) << "can not create zip file" << archive;
        return false;
    }
    const QDir base(baseFolder);
    for (int i = 0; i < files.size(); ++i) {
        const QString path = baseFolder.isEmpty() ? files.at(i) : base.filePath(files.at(i));
        if (!writer.addFile(path, files.at(i))) {
            qCWarning(lcOrvoEnv) << "can not add file to zip" << files.at(i) << archive;
            return false;
        }
        if (onAdded)
            onAdded(i, int(files.size()));
    }
    if (!writer.finish()) {
        qCWarning(lcOrvoEnv) << "can not write zip file" << archive;
        return false;
    }
    return true;
}

// One stored entry, its name made into a path below the extraction folder.
struct Entry
{
    QString storedName;
    QString relativePath;
    bool isFolder = false;
    // As the central directory declares it; minizip unpacks no more than that.
    quint64 unpackedSize = 0;
};

// The stored name as a path below the extraction folder; empty when the name is absolute
// (also in the "C:" form), climbs out with "..", or holds a NUL. "\" counts as "/".
QString relativeEntryPath(const QString &storedName)
{
    QString name = storedName;
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const bool driveLetter = name.size() >= 2 && name.at(1) == QLatin1Char(':');
    if (name.startsWith(QLatin1Char('/')) || driveLetter || name.contains(QChar(0)))
        return {};
    QStringList parts;
    for (const QString &part : name.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String(".."))
            return {};
        if (part != QLatin1String("."))
            parts << part;
    }
    return parts.join(QLatin1Char('/'));
}

class ArchiveReader
{
public:
    explicit ArchiveReader(const QString &path)
        : m_zip(unzOpen64(QFile::encodeName(path).constData()))
    {}

    ~ArchiveReader()
    {
        if (m_zip != nullptr)
            unzClose(m_zip);
    }

    ArchiveReader(const ArchiveReader &) = delete;
    ArchiveReader &operator=(const ArchiveReader &) = delete;

    bool isOpen() const { return m_zip != nullptr; }

    // Every entry of the central directory in index order; false when it cannot be walked or
    // holds more than maxEntries entries.
    bool readDirectory(QList<Entry> &entries, qint64 maxEntries)
    {
        unz_global_info64 global = {};
        if (unzGetGlobalInfo64(m_zip, &global) != UNZ_OK)
            return false;
        if (global.number_entry > quint64(maxEntries)) {
            qCWarning(lcOrvoEnv) << "zip file has" << global.number_entry << "entries, more than" << maxEntries;
            return false;
        }
        for (ZPOS64_T i = 0; i < global.number_entry; ++i) {
            if ((i == 0 ? unzGoToFirstFile(m_zip) : unzGoToNextFile(m_zip)) != UNZ_OK)
                return false;
            Entry entry;
            if (!readCurrentEntry(entry))
                return false;
            entry.relativePath = relativeEntryPath(entry.storedName);
            entry.isFolder =
                entry.storedName.endsWith(QLatin1Char('/')) || entry.storedName.endsWith(QLatin1Char('\\'));
            entries.append(entry);
        }
        return true;
    }

    // Extracts the entry with that index (entries are visited in order) below the folder.
    bool extract(int index, const Entry &entry, const QString &folder)
    {
        if ((index == 0 ? unzGoToFirstFile(m_zip) : unzGoToNextFile(m_zip)) != UNZ_OK)
            return false;
        QString parent = folder;
        QStringList parts = entry.relativePath.split(QLatin1Char('/'));
        const QString fileName = entry.isFolder ? QString() : parts.takeLast();
        for (const QString &part : parts) {
            parent += QLatin1Char('/') + part;
            if (!makeFolder(parent))
                return false;
        }
        return entry.isFolder || extractFile(parent + QLatin1Char('/') + fileName);
    }

private:
    bool readCurrentEntry(Entry &entry)
    {
        unz_file_info64 info = {};
        if (unzGetCurrentFileInfo64(m_zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
            return false;
        QByteArray raw(qsizetype(info.size_filename), '\0');
        if (unzGetCurrentFileInfo64(m_zip, &info, raw.data(), uLong(raw.size()), nullptr, 0, nullptr, 0) != UNZ_OK)
            return false;
        entry.storedName = QString::fromUtf8(raw);
        entry.unpackedSize = info.uncompressed_size;
        return true;
    }

    // A folder on the way to an entry: made when missing, never a symbolic link, so that no
    // link left in the extraction folder can lead a write outside it.
    static bool makeFolder(const QString &path)
    {
        const QFileInfo info(path);
        if (info.isSymLink())
            return false;
        if (info.exists())
            return info.isDir();
        return QDir().mkdir(path);
    }

    // The entry's bytes through a QSaveFile: a read error or a checksum mismatch
    // (UNZ_CRCERROR) leaves no file behind.
    bool extractFile(const QString &path)
    {
        if (QFileInfo(path).isSymLink() || unzOpenCurrentFile(m_zip) != UNZ_OK)
            return false;
        QSaveFile target(path);
        bool ok = target.open(QIODevice::WriteOnly);
        QByteArray chunk(kChunkSize, Qt::Uninitialized);
        while (ok) {
            const int length = unzReadCurrentFile(m_zip, chunk.data(), unsigned(chunk.size()));
            if (length <= 0) {
                ok = length == 0;
                break;
            }
            ok = target.write(chunk.constData(), length) == length;
        }
        const bool checked = unzCloseCurrentFile(m_zip) == UNZ_OK;
        return ok && checked && commitSaveFile(target);
    }

    unzFile m_zip = nullptr;
};

// What one extraction into the folder may write: the limit, or less when the folder's file
// system has less free space.
quint64 unpackBudget(const QString &folder, qint64 limit)
{
    const QStorageInfo storage(folder);
    const qint64 available = storage.isValid() ? storage.bytesAvailable() : -1;
    return quint64(available >= 0 ? std::min(limit, available) : limit);
}

// True when the entries together unpack to no more than the budget (checked without overflow).
bool fitsBudget(const QList<Entry> &entries, quint64 budget)
{
    quint64 total = 0;
    for (const Entry &entry : entries) {
        if (entry.unpackedSize > budget - total)
            return false;
        total += entry.unpackedSize;
    }
    return true;
}

void logEntryFailure(const char *context, const QString &entryName, const QString &archive)
{
    qCWarning(lcOrvoEnv) << context;
    qCWarning(lcOrvoEnv) << "failed name " << entryName << "from " << archive;
}

// Checks every stored name before the first byte is written, then extracts the entries in
// index order. The plain form goes on after a failed entry; the progress form stops there.
bool extractArchive(const QString &archive, const QString &folder, const OrvoZipUtil::Limits &limits,
                    const char *context, bool stopAtFailure, const EntryDone &onExtracted)
{
    ArchiveReader reader(archive);
    if (!reader.isOpen()) {
        qCWarning(lcOrvoEnv) << "can not open zip file" << archive;
        return false;
    }
    QList<Entry> entries;
    // Each entry is a file to make: many empty ones cost as much as one large one.
    if (!reader.readDirectory(entries, limits.entries)) {
        qCWarning(lcOrvoEnv) << "can not read the entries of zip file" << archive;
        return false;
    }
    for (const Entry &entry : entries) {
        if (entry.relativePath.isEmpty()) {
            qCWarning(lcOrvoEnv) << "zip entry name refused" << entry.storedName << "from " << archive;
            return false;
        }
    }
    if (!QDir().mkpath(folder)) {
        qCWarning(lcOrvoEnv) << "can not create folder" << folder;
        return false;
    }
    // An archive that would unpack to more than the limit or the free space is refused before
    // its first byte is written: a small archive can unpack to gigabytes.
    if (!fitsBudget(entries, unpackBudget(folder, limits.bytes))) {
        qCWarning(lcOrvoEnv) << "zip file unpacks to more than" << limits.bytes << "bytes or the free space of"
                             << folder << ":" << archive;
        return false;
    }
    bool result = true;
    for (int i = 0; i < entries.size(); ++i) {
        if (!reader.extract(i, entries.at(i), folder)) {
            logEntryFailure(context, entries.at(i).storedName, archive);
            result = false;
            if (stopAtFailure)
                break;
            continue;
        }
        if (onExtracted)
            onExtracted(i, int(entries.size()));
    }
    return result;
}

} // namespace

OrvoZipUtil::OrvoZipUtil(QObject *parent)
    : OrvoCompress(parent)
{}

OrvoZipUtil::~OrvoZipUtil() = default;

bool OrvoZipUtil::compress(const QString &archive, const QStringList &files, QMutex *mutex, float *progress)
{
    return compress(archive, QString(), files, mutex, progress);
}

bool OrvoZipUtil::compress(const QString &archive, const QStringList &files)
{
    return compress(archive, QString(), files);
}

bool OrvoZipUtil::decompress(const QString &archive, const QString &folder, QMutex *mutex, float *progress, float scale)
{
    if (mutex == nullptr || progress == nullptr)
        return false;
    float start = 0;
    {
        const QMutexLocker lock(mutex);
        start = *progress;
    }
    return extractArchive(archive, folder, m_limits, kProgressFailure, true, [&](int index, int count) {
        const QMutexLocker lock(mutex);
        *progress = start + float(index) / float(count) * scale;
    });
}

bool OrvoZipUtil::decompress(const QString &archive, const QString &folder)
{
    return extractArchive(archive, folder, m_limits, kPlainFailure, false, {});
}

void OrvoZipUtil::setUnpackedLimit(qint64 bytes)
{
    m_limits.bytes = bytes;
}

void OrvoZipUtil::setEntryLimit(qint64 entries)
{
    m_limits.entries = entries;
}

bool OrvoZipUtil::compressFolderEntry(const QString &archive, const QString &name)
{
    ArchiveWriter writer(archive);
    if (!writer.isOpen() || !writer.addFolder(name) || !writer.finish()) {
        qCWarning(lcOrvoEnv) << "can not write zip file" << archive << name;
        return false;
    }
    return true;
}

bool OrvoZipUtil::compress(const QString &archive, const QString &baseFolder, const QStringList &files)
{
    return writeArchive(archive, baseFolder, files, {});
}

bool OrvoZipUtil::compress(const QString &archive, const QString &baseFolder, const QStringList &files, QMutex *mutex,
                           float *progress)
{
    if (mutex == nullptr || progress == nullptr)
        return false;
    return writeArchive(archive, baseFolder, files, [&](int index, int count) {
        const QMutexLocker lock(mutex);
        *progress = float(index) / float(count);
    });
}
