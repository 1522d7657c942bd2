#include "emulator/OrvoEmulatedScsiHandle.h"

#include "emulator/OrvoEmulatedFlashDevice.h"

std::unique_ptr<OrvoEmulatedScsiHandle>
OrvoEmulatedScsiHandle::open(const std::shared_ptr<OrvoEmulatedFlashDevice> &device)
{
    if (!device || !device->isPresent())
        return nullptr;
    return std::unique_ptr<OrvoEmulatedScsiHandle>(new OrvoEmulatedScsiHandle(device, device->generation()));
}

OrvoEmulatedScsiHandle::OrvoEmulatedScsiHandle(std::shared_ptr<OrvoEmulatedFlashDevice> device, quint64 generation)
    : m_device(std::move(device))
    , m_generation(generation)
{
    ++m_device->m_openHandles;
}

OrvoEmulatedScsiHandle::~OrvoEmulatedScsiHandle()
{
    --m_device->m_openHandles;
}

ScsiTransport::Answer OrvoEmulatedScsiHandle::execute(const Request &request)
{
    return m_device->executeIn(m_generation, request);
}

QString OrvoEmulatedScsiHandle::targetName() const
{
    return m_device->targetName();
}
