#pragma once

#include <QByteArray>
#include <QChar>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

// File and folder helpers shared by the environment and the device classes. Only class
// operations; nothing is kept between calls, and every operation runs on the caller's thread.
class OrvoUtility : public QObject
{
    Q_OBJECT

public:
    // Told after each chunk of a file copy: bytes copied so far and the file's size.
    using CopyProgress = std::function<void(qint64 copied, qint64 total)>;
    // The wait between two copy tries.
    using Sleeper = std::function<void(int milliseconds)>;
    // One copy try: 0, or the errno of the failure.
    using CopyStep = std::function<int(const QString &source, const QString &destination, const CopyProgress &)>;

    OrvoUtility() = delete;

    // The text with the character added, unless it already ends with it.
    static QString appendChar(const QString &text, QChar character);
    // Gives the owner write permission back; the answer is always true.
    static bool clearReadOnly(const QString &path);
    static QString timeToString(qint64 secondsSince1970, const QString &format);
    // The text read as a UTC time of that format; 0 when it does not match.
    static qint64 stringToTime(const QString &text, const QString &format);
    static QString findDeviceIni(const QString &root);
    static QString findDeviceTxt(const QString &root);

    static bool deleteFile(const QString &path);
    // Copies source over destination in at most attempts tries, waiting waitMs after each
    // failed one. The copy keeps the source's modification time. With compareFirst, two
    // existing files of equal size whose times differ by at most toleranceSeconds count as
    // the same and nothing is copied. copied (when given) tells whether a copy was made.
    static bool copyFile(const QString &source, const QString &destination, bool overwrite, int attempts, int waitMs,
                         const CopyProgress &progress, bool compareFirst, int toleranceSeconds, bool *copied);
    // Copies the visible files and sub-folders of source into destination; the paths of the
    // files copied are appended to copied when it is given.
    static bool copyFolder(const QString &source, const QString &destination, const CopyProgress &progress,
                           QStringList *copied);
    // Renames each file whose path holds before to the path with after in its place; the
    // list follows the renames that succeeded.
    static bool renameFiles(QStringList &paths, const QString &before, const QString &after);
    // Removes everything in the folder, hidden entries too, then the folder; goes on after a
    // failure and answers false when anything stayed.
    static bool removeFolder(const QString &folder);
    // Appends the absolute path of every visible file below the folder.
    static void listFilesRecursive(const QString &folder, QStringList &list);
    // Removes the visible entries of the folder, stopping at the first failure, then the folder.
    static bool deleteFolderTree(const QString &folder);
    // Makes the folder and the folders missing between root and it, one level at a time, each
    // inside one that exists. False, with a log line, when root is not a folder or the folder
    // lies outside it: root and its parents are never made, so a drive pulled under an action
    // is not made anew as a plain folder on the computer's disk.
    static bool makeFolderBelow(const QString &root, const QString &folder);
    // Replaces the folder by the unpacked language package (a package that does not unpack whole
    // leaves the folder as it was and answers false) and appends to names the language
    // name of each code (from languages: code -> name, in code order) that a file name of the
    // folder holds between underscores.
    static bool getSupportLanguage(const QString &package, const QString &folder, QStringList &names,
                                   const QMap<QString, QString> &languages);
    // Index of the first match string whose bytes occur in the device's identification bytes;
    // -1 when none does.
    static int getRegistryDevice(const QByteArray &bytes, const QStringList &matchStrings);

    // Replace the wait between copy tries and the copy try itself; an empty function puts the
    // real one back. Tests use them to copy without sleeping and to make tries fail.
    static void setSleeper(Sleeper sleeper);
    static void setCopyStep(CopyStep step);
};
