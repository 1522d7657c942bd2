#pragma once

#include "device/OrvoDeviceInfo.h"

#include <QMutex>
#include <QString>
#include <QVector>

// The device types a device manager serves, in registration order, and what the search for
// file-system devices needs besides them: the id-source flags and the factories of the models
// that are registered from their own device files.
//
// A device's worker adds and removes the row of its updater while the GUI thread searches: the
// rows sit under a lock and leave it only as copies.
class OrvoDeviceRegistry
{
public:
    // Bit of the id-source flags: device ids are read from "System/device.txt", and devices
    // found that way are served as Fit devices.
    static constexpr int kDeviceTxtIds = 4;
    static constexpr int kDefaultIdSource = 3;

    // Factories of the clients of devices that describe themselves in their device file.
    struct FileDeviceFactories
    {
        OrvoDeviceInfo::Factory galDevice;
        OrvoDeviceInfo::Factory kavel60;
        OrvoDeviceInfo::Factory fitDevice;
    };

    // Copies the row to the front of the list or to its end; rows are not checked for
    // duplicates. Answers a copy of the stored row.
    OrvoDeviceInfo registerDevice(const OrvoDeviceInfo &info, bool atFront);
    // Removes the first row of that model name; nothing when there is none.
    void unregisterDevice(const QString &modelName);
    QVector<OrvoDeviceInfo> deviceTypes() const;

    int fsIdSource() const;
    void setFsIdSource(int flags);

    const FileDeviceFactories &fileDeviceFactories() const;
    void setFileDeviceFactories(const FileDeviceFactories &factories);

    // The rows, in list order and each once, of which an alternative of the match string occurs
    // in text, compared without regard to case. An empty alternative occurs in every text.
    static QVector<const OrvoDeviceInfo *> matchDeviceInfos(const QString &text, const QVector<OrvoDeviceInfo> &types);

private:
    mutable QMutex m_mutex;
    QVector<OrvoDeviceInfo> m_types;
    int m_fsIdSource = kDefaultIdSource;
    FileDeviceFactories m_fileDeviceFactories;
};
