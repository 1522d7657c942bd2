#pragma once

#include "device/OrvoDeviceImpl.h"
#include "device/OrvoDeviceServiceUser.h"
#include "device/OrvoImageMetaInfo.h"
#include "devices/gal/OrvoDeviceServiceClient.h"
#include "devices/gal/OrvoGalLibrary.h"

#include <QMap>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <optional>

// A bike computer whose activities (".gal"), workouts (".wkt") and profile only the GAL device
// library reads and writes. In normal operation it is a removable drive (file-system service)
// and tells its identity in "/device.ini"; while its updater runs (IAP mode) it is a SCSI device
// without a drive, and the identity answers come from what was read before.
//
// The identity answers are read once per object, on whichever thread asks first, and then only
// read; the device info, the image information and the language list sit under one mutex.
//
// Inside a Kavel60 the device serves through the Kavel60's service, which it uses without
// owning it (useDeviceService); a used service comes before one of its own.
class OrvoGalDevice : public OrvoDeviceImpl<OrvoDeviceServiceClient>, public OrvoDeviceServiceUser
{
    Q_OBJECT

public:
    OrvoGalDevice();
    ~OrvoGalDevice() override;

    OrvoDeviceService *deviceService() override;
    void useDeviceService(OrvoDeviceService *service) override;

    // Identity and versions.
    bool getDrive(QString &drive) override;
    bool getUUID(QString &uuid) override;
    bool getInternalStorage(qint64 &total, qint64 &free) override;
    // The OS version, the boot loader's without its first character, and the language
    // version's four two-digit numbers run together.
    bool getOS(QString &version) override;
    bool getBootloader(QString &version) override;
    bool getTotal(QString &version) override;
    bool getLaunchsec(QString &version) override;
    bool getAP(QString &version) override;
    QString getMinOrvoVer() override;
    bool getName(QString &model) override;
    QString getComponentVersion(const QString &component) override;
    QString getCapability() override;
    OrvoImageMetaInfo getImageMetaInfo(const QString &releaseIni) override;
    QString langVersion();
    int updateMethod();
    bool loadDeviceInfo();

    // Activities and workouts.
    void getTracks(QVector<OrvoClientData> &items) override;
    void getWorkouts(QVector<OrvoClientData> &items) override;
    bool deletePOIs(const QVector<int> &ids) override;
    bool deleteRoutes(const QVector<int> &ids) override;
    bool deleteTracks(const QVector<int> &ids) override;
    bool deleteWorkouts(const QVector<int> &ids) override;
    bool deleteAll() override;
    QStringList _exportTrack(const QString &folder) override;
    bool prepareUploadData(QString &path, bool dontCheckUploaded) override;
    bool setShareData(const QString &zipFile) override;
    bool eject() override;

    // Profile and language.
    bool prepareUploadProfile(const QString &file) override;
    bool saveProfile(const QMap<QString, QString> &values) override;
    bool getLanguageOnDevice(QStringList &languages) override;

    // Firmware image builders and verified copies onto the drive. The package is the unpacked
    // firmware package in GalFirmwareImage::packageFolder().
    bool prepareImageBinary(const QStringList &languages, QByteArray &out, const OrvoImageMetaInfo &meta);
    bool prepareLangBinary(QByteArray &out);
    // Copies the package's language font to "/Lang/" when the device has another one, and then
    // the package's version of every font the device holds; failures are only logged.
    void copyLangFiles(const QString &folder, const QStringList &languages);
    // False when the copy failed or never read back whole.
    bool copyFile(const QString &source, const QString &destination);
    // 0 before an update; 2 when the device must synchronise its profile, which puts
    // "Profile.bin" into the flash image.
    int profileSyncState() const;
    // Has the library write the device profile into "pfread.ini" of the temporary folder; that
    // file's path, or "" when the profile could not be read.
    QString readProfileIni(const QString &devicePath);

    // Where the library calls of this device go; every listing, read and deletion sets it first.
    void setLibraryHome(const QString &root);

    // Firmware update and factory restore. With update method 1 the device takes "/IMG.bin"
    // and the fonts from its drive; with method 2 it restarts into its updater (IAP mode), comes
    // back as a SCSI device to this same client (state 1 or 3) and the second phase writes its
    // external flash.
    bool _updateTotal(const QString &file, const QString &changedLang) override;
    bool _updateAP(const QString &file) override;
    bool _restoreFactory(const QString &folder) override;
    bool upgradeInIAPMode();
    // Writes the flash image as "/IMG.bin" and, once it reads back whole, "/update.ini".
    bool setDefLanguage(const QStringList &languages, const OrvoImageMetaInfo &meta);
    bool copyIAPBin(const QString &folder);
    bool notifyIAPUpdate();
    bool restoreFactoryMethod1(const QString &folder);
    bool restoreFactoryMethod2(const QString &folder);
    bool updateFlashes(const QString &folder);
    // Registers the row by which the device is recognised in IAP mode, at the front.
    void registerIapDeviceInfo(const QString &matchString);

    // The file names the library lists; null when it could not list them.
    std::optional<QStringList> listActivityFiles();
    std::optional<QStringList> listWorkoutFiles(OrvoGalLibrary::WorkoutType type);
    bool readActivity(const QString &name, OrvoClientData &record);
    // The name is asked for in language.
    bool readWorkout(OrvoGalLibrary::WorkoutType type, const QString &name, const QString &language,
                     OrvoClientData &record);

private:
    // The values of "/device.ini".
    struct DeviceInfo
    {
        QString uuid;
        QString osVersion;
        QString bootLoaderVersion;
        QString launchSecVersion;
        QString minOrvoVersion;
        QString iapName;
        QString languageVersion;
        int updateMethod = 1;
        QString capability;
    };

    // The device's activities exported into folder by the scripting host; false, with the
    // error flag set, when there is no host or drive or the export failed.
    bool exportActivities(const QString &folder, QStringList &files);
    bool isIapMode();
    // Reads the device info once; call with m_mutex held.
    bool loadInfoLocked();
    bool readDeviceIni(const QString &path);
    // A copy of the device info, read first when it has not been.
    DeviceInfo deviceInfo();
    // The drive with a trailing separator, as the library and the scripts take the device root.
    bool deviceRoot(QString &root);
    // The drive, when it still holds this device (its device file with the id first read): a
    // mount point left as an empty folder after the drive went is the computer's disk.
    bool presentDrive(QString &drive, const char *function);
    bool deleteNamed(const QVector<int> &ids, const QString &suffix, int kind);
    bool startTotalUpdate(const QString &file);
    bool finishTotalUpdate();
    void updateProfile(const QString &root, const QString &folder);
    // Creates an empty trigger file on the drive; false when it could not.
    bool createDriveFile(const QString &root, const QString &name);
    void removeIapDeviceInfo();
    // Erases and writes bytes to the external flash from the 4096-byte block on.
    bool writeExternal(const QByteArray &bytes, int block, const char *eraseFailed, const char *writeFailed);

    OrvoGalLibrary m_library;
    QString m_libraryHome;
    QMutex m_mutex;
    bool m_infoLoaded = false;
    DeviceInfo m_info;
    OrvoImageMetaInfo m_imageMeta;
    QStringList m_deviceLanguages;
    std::atomic<int> m_profileSyncState{0};
    // The unpacked package a factory restore writes in its second phase.
    QString m_restoreFolder;
    std::atomic<OrvoDeviceService *> m_usedService{nullptr};
};
