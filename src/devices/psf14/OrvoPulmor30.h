#pragma once

#include "device/OrvoDeviceImpl.h"
#include "devices/psf14/OrvoKavel30.h"

#include <QStringList>

// The Pulmor30, the Pulmor35 and the Kavel20: PSF 1.4 flash devices with a smaller data part,
// the user's language kept in the profile, a clock the program sets, and a resource image in
// the language area. They cannot take single items: anything that removes content rewrites
// the whole flash blank but for the profile, so it is done only when nothing else would go.
class OrvoPulmor30 : public OrvoDeviceImpl<OrvoKavel30>
{
    Q_OBJECT

public:
    // The resource image that an update writes to the language area.
    static constexpr qsizetype kResourceImageSize = 0x79000;
    static constexpr int kResourceWriteArea = 12;
    static constexpr int kResourceReadArea = 13;
    static constexpr int kResourceBlockSize = 2048;
    static constexpr int kClockArea = 6;
    static constexpr int kClockBlockSize = 512;

    OrvoPulmor30();
    ~OrvoPulmor30() override;

    bool initial() override;
    // Only a list naming every ride of a device that holds nothing else: the device is then
    // written blank but for its profile.
    bool deleteTracks(const QVector<int> &ids) override;
    // Writes the device blank but for its profile.
    bool deleteAll() override;
    // Single routes, workouts and POIs cannot go: the write-back of these models sends the
    // profile only, so an edit of the container would never reach the device.
    bool deletePOIs(const QVector<int> &ids) override;
    bool deleteRoutes(const QVector<int> &ids) override;
    bool deleteWorkouts(const QVector<int> &ids) override;
    // These models take no share packages.
    bool setShareData(const QString &zipFile) override;
    using OrvoKavel30::setDefLanguage;
    bool getLanguageOnDevice(QStringList &languages) override;
    // The first code becomes the profile's language; the device gets it with the next write-back.
    bool setDefLanguage(const QStringList &codes) override;
    bool updateLaunchsec(const QString &file) override;
    // Sends the computer's local date and time.
    bool syncTime() override;
    int classFlag2() override;
    bool _updateTotal(const QString &file, const QString &changedLang) override;
    // Writes the profile only: the data part cannot be rebuilt on these models.
    bool _finalize() override;
    bool checkIntegrity() override;
    OrvoPSF::Layout flashLayout() const override;

    // The 512-byte clock block of a local date and time.
    static QByteArray clockBlock(const QDateTime &local);

private:
    bool needsFormat();
    bool resourceImage(const QString &package, QByteArray &image);
    bool writeResourceImage(const QByteArray &image, const QString &path);
};
