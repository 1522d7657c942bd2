#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QMutex;

// Packing files into a zip archive and unpacking an archive into a folder. Callers that
// publish how far they got pass a mutex and a progress value they own; the progress is
// written only while that mutex is held.
class OrvoCompress : public QObject
{
public:
    explicit OrvoCompress(QObject *parent = nullptr);
    ~OrvoCompress() override;

    // As compress(archive, files), and after the file with index i the progress becomes
    // i / count. Without a mutex nothing is done.
    virtual bool compress(const QString &archive, const QStringList &files, QMutex *mutex, float *progress);
    // Replaces the archive by one holding each file under its path text; relative paths are
    // read from the process's current folder. False when the archive cannot be written or a
    // file cannot be added; the file of that name is then left as it was.
    virtual bool compress(const QString &archive, const QStringList &files) = 0;
    // As decompress(archive, folder), but stops at the first entry that fails, and after the
    // entry with index i the progress becomes start + i / count * scale, start being the
    // progress on entry. Without a mutex nothing is done.
    virtual bool decompress(const QString &archive, const QString &folder, QMutex *mutex, float *progress, float scale);
    // Extracts every entry into the folder (made when missing) under its stored name. Names
    // that are absolute or climb out with ".." refuse the whole archive before anything is
    // written; "\" separates folders as "/" does. False when the archive cannot be opened, is
    // refused, or an entry fails (a damaged entry leaves no file behind).
    virtual bool decompress(const QString &archive, const QString &folder) = 0;
    // Replaces the archive by one holding a single folder entry of that name.
    virtual bool compressFolderEntry(const QString &archive, const QString &name);

    // The compress forms above with relative paths read from baseFolder, so that no caller has
    // to change the current folder; the entry names are the paths as given.
    virtual bool compress(const QString &archive, const QString &baseFolder, const QStringList &files) = 0;
    virtual bool compress(const QString &archive, const QString &baseFolder, const QStringList &files, QMutex *mutex,
                          float *progress);
};
