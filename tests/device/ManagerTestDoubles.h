#pragma once

#include "ClientTestDoubles.h"

#include "device/OrvoDeviceFactory.h"
#include "device/OrvoDeviceImpl.h"
#include "device/OrvoDeviceManagerListener.h"
#include "device/OrvoFSDeviceService.h"

#include <QStringList>
#include <QTest>

// Doubles of the device manager tests: a device class made by the rows' factory, which learns
// its model from the row its service matched and its id from the service, and a listener that
// writes down what the manager tells.
namespace ManagerTest {

// initial() refuses a device of this model, as a device class refuses a device it cannot serve.
inline const QString kRefusedModel = QStringLiteral("Refused");

class DeviceClient : public OrvoDeviceImpl<ClientTest::RecordingClient>
{
public:
    DeviceClient() { ++s_alive; }
    ~DeviceClient() override
    {
        stopWorker();
        --s_alive;
    }

    // Like the device classes, the id is read once, while the device is there.
    bool initial() override
    {
        OrvoDeviceService *service = deviceService();
        if (service == nullptr)
            return false;
        modelName = service->deviceInfo()->modelName;
        service->readDeviceId(m_uuid);
        return modelName != kRefusedModel;
    }

    bool getUUID(QString &uuid) override
    {
        uuid = m_uuid;
        return !uuid.isEmpty();
    }

    bool getDrive(QString &drive) override
    {
        auto *drives = dynamic_cast<OrvoFSDeviceService *>(deviceService());
        if (drives == nullptr)
            return false;
        drive = drives->drivePath();
        return true;
    }

    // Clients alive in the process.
    static inline int s_alive = 0;

private:
    QString m_uuid;
};

inline bool waitIdle(OrvoClient &client)
{
    return QTest::qWaitFor([&client] { return !client.isBusy(); }, ClientTest::kPatienceMs);
}

inline OrvoDeviceInfo row(const char *productId, const char *model, const QString &match)
{
    return OrvoDeviceInfo{QString::fromLatin1(productId), QString::fromLatin1(model), match,
                          &OrvoDeviceFactory::create<DeviceClient>};
}

// "model:id" of a client, "none" for null.
inline QString describe(OrvoClient *client)
{
    if (client == nullptr)
        return QStringLiteral("none");
    QString model;
    QString id;
    client->getName(model);
    client->getUUID(id);
    return model + QLatin1Char(':') + id;
}

class RecordingListener : public OrvoDeviceManagerListener
{
public:
    void onDeviceConnected(OrvoClient *client) override { events.append("connected " + describe(client)); }
    void onDeviceDisconnected(OrvoClient *client) override { events.append("disconnected " + describe(client)); }
    void onDeviceChanged(OrvoClient *client) override { events.append("changed " + describe(client)); }
    void onActionDone(OrvoClient *client, int action) override
    {
        events.append(QStringLiteral("done %1 %2").arg(describe(client)).arg(action));
    }

    // Returns what was told since the last call.
    QStringList take()
    {
        QStringList told = events;
        events.clear();
        return told;
    }

    QStringList events;
};

} // namespace ManagerTest
