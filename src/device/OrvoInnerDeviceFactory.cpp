#include "device/OrvoInnerDeviceFactory.h"

#include <QMutex>
#include <QMutexLocker>

namespace {

struct InstalledMaker
{
    QMutex mutex;
    OrvoInnerDeviceFactory::Maker maker;
};

InstalledMaker &installedMaker()
{
    static InstalledMaker installed;
    return installed;
}

} // namespace

void OrvoInnerDeviceFactory::setGalDeviceMaker(Maker maker)
{
    InstalledMaker &installed = installedMaker();
    QMutexLocker lock(&installed.mutex);
    installed.maker = std::move(maker);
}

std::unique_ptr<OrvoClient> OrvoInnerDeviceFactory::makeGalDevice()
{
    InstalledMaker &installed = installedMaker();
    QMutexLocker lock(&installed.mutex);
    return installed.maker ? installed.maker() : nullptr;
}
