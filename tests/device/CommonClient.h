#pragma once

#include "device/OrvoClient.h"
#include "device/OrvoDeviceService.h"

#include <QFile>
#include <QStringList>

#include <functional>
#include <memory>

// A device class of the common-operation tests: it answers the queries those operations make
// from fields the test sets, and holds whatever device service the test gives it.
class CommonClient : public OrvoClient
{
    Q_OBJECT

public:
    ~CommonClient() override { stopWorker(); }

    QString model = QStringLiteral("TestModel");
    bool hasName = true;
    QString bootLoader;
    bool answersBootLoader = true;
    QString total;
    QString ap;
    QString launch;
    QString uuid;
    bool hasStorage = true;
    qint64 storageTotal = 0;
    qint64 storageFree = 0;
    QStringList languages;
    QMap<QString, QString> componentVersions;
    // Written by prepareUploadProfile when not empty.
    QByteArray profileXml;
    std::unique_ptr<OrvoDeviceService> service;
    // What the device lists, appended by the list operations.
    QVector<OrvoClientData> pois;
    QVector<OrvoClientData> routes;
    QVector<OrvoClientData> tracks;
    QVector<OrvoClientData> workouts;

    bool getName(QString &text) override
    {
        text = model;
        return hasName;
    }
    bool getBootloader(QString &version) override
    {
        version = bootLoader;
        return answersBootLoader;
    }
    bool getTotal(QString &version) override
    {
        version = total;
        return true;
    }
    bool getAP(QString &version) override
    {
        version = ap;
        return true;
    }
    bool getLaunchsec(QString &version) override
    {
        version = launch;
        return true;
    }
    bool getUUID(QString &text) override
    {
        text = uuid;
        return true;
    }
    bool getInternalStorage(qint64 &totalBytes, qint64 &freeBytes) override
    {
        if (hasStorage) {
            totalBytes = storageTotal;
            freeBytes = storageFree;
        }
        return hasStorage;
    }
    bool getLanguageOnDevice(QStringList &list) override
    {
        list = languages;
        return true;
    }
    QString getComponentVersion(const QString &component) override
    {
        return componentVersions.value(component, OrvoClient::getComponentVersion(component));
    }
    bool prepareUploadProfile(const QString &file) override
    {
        if (profileXml.isEmpty())
            return false;
        QFile out(file);
        return out.open(QIODevice::WriteOnly) && out.write(profileXml) == profileXml.size();
    }
    void getPOIs(QVector<OrvoClientData> &items) override { items += pois; }
    void getRoutes(QVector<OrvoClientData> &items) override { items += routes; }
    void getTracks(QVector<OrvoClientData> &items) override { items += tracks; }
    void getWorkouts(QVector<OrvoClientData> &items) override { items += workouts; }
    OrvoDeviceService *deviceService() override { return service.get(); }
    bool prepareUploadData(QString &, bool) override { return false; }
    QStringList _exportTrack(const QString &) override { return {}; }

    using OrvoClient::shareDataListRequest;
    using OrvoClient::shareDataRequest;
};
