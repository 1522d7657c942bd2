#pragma once

#include <QString>

struct OrvoDeviceInfo;

// One way of reaching an attached device, handed from detection to the client that serves it.
// Each service carries its own copy of the device-type row it matched.
class OrvoDeviceService
{
public:
    enum ServiceType {
        FileSystemService = 0,
        ScsiPassThroughService = 1,
    };

    OrvoDeviceService() = default;
    OrvoDeviceService(const OrvoDeviceService &) = delete;
    OrvoDeviceService &operator=(const OrvoDeviceService &) = delete;
    virtual ~OrvoDeviceService();

    // Fills id with the device's identifier; true when it is not empty.
    virtual bool readDeviceId(QString &id) = 0;
    virtual OrvoDeviceInfo *deviceInfo() = 0;
    virtual int serviceType() const = 0;

    QString firstText() const;
    void setFirstText(const QString &text);
    QString secondText() const;
    void setSecondText(const QString &text);

private:
    QString m_firstText;
    QString m_secondText;
};
