#pragma once

#include "profile/OrvoProfileReader.h"

#include <QByteArray>
#include <QMap>
#include <QString>

#include <memory>
#include <span>
#include <vector>

class OrvoPSFRoute_1_5;
class OrvoPSFRouteFrame_1_5;
class OrvoPSFSectionRef_1_5;
class OrvoPSFSectionTable_1_5;
class OrvoPSFStore;
class OrvoPSFTrackFrame_1_5;
class OrvoPSFWorkoutFrame_1_5;
class OrvoPSFWorkout_1_5;

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
    // Erases the routes, rides, tracks and every log.
    bool clearAllRoutes();
    bool workouts(std::vector<OrvoPSFWorkout_1_5 *> &list);
    bool clearWorkouts();

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
