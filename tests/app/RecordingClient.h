#pragma once

#include "OrvoTestSupport.h"

#include "device/OrvoClient.h"
#include "device/OrvoModelSetupInterface.h"

#include <QStringList>

class OrvoEnv;

// A client whose identity the test sets and which records what the controller asks of it.
class RecordingClient : public OrvoClient
{
public:
    QString model;
    QString total;
    QString bootLoader;
    QString drive;
    bool hasDrive = true;
    int serviceType = 0;
    int state = 0;
    // Written as the flash dump when not empty.
    QByteArray flash;

    int versionChecks = 0;
    OrvoEnv *checkedEnv = nullptr;

    bool getName(QString &name) override
    {
        name = model;
        return true;
    }
    bool getTotal(QString &version) override
    {
        version = total;
        return true;
    }
    bool getBootloader(QString &version) override
    {
        version = bootLoader;
        return true;
    }
    int deviceServiceType() override { return serviceType; }
    bool getDrive(QString &path) override
    {
        path = drive;
        return hasDrive;
    }
    int getState() override { return state; }
    void checkMinVersions(OrvoEnv *env) override
    {
        ++versionChecks;
        checkedEnv = env;
    }
    void saveExtFlashToFile(const QString &path) override
    {
        if (!flash.isEmpty())
            OrvoTest::writeFile(path, flash);
    }
    bool prepareUploadData(QString &, bool) override { return false; }
    QStringList _exportTrack(const QString &) override { return {}; }
};

// The device library's model set-up calls, in order, as "<call> <text>".
class RecordingModelSetup : public OrvoModelSetupInterface
{
public:
    QStringList calls;

    void setModelName(const QByteArray &name) override { calls << QStringLiteral("SetModelName ") + name; }
    void setModelImg(const QByteArray &image) override { calls << QStringLiteral("SetModelIMG ") + image; }
    void setModelIap(const QByteArray &bootLoader) override { calls << QStringLiteral("SetModelIAP ") + bootLoader; }
};
