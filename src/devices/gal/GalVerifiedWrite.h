#pragma once

#include <QByteArray>
#include <QString>

// Files written onto a GAL drive count only once they read back whole: the device's own
// firmware may still hold the file when the write returns. The file is read back every 5
// seconds for up to 30 seconds, on the installed device waits.
class GalVerifiedWrite
{
public:
    static constexpr int kVerifyMs = 30000;
    static constexpr int kRetryMs = 5000;

    // Writes the bytes to path and waits until they read back; with logWaits each failed read
    // back is logged. False when the write failed or the file never read back whole.
    static bool write(const QString &path, const QByteArray &bytes, bool logWaits);
    // Copies source to destination the same way; failures are logged.
    static bool copy(const QString &source, const QString &destination);

private:
    static bool waitUntilComplete(const QString &path, qint64 length, bool logWaits);
};
