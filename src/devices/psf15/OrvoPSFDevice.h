#pragma once

#include "device/OrvoClient.h"
#include "device/OrvoDeviceImpl.h"
#include "devices/psf15/OrvoPSFRestoreImage.h"
#include "env/OrvoExceptionTask.h"
#include "psf15/OrvoPSFFlashLayout.h"
#include "psf15/OrvoPSFStore.h"
#include "training/ZKTrncrsWorkout.h"
#include "util/ZKGpxItemList.h"
#include "util/ZKGpxLap.h"
#include "util/ZKGpxLogSegment.h"
#include "util/ZKGpxMetadata.h"
#include "util/ZKGpxTrackList.h"
#include "util/ZKGpxWorkoutLog.h"

#include <QByteArray>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThread>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class OrvoPSFFlashImage;
class OrvoPSFInterval_1_5;
class OrvoPSFLap_1_5;
class OrvoPSFRoute_1_5;
class OrvoPSFSegmentPlan;
class OrvoPSFUserInfoLog_1_5;
class OrvoPSFWorkout_1_5;
class OrvoSCSIDeviceService;
class ZKGpx2;
class ZKTrncrs;
struct ZKGpxRoute;
struct ZKGpxRoutePoint;
struct ZKGpxTrack;
struct ZKTrncrsInterval;

// The Kavel40: its data lives in a 2 MiB external flash reached by vendor commands. The client
// keeps a copy of the flash in memory, read in 4096-byte blocks as regions are needed, lets the
// flash-image model patch the copy, and writes the used part of every region back after
// erasing the flash. It is its own store: the model and the records reach the copy through it.
//
// Vendor commands (10-byte blocks, bytes 4-5 the block number high byte first, byte 6 the area,
// byte 8 the 512-byte sectors of one transfer):
//   READ  area 16  image blocks of 4096 bytes
//   WRITE area 15  image blocks of 4096 bytes (into erased flash only)
//   WRITE area 14  block 0, 512 zero bytes: erases the whole flash
//   READ  area 21  block 0, 4096 bytes: byte 0 is 0 once the flash is ready
//   READ  area 13 / WRITE area 12  the language area, 0xF8800 bytes in blocks of 2048
class OrvoPSFDevice : public OrvoDeviceImpl<OrvoClient>, public OrvoPSFStore
{
    Q_OBJECT

public:
    static constexpr int kBlockSize = 4096;
    static constexpr quint8 kImageReadArea = 16;
    static constexpr quint8 kImageWriteArea = 15;
    static constexpr quint8 kEraseArea = 14;
    static constexpr quint8 kLanguageReadArea = 13;
    static constexpr quint8 kLanguageWriteArea = 12;
    static constexpr quint8 kReadyArea = 21;
    static constexpr int kLanguageBlockSize = 2048;
    static constexpr qsizetype kLanguageAreaSize = 0xF8800;
    static constexpr int kLanguageWriteAttempts = 51;
    // A dump file past this size is started afresh by the next finalize.
    static constexpr qint64 kDumpLimit = 0x1000000;
    // Route selectors of getPSFRoute.
    static constexpr int kPlannedRoutes = 0;
    static constexpr int kRecordedTracks = 1;
    // Free file names tried per export before giving up.
    static constexpr int kGpxNameAttempts = 100;
    static constexpr int kWrkNameAttempts = 1000;

    // Lists the recorded tracks on a thread of its own, which the worker waits for.
    class GetTrackTask : public QThread, public OrvoExceptionTask
    {
    public:
        GetTrackTask(OrvoPSFDevice &device, QVector<OrvoClientData> &items);
        bool execute() override;
        void handleException() override;

    protected:
        void run() override;

    private:
        OrvoPSFDevice &m_device;
        QVector<OrvoClientData> &m_items;
    };

    OrvoPSFDevice();
    ~OrvoPSFDevice() override;

    // The client.
    bool initial() override;
    bool getUUID(QString &uuid) override;
    bool getInternalStorage(qint64 &total, qint64 &free) override;
    bool getTotal(QString &version) override;
    bool getLaunchsec(QString &version) override;
    bool getAP(QString &version) override;
    bool isValid() override;
    bool getName(QString &model) override;
    bool classFlag() override;
    // Exports the tracks (all of them when all is set, else those not uploaded yet), a dump
    // of the flash and the log into a zip: path, or the temporary folder's upload file when
    // path is empty (then set to it). ".gpx" files are named ".krm" in a zip the caller named.
    bool prepareUploadData(QString &path, bool all) override;
    void getRoutes(QVector<OrvoClientData> &items) override;
    void getTracks(QVector<OrvoClientData> &items) override;
    void getWorkouts(QVector<OrvoClientData> &items) override;
    bool deleteRoutes(const QVector<int> &ids) override;
    bool deleteTracks(const QVector<int> &ids) override;
    bool deleteWorkouts(const QVector<int> &ids) override;
    bool deleteAll() override;
    bool saveProfile(const QMap<QString, QString> &values) override;
    bool prepareUploadProfile(const QString &file) override;
    void formatDevice() override;
    bool unpackLanguagePackage(const QString &package, QStringList &list) override;
    bool getLanguageOnDevice(QStringList &languages) override;
    // One language; the list form below takes several.
    bool setDefLanguage(const QString &language, int n) override;
    bool setDefLanguage(const QStringList &codes, int flag);
    // Builds the language image for the codes and saves it to a file the user names when the
    // setting "savelangeageimage" is on; else to the temporary folder's "lanfile.txt" and to
    // the device, answering true once the device holds it.
    bool writeLanguageFile(const QStringList &codes, int flag);
    QStringList _exportTrack(const QString &folder) override;
    // Imports the routes (".gpx", ".krm") and workouts (".wrk") of a share package into the
    // image; workout names in languages the device lacks are dropped when the language filter
    // is on. False for a package that holds none.
    bool setShareData(const QString &zipFile) override;
    // The same, keeping the workouts' names in every language, and writing the image to the
    // device before it answers.
    bool newSetShareData(const QString &zipFile);
    void saveExtFlashToFile(const QString &path) override;
    bool _updateTotal(const QString &file, const QString &changedLang) override;
    bool _finalize() override;
    bool _readData() override;
    bool _restoreFactory(const QString &folder) override;

    // The store.
    OrvoPSFFlashLayout &layout() override;
    bool loadHeader(std::span<uchar> &image) override;
    bool loadDistHeader(std::span<uchar> &distHeader) override;
    bool loadRoutes() override;
    bool loadTracks() override;
    bool loadWorkouts() override;
    bool loadReserved() override;
    bool loadSensorLogs() override;
    bool loadWorkoutLogs() override;
    bool loadUserInfoLogs() override;
    bool loadInfoArea(std::span<uchar> &block) override;
    bool loadAll();
    // Writes the image back: every region loaded and every range checked, the former image kept
    // aside, the flash erased, the management header rebuilt, then each region's used part.
    // False when anything could not be done; after the erase the next client writes the
    // former image back.
    bool save();
    bool saveToFile(const QString &path);
    // The file's bytes become the start of the image and count as loaded.
    bool loadFromFile(const QString &path);

    // The device.
    bool ensureLoaded(qint64 offset, qint64 length);
    // Writes the blocks of the range that are not in written yet, and records them there.
    bool writeBlocks(qint64 offset, qint64 length, QSet<int> &written);
    bool waitFlash(int timeoutMs, int intervalMs);
    bool eraseExtFlash();
    bool readFlashArea(char *buffer, quint8 area, qint64 total, int chunk, int first);
    // The whole image area as the flash holds it now.
    bool readWholeFlash(QByteArray &flash);

    // The model of the image; null until initial() succeeded.
    OrvoPSFFlashImage *flashImage() const;
    // Where finalize keeps the flash dumps.
    static QString dumpPath();
    int userAge() const;
    QString userSex() const;

    // Listing: the routes of a selector as list items, from id 0.
    void getPSFRoute(int selector, QVector<OrvoClientData> &items);
    // One lap as GPX texts; cadenceSelector 1 scales the cadences by 60 / 64.
    static ZKGpxLap makeTrackDescription(const OrvoPSFLap_1_5 &lap, int cadenceSelector);
    // The route's laps, numbered from 1.
    static QList<ZKGpxLap> lapsToGpx(const OrvoPSFRoute_1_5 &track);
    // One track per segment; each segment's start and the last point go to routeOut. Empty
    // when the segments cannot be read.
    std::optional<ZKGpxTrackList> toGpxTrack(OrvoPSFRoute_1_5 &route, ZKGpxRoute &routeOut);
    // One log segment per sensor log; empty when the logs cannot be read.
    std::optional<ZKGpxItemList<ZKGpxLogSegment>> toGpxSsrLog(OrvoPSFRoute_1_5 &route);
    // Appends a segment of the track's points to the route; first and second are the route
    // points at its ends (null when missing). False when the track has fewer than two points,
    // a position is no number or the segment does not fit; a route then keeps no part of it.
    bool buildTrackSegment(OrvoPSFRoute_1_5 &route, const ZKGpxTrack &track, const ZKGpxRoutePoint *first,
                           const ZKGpxRoutePoint *second);
    bool hasWorkoutId(int id);
    // "\ENG name\DEU name" by language code; a text without a leading backslash is "UNK".
    static void parseMultiLangNames(const QString &text, QMap<QString, QString> &names);

    // Conversions.
    // One planned route from a document of the second dialect; false, image unchanged, when
    // it lacks a route or a track list or does not fit.
    bool addRoute(ZKGpx2 &document);
    // False when the file's route could not be stored; a file that is not of the second
    // dialect, or not for sharing, is skipped, and *skipped (when given) says so.
    bool importGpxFile(const QString &path, bool *skipped = nullptr);
    bool addWorkouts(const ZKTrncrs &course);
    bool addWorkoutsAllLanguages(const ZKTrncrs &course);
    bool importWorkoutFile(const QString &path);
    bool importWorkoutFileAllLanguages(const QString &path);
    // Appends an interval to the workout; false, nothing appended, without target or duration
    // or without room.
    bool addInterval(const ZKTrncrsInterval &interval, OrvoPSFWorkout_1_5 &workout);
    ZKGpxMetadata toGpxMetadata(OrvoPSFRoute_1_5 &route);
    std::optional<ZKGpxWorkoutLog> toGpxWorkoutLog(OrvoPSFRoute_1_5 &route);
    std::optional<ZKTrncrsWorkout> toTrncrsWorkout(OrvoPSFRoute_1_5 &route);

    // Files: each writes into folder and answers the names written, relative to it.
    // Gives the course its metadata and writes it; empty when nothing was written.
    QString workoutToXml(ZKTrncrs &course, const QString &folder);
    QStringList trackToXml(bool onlyNew, const QString &folder);

private:
    OrvoSCSIDeviceService *scsiService();
    std::span<uchar> imageFrom(qint64 offset);
    bool loadRange(qint64 start, qint64 end, const char *what);
    bool loadOnce(bool &flag, const std::function<bool()> &load);
    // A range of the image that a save writes back, and what the log says when it fails.
    struct Frame
    {
        qint64 start;
        qint64 end;
        const char *failure;
    };
    std::vector<Frame> saveFrames();
    bool framesLieInside(const std::vector<Frame> &frames) const;
    static QByteArray bytesOf(const std::vector<uchar> &image);
    QString firmwareText();
    QVector<QByteArray> newBlockSums(const std::vector<Frame> &frames) const;
    // What the flash holds next to a recovery copy.
    enum class FlashState {
        NewImage,
        FormerImage,
        // What a cut-off save or write-back left: erased flash and some of its own blocks.
        LeftByWrite,
        Other,
    };
    static FlashState flashState(const QByteArray &flash, const OrvoPSFRestoreImage::Copy &copy);
    bool writeBackInterruptedSave();
    bool writeBack(const OrvoPSFRestoreImage &restore, const QByteArray &former);
    bool keepAside(const OrvoPSFRestoreImage &restore, const QString &reason);
    // sent: whether the device took the erase command; until it did, the flash is untouched.
    bool eraseFlash(bool &sent);
    bool coversAll(const QVector<int> &ids, bool recorded);
    bool buildLanguageImage(const QStringList &codes, QByteArray &image, QString &basePath);
    bool saveLanguageImage(const QByteArray &image);
    bool writeLanguageImage(const QByteArray &image, const QString &basePath);
    QString matchString();
    bool bitFontNames();
    // Saves the changed image for an action that answers at once; false, with the error flag
    // and a log line, when the device does not hold it.
    bool writeImage(const char *function);
    bool writeSegment(OrvoPSFRoute_1_5 &route, const OrvoPSFSegmentPlan &plan, const ZKGpxTrack &track,
                      const ZKGpxRoutePoint *first, const ZKGpxRoutePoint *second);
    static void fillRoute(OrvoPSFRoute_1_5 &route, const ZKGpxMetadata &metadata);
    bool addCourse(const ZKTrncrs &course, bool filtered);
    // languages: the codes names are kept in; null keeps every language.
    bool addCourseWorkout(const ZKTrncrsWorkout &workout, const QStringList *languages);
    static void collectNames(const QMap<QString, QString> &names, const QMap<QString, QString> &shortNames,
                             const QStringList *languages, QStringList &texts, QStringList &codes);
    static void fillWorkout(OrvoPSFWorkout_1_5 &stored, const ZKTrncrsWorkout &workout);
    static qint64 gotoIndex(const OrvoPSFWorkout_1_5 &workout, const QString &gotoText);
    void fillUser(ZKGpxMetadataExt &user, const OrvoPSFUserInfoLog_1_5 &log) const;
    bool importShareData(const QString &zipFile, bool allLanguages);
    void writeTrackFiles(OrvoPSFRoute_1_5 &route, const QString &folder, QStringList &files);
    QString freeName(const QString &folder, const QString &base, const QString &extension, int attempts,
                     const char *function);

    QString m_storeName;
    OrvoPSFFlashLayout m_layout;
    // Not a QByteArray: the views point into it, and it never moves.
    std::vector<uchar> m_image;
    // The blocks as the device last held them (erased flash where none was read): what a save
    // keeps aside before its erase.
    std::vector<uchar> m_asRead;
    QByteArray m_languageImage;
    std::unique_ptr<OrvoPSFFlashImage> m_model;
    QSet<int> m_loadedBlocks;
    bool m_headerLoaded = false;
    bool m_routesLoaded = false;
    bool m_tracksLoaded = false;
    bool m_workoutsLoaded = false;
    bool m_sensorLogsLoaded = false;
    bool m_workoutLogsLoaded = false;
    bool m_userInfoLoaded = false;
    bool m_profileLoaded = false;
    bool m_tailLoaded = false;
    int m_userAge = 30;
    QString m_userSex = QStringLiteral("1");
};
