#pragma once

#include "device/ScsiTransport.h"

#include <QtGlobal>

#include <memory>

class OrvoEmulatedFlashDevice;

// An open node of an emulated flash device. Like a real node, it dies with the plug it was
// opened in: once the device is unplugged, every command on it fails with ENODEV, even after
// the device comes back.
class OrvoEmulatedScsiHandle : public ScsiTransport
{
public:
    // Null when the device is not present.
    static std::unique_ptr<OrvoEmulatedScsiHandle> open(const std::shared_ptr<OrvoEmulatedFlashDevice> &device);

    ~OrvoEmulatedScsiHandle() override;

    Answer execute(const Request &request) override;
    QString targetName() const override;

private:
    OrvoEmulatedScsiHandle(std::shared_ptr<OrvoEmulatedFlashDevice> device, quint64 generation);

    std::shared_ptr<OrvoEmulatedFlashDevice> m_device;
    quint64 m_generation = 0;
};
