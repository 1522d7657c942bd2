#pragma once

#include "device/OrvoClient.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class ZKWorkout;

// The bike computers that show up as a removable drive and keep everything in files: a folder
// tree under the drive root, INI files for versions and flags, XML settings files and the
// SQLite databases of the device database service. Every path is the drive root (getDrive,
// supplied by the models) followed by a fixed text or by a setting of the model's group.
//
// Flag files directly under the root:
//   "/updating@@!.ini"  exists while an update is being written; a device attached with it
//                        gets its version file removed, so that the update is offered again
//   "/format.ini"       one byte '1': the device formats itself when it finds it
class OrvoKavel50 : public OrvoClient
{
    Q_OBJECT

public:
    // One removal try; true when the file is gone. Tests replace it to make tries fail.
    using RemoveStep = std::function<bool(const QString &path)>;

    static constexpr int kRemoveAttempts = 3;
    static constexpr int kCopyAttempts = 3;
    // Two files of equal size whose modification times lie this close count as one copy.
    static constexpr int kSameCopySeconds = 59;
    // checkFiles reads a file whole up to this size, else its last this many bytes.
    static constexpr qint64 kCheckTailSize = 1024;

    OrvoKavel50();
    ~OrvoKavel50() override;

    // The client.
    bool initial() override;
    bool getSharePath(QString &path) override;
    bool getUUID(QString &uuid) override;
    bool getInternalStorage(qint64 &total, qint64 &free) override;
    bool getBootloader(QString &version) override;
    bool getTotal(QString &version) override;
    bool getLaunchsec(QString &version) override;
    bool getAP(QString &version) override;
    bool classFlag() override;
    void getPOIs(QVector<OrvoClientData> &items) override;
    void getRoutes(QVector<OrvoClientData> &items) override;
    void getTracks(QVector<OrvoClientData> &items) override;
    void getWorkouts(QVector<OrvoClientData> &items) override;
    bool deletePOIs(const QVector<int> &ids) override;
    bool deleteRoutes(const QVector<int> &ids) override;
    bool deleteTracks(const QVector<int> &ids) override;
    bool deleteWorkouts(const QVector<int> &ids) override;
    bool prepareUploadData(QString &zipPath, bool all) override;
    bool saveProfile(const QMap<QString, QString> &values) override;
    void removeUpdatePackage() override;
    bool updateLaunchsec(const QString &file) override;
    void formatDevice() override;
    bool prepareUploadProfile(const QString &file) override;
    int classLevel() override;
    void exportLog(const QString &zipPath) override;
    bool setShareData(const QString &zipPath) override;
    QStringList _exportTrack(const QString &folder) override;
    bool _updateTotal(const QString &file, const QString &changedLang) override;
    bool _updateAP(const QString &file) override;
    bool _restoreFactory(const QString &folder) override;
    bool _updateComponent(const OrvoComponentRequest &request) override;
    bool _updateMapData(const QString &request) override;
    bool _importMap(int n) override;
    bool _deleteMap(int n) override;

    virtual bool setUpdatingFlag(bool on);
    virtual bool isUpdating();

    // Compares the AP version with version, both after their two-letter prefix, part by part
    // as numbers over the parts both have.
    bool isApVersionOlderThan(const QString &version);

    // Writes the key into folder + "/data/version.ini"; false when the file was not written.
    static bool SetGPSENGINEVersion(const QString &key, const QString &value, const QString &folder);
    static QString getVolumeLabel(const QString &drive);
    // The package unpacked into the local component folder without the excluded names; empty
    // when it does not unpack.
    static QString makeGPSENGINETempFiles(const QString &package, const QStringList &excluded);

    // The client state from the first pass of a factory restore until the device comes back
    // formatted; no action starts while it lasts.
    static constexpr int kFormattingState = 4;

    // Each false without a drive, else root + the setting's value.
    bool getTraceLogPath(QString &path);
    bool getDeviceIniPath(QString &path);
    bool getApVersionPath(QString &path);
    bool getProfilePath(QString &path);
    bool getAppPath(QString &path);

    // The device keeps its databases: "/data/route/route.dat" below the share path.
    bool hasRouteDatabase();
    // The lists read whole tables in one query instead of one record at a time.
    bool useColumnQueries();
    // Gives the device database service this device's roots and version, once to see that they open.
    bool prepareDatabase();

    // The user's profile laid over the device's defaults, with the unit system and language.
    bool getProfile(QMap<QString, QString> &out);

    bool deletePOI(int id);
    bool deleteRoute(int id);
    bool deleteTrack(int id);

    // True while a factory restore waits for the device to come back formatted.
    static bool restorePhase();
    static void setRestorePhase(bool on);

    // The file operations of copies and updates on the drive.
    static bool removeFile(const QString &path);
    static void removeReadOnlyAttribute(const QString &path);
    static bool copyFile(const QString &source, const QString &target);
    // Copies the tree; each target file copied, or found there the same, goes to the front of
    // copied, when given.
    static bool copyDir(const QString &source, const QString &target, QStringList *copied = nullptr);
    static bool copyDirNoList(const QString &source, const QString &target);
    static bool removeDir(const QString &path);
    // Makes the drive's file system read back what was just written; failures are only logged.
    static void checkFiles(const QStringList &files);
    static void checkFolder(const QString &path);
    // The bytes that checkFiles reads of one file; ok tells whether all of them came.
    static QByteArray readBack(const QString &path, bool *ok);
    static bool zipFolder(const QString &zipPath, const QString &folder);

    static void setRemoveStep(RemoveStep step);

    // Where rides and workouts are exported to on this computer, emptied by each export.
    static QString exportFolder();
    // The workout a ride followed, named in its "<wrklog id="..."" element; none when the file
    // starts with the element, as a ride file never does.
    static std::optional<int> workoutIdOfRide(const QString &gpxPath);

protected:
    // A path below the root; false without a drive.
    bool rootPath(const QString &relative, QString &path);
    // The root, when the drive there is still this device (its device file with the id first
    // read). The client keeps the path of a drive that was pulled: what is made below a missing
    // root would make the mount point anew, and what is written into a mount point left as an
    // empty folder would land on the computer's disk. Every action that writes to the drive
    // asks this first.
    bool presentDrive(QString &root, const char *function);
    bool settingPath(const char *key, const char *defaultValue, QString &path);

private:
    // The AP version with the program's own version, as the trace-log store marks its exports.
    QString exportVersionText();
    bool writeFormatFlag();
    // The firmware image a package names in its "release.ini", else "Vorna.bin".
    QString firmwareImageName(const QString &packageFolder);
    // The unpacked package holds the image it names (set into imageName) and the checksum file.
    bool holdsFirmware(const QString &packageFolder, QString &imageName);
    // "/Update.ini" naming the staged image; on any failure no order is left on the device.
    bool writeUpdateOrder(const QString &root, const QString &staging, const QString &imageName);
    // Removes the staged firmware and its order from the drive.
    void withdrawUpdate();

    // How the engine part of a component update left one drive.
    enum class EngineStep { Failed, Skipped, Current, Installed };
    struct ComponentDrive
    {
        bool ownDrive = false;
        // The drive's mount point: component folders are made only below it.
        QString root;
        QString folder;
    };
    // The drives of the model with their component folders; the own drive only for the Kavel60,
    // whose own drive carries the components below its cycling application.
    QVector<ComponentDrive> componentDrives(const QString &model);
    EngineStep updateEngine(const ComponentDrive &drive, const QString &version, const QString &package,
                            const QStringList &excluded, bool &result);
    bool updateEngines(const OrvoComponentRequest &request);
    bool updateMapComponent(const OrvoComponentRequest &request);
    // Installs the country folder of a map package on the map card; true when every file
    // arrived unchanged.
    bool installCountry(const QString &source, const QString &card);
    bool readIniValue(bool found, const QString &path, const QString &key, QString &value);
    // A route database that does not open or read is no device without rides: the error flag
    // goes up with the log line the page shows.
    void rideDatabaseUnreadable(const char *function);
    void clearWorkouts();
    bool workoutDeleted(int id);

    static std::atomic_bool s_restorePhase;
    // The workouts of the last getWorkouts; a workout's id is its index. A deleted one is null.
    std::vector<std::unique_ptr<ZKWorkout>> m_workouts;
};
