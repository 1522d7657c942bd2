#pragma once

#include "device/OrvoDeviceInfo.h"
#include "device/OrvoDeviceService.h"

#include <QMutex>
#include <QString>

// A device served through its file system: the drive (mount folder) that holds its files, the
// drive of its second volume when it has one, and its device file ("device.ini" or
// "System/device.txt"), which carries the device id.
class OrvoFSDeviceService : public OrvoDeviceService
{
public:
    OrvoFSDeviceService(const QString &drivePath, const OrvoDeviceInfo &info, const QString &deviceFilePath);

    // The "UUID" key of the "UUID" group. The file gets the marker key "ORVO" in that group when
    // it lacks it; nothing else in it changes. True when the id is not empty.
    static bool readDeviceIdFromFile(const QString &deviceFilePath, QString &id);

    // False with id untouched when the device has no device file. The first id read is the
    // one holdsDevice compares with.
    bool readDeviceId(QString &id) override;
    // True when the drive still holds this device: its device file is there and names the id
    // read first (read now when none was). A mount point the drive left as an empty folder, or
    // another device mounted there, holds none. Reads only; the file is not touched.
    bool holdsDevice();
    // The drive of a file-system device service whose drive still holds its device; false for
    // a service of another kind and for a drive that went.
    static bool heldDrive(OrvoDeviceService *service, QString &drive);
    OrvoDeviceInfo *deviceInfo() override;
    int serviceType() const override;

    QString drivePath() const;
    // Empty when the device has no second volume.
    QString secondDrive() const;
    void setSecondDrive(const QString &drive);

private:
    OrvoDeviceInfo m_info;
    QString m_deviceFilePath;
    QMutex m_idMutex;
    QString m_knownId;
};
