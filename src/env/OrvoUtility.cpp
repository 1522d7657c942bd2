#include "env/OrvoUtility.h"

#include "env/OrvoEnvLogging.h"
#include "env/OrvoFunctionTrace.h"
#include "env/OrvoSaveFile.h"
#include "env/OrvoZipUtil.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QSaveFile>
#include <QThread>
#include <QTimeZone>

#include <cerrno>

namespace {

constexpr qint64 kCopyChunkSize = 256 * 1024;
constexpr int kFolderCopyAttempts = 10;
constexpr int kFolderCopyWaitMs = 5;
const QString kCopyTimeFormat = QStringLiteral("yyyyMMddhhmm.ss");

QMutex g_hookMutex;
OrvoUtility::Sleeper g_sleeper;
OrvoUtility::CopyStep g_copyStep;

// The errno of the call that just failed; a failure that set none counts as an I/O error.
int lastError()
{
    return errno != 0 ? errno : EIO;
}

// One try: the source's bytes in chunks into a QSaveFile that replaces the destination only
// when everything was written, with the source's modification time.
int copyInChunks(const QString &source, const QString &destination, const OrvoUtility::CopyProgress &progress)
{
    errno = 0;
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return lastError();
    QSaveFile out(destination);
    if (!out.open(QIODevice::WriteOnly))
        return lastError();
    const qint64 total = in.size();
    qint64 done = 0;
    QByteArray chunk(kCopyChunkSize, Qt::Uninitialized);
    for (;;) {
        const qint64 length = in.read(chunk.data(), chunk.size());
        if (length < 0)
            return lastError();
        if (length == 0)
            break;
        if (out.write(chunk.constData(), length) != length)
            return lastError();
        done += length;
        if (progress)
            progress(done, total);
    }
    if (!out.flush() ||
        !out.setFileTime(in.fileTime(QFileDevice::FileModificationTime), QFileDevice::FileModificationTime))
        return lastError();
    return commitSaveFile(out) ? 0 : lastError();
}

int copyOnce(const QString &source, const QString &destination, const OrvoUtility::CopyProgress &progress)
{
    OrvoUtility::CopyStep step;
    {
        const QMutexLocker lock(&g_hookMutex);
        step = g_copyStep;
    }
    return step ? step(source, destination, progress) : copyInChunks(source, destination, progress);
}

void waitBeforeRetry(int milliseconds)
{
    OrvoUtility::Sleeper sleeper;
    {
        const QMutexLocker lock(&g_hookMutex);
        sleeper = g_sleeper;
    }
    if (sleeper)
        sleeper(milliseconds);
    else
        QThread::msleep(ulong(qMax(0, milliseconds)));
}

bool existsOrIsLink(const QFileInfo &info)
{
    return info.exists() || info.isSymLink();
}

// Two existing files of equal size whose modification times lie within the tolerance.
bool looksTheSame(const QString &source, const QString &destination, int toleranceSeconds)
{
    const QFileInfo from(source);
    const QFileInfo to(destination);
    if (!from.isFile() || !to.isFile())
        return false;
    const qint64 difference = from.lastModified().secsTo(to.lastModified());
    return qAbs(difference) <= qint64(toleranceSeconds) && from.size() == to.size();
}

bool isSameFile(const QString &source, const QString &destination)
{
    const QString from = QFileInfo(source).canonicalFilePath();
    return !from.isEmpty() && from == QFileInfo(destination).canonicalFilePath();
}

QString modifiedText(const QString &path)
{
    return QFileInfo(path).lastModified().toString(kCopyTimeFormat);
}

bool tryCopies(const QString &source, const QString &destination, int attempts, int waitMs,
               const OrvoUtility::CopyProgress &progress)
{
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        const int error = copyOnce(source, destination, progress);
        if (error == 0) {
            if (attempt >= 2)
                qCWarning(lcOrvoEnv) << "copy file success after retry " << attempt << " source=" << source
                                     << "   dest=" << destination;
            return true;
        }
        ORVO_TRACE_DEBUG(lcOrvoEnv, "OrvoUtility::copyFile")
            << "copy file failed start wait to retry, retry " << attempt << " win32 error code :" << uint(error)
            << " src=" << source << " ,dest=" << destination;
        waitBeforeRetry(waitMs);
    }
    return false;
}

} // namespace

QString OrvoUtility::appendChar(const QString &text, QChar character)
{
    return text.endsWith(character) ? text : text + character;
}

bool OrvoUtility::clearReadOnly(const QString &path)
{
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::WriteOwner | QFileDevice::WriteUser);
    return true;
}

QString OrvoUtility::timeToString(qint64 secondsSince1970, const QString &format)
{
    return QDateTime::fromSecsSinceEpoch(secondsSince1970, QTimeZone::utc()).toString(format);
}

qint64 OrvoUtility::stringToTime(const QString &text, const QString &format)
{
    // Read as local time first: a time that the local zone skips is invalid there, but keeps
    // its fields, so it becomes valid once the zone is UTC. Text that does not match stays invalid.
    QDateTime time = QDateTime::fromString(text, format);
    time.setTimeZone(QTimeZone::utc());
    return time.isValid() ? time.toSecsSinceEpoch() : 0;
}

QString OrvoUtility::findDeviceIni(const QString &root)
{
    for (const QString &name : {QStringLiteral("/device.ini"), QStringLiteral("/Device.ini")}) {
        if (QFileInfo(root + name).isFile())
            return root + name;
    }
    return {};
}

QString OrvoUtility::findDeviceTxt(const QString &root)
{
    for (const QString &name : {QStringLiteral("/System/device.txt"), QStringLiteral("/System/Device.txt")}) {
        if (QFileInfo(root + name).isFile())
            return root + name;
    }
    return {};
}

bool OrvoUtility::deleteFile(const QString &path)
{
    if (path.isEmpty() || !existsOrIsLink(QFileInfo(path)))
        return true;
    if (QFile::remove(path))
        return true;
    clearReadOnly(path);
    if (QFile::remove(path))
        return true;
    qCDebug(lcOrvoEnv) << " delete file failed" << path;
    return false;
}

bool OrvoUtility::copyFile(const QString &source, const QString &destination, bool overwrite, int attempts, int waitMs,
                           const CopyProgress &progress, bool compareFirst, int toleranceSeconds, bool *copied)
{
    if (copied != nullptr)
        *copied = false;
    if (compareFirst) {
        if (looksTheSame(source, destination, toleranceSeconds))
            return true;
        ORVO_TRACE_DEBUG(lcOrvoEnv, "OrvoUtility::copyFile")
            << QStringLiteral("src=%1 modified time=%2 ").arg(source, modifiedText(source));
        ORVO_TRACE_DEBUG(lcOrvoEnv, "OrvoUtility::copyFile")
            << QStringLiteral("dest=%1 modified time=%2 ").arg(destination, modifiedText(destination));
    }
    // Deleting the destination first would delete the only copy.
    if (isSameFile(source, destination)) {
        qCWarning(lcOrvoEnv) << "copy file onto itself refused" << source;
        return false;
    }
    if (overwrite && existsOrIsLink(QFileInfo(destination)))
        deleteFile(destination);
    const bool result = tryCopies(source, destination, attempts, waitMs, progress);
    if (result && copied != nullptr)
        *copied = true;
    return result;
}

bool OrvoUtility::copyFolder(const QString &source, const QString &destination, const CopyProgress &progress,
                             QStringList *copied)
{
    if (!QFileInfo(source).isDir())
        return true;
    if (!QFileInfo(destination).isDir() && !QDir().mkdir(destination)) {
        qCWarning(lcOrvoEnv) << "OrvoUtility::copyFolder can not create" << destination;
        return false;
    }
    const QDir folder(source);
    const QString from = appendChar(source, QLatin1Char('/'));
    const QString to = appendChar(destination, QLatin1Char('/'));
    for (const QString &name : folder.entryList(QDir::Files, QDir::Name)) {
        if (!copyFile(from + name, to + name, true, kFolderCopyAttempts, kFolderCopyWaitMs, progress, false, 0,
                      nullptr)) {
            qCWarning(lcOrvoEnv) << "OrvoUtility::copyFolder failed src=" << from + name << " dest=" << to + name;
            return false;
        }
        if (copied != nullptr)
            copied->append(to + name);
    }
    // Linked folders are not followed: a link to a parent would never end.
    for (const QString &name : folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name)) {
        if (!copyFolder(from + name, to + name, CopyProgress(), copied))
            return false;
    }
    return true;
}

bool OrvoUtility::renameFiles(QStringList &paths, const QString &before, const QString &after)
{
    if (before.isEmpty())
        return true;
    bool result = true;
    for (QString &path : paths) {
        QString renamed = path;
        renamed.replace(before, after, Qt::CaseSensitive);
        if (renamed == path)
            continue;
        // A missing file must not cost the file already at the new path.
        if (!existsOrIsLink(QFileInfo(path))) {
            result = false;
            continue;
        }
        deleteFile(renamed);
        if (!QFile::rename(path, renamed)) {
            result = false;
            continue;
        }
        path = renamed;
    }
    return result;
}

bool OrvoUtility::removeFolder(const QString &folder)
{
    const QFileInfo info(folder);
    if (!existsOrIsLink(info))
        return true;
    // A link is removed itself; what it points to is not ours.
    if (info.isSymLink())
        return deleteFile(folder);
    const QDir dir(folder);
    const QString prefix = appendChar(folder, QLatin1Char('/'));
    bool result = true;
    for (const QString &name : dir.entryList(QDir::Files | QDir::System | QDir::Hidden, QDir::Name))
        result = deleteFile(prefix + name) && result;
    for (const QString &name : dir.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name))
        result = removeFolder(prefix + name) && result;
    return QDir().rmdir(folder) && result;
}

void OrvoUtility::listFilesRecursive(const QString &folder, QStringList &list)
{
    const QDir dir(folder);
    for (const QFileInfo &entry : dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name)) {
        if (!entry.isDir())
            list.append(entry.absoluteFilePath());
        else if (!entry.isSymLink())
            listFilesRecursive(entry.absoluteFilePath(), list);
    }
}

bool OrvoUtility::deleteFolderTree(const QString &folder)
{
    const QFileInfo info(folder);
    if (!info.exists())
        return true;
    const QDir dir(folder);
    for (const QFileInfo &entry :
         dir.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name)) {
        const bool removed =
            entry.isDir() && !entry.isSymLink() ? deleteFolderTree(entry.filePath()) : QFile::remove(entry.filePath());
        if (!removed)
            return false;
    }
    return info.dir().rmdir(info.fileName());
}

bool OrvoUtility::makeFolderBelow(const QString &root, const QString &folder)
{
    const QString base = QDir::cleanPath(root);
    if (root.isEmpty() || !QFileInfo(base).isDir()) {
        qCWarning(lcOrvoEnv) << "no folder at" << root << "to make" << folder << "in";
        return false;
    }
    const QString relative = QDir(base).relativeFilePath(QDir::cleanPath(folder));
    if (folder.isEmpty() || QDir::isAbsolutePath(relative) || relative == QLatin1String("..") ||
        relative.startsWith(QLatin1String("../"))) {
        qCWarning(lcOrvoEnv) << "folder" << folder << "is not below" << root;
        return false;
    }
    QString path = base;
    for (const QString &name : relative.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (name == QLatin1String("."))
            continue;
        path = QDir(path).filePath(name);
        // mkdir makes no parents: a root that went after the check above stays gone.
        if (!QFileInfo(path).isDir() && !QDir().mkdir(path) && !QFileInfo(path).isDir()) {
            qCWarning(lcOrvoEnv) << "can not create" << path;
            return false;
        }
    }
    return true;
}

bool OrvoUtility::getSupportLanguage(const QString &package, const QString &folder, QStringList &names,
                                     const QMap<QString, QString> &languages)
{
    // The package is unpacked beside the folder, which it replaces only once it unpacked whole.
    const QString staging = folder + QStringLiteral(".unpacking");
    OrvoZipUtil zip;
    if (!removeFolder(staging) || !QDir().mkpath(staging) || !zip.decompress(package, staging)) {
        removeFolder(staging);
        ORVO_TRACE_CRITICAL(lcOrvoEnv, "OrvoUtility::getSupportLanguage")
            << QStringLiteral("can not decompress file: %1").arg(package);
        return false;
    }
    if (!removeFolder(folder) || !QDir().rename(staging, folder)) {
        removeFolder(staging);
        ORVO_TRACE_CRITICAL(lcOrvoEnv, "OrvoUtility::getSupportLanguage")
            << QStringLiteral("can not delete old directory: %1").arg(folder);
        return false;
    }
    const QDir dir(folder);
    for (const QString &entry :
         dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name)) {
        for (auto language = languages.begin(); language != languages.end(); ++language) {
            if (entry.contains(QLatin1Char('_') + language.key() + QLatin1Char('_'), Qt::CaseInsensitive))
                names.append(language.value());
        }
    }
    return true;
}

int OrvoUtility::getRegistryDevice(const QByteArray &bytes, const QStringList &matchStrings)
{
    ORVO_TRACE_DEBUG(lcOrvoEnv, "OrvoUtility::getRegistryDevice") << "ba=" << bytes;
    for (int i = 0; i < matchStrings.size(); ++i) {
        ORVO_TRACE_DEBUG(lcOrvoEnv, "OrvoUtility::getRegistryDevice") << "image signature=" << matchStrings.at(i);
        if (bytes.contains(matchStrings.at(i).toLatin1()))
            return i;
    }
    return -1;
}

void OrvoUtility::setSleeper(Sleeper sleeper)
{
    const QMutexLocker lock(&g_hookMutex);
    g_sleeper = std::move(sleeper);
}

void OrvoUtility::setCopyStep(CopyStep step)
{
    const QMutexLocker lock(&g_hookMutex);
    g_copyStep = std::move(step);
}
