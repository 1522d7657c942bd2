#pragma once

#include "profile/OrvoProfileReader.h"

#include <QByteArray>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <span>
#include <vector>

class OrvoPSFInterval_1_5;
class OrvoPSFRoute_1_5;
class OrvoPSFRouteFrame_1_5;
class OrvoPSFSectionRef_1_5;
class OrvoPSFSectionTable_1_5;
class OrvoPSFStore;
class OrvoPSFSensorLog_1_5;
class OrvoPSFTrackFrame_1_5;
class OrvoPSFTrackSeg_1_5;
class OrvoPSFUserInfoLog_1_5;
class OrvoPSFWorkoutFrame_1_5;
class OrvoPSFWorkout_1_5;
class OrvoPSFWorkoutLog_1_5;

// The PSF 1.5 data inside a flash image as the device operations use it. The section table
// comes from the distribution header; every section view is built on first use, after the
// store has loaded the region it reads, and kept. The bytes belong to the store's image.
//
// The profile block (4096 bytes from T[44]) is profile format 2.0.0, read and written by the
// profile codec; its values are kept after a read until the next save.
class OrvoPSFFlashImage
{
public:
    // Loads the distribution header through the store; without it the image has no sections.
    explicit OrvoPSFFlashImage(OrvoPSFStore &store);
    ~OrvoPSFFlashImage();
    OrvoPSFFlashImage(const OrvoPSFFlashImage &) = delete;
    OrvoPSFFlashImage &operator=(const OrvoPSFFlashImage &) = delete;

    // The four-character variant code at byte 16 of the distribution header; empty without it.
    QByteArray variantCode() const;

    // The planned routes (recorded false) or the recorded rides, in section order.
    bool routes(bool recorded, std::vector<OrvoPSFRoute_1_5 *> &list);
    // Removes every planned route or every recorded ride and packs the tracks of the others;
    // the rides take their sensor, user-info and workout logs with them. False, image
    // unchanged, when a section cannot be read or the route area cannot be rewritten.
    bool removeRoutes(bool recorded);
    // Erases the routes, rides, tracks and every log. False, image unchanged, when a section
    // cannot be read or does not stand where the area table puts it.
    bool clearAllRoutes();
    bool workouts(std::vector<OrvoPSFWorkout_1_5 *> &list);
    // Erases the workouts and their intervals; false, image unchanged, as clearAllRoutes.
    bool clearWorkouts();
    // Removes the workouts at the indexes of the list; false, image unchanged, when one is not
    // a workout's or the section cannot be rewritten.
    bool removeWorkouts(const QSet<int> &indexes);
    // Erases routes, rides, logs and workouts, or, false, changes nothing.
    bool clearAll();

    // Appends a planned route named by texts in the languages of codes. Null, image unchanged,
    // when the route section cannot be read or has no room for it.
    OrvoPSFRoute_1_5 *addRoute(const QStringList &texts, const QStringList &codes, bool bitFont);
    // Appends a workout with its names and descriptions. Null, image unchanged, when the
    // workout section cannot be read or has no room for it.
    OrvoPSFWorkout_1_5 *addWorkout(const QStringList &texts, const QStringList &codes, const QStringList &descTexts,
                                   const QStringList &descCodes, bool bitFont);
    // Appends an empty interval to the workout; null, image unchanged, without room.
    OrvoPSFInterval_1_5 *addInterval(OrvoPSFWorkout_1_5 &workout);
    // True when n more bytes fit the track area after its last record.
    bool trackAreaHasRoom(qsizetype n);
    // Appends an empty segment to the end of the track area and to the end of the route's
    // chain. Null, image unchanged, when the track section cannot be read or has no room for
    // a segment header.
    OrvoPSFTrackSeg_1_5 *newTrackSegment(OrvoPSFRoute_1_5 &route);

    // The route's track segments, read on first use; null when the track section cannot be
    // read.
    const std::vector<std::unique_ptr<OrvoPSFTrackSeg_1_5>> *trackSegmentsOfRoute(OrvoPSFRoute_1_5 &route);
    // The sensor logs of the route's segments, in segment order; false when a section cannot
    // be read.
    bool sensorLogsOfRoute(OrvoPSFRoute_1_5 &route, std::vector<const OrvoPSFSensorLog_1_5 *> &logs);
    // The user-info log recorded with the ride; null when it has none or it cannot be read.
    const OrvoPSFUserInfoLog_1_5 *userInfoOfRoute(OrvoPSFRoute_1_5 &route);
    // The first workout log recorded with the ride and the workout whose chain holds it; both
    // null when the ride has none, the workout null when no workout's chain holds the log.
    struct WorkoutLogLink
    {
        const OrvoPSFWorkoutLog_1_5 *log = nullptr;
        const OrvoPSFWorkout_1_5 *workout = nullptr;
    };
    WorkoutLogLink workoutLogOf(OrvoPSFRoute_1_5 &route);

    // The profile values of the block; parsed once until the next save.
    bool readProfile(QMap<QString, QString> &values);
    // Writes the known keys of values into the block.
    bool saveProfile(const QMap<QString, QString> &values);
    // The date the profile counts ages from.
    void setTodayFunction(OrvoTodayFunction today);

    // The section views; null when the region cannot be loaded or the section is absent.
    OrvoPSFRouteFrame_1_5 *routeFrame();
    OrvoPSFTrackFrame_1_5 *trackFrame();
    OrvoPSFSectionRef_1_5 *sensorLogSection();
    OrvoPSFWorkoutFrame_1_5 *workoutFrame();
    OrvoPSFSectionRef_1_5 *workoutLogSection();
    OrvoPSFSectionRef_1_5 *userInfoSection();

private:
    std::span<uchar> section(int index) const;
    bool hasRouteSections();
    const OrvoPSFWorkout_1_5 *workoutHolding(const OrvoPSFWorkoutLog_1_5 &log);

    OrvoPSFStore &m_store;
    std::span<uchar> m_base;
    std::unique_ptr<OrvoPSFSectionTable_1_5> m_table;
    std::unique_ptr<OrvoPSFRouteFrame_1_5> m_routeFrame;
    std::unique_ptr<OrvoPSFTrackFrame_1_5> m_trackFrame;
    std::unique_ptr<OrvoPSFSectionRef_1_5> m_sensorLogSection;
    std::unique_ptr<OrvoPSFWorkoutFrame_1_5> m_workoutFrame;
    std::unique_ptr<OrvoPSFSectionRef_1_5> m_workoutLogSection;
    std::unique_ptr<OrvoPSFSectionRef_1_5> m_userInfoSection;
    QMap<QString, QString> m_profile;
    OrvoTodayFunction m_today;
};
