#pragma once

#include <QByteArray>
#include <QString>

// The flash of one device as it was before a save erased it, kept in the user folder until the
// save has written the whole image back. A save that fails after the erase leaves it behind;
// the next client of the same device writes it back before it reads anything, so that the
// device holds what it held before the failed action and the action can be tried again.
class OrvoPSFRestoreImage
{
public:
    // deviceId: the device's own id, which names the file.
    explicit OrvoPSFRestoreImage(const QString &deviceId);

    // True when any device has an image waiting: only then is a device's id worth reading.
    static bool anyPending();
    bool exists() const;
    // Keeps the image; false, with a log line, when the file cannot be written whole.
    bool save(const QByteArray &image) const;
    // The kept image; false when it cannot be read whole or is not size bytes long.
    bool load(qsizetype size, QByteArray &image) const;
    void remove() const;

private:
    QString m_path;
};
