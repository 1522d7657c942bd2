#pragma once

#include <QString>
#include <QStringList>

// The scripting side's functions that device classes call from their worker thread (the GAL
// devices' activity export, profile conversions and share import). The scripting host
// implements it and is installed with OrvoClient::setDeviceScripts. Each call takes the
// interpreter lock itself, from any thread, and answers false when the module or function is
// missing, when it raised, or when its answer is false or not of the expected kind.
class OrvoDeviceScriptInterface
{
public:
    virtual ~OrvoDeviceScriptInterface();

    // galapi.ExportKrm: writes one file per activity of the device into folder; files gets the
    // paths it answers.
    virtual bool exportKrm(const QString &folder, const QString &model, const QString &version, const QString &profile,
                           const QString &root, QStringList &files) = 0;
    // galapi.CreateProfileXml: the profile XML at xml from the device library's INI file.
    virtual bool createProfileXml(const QString &ini, const QString &xml) = 0;
    // galapi.CreateProfileIni: the INI file for the device library from parallel key and
    // value lists.
    virtual bool createProfileIni(const QStringList &keys, const QStringList &values, const QString &ini) = 0;
    // orvoweb.device.galSetShareData: stores the share package's workouts on the device.
    virtual bool galSetShareData(const QString &root, const QString &file) = 0;
};
