#pragma once

#include "psf14/OrvoPSFField.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>

class OrvoPSFDistHeader;
class OrvoPSFInterval;
class OrvoPSFLap;
class OrvoPSFPOIFrame;
class OrvoPSFRoute;
class OrvoPSFRouteFrame;
class OrvoPSFSensorLogFrame;
class OrvoPSFTrackFrame;
class OrvoPSFWorkout;
class OrvoPSFWorkoutFrame;
class OrvoPSFWorkoutLog;
class OrvoPSFWorkoutLogFrame;
class ZKGpx2;
class ZKTrncrs;
struct OrvoPSFExportDevice;
struct ZKGpxRoutePoint;
struct ZKGpxTrack;
struct ZKTrncrsInterval;

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
    // The records of recordSize bytes that the area of the capacity word holds.
    qsizetype areaCapacity(int capacityWord, qsizetype recordSize) const;

    // When set, names are added as bit-font images.
    quint8 flag() const { return m_flag; }
    void setFlag(int value);
    // When set, exports include the items already marked as exported.
    quint8 flag2() const { return m_flag2; }
    void setFlag2(int value);

    // Exports. Each writes its files into folder under bare names and answers the names of
    // the files it wrote, in order; nothing else is written anywhere. An item already marked
    // as exported is left out unless flag2 is set; an item is marked once its file is written,
    // and the mark reaches the image with the next write pass.
    // The rides as GPX, the workouts as WRK and the POIs as GPX files, in this order.
    QStringList toXML(const QString &folder, const OrvoPSFExportDevice &device);
    // One GPX file per recorded ride, named after the ride.
    QStringList trackToXML(const QString &folder, const OrvoPSFExportDevice &device);
    // One WRK file per workout, named after the workout.
    QStringList workoutsToFile(const QString &folder, const OrvoPSFExportDevice &device);
    // One GPX file per POI, named after the current time.
    QStringList poisToGpx(const QString &folder, const OrvoPSFExportDevice &device);

    // The ride's summary lap as document's summary; the lap, or null (and document unchanged)
    // when the ride has none. mode is the ride's activity type, which scales cadences.
    const OrvoPSFLap *summaryToGpx(ZKGpx2 &document, const OrvoPSFRoute &ride, int mode) const;
    // Appends the ride's laps to document's lap list, when all of them are in the lap table.
    bool lapsToGpx(ZKGpx2 &document, const OrvoPSFRoute &ride, int mode) const;
    // The log of the workout the ride at rideOffset (its index × 156) followed, as document's
    // workout log; false (and document unchanged) when there is none.
    bool workoutLogToGpx(ZKGpx2 &document, quint32 rideOffset) const;
    // Attaches the workout that document's workout log names, as a training course.
    void workoutToGpx(ZKGpx2 &document) const;
    // The first workout, and its log, whose log names the ride at rideOffset; null when none.
    OrvoPSFWorkout *workoutOfRide(quint32 rideOffset) const;
    OrvoPSFWorkoutLog *workoutLogOfRide(quint32 rideOffset) const;

    // Imports and edits. Added records are marked as exported and get their links from the
    // next write pass.
    // Adds a POI (a file whose sharetype is "0") or a planned route from a GPX file of the
    // second dialect; false when the file is of another kind or nothing could be added.
    bool importGpx(const QString &path);
    // Adds the workouts of a workout XML file; false when the file cannot be read.
    bool importXml(const QString &fileName);
    // Adds the document's route as a planned route, one track per track segment; false when
    // the document has no route or no track list.
    bool addRoute(const ZKGpx2 &document);
    // Appends to route a track built from segment (see OrvoPSFRouteImport); false when none
    // could be built.
    bool addTrackFromPoints(const ZKGpxTrack &segment, OrvoPSFRoute &route, const ZKGpxRoutePoint *start,
                            const ZKGpxRoutePoint *end);
    // Adds one POI at the document's first waypoint, named after the document; false when there
    // is no waypoint or its position is no number.
    bool addPOIs(const ZKGpx2 &document);
    // Adds the document's workouts, named after the document, with their intervals and repeats.
    bool addWorkout(const ZKTrncrs &document);
    // Appends an interval to workout; false when it lacks its target or its duration.
    bool addInterval(const ZKTrncrsInterval &interval, OrvoPSFWorkout &workout);
    // Remove the items at the given indices (out of range and repeated ones are ignored) and
    // set the section's count. Workout logs follow their rides to their new places.
    bool removePOIs(const QList<int> &indices);
    bool removeRoutes(const QList<int> &indices);
    bool removeWorkouts(const QList<int> &indices);
    // Cuts to the device's capacity; true when anything was removed. POIs beyond the first 10
    // go; routes beyond the route area or whose tracks (headers and points) exceed the track
    // area go; workouts beyond the workout area or whose intervals exceed the interval area go.
    bool trimPOIs();
    bool dropExcessRoutes();
    bool dropExcessWorkouts();
    // Whether the device's areas hold every POI, route and workout (the POIs counted against
    // their area, so a device takes back what it held even beyond the ten trimPOIs keeps).
    bool fitsDevice() const;

    // The device write pass: resets the header record's areas, then writes the routes, the
    // workouts and the POIs into image (the PSF image) in place (see OrvoPSFPatchWriter). True
    // when every step did and every list fitted.
    bool update(QByteArray &image);
    // Empties, in a header record, the areas that update() rewrites: each area's end becomes
    // its start and its free count its capacity. Only those words change; false (and nothing
    // written) when the record is too short to hold them.
    bool layoutRecord(QByteArray &record) const;
    bool writeRoutes(QByteArray &image);
    bool writeWorkouts(QByteArray &image);
    bool writePOIs(QByteArray &image);

    // The clock that names POI files and gives imported tracks their ids, in milliseconds
    // since 1970; the system clock unless replaced.
    void setClock(std::function<qint64()> msecsSinceEpoch);

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
    qsizetype routesThatFit() const;
    qsizetype workoutsThatFit() const;
    // Links every interval whose repeat target points at an interval to that interval.
    void resolveRepeatTargets();
    // After routes were removed from before: every workout log names its ride's new place,
    // or none when its ride is gone.
    void followRides(const QVector<QPointer<OrvoPSFRoute>> &before);
    bool exports(bool marked) const;
    // Writes the ride's GPX file; its name, or empty when it was not written.
    QString exportRide(const QString &folder, const OrvoPSFExportDevice &device, const OrvoPSFRoute &ride,
                       quint32 rideOffset) const;
    QByteArray storedName(const QString &name, const QString &shortName) const;
    qint64 now() const;

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
    std::function<qint64()> m_clock;
};
