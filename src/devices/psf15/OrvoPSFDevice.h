#pragma once

#include "device/OrvoClient.h"
#include "device/OrvoDeviceImpl.h"
#include "psf15/OrvoPSFFlashLayout.h"
#include "psf15/OrvoPSFStore.h"

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class OrvoPSFFlashImage;
class OrvoSCSIDeviceService;

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
    bool prepareUploadData(QString &path, bool dontCheckUploaded) override;
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
    // Builds the language image for the codes and saves it to a file (the temporary folder's
    // "lanfile.txt", or one the user names when the setting "savelangeageimage" is on).
    bool writeLanguageFile(const QStringList &codes, int flag);
    QStringList _exportTrack(const QString &folder) override;
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
    bool loadSensorLogs() override;
    bool loadWorkoutLogs() override;
    bool loadUserInfoLogs() override;
    bool loadInfoArea(std::span<uchar> &block) override;
    bool loadAll();
    // Writes the image back: every region loaded, the flash erased, the management header
    // rebuilt, then each region's used part. False when anything could not be done.
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

    // The model of the image; null until initial() succeeded.
    OrvoPSFFlashImage *flashImage() const;
    // Where finalize keeps the flash dumps.
    static QString dumpPath();
    int userAge() const;
    QString userSex() const;

private:
    OrvoSCSIDeviceService *scsiService();
    std::span<uchar> imageFrom(qint64 offset);
    bool loadRange(qint64 start, qint64 end, const char *what);
    bool loadOnce(bool &flag, const std::function<bool()> &load);
    bool writeFrame(qint64 start, qint64 end, QSet<int> &written, const char *failure);
    bool coversAll(const QVector<int> &ids, bool recorded);
    bool buildLanguageImage(const QStringList &codes, QByteArray &image, QString &basePath);
    bool saveLanguageImage(const QByteArray &image);
    bool writeLanguageImage(const QByteArray &image, const QString &basePath);
    QString matchString();

    QString m_storeName;
    OrvoPSFFlashLayout m_layout;
    // Not a QByteArray: the views point into it, and it never moves.
    std::vector<uchar> m_image;
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
