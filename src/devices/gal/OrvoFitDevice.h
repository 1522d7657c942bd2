#pragma once

#include "device/OrvoDeviceImpl.h"
#include "devices/gal/OrvoDeviceServiceClient.h"

#include <QMutex>
#include <QString>
#include <QVector>

// A watch that shows up as a removable drive and describes itself in "System/device.txt". It
// keeps no rides, routes or workouts for this program: it takes firmware components from a
// release package, the assistance-data file with its date, and a workout set from a package.
//
// On the drive:
//   "/System/device.txt"  INI: [UUID] UUID, [OS] [BootLoader] [DeviceLang] [NotificationLang]
//                         [TimeZone] [Bluetooth] Version, [CAP] COM, [Product] Type
//   "/System/AssitOff.alp" the assistance data
//   "/System/date.txt"    the assistance data's date: 4 bytes, a signed 32-bit big-endian number
//   "/update.ini"         empty; tells the device to take the component files beside it
//
// The device file is read once per object, on whichever thread asks first; the values, the
// capability and the date sit under one mutex.
class OrvoFitDevice : public OrvoDeviceImpl<OrvoDeviceServiceClient>
{
    Q_OBJECT

public:
    // The error codes an update leaves; 0 at the start of each.
    enum ErrorCode : int {
        NoError = 0,
        NoDrive = 2,
        // Not enough free space for the components, or a package that does not unzip.
        NoSpaceOrBadPackage = 3,
        // A component that did not arrive whole, or a workout set that did not unzip onto the drive.
        WriteFailed = 4,
        NoWorkoutPackage = 5,
    };

    // One component of a release package: its group in "release.ini", its file and version.
    struct Component
    {
        QString group;
        QString name;
        QString version;
        bool operator==(const Component &) const = default;
    };

    static const QString kSystemFolder;
    static const QString kAssistanceFile;

    OrvoFitDevice();
    ~OrvoFitDevice() override;

    // Identity and versions.
    int productType() override;
    bool getDrive(QString &drive) override;
    bool getUUID(QString &uuid) override;
    // The OS version and, when there is a boot loader version, the boot loader's without its
    // first character and the tails of the language, Bluetooth, time-zone and notification
    // versions; false without a boot loader version.
    bool getOS(QString &version) override;
    bool getBootloader(QString &version) override;
    bool getTotal(QString &version) override;
    // The date of the assistance data on the drive; 0 when there is none or it is unreadable.
    int getAlpDate() override;
    bool getName(QString &model) override;
    QString getCapability() override;
    QString deviceLangVersion();
    QString notificationLangVersion();
    QString timeZoneVersion();
    QString bluetoothVersion();
    bool loadDeviceInfo();

    bool prepareUploadData(QString &path, bool dontCheckUploaded) override;
    QStringList _exportTrack(const QString &folder) override;
    bool eject() override;

    // Updates. The assistance file comes from the user folder's "updates/<model>" and replaces
    // the one on the drive only once it read back whole; date is the date written with it.
    bool _updateAlp(const QString &file, int date) override;
    // Copies every component newer than the device's to the drive root, then "/update.ini".
    bool _updateTotal(const QString &file, const QString &changedLang) override;
    // Unpacks the package; with extra "1" its "workout.zip" goes into "/System".
    bool _updateComponent(const OrvoComponentRequest &request) override;

    // Whether the version is newer than the device's of the component; a component the device
    // does not report is new with any version.
    bool isNewVersion(const QString &component, const QString &name, const QString &version);
    // The components of a release file, one per group but "MODEL"; none when it is missing.
    QVector<Component> readImageInfo(const QString &releaseIni);
    bool isStorageSpaceEnough(const QString &folder, const QVector<Component> &components);
    // Copies folder/name to the drive (into subfolder when not empty) and waits until it reads
    // back whole; false for a name that is not a plain file name.
    bool copyBinFile(const QString &folder, const QString &name, const QString &subfolder);
    // Reads every file below the folder, so that the drive serves what was just written.
    void readBackTree(const QString &folder);

private:
    struct DeviceInfo
    {
        QString uuid;
        QString osVersion;
        QString bootLoaderVersion;
        QString deviceLangVersion;
        QString notificationLangVersion;
        QString timeZoneVersion;
        QString bluetoothVersion;
        QString capability;
        int productType = 0;
    };

    // Reads the device file once; call with m_mutex held.
    bool loadInfoLocked();
    DeviceInfo deviceInfo();
    bool rootPath(const QString &relative, QString &path);
    // The drive, when it still holds this device (its device file with the id first read): a
    // mount point left as an empty folder after the drive went is the computer's disk.
    bool presentDrive(QString &drive, const char *function);
    // Every component the update will copy is a file of the unpacked package.
    bool holdsComponents(const QString &folder, const QVector<Component> &components);
    // The emptied folder tmpDir/<model> that packages unpack into; false without a model.
    bool prepareWorkFolder(QString &folder);
    bool writeAlpDate(const QString &path, int date);
    bool unpackWorkout(const QString &package, const QString &root);

    QMutex m_mutex;
    bool m_infoLoaded = false;
    DeviceInfo m_info;
    qint32 m_alpDate = 0;
};
