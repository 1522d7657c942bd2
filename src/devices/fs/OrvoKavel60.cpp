#include "devices/fs/OrvoKavel60.h"

#include "device/OrvoDeviceServiceUser.h"
#include "device/OrvoInnerDeviceFactory.h"
#include "devices/fs/OrvoFsDeviceLogging.h"
#include "env/OrvoFunctionTrace.h"

OrvoKavel60::OrvoKavel60() = default;

OrvoKavel60::~OrvoKavel60()
{
    // The worker asks the inner client: it ends before the inner client goes, and the inner
    // client before the service it uses.
    stopWorker();
    m_innerUser = nullptr;
    m_inner.reset();
}

bool OrvoKavel60::initial()
{
    OrvoFunctionTrace trace("OrvoKavel60::initial");
    std::unique_ptr<OrvoClient> inner = OrvoInnerDeviceFactory::makeGalDevice();
    auto *user = dynamic_cast<OrvoDeviceServiceUser *>(inner.get());
    if (user == nullptr) {
        ORVO_TRACE_CRITICAL(lcOrvoFsDevice, "OrvoKavel60::initial") << "no GAL client to read the identity from";
        return false;
    }
    user->useDeviceService(deviceService());
    m_inner = std::move(inner);
    m_innerUser = user;
    return OrvoKavel50::initial();
}

void OrvoKavel60::setDeviceService(std::unique_ptr<OrvoDeviceService> service)
{
    OrvoDeviceImpl::setDeviceService(std::move(service));
    if (m_innerUser != nullptr)
        m_innerUser->useDeviceService(deviceService());
}

bool OrvoKavel60::getDrive(QString &drive)
{
    return m_inner && m_inner->getDrive(drive);
}

bool OrvoKavel60::getUUID(QString &uuid)
{
    return m_inner && m_inner->getUUID(uuid);
}

bool OrvoKavel60::getOS(QString &version)
{
    return m_inner && m_inner->getOS(version);
}

bool OrvoKavel60::getBootloader(QString &version)
{
    return m_inner && m_inner->getBootloader(version);
}

bool OrvoKavel60::getTotal(QString &version)
{
    return m_inner && m_inner->getTotal(version);
}

bool OrvoKavel60::getLaunchsec(QString &version)
{
    return m_inner && m_inner->getLaunchsec(version);
}

QString OrvoKavel60::getMinOrvoVer()
{
    return m_inner ? m_inner->getMinOrvoVer() : OrvoKavel50::getMinOrvoVer();
}

bool OrvoKavel60::getName(QString &model)
{
    return m_inner && m_inner->getName(model);
}

QString OrvoKavel60::getCapability()
{
    return m_inner ? m_inner->getCapability() : OrvoKavel50::getCapability();
}

OrvoImageMetaInfo OrvoKavel60::getImageMetaInfo(const QString &file)
{
    return m_inner ? m_inner->getImageMetaInfo(file) : OrvoKavel50::getImageMetaInfo(file);
}
