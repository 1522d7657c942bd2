#pragma once

#include "psf/OrvoPSFField.h"

#include <QPointer>
#include <QString>

#include <array>
#include <memory>

class OrvoPSFDistHeader;
class OrvoPSFPOIFrame;
class OrvoPSFRouteFrame;
class OrvoPSFSensorLogFrame;
class OrvoPSFTrackFrame;
class OrvoPSFWorkoutFrame;
class OrvoPSFWorkoutLogFrame;
class ZKTrncrs;

// The PSF 1.4 container: the tree of records parsed from the data part of a 1.4 flash image
// (the flash from area-table word 42 to its end), the device's area table and a link to the
// device's current header record.
//
// Image layout, little-endian, offsets from the start of the PSF image:
//   0            48  file header, not read
//   48           4   distribution header: first word
//   52           4   distribution header: second word
//   56           4   reserved
//   60 + 20i     20  management header record i (i = 0..5): its first u32 is the address of
//                    section i from the start of the PSF image
// Sections: 0 POIs, 1 routes (with the lap table), 2 workouts (with the interval area),
// 3 workout logs, 4 tracks, 5 sensor logs. Offsets inside a section count from the section
// (or from its data area); only the management header records count from the image.
//
// Every address, offset, count and link comes from device bytes and is checked before use: a
// section outside the image is empty, counts are cut to the records inside the image, and
// chains stop at a loop or at the end of their area.
class OrvoPSF : public OrvoPSFField
{
    Q_OBJECT

public:
    static constexpr int kLayoutWords = 46;
    using Layout = std::array<qint32, kLayoutWords>;
    static constexpr qsizetype kFileHeaderSize = 48;
    static constexpr qsizetype kDistHeaderOffset = 48;
    // The version text of the devices whose images this container reads.
    static const char *const kVersion;

    // The container of image, or null when version is not exactly kVersion. flashHeaderRecord
    // (not owned) is the device's current header record, which update() resets.
    static std::unique_ptr<OrvoPSF> parse(const QByteArray &image, QByteArray *flashHeaderRecord, const Layout &layout,
                                          const QString &version);

    // A container with only the distribution header of image; parse() adds the frames.
    OrvoPSF(const QByteArray &image, QByteArray *flashHeaderRecord, QObject *parent = nullptr);
    ~OrvoPSF() override;

    // A 48-byte file-header area (0xFF), then the distribution header, the POI frame, the
    // route frame, the track frame and the sensor-log frame as each serializes itself. The
    // result is not a loadable image; devices write through update().
    QByteArray serialize() const override;

    // Each setter destroys the object held so far, unless it is the new one, and takes the new
    // one over.
    void setDistHeader(OrvoPSFDistHeader *header);
    void setPoiFrame(OrvoPSFPOIFrame *frame);
    void setRouteFrame(OrvoPSFRouteFrame *frame);
    void setTrackFrame(OrvoPSFTrackFrame *frame);
    void setSensorLogFrame(OrvoPSFSensorLogFrame *frame);
    void setWorkoutFrame(OrvoPSFWorkoutFrame *frame);
    void setWorkoutLogFrame(OrvoPSFWorkoutLogFrame *frame);

    OrvoPSFDistHeader *distHeader() const;
    OrvoPSFPOIFrame *poiFrame() const;
    OrvoPSFRouteFrame *routeFrame() const;
    OrvoPSFTrackFrame *trackFrame() const;
    OrvoPSFSensorLogFrame *sensorLogFrame() const;
    OrvoPSFWorkoutFrame *workoutFrame() const;
    OrvoPSFWorkoutLogFrame *workoutLogFrame() const;
    QByteArray *flashHeaderRecord() const { return m_flashHeaderRecord; }

    // Keeps words 0-26, 28, 30-33 and 38-42 of the area table; the others are not kept.
    void init(const Layout &words);
    // Word k of the area table; 0 for a word that is not kept.
    qint32 layoutWord(int k) const;

    // When set, names are added as bit-font images.
    quint8 flag() const { return m_flag; }
    void setFlag(int value);
    // When set, exports include the items already marked as exported.
    quint8 flag2() const { return m_flag2; }
    void setFlag2(int value);

    // The device write pass: resets the header record's areas, then writes the routes, the
    // workouts and the POIs into image (the PSF image) in place. True when every step did.
    bool update(QByteArray &image);
    // Empties, in a header record, the areas that update() rewrites: each area's end becomes
    // its start and its free count its capacity. Only those words change; false (and nothing
    // written) when the record is too short to hold them.
    bool layoutRecord(QByteArray &record) const;
    bool writeRoutes(QByteArray &image);
    bool writeWorkouts(QByteArray &image);
    bool writePOIs(QByteArray &image);

    // Adds the workouts of a workout XML file; false when the file cannot be read.
    bool importXml(const QString &fileName);
    bool addWorkout(const ZKTrncrs &document);

    // The user's values that the ride export writes into its metadata.
    float userHeight() const { return m_userHeight; }
    void setUserHeight(float centimetres) { m_userHeight = centimetres; }
    float userWeight() const { return m_userWeight; }
    void setUserWeight(float kilograms) { m_userWeight = kilograms; }
    qint32 userMaxHeartRate() const { return m_userMaxHeartRate; }
    void setUserMaxHeartRate(qint32 beatsPerMinute) { m_userMaxHeartRate = beatsPerMinute; }
    qint32 userMlss() const { return m_userMlss; }
    void setUserMlss(qint32 value) { m_userMlss = value; }
    qint32 userGender() const { return m_userGender; }
    void setUserGender(qint32 gender) { m_userGender = gender; }
    qint32 userAge() const { return m_userAge; }
    void setUserAge(qint32 years) { m_userAge = years; }

private:
    template<typename T>
    void replace(QPointer<T> &held, T *object);
    static bool isKeptWord(int k);

    QPointer<OrvoPSFDistHeader> m_distHeader;
    QPointer<OrvoPSFPOIFrame> m_poiFrame;
    QPointer<OrvoPSFRouteFrame> m_routeFrame;
    QPointer<OrvoPSFTrackFrame> m_trackFrame;
    QPointer<OrvoPSFSensorLogFrame> m_sensorLogFrame;
    QPointer<OrvoPSFWorkoutFrame> m_workoutFrame;
    QPointer<OrvoPSFWorkoutLogFrame> m_workoutLogFrame;
    QByteArray *m_flashHeaderRecord = nullptr;
    quint8 m_flag = 0;
    quint8 m_flag2 = 0;
    Layout m_layout{};
    float m_userHeight = 180.0f;
    float m_userWeight = 65.0f;
    qint32 m_userMaxHeartRate = 190;
    qint32 m_userMlss = 0;
    qint32 m_userGender = 1;
    qint32 m_userAge = 0;
};
