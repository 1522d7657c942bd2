#pragma once

#include "util/ZKGpx1.h"
#include "util/ZKGpxItemList.h"
#include "util/ZKGpxLap.h"
#include "util/ZKGpxLogSegment.h"
#include "util/ZKGpxWorkoutLog.h"

#include <memory>
#include <optional>

// The GPX document the system creates: the common parts of ZKGpx1 plus the second dialect's
// sensor log, laps with summary, workout log and an attached training course. It reads files
// of either dialect, by the major version the reader has set, and always writes the second.
class ZKGpx2 : public ZKGpx1
{
public:
    std::optional<ZKGpxItemList<ZKGpxLogSegment>> logSegments;
    std::optional<ZKGpxItemList<ZKGpxLap>> laps;
    std::optional<ZKGpxWorkoutLog> workoutLog;

    // Attaches a training-course document, which the document then owns. Its workouts are
    // written into the extensions after the laps when the document also has a workout log.
    // Any type with writeWorkouts(QXmlStreamWriter &) will do, so the GPX code does not depend
    // on the training-course library.
    template<class Course>
    Course *attachTrainingCourse(std::unique_ptr<Course> course);
    bool hasTrainingCourse() const { return m_trainingCourse != nullptr; }

    void setMetadataExtensions(const ZKGpxKeyMap &map) override;
    void setIntervalSegment(const ZKGpxKeyMap &map) override;
    void newLogSegmentList() override;
    void newLogSegment() override;
    void addLogPoint(const ZKGpxKeyMap &map) override;
    void newWorkoutLog() override;
    void setWorkoutLog(const ZKGpxKeyMap &map) override;
    void addWorkoutInterval(const ZKGpxKeyMap &map) override;
    void newLapList() override;
    void addLap(const ZKGpxKeyMap &map) override;
    void setSummary(const ZKGpxKeyMap &map) override;

    void writeMetadataExtensions(QXmlStreamWriter &writer) override;
    void writeTrackSegmentExtensions(QXmlStreamWriter &writer, const ZKGpxTrack &track) override;
    void writeExtensions(QXmlStreamWriter &writer) override;

private:
    class CourseOwner
    {
    public:
        virtual ~CourseOwner() = default;
        virtual void writeWorkouts(QXmlStreamWriter &writer) = 0;
    };

    template<class Course>
    class CourseOwnerOf : public CourseOwner
    {
    public:
        explicit CourseOwnerOf(std::unique_ptr<Course> course)
            : m_course(std::move(course))
        {}
        void writeWorkouts(QXmlStreamWriter &writer) override { m_course->writeWorkouts(writer); }

    private:
        std::unique_ptr<Course> m_course;
    };

    void writeUserProfile(QXmlStreamWriter &writer) const;
    void writeSensorLog(QXmlStreamWriter &writer) const;
    void writeWorkoutLog(QXmlStreamWriter &writer) const;
    void writeLaps(QXmlStreamWriter &writer) const;
    static void writeLapBody(QXmlStreamWriter &writer, const ZKGpxLap &lap);

    std::unique_ptr<CourseOwner> m_trainingCourse;
};

template<class Course>
Course *ZKGpx2::attachTrainingCourse(std::unique_ptr<Course> course)
{
    Course *attached = course.get();
    m_trainingCourse = attached ? std::make_unique<CourseOwnerOf<Course>>(std::move(course)) : nullptr;
    return attached;
}
