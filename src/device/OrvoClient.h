#pragma once

#include "device/OrvoClientData.h"
#include "device/OrvoClientShareData.h"
#include "device/OrvoClientShareDataList.h"
#include "device/OrvoComponentRequest.h"
#include "device/OrvoDataId.h"
#include "device/OrvoImageMetaInfo.h"
#include "env/OrvoExceptionTask.h"
#include "psf/OrvoPSFBitFontCreatorSupport.h"

#include <QList>
#include <QMap>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QVariantList>
#include <QVector>

#include <atomic>

class OrvoAsyncResultInterface;
class OrvoCapabilityInterface;
class OrvoClientActionListener;
class OrvoDeviceRowRegistration;
class OrvoDeviceScriptInterface;
class OrvoDeviceService;
class OrvoEnv;
class QDomDocument;
class QDomElement;
class QDomNode;

// The base of every device class. A client runs at most one numbered action at a time on its
// own worker thread (the client is that QThread): a starter, called on the GUI thread, stores
// its arguments and starts the thread; run() claims the service state and runs the action's
// worker operation under the crash guard (the client is the guarded task); when the thread has
// ended, thread_done() on the GUI thread emits the action's done signal or hands the action's
// result list to the scripting side, and then tells the action listener.
//
// The virtual operations below are the one interface through which the device manager, the
// controller and the scripting wrappers drive a device. Each has a default that declines in its
// own way (false, an empty result, "not support" or nothing); device classes override what
// their device supports. Operations whose names start with an underscore run on the worker
// thread, as do prepareUploadData, setShareData, prepareUploadProfile and saveProfile when an
// action calls them; everything else is called on the GUI thread.
class OrvoClient : public QThread, public OrvoExceptionTask
{
    Q_OBJECT

public:
    enum Action : int {
        Action_None = -1,
        Action_UpdateTotal = 0,
        Action_UpdateAP = 2,
        Action_UpdateBootLoader = 3,
        Action_ImportMap = 4,
        Action_DeleteMap = 5,
        Action_Finalize = 6,
        Action_ReadData = 7,
        Action_GetShareDataList = 8,
        Action_GetShareData = 9,
        Action_UpdateComponent = 10,
        Action_Batch = 16,
        Action_ExportTrack = 17,
        Action_MakeUploadZip = 18,
        Action_ImportDownloadZip = 19,
        Action_ReadProfile = 20,
        Action_WriteProfile = 21,
        Action_RestoreFactory = 22,
        // Set by a device class itself to keep the client busy while its device restarts; no
        // thread runs for it and its end is never announced.
        Action_AwaitReplug = 23,
        Action_UpdateMapData = 24,
        Action_UpdateAlp = 25,
    };

    // The service state. Device classes may use further values (4 while a formatting restart is
    // pending); with any value other than these four no action starts.
    enum State : int {
        STATE_IN_SERVICE = 0,
        // A firmware update goes on across a restart of the device.
        STATE_TOTAL_UPDATE = 1,
        // An action runs.
        STATE_OUT_OF_SERVICE = 2,
        // A factory restore goes on across a restart of the device.
        STATE_FACTORY_RESTORE = 3,
    };

    // How long the destructor waits for a running action before it terminates the worker.
    static constexpr int kDefaultStopTimeoutMs = 20000;

    OrvoClient();
    ~OrvoClient() override;

    // Where result lists and action notices go; null removes the receiver. Process-wide, set on
    // the GUI thread by the layers above (the scripting host and the device manager).
    static void setAsyncResultReceiver(OrvoAsyncResultInterface *receiver);
    static void setActionListener(OrvoClientActionListener *listener);
    // The device library that answers capability queries; null (no library) fails them.
    static void setCapabilitySource(OrvoCapabilityInterface *source);
    // The scripting functions that device classes call; null (no scripting host) when none is
    // installed, and device classes then fail what needs it.
    static void setDeviceScripts(OrvoDeviceScriptInterface *scripts);
    // Where device classes register the rows of their updaters; null when none is installed.
    static void setDeviceRows(OrvoDeviceRowRegistration *rows);
    static OrvoDeviceRowRegistration *deviceRows();
    static OrvoDeviceScriptInterface *deviceScripts();

    // The virtual operations, in the order the device classes know them.
    virtual bool initial();
    virtual bool isBusy();
    virtual int getState();
    // The held device service's type (0 file-system drive, 1 SCSI pass-through), -1 without one.
    virtual int deviceServiceType();
    virtual int productType();
    virtual bool getDrive(QString &drive);
    virtual bool getSharePath(QString &path);
    virtual bool getUUID(QString &uuid);
    virtual bool getInternalStorage(qint64 &total, qint64 &free);
    virtual bool getOS(QString &version);
    virtual bool getBootloader(QString &version);
    virtual bool getTotal(QString &version);
    virtual bool getLaunchsec(QString &version);
    virtual bool getAP(QString &version);
    virtual int getAlpDate();
    virtual QString getMinOrvoVer();
    virtual bool isValid();
    virtual bool getName(QString &model) = 0;
    virtual bool classFlag();
    virtual bool usePsfLanguageFilter();
    // Produces the upload package and sets path to it.
    virtual bool prepareUploadData(QString &path, bool dontCheckUploaded) = 0;
    virtual void getPOIs(QVector<OrvoClientData> &items);
    virtual void getRoutes(QVector<OrvoClientData> &items);
    virtual void getTracks(QVector<OrvoClientData> &items);
    virtual void getWorkouts(QVector<OrvoClientData> &items);
    virtual bool deletePOIs(const QVector<int> &ids);
    virtual bool deleteRoutes(const QVector<int> &ids);
    virtual bool deleteTracks(const QVector<int> &ids);
    virtual bool deleteWorkouts(const QVector<int> &ids);
    virtual bool deleteAll();
    virtual bool saveProfile(const QMap<QString, QString> &values);
    virtual bool updateTotal(const QString &file, const QString &changedLang);
    virtual void removeUpdatePackage();
    virtual bool updateBootLoader(const QString &file);
    virtual bool updateAP(const QString &file);
    virtual bool updateLaunchsec(const QString &file);
    virtual bool finalize();
    virtual bool getShareData(const OrvoClientShareData &request);
    virtual bool getShareDataList(const OrvoClientShareDataList &request);
    virtual bool batch(const OrvoClientShareData &request);
    virtual int storeState();
    virtual bool updateAlp(const QString &file, int n);
    virtual bool readData();
    virtual bool importMap(int n);
    virtual bool deleteMap(int n);
    virtual void formatDevice();
    virtual bool eject();
    virtual void setProgress(float value);
    virtual float progress();
    virtual void startProgress();
    virtual void stopProgress();
    virtual bool prepareUploadProfile(const QString &file);
    virtual bool restoreFactory(const QString &arg);
    virtual int classLevel();
    virtual bool updateMapData(const QString &arg);
    virtual void exportLog(const QString &folder);
    virtual bool setShareData(const QString &zipFile);
    virtual bool dontCheckUploaded();
    virtual bool unpackLanguagePackage(const QString &package, QStringList &list);
    virtual bool getLanguageOnDevice(QStringList &languages);
    virtual bool setDefLanguage(const QString &language, int n);
    virtual bool LanguageListXml(const QString &path);
    virtual bool syncTime();
    virtual int classFlag2();
    virtual QString getComponentVersion(const QString &component);
    virtual bool updateComponent(const QString &file, const QString &model, const QString &component,
                                 const QString &extra);
    virtual void clearDataIds();
    virtual bool addDataId(OrvoDataId id);
    // Exports the device's rides into folder; the paths of the files written there, in order.
    virtual QStringList _exportTrack(const QString &folder) = 0;
    virtual bool exportTrack(const QString &folder);
    virtual bool makeUploadZip();
    virtual bool importDownloadZip(const QString &zipFile);
    virtual bool readProfile(const QString &file);
    // file names the profile XML document to write to the device.
    virtual bool writeProfile(const QString &file);
    virtual void checkMinVersions(OrvoEnv *env);
    virtual QString getCapability();
    virtual void saveExtFlashToFile(const QString &path);
    virtual void dumpFlashForLog(const QString &folder, QStringList *files);
    virtual OrvoImageMetaInfo getImageMetaInfo(const QString &file);
    virtual bool _updateAlp(const QString &file, int n);
    virtual bool _updateTotal(const QString &file, const QString &changedLang);
    virtual bool _updateBootLoader(const QString &file);
    virtual bool _updateAP(const QString &file);
    virtual bool _importMap(int n);
    virtual bool _deleteMap(int n);
    virtual bool _finalize();
    virtual bool _readData();
    virtual bool _getShareDataList();
    virtual bool _getShareData();
    virtual bool _updateComponent(const OrvoComponentRequest &request);
    virtual bool _batch();
    virtual bool _restoreFactory(const QString &arg);
    virtual bool _updateMapData(const QString &arg);
    virtual OrvoDeviceService *deviceService();

    // Under the state mutex: when the state equals expected it becomes value and the answer is
    // true; otherwise nothing changes.
    bool setStateWithMatch(int expected, int value);

    // The value of key in the settings group named after the model (getName); the default when
    // the client has no name or the key is missing.
    QString getDeviceSetting(const QString &key, const QString &defaultValue);
    // The OS version and the AP version, each only when it is not empty.
    void getVersions(QStringList &list);

    // A string record of str in the language langcode rendered as a bit-font image (a one-line
    // name, or a description of free height), with its has-next bit; drawn on the calling
    // thread through the client's renderer, or directly when onMainThread is true.
    QByteArray toPsfBitfont(const QString &str, const QString &langcode, bool hasNext, bool isDesc, bool onMainThread);
    // The text and the image (as PNG bytes) of a string record; langcode receives its language.
    static QString bitfontToText(const QByteArray &record, QString &langcode);
    static QByteArray bitfontToPng(const QByteArray &record, QString &langcode);

    // Worker side: writes the image file folder/name.bin (internal flash) or
    // folder/nameExData.bin (external flash) to the flash region through the SCSI device
    // service, in blocks of blockSize bytes from block 0. Failures set the error flag.
    bool writeInternalFlash(const QString &folder, const QString &name, int region, int blockSize);
    bool writeExternalFlash(const QString &folder, const QString &name, int region, int blockSize);

    // Appends an "item" (name, drive, version) under parent for each "drive^version" entry of
    // the "|"-separated list; entries of another shape are skipped.
    static void buildItemListXml(QDomDocument &doc, QDomNode &parent, const QString &name, const QString &list);

    // The result of the last action: set when the action failed, crashed or could not start.
    bool error() const;
    void setError(bool error);
    // A number device classes leave to say why an action failed.
    int errorCode() const;
    void setErrorCode(int code);
    // What the user must know of this device beyond an action's result (a recovery copy of its
    // content kept on the computer, say); empty when there is nothing to tell. Set while the
    // device opens, read by the page.
    QString notice() const;
    void setNotice(const QString &text);
    // The device's language, a three-letter code; empty unless the device class names one.
    QString deviceLanguage() const;
    // The running action, Action_None when idle.
    int currentAction() const;
    void setCurrentAction(int action);

    // Routines that publish progress from inside a loop get both addresses and hold the mutex
    // around each write; the client's own progress operations take the same mutex, so they must
    // not be called while it is held.
    QMutex *progressMutex();
    float *progressValue();

    // How long the destructor waits for a running action; kDefaultStopTimeoutMs unless set.
    void setStopTimeout(int milliseconds);

    // The crash guard's side of the client: execute runs the current action's worker operation.
    bool execute() override;
    void handleException() override;

signals:
    void updateTotalDone();
    void updateBootLoaderDone();
    void updateAPDone();
    void importMapDone();
    void deleteMapDone();
    void finalizeDone();
    void readDataDone();
    void getShareDataListDone(OrvoClientShareDataList list);
    void getShareDataDone(OrvoClientShareData data);
    void updateComponentDone();
    void batchDone(OrvoClientShareData data);

public slots:
    void thread_done();

protected:
    void run() override;

    // Waits for a running action (up to the stop timeout), then terminates it. The base
    // destructor calls it, but by then the derived parts are gone: a class whose worker
    // operations use its own members calls it first in its destructor.
    void stopWorker();

    // Hands the objects that actions work on to the target thread: to the worker just before an
    // action starts, back to the client's own thread when it ends, so that each is owned by the
    // one thread that may use it. Qt refuses a parent that lives on another thread, and a
    // record so refused is never freed. The base holds no such objects.
    virtual void moveWorkData(QThread *target);

    const OrvoClientShareDataList &shareDataListRequest() const;
    // For device classes that run _getShareDataList on the calling thread instead of as action 8.
    void setShareDataListRequest(const OrvoClientShareDataList &request);
    const OrvoClientShareData &shareDataRequest() const;
    const OrvoComponentRequest &componentRequest() const;
    // Device classes name their language in their constructor, before any action runs.
    void setDeviceLanguage(const QString &code);

private:
    bool claimAction(Action action);
    // The asynchronous starters warn when the client is busy, so that a lost request shows.
    bool claimAsyncAction(Action action, const char *starter, const char *busyMessage);
    void startWorker();
    void runClaimedAction();
    bool writeProfileFromFile(const QString &file);
    bool exportEveryRide(const QString &folder);
    void emitDone(int action);
    bool writeFlashImage(const QString &path, const QString &name, int region, int blockSize, const char *function,
                         const char *failure);
    void appendDeviceOverview(QDomDocument &doc, QDomElement &root);

    std::atomic_bool m_error{false};
    std::atomic_int m_errorCode{0};
    std::atomic_bool m_capabilityFailureLogged{false};
    QString m_deviceLanguage;
    mutable QMutex m_noticeMutex;
    QString m_notice;
    QString m_fileArgument;
    QString m_changedLangArgument;
    int m_intArgument = 0;
    int m_mapArgument = 0;
    int m_state = STATE_IN_SERVICE;
    std::atomic_int m_currentAction{Action_None};
    QMutex m_progressMutex;
    float m_progress = -1.0f;
    QMutex m_stateMutex;
    OrvoClientShareDataList m_shareDataListRequest;
    OrvoClientShareData m_shareDataRequest;
    OrvoComponentRequest m_componentRequest;
    QList<OrvoDataId> m_dataIds;
    QVariantList m_resultList;
    QVariantList m_arguments;
    QString m_restoreArgument;
    QString m_mapDataArgument;
    int m_stopTimeoutMs = kDefaultStopTimeoutMs;
    OrvoPSFBitFontCreatorSupport m_bitFontCreator;
};
