#include "devices/fs/OrvoKavel50CR.h"

#include "device/OrvoDeviceInfo.h"
#include "device/OrvoFSDeviceService.h"
#include "device/OrvoPlatform.h"
#include "devices/fs/OrvoFsDeviceLogging.h"
#include "env/OrvoFunctionTrace.h"
#include "sql/ZKModel.h"

OrvoKavel50CR::OrvoKavel50CR() = default;

OrvoKavel50CR::~OrvoKavel50CR() = default;

OrvoFSDeviceService *OrvoKavel50CR::fsService()
{
    return dynamic_cast<OrvoFSDeviceService *>(deviceService());
}

bool OrvoKavel50CR::getDrive(QString &drive)
{
    const OrvoFSDeviceService *service = fsService();
    if (service == nullptr)
        return false;
    drive = service->drivePath();
    return true;
}

bool OrvoKavel50CR::getName(QString &model)
{
    OrvoDeviceService *service = deviceService();
    const OrvoDeviceInfo *info = service ? service->deviceInfo() : nullptr;
    if (info == nullptr)
        return false;
    model = info->modelName;
    return true;
}

bool OrvoKavel50CR::eject()
{
    closeDeviceDatabases();
    QString drive;
    if (!getDrive(drive))
        return false;
    const bool ejected = OrvoPlatform().ejectDevice(drive);
    const OrvoFSDeviceService *service = fsService();
    const QString second = service ? service->secondDrive() : QString();
    if (!second.isEmpty() && !OrvoPlatform().ejectDevice(second))
        ORVO_TRACE_WARNING(lcOrvoFsDevice, "OrvoKavel50CR::eject") << "second drive not ejected" << second;
    return ejected;
}
