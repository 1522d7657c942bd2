#pragma once

#include "device/OrvoDeviceInfo.h"
#include "device/OrvoSCSIDeviceService.h"
#include "device/ScsiTransport.h"

#include <QVector>

#include <chrono>
#include <memory>

// A SCSI-served device reached through one transport, which the service owns: destroying the
// service closes the device node.
class OrvoLinuxSCSIService : public OrvoSCSIDeviceService
{
public:
    static constexpr std::chrono::milliseconds kCommandTimeout{10000};

    OrvoLinuxSCSIService(std::unique_ptr<ScsiTransport> transport, const OrvoDeviceInfo &info);
    ~OrvoLinuxSCSIService() override;

    // Asks the target for its INQUIRY answer; when the match string of a device type occurs in
    // it (the first such type wins), answers a service for that type with the firmware texts of
    // the answer. Otherwise the transport is closed and the answer is null.
    static std::unique_ptr<OrvoLinuxSCSIService> probe(std::unique_ptr<ScsiTransport> transport,
                                                       const QVector<OrvoDeviceInfo> &types);

    // The 16-character id that the device answers to the device-id command.
    bool readDeviceId(QString &id) override;
    OrvoDeviceInfo *deviceInfo() override;
    int serviceType() const override;

    bool openClient() override;
    bool closeClient() override;
    bool writeClient(const quint8 *cdb, int cdbLength, const char *data, qsizetype length) override;
    bool readClient(const quint8 *cdb, int cdbLength, char *buffer, qsizetype length) override;

private:
    bool send(const char *function, const ScsiTransport::Request &request, qsizetype expected);

    std::unique_ptr<ScsiTransport> m_transport;
    OrvoDeviceInfo m_info;
};
