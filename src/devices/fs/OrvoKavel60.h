#pragma once

#include "device/OrvoDeviceImpl.h"
#include "devices/fs/OrvoKavel50.h"

#include <memory>

class OrvoDeviceServiceUser;

// The Kavel60: a Kavel50 in its files and databases, and a GAL device in its identity. Its
// "/device.ini" is the GAL kind, so the identity, the versions and the capabilities come from
// a GAL client kept inside (made by OrvoInnerDeviceFactory), which serves through this
// device's service without owning it. The service belongs to the Kavel60 alone: it is
// deleted once, after the inner client is gone, and every new one is passed on.
class OrvoKavel60 : public OrvoDeviceImpl<OrvoKavel50>
{
    Q_OBJECT

public:
    OrvoKavel60();
    ~OrvoKavel60() override;

    // Makes the inner client and gives it the service; false without one, else the Kavel50's
    // answer.
    bool initial() override;
    void setDeviceService(std::unique_ptr<OrvoDeviceService> service) override;

    // Answered by the inner client; before initial() the answers are those of a device without
    // a drive.
    bool getDrive(QString &drive) override;
    bool getUUID(QString &uuid) override;
    bool getOS(QString &version) override;
    bool getBootloader(QString &version) override;
    bool getTotal(QString &version) override;
    bool getLaunchsec(QString &version) override;
    QString getMinOrvoVer() override;
    bool getName(QString &model) override;
    QString getCapability() override;
    OrvoImageMetaInfo getImageMetaInfo(const QString &file) override;

private:
    std::unique_ptr<OrvoClient> m_inner;
    OrvoDeviceServiceUser *m_innerUser = nullptr;
};
