#pragma once

#include "device/OrvoClient.h"
#include "psf14/OrvoPSF.h"
#include "psf14/OrvoPSFExportDevice.h"

#include <QByteArray>
#include <QDate>
#include <QString>

#include <atomic>
#include <memory>

class OrvoProfileData;
class OrvoSCSIDeviceService;

// The PSF 1.4 flash devices: their whole user data lives in a 1 MiB external flash reached
// only by vendor commands. The client reads the flash once into memory, parses the data part
// into a PSF 1.4 container, lets the container patch the copy, and writes the whole image
// back after an erase, verifying it by reading it again. Never created by itself: the models
// derive from it through OrvoDeviceImpl, which holds the device service.
//
// Vendor commands (10-byte blocks, bytes 4-5 the block number high byte first, byte 6 the
// area, byte 8 the 512-byte sectors of one block; one block per command):
//   READ  area 16  the flash in blocks of 4096 (image, header area, profile sector 248)
//   WRITE area 15  the flash in blocks of 4096 (into erased flash only)
//   WRITE area 14  block 0, 512 zero bytes: erases the whole flash
//   READ  area 13 / WRITE area 12  the language area in blocks of 2048
//   WRITE areas 10, 6, 1, 0  firmware files, the clock block, zero sectors
class OrvoKavel30 : public OrvoClient
{
    Q_OBJECT

public:
    static constexpr quint32 kFlashSize = 0x100000;
    static constexpr quint32 kProfileSectorAddress = 0xF8000;
    static constexpr int kBlockSize = 4096;
    static constexpr int kProfileBlock = kProfileSectorAddress / kBlockSize;
    static constexpr int kProfileSectorSize = 4096;
    static constexpr int kImageReadArea = 16;
    static constexpr int kImageWriteArea = 15;
    static constexpr int kEraseArea = 14;
    static constexpr qsizetype kHeaderAreaSize = 0x6000;
    // The image's first word when a language image went to the flash by mistake.
    static constexpr quint32 kLanguageImageMagic = 0x77A0B2C3;
    static constexpr quint32 kImageMarker = 0x44332211;
    static constexpr qsizetype kImageMarkerOffset = 4096;
    static constexpr int kWriteAttempts = 10;
    static constexpr int kEraseWaitMs = 5000;
    static constexpr int kReadBackWaitMs = 2000;
    static constexpr int kBlankWaitMs = 1000;
    // The language area: its image, the areas it is read from and written to, and its blocks.
    static constexpr qsizetype kLanguageAreaSize = 0x79000;
    static constexpr int kLanguageReadArea = 13;
    static constexpr int kLanguageWriteArea = 12;
    static constexpr int kLanguageBlockSize = 2048;
    static constexpr int kLanguageWriteAttempts = 51;

    OrvoKavel30();
    ~OrvoKavel30() override;

    // The client.
    bool initial() override;
    bool getUUID(QString &uuid) override;
    bool getInternalStorage(qint64 &total, qint64 &free) override;
    bool getTotal(QString &version) override;
    bool getLaunchsec(QString &version) override;
    bool getAP(QString &version) override;
    bool getName(QString &model) override;
    // Packs the container's exports, the flash dump and the log into a zip; an empty path
    // becomes the upload file in the temporary folder, and a given one gets ".krm" names.
    bool prepareUploadData(QString &path, bool dontCheckUploaded) override;
    void getRoutes(QVector<OrvoClientData> &items) override;
    void getTracks(QVector<OrvoClientData> &items) override;
    void getWorkouts(QVector<OrvoClientData> &items) override;
    // Deletions and imports change the container and the header record only; the next
    // _finalize writes them. Ids are indices in the container's lists.
    bool deletePOIs(const QVector<int> &ids) override;
    bool deleteRoutes(const QVector<int> &ids) override;
    bool deleteWorkouts(const QVector<int> &ids) override;
    // The rides go and the image is written at once: the page's deletion answers without a
    // finalize.
    bool deleteTracks(const QVector<int> &ids) override;
    // Deletes everything and writes the image at once.
    bool deleteAll() override;
    // Imports the routes (".krm", ".gpx") and workouts (".wrk") of a share package.
    bool setShareData(const QString &zipFile) override;
    // Writes the list on the calling thread, not as an action.
    bool getShareDataList(const OrvoClientShareDataList &request) override;
    bool unpackLanguagePackage(const QString &package, QStringList &list) override;
    // The codes of the language area's directory; the area is read once and kept until a
    // language image is built.
    bool getLanguageOnDevice(QStringList &languages) override;
    bool setDefLanguage(const QString &language, int n) override;
    // Builds the language image of the unpacked package for the codes and writes it to the
    // language area (or saves it to a chosen file when the model's setting says so).
    virtual bool setDefLanguage(const QStringList &codes);
    // The IAP firmware update.
    bool updateLaunchsec(const QString &file) override;
    // The language update: the device's languages from the new package.
    bool _updateTotal(const QString &file, const QString &changedLang) override;
    // Writes the firmware image of the folder and, unless its release.ini says "ExData=no",
    // the external flash image after an erase.
    bool _restoreFactory(const QString &folder) override;
    bool saveProfile(const QMap<QString, QString> &values) override;
    int storeState() override;
    void formatDevice() override;
    bool prepareUploadProfile(const QString &file) override;
    QStringList _exportTrack(const QString &folder) override;
    void saveExtFlashToFile(const QString &path) override;
    bool _finalize() override;
    bool _readData() override;

    // The family's own operations.
    virtual bool isBitfontEnabled();
    // Appends the blocks firstBlock on of the area that total bytes touch to out, each whole
    // (blockSize bytes). Stops at the first failed command; out keeps what was read before.
    virtual bool readFlash(QByteArray &out, int area, int total, int blockSize, int firstBlock);
    virtual bool eraseExtFlash();
    virtual bool checkIntegrity();
    virtual bool isContentChanged();
    virtual bool isProfileChanged();
    // Clears both change flags; answers false.
    virtual bool clearFlags();
    virtual bool loadProfile();
    // record becomes length bytes of the current header record, read from the device.
    virtual void loadFlashHeader(QByteArray &record, qsizetype length);
    // Blanks the header area of image and places the sealed record at its start.
    virtual bool buildFlashHeader(QByteArray &record, QByteArray &image);
    // Blanks the image's bytes of the regions the header record counts as empty.
    virtual void eraseEmptyRegions();
    // The flash image, read from the device the first time; empty when it cannot be read.
    virtual QByteArray flashImage();
    // The model's 46 layout values; words this family does not use are 0.
    virtual OrvoPSF::Layout flashLayout() const;
    // What the container's exports write of the device.
    OrvoPSFExportDevice exportDevice();

    // Sends the file to the area in chunks, the last one zero-padded to a whole chunk.
    bool writeFlash(const QString &file, int area, int chunk);
    // Sends length bytes of data (with length 0: data padded with 0xFF to the flash size)
    // through a file in the temporary folder.
    bool writeImageFile(const QByteArray &data, int area, int chunk, qint64 length);
    // One block of 512 zero bytes to block 0 of the area.
    bool writeZeroSector(int area);
    bool isExtFlashSpecified();
    bool isSaveLanguageImage();
    // A shared route or points of interest (GPX) and a workout file into the container; false
    // without a container or when the container did not take the file.
    bool importGpxFile(const QString &path);
    bool importWorkoutFile(const QString &path);
    // Set by every edit of the content or of the profile; _finalize writes and clears them.
    void setContentChanged();
    void setProfileChanged();

    // The container of the image read last; null until readPSF built one.
    OrvoPSF *container() const;
    // The held profile; null until loadProfile read one.
    OrvoProfileData *profile() const;
    // The current header record, which the container rewrites.
    const QByteArray &headerRecord() const;

    // The profile reader a model's sector needs (an OrvoProfileData format type).
    static int profileReaderType(const QString &model, const QByteArray &sector);
    // 1 for "1" and "Male", 0 for anything else.
    static int userSex(const QString &value);
    // Whole years from a "yyyy/MM/dd" birthday to today; 0 when the text is no date.
    static int userAge(const QString &birthday, const QDate &today);

protected:
    // The container and its records move as one tree, so that an action adds its records on the
    // thread that owns their parents.
    void moveWorkData(QThread *target) override;
    // Reads the whole flash, the header record and the profile, and builds the container;
    // false (and no container) when any of it fails.
    bool readPSF();
    void initFlashLayout();
    bool readProfileSector(QByteArray &sector);
    // Erases the device and writes the held image with the held profile, verifying it by
    // reading it back; with content, a fresh header record follows. Up to kWriteAttempts
    // attempts; clears both change flags once written.
    bool writeBack(bool content);
    // Writes an image that is blank but for the profile sector, a fresh header record and the
    // marker, verified by reading it back; up to kWriteAttempts attempts. Clears both change
    // flags once written.
    bool writeBlankImage();
    // The rides of the container that the ids (indices in the route list) leave.
    int remainingRides(const QVector<int> &ids) const;
    // Lets go of the image, the container, the profile, the language area and the change
    // flags, so that the next read comes from the device; called after every erase.
    void dropCachedImage();

private:
    enum class ShareImport { Added, Skipped, Failed };

    OrvoSCSIDeviceService *scsiService();
    bool roundTripThroughFile(const QByteArray &read);
    bool inFirstUsePage();
    void fillUserValues();
    bool rebuildContent();
    bool writeAttempt(bool content);
    bool blankAttempt();
    void putHeldProfile();
    bool readsBack();
    bool holdsWholeImage(const char *function) const;
    // Region r of the header record back to empty: its free count the region's size, its
    // start and end the region's start.
    void resetRegion(int r);
    bool importShareFile(const QString &path);
    // Imports a file of a share package and keeps what it added only when all of it fits.
    ShareImport importFitting(const QString &path);
    bool saveLanguageImage(const QByteArray &image);
    bool writeLanguageImage(const QByteArray &image, const QString &basePath);
    bool extendedDataWanted(const QString &folder);
    bool sendChunk(OrvoSCSIDeviceService &service, const QByteArray &buffer, int area, int chunk, qint64 block);

    std::unique_ptr<OrvoPSF> m_container;
    QByteArray m_image;
    QByteArray m_headerRecord;
    QByteArray m_languageImage;
    std::atomic_bool m_contentChanged{false};
    std::atomic_bool m_profileChanged{false};
    std::unique_ptr<OrvoProfileData> m_profile;
    QString m_deviceId;
    OrvoPSF::Layout m_layout{};
};
