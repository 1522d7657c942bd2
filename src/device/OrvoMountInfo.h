#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// The mount table of a mountinfo file (/proc/self/mountinfo), in the file's order.
class OrvoMountInfo
{
public:
    struct Entry
    {
        // "major:minor" of the mounted block device.
        QString device;
        QString mountPoint;
        QString fileSystemType;
        QString source;
    };

    // Lines that do not have the mountinfo shape are skipped.
    static QVector<Entry> parse(const QByteArray &text);
    // Empty when the file cannot be read.
    static QVector<Entry> read(const QString &path);
};
