#include "devices/gal/GalVerifiedWrite.h"

#include "device/OrvoDeviceWaits.h"
#include "devices/gal/OrvoGalLogging.h"
#include "env/OrvoFunctionTrace.h"
#include "env/OrvoSaveFile.h"

#include <QFile>
#include <QSaveFile>

bool GalVerifiedWrite::write(const QString &path, const QByteArray &bytes, bool logWaits)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        ORVO_TRACE_CRITICAL(lcOrvoGal, "GalVerifiedWrite::write") << "can not open file " << path;
        return false;
    }
    if (file.write(bytes) != bytes.size() || !commitSaveFile(file)) {
        ORVO_TRACE_CRITICAL(lcOrvoGal, "GalVerifiedWrite::write") << "write failed:" << path << file.errorString();
        return false;
    }
    return waitUntilComplete(path, bytes.size(), logWaits);
}

bool GalVerifiedWrite::copy(const QString &source, const QString &destination)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        ORVO_TRACE_WARNING(lcOrvoGal, "GalVerifiedWrite::copy") << "can not open file " << source;
        return false;
    }
    const QByteArray bytes = in.readAll();
    if (in.error() != QFileDevice::NoError) {
        ORVO_TRACE_WARNING(lcOrvoGal, "GalVerifiedWrite::copy") << "can not read file " << source;
        return false;
    }
    return write(destination, bytes, false);
}

bool GalVerifiedWrite::waitUntilComplete(const QString &path, qint64 length, bool logWaits)
{
    OrvoDeviceWaits &waits = OrvoDeviceWaits::current();
    const QDateTime start = waits.currentUtc();
    while (start.msecsTo(waits.currentUtc()) < kVerifyMs) {
        QFile file(path);
        if (file.open(QIODevice::ReadWrite)) {
            const qint64 read = file.readAll().size();
            file.close();
            if (read == length)
                return true;
        } else if (logWaits) {
            ORVO_TRACE_CRITICAL(lcOrvoGal, "GalVerifiedWrite::waitUntilComplete") << "open IMG.bin failed";
        }
        if (logWaits)
            ORVO_TRACE_DEBUG(lcOrvoGal, "GalVerifiedWrite::waitUntilComplete") << "wait for completion of IMG.bin";
        waits.sleep(kRetryMs);
    }
    ORVO_TRACE_CRITICAL(lcOrvoGal, "GalVerifiedWrite::waitUntilComplete")
        << path << "did not read back" << length << "bytes within" << kVerifyMs << "ms";
    return false;
}
