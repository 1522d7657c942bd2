#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// The flash of one device as it was before a save erased it, kept in the user folder from just
// before the erase until the save has written the whole new image. A save cut off after its
// erase leaves it behind; the next client of the same device writes it back, but only over
// what that save can have left: erased flash, or some of the save's own blocks (or some of an
// earlier write-back's). It also recognises the save's whole new image, which it leaves alone.
//
// File layout (little-endian):
//   0   4   magic kOrvoRestoreMagic
//   4   2   format version kOrvoRestoreVersion
//   6   2   n, then n bytes: the device id (UTF-8)
//       2   m, then m bytes: the device's firmware text (UTF-8)
//       4   the image length L, a whole number of blocks
//       32  SHA-256 of every other byte of the file
//       L / kBlockSize x 32  SHA-256 of each block of the new image, as the flash holds it after
//                            the save (erased where the save writes nothing)
//       L   the former image
class OrvoPSFRestoreImage
{
public:
    static constexpr quint32 kOrvoRestoreMagic = 0x52505643;
    static constexpr quint16 kOrvoRestoreVersion = 1;
    static constexpr qsizetype kBlockSize = 4096;

    // What the file holds.
    struct Copy
    {
        QString deviceId;
        QString firmware;
        QByteArray former;
        QVector<QByteArray> newBlockSums;
    };

    // deviceId: the device's own id; the file is named by the hex of its bytes, so that ids
    // that differ in any byte never share a file.
    explicit OrvoPSFRestoreImage(const QString &deviceId);

    // True when any device has an image waiting: only then is a device's id worth reading.
    static bool anyPending();
    static QByteArray blockSum(const QByteArray &block);
    QString path() const;
    bool exists() const;
    // Keeps the former image with the sums of the new one's blocks, synced with its folder, so
    // that an erase that follows cannot be on the disk before the copy is; false, with a log
    // line, when the file cannot be written whole.
    bool save(const Copy &copy) const;
    // The kept copy; false, with a log line naming what is wrong, when the file is cut, damaged,
    // of another format or for another device.
    bool load(Copy &copy) const;
    void remove() const;
    // Renames the file so that no client writes it back, and answers its new path (empty, with
    // a log line, when it could not be renamed).
    QString setAside() const;

private:
    QString m_deviceId;
    QString m_path;
};
