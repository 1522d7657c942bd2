#pragma once

#include "device/OrvoDeviceImpl.h"
#include "devices/fs/OrvoKavel50.h"

class OrvoFSDeviceService;

// The Kavel50 and Kavel50CR: a file-system device whose identity is the device-type row its
// drive matched.
class OrvoKavel50CR : public OrvoDeviceImpl<OrvoKavel50>
{
    Q_OBJECT

public:
    OrvoKavel50CR();
    ~OrvoKavel50CR() override;

    bool getDrive(QString &drive) override;
    bool getName(QString &model) override;
    // The databases are closed first, so that no file on the drive stays open. A second drive
    // of the device is ejected too; the answer is the main drive's.
    bool eject() override;

private:
    OrvoFSDeviceService *fsService();
};
