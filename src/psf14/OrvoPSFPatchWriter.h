#pragma once

#include <QByteArray>
#include <QHash>
#include <QVector>

class OrvoPSF;
class OrvoPSFInterval;
class OrvoPSFRoute;
class OrvoPSFWorkout;

// The write pass of a PSF 1.4 container: lays its lists of routes with their tracks, of
// workouts with their intervals and of POIs out anew in a PSF image, each from the start of
// its area, and keeps the device's header record in step with the end and the free bytes of
// each area. Links are rewritten to the new positions in the image and in the records: a
// route's first track, a workout's first interval, an interval's next interval and the
// interval its repeat goes back to. A route without tracks and a workout without intervals
// keep the "none" link.
//
// Each list is sized first against its areas as the container's area table gives them: the
// records that fit whole (with their tracks or intervals) are written in list order, the count
// says how many, and nothing is written past an area or the image. A list that does not fit
// whole makes its writer answer false.
class OrvoPSFPatchWriter
{
public:
    OrvoPSFPatchWriter(QByteArray &image, OrvoPSF &psf);

    bool writeRoutes();
    bool writeWorkouts();
    bool writePOIs();

    // The bytes the route's tracks take in the track area: a header and the points of each.
    static qint64 trackBytes(const OrvoPSFRoute &route);

private:
    using IntervalLinks = QHash<const OrvoPSFInterval *, quint32>;

    qint64 trackAreaBase() const;
    qsizetype routesThatFit(const QVector<OrvoPSFRoute *> &routes, qint64 base) const;
    void writeRoute(OrvoPSFRoute &route, qint64 position);
    quint32 writePoints(OrvoPSFRoute &route);
    qsizetype workoutsThatFit(const QVector<OrvoPSFWorkout *> &workouts, qint64 base, qint64 intervalBase) const;
    void writeWorkout(OrvoPSFWorkout &workout, qint64 position, qint64 intervalBase, const IntervalLinks &links);
    void writeInterval(OrvoPSFInterval &interval, qint64 intervalBase, quint32 next, const IntervalLinks &links);
    void writeLogRides(const OrvoPSFWorkout &workout);

    QByteArray &m_image;
    OrvoPSF &m_psf;
    // The image position of the track data area, which track links count from; -1 when the
    // image has none.
    qint64 m_trackAreaBase = -1;
    // The end of the last track written, from m_trackAreaBase.
    quint32 m_lastTrackEnd = 0;
};
