#pragma once

#include "app/OrvoPybind.h"
#include "device/OrvoClientData.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <memory>
#include <vector>

class OrvoClient;

// The web application's view of a device client: the methods of the Python class OrvoClient of
// the module orvo, each taking the client Python holds as its first argument (null when that
// client is gone). They act only on the current client, the last real client that
// new_OrvoClient handed out; for any other client (in practice the placeholder that stands for
// "no device") they answer a fixed default without touching a device. getError, ejectDevice,
// deleteData and deleteHistory act on the client they are given. No method fails otherwise than
// by its default answer. GUI thread only.
class OrvoClientWrapper
{
public:
    using ClientDataList = std::vector<std::unique_ptr<OrvoClientData>>;

    // updateDevice's answers besides a started (0) or not started (1) update.
    static constexpr int kUpdateRefused = -1;
    static constexpr int kUpdateBusy = 11;

    // The controller's current client, which becomes the current client; the placeholder client
    // when no device is attached (the current client then stays as it was).
    OrvoClient *new_OrvoClient();

    QString getDrive(OrvoClient *o);
    // 0 file-system drive, 1 SCSI pass-through; -1 by default.
    int getServiceType(OrvoClient *o);
    // The asynchronous methods bind the callback that receives every asynchronous result (only
    // the first callback ever passed is bound), then start the client's action; false when the
    // callback can't be bound or the client is busy. Call with the interpreter lock held.
    bool asyncReadDeviceProfile(OrvoClient *o, const QString &filename, const pybind11::object &callback);
    bool asyncWriteDeviceProfile(OrvoClient *o, const QString &filename, const pybind11::object &callback);
    // Starts the update of one component: 0 started, 1 not started, kUpdateBusy while the client
    // is busy, kUpdateRefused for a client that isn't current or isn't valid.
    int updateDevice(OrvoClient *o, const QString &component, const QString &filename, const QString &extra);
    bool ejectDevice(OrvoClient *o);
    bool makelanfile(OrvoClient *o, const QStringList &lanlist);
    bool newSetShareData(OrvoClient *o, const QString &filename);
    bool asyncPrepareUploadData(OrvoClient *o, const pybind11::object &callback);
    bool asyncImportDownloadZip(OrvoClient *o, const QString &zipfile, const pybind11::object &callback);
    bool asyncFinalize(OrvoClient *o, const pybind11::object &callback);
    bool asyncExportTrack(OrvoClient *o, const QString &dest, const pybind11::object &callback);
    // Imports the share package synchronously.
    bool setShareData(OrvoClient *o, const QString &zipfile);
    QString getUUID(OrvoClient *o);
    // The lowest map-engine version over the device's drives.
    QString getMapEngine(OrvoClient *o);
    // The lowest map-data version and the lowest GPS-tuner version over the device's drives,
    // joined by "^".
    QString getMapData(OrvoClient *o);
    QStringList getVersions(OrvoClient *o);
    QString getTotal(OrvoClient *o);
    QString getLaunchsec(OrvoClient *o);
    QString getAP(OrvoClient *o);
    QString getBootloader(OrvoClient *o);
    QString getOS(OrvoClient *o);
    bool isExist(OrvoClient *o);
    QString getName(OrvoClient *o);
    // The service state; 2 (out of service) by default.
    int getState(OrvoClient *o);
    // The running action's progress from 0 to 1; -1 while none runs, and by default.
    float getProgress(OrvoClient *o);
    // The client's error flag; reading it clears the flag and the error code.
    bool getError(OrvoClient *o);
    // What the user must know of the device beyond an action's result; empty by default.
    QString getNotice(OrvoClient *o);
    // The rides on the device, read while the client is claimed; empty when it is busy.
    ClientDataList getTracks(OrvoClient *o);
    QByteArray toPsfBitfont(OrvoClient *o, const QString &str, const QString &langcode, bool hasNext, bool isDesc);
    // Always two values: the language code and the PNG bytes.
    QVariantList toPngString(OrvoClient *o, const QByteArray &bitfontBytes);
    QString getCapability(OrvoClient *o);
    // "all" deletes everything, "history" every ride; false for any other text and while the
    // client is busy.
    bool deleteData(OrvoClient *o, const QString &what);
    // Deletes the rides with one of the names, each ride once; false while the client is busy.
    bool deleteHistory(OrvoClient *o, const QStringList &names);
};
