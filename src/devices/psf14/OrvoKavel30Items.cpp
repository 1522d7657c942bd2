#include "devices/psf14/OrvoKavel30Items.h"

#include "psf14/OrvoPSF.h"
#include "psf14/OrvoPSFNameField.h"
#include "psf14/OrvoPSFRideGpx.h"
#include "psf14/OrvoPSFRoute.h"
#include "psf14/OrvoPSFRouteFrame.h"
#include "psf14/OrvoPSFTrack.h"
#include "psf14/OrvoPSFValues.h"
#include "psf14/OrvoPSFWorkout.h"
#include "psf14/OrvoPSFWorkoutFrame.h"

#include <limits>

namespace {

constexpr quint32 kNoTime = 0xFFFFFFFF;

QDateTime utcTime(quint32 secondsSince1970)
{
    return QDateTime::fromSecsSinceEpoch(qint64(secondsSince1970), Qt::UTC);
}

int clampedLength(quint64 metres)
{
    return int(std::min<quint64>(metres, quint64(std::numeric_limits<int>::max())));
}

void setName(OrvoClientData &item, const QByteArray &stored, bool isBitFont)
{
    if (isBitFont)
        item.nameImage = decodeBitFontImage(stored, stored.size(), OrvoPSFNameField::kBitFontWidth,
                                            OrvoPSFNameField::kBitFontHeight);
    else
        item.name = OrvoPSFNameField::exportText(stored, false);
}

void setPlaces(OrvoClientData &item, const OrvoPSFRoute &route)
{
    qint32 startLatitude = 0;
    qint32 startLongitude = 0;
    qint32 endLatitude = 0;
    qint32 endLongitude = 0;
    routeEndpoints(route, startLatitude, startLongitude, endLatitude, endLongitude);
    item.startPlace = coordinateText(startLatitude) + QLatin1Char(',') + coordinateText(startLongitude);
    item.endPlace = coordinateText(endLatitude) + QLatin1Char(',') + coordinateText(endLongitude);
}

OrvoClientData routeItem(const OrvoPSFRoute &route, int index, OrvoClientData::Kind kind)
{
    OrvoClientData item;
    item.id = index;
    setName(item, route.name(), route.routeFlag1());
    item.kind = kind;
    item.uploaded = route.routeFlag3();
    return item;
}

const OrvoPSFTrack *firstTrack(const OrvoPSFRoute &route)
{
    return route.tracks().isEmpty() ? nullptr : route.tracks().constFirst().data();
}

// Calls visit with each record and its index; a record that was not loaded keeps its index.
template<typename Record, typename Visit>
void forEachRecord(const QVector<QPointer<Record>> &records, Visit visit)
{
    for (qsizetype i = 0; i < records.size(); ++i) {
        if (const Record *record = records.at(i).data())
            visit(*record, int(i));
    }
}

} // namespace

void OrvoKavel30Items::routes(const OrvoPSF &container, QVector<OrvoClientData> &items)
{
    if (!container.routeFrame())
        return;
    forEachRecord(container.routeFrame()->routes(), [&items](const OrvoPSFRoute &route, int index) {
        if (route.isTrack())
            return;
        OrvoClientData item = routeItem(route, index, OrvoClientData::KindRoute);
        item.totalLength = clampedLength(quint64(std::max<qint64>(routeDistance(route), 0)));
        setPlaces(item, route);
        items.append(item);
    });
}

// A ride's end and length come from its points' values, the same as its GPX export gives them.
void OrvoKavel30Items::rides(const OrvoPSF &container, QVector<OrvoClientData> &items)
{
    if (!container.routeFrame())
        return;
    forEachRecord(container.routeFrame()->routes(), [&items](const OrvoPSFRoute &route, int index) {
        if (!route.isTrack())
            return;
        OrvoClientData item = routeItem(route, index, OrvoClientData::KindRide);
        if (const OrvoPSFTrack *track = firstTrack(route)) {
            const OrvoPSFRideGpx::Totals totals = OrvoPSFRideGpx::totals(route);
            item.startTime = utcTime(track->trackStartTime());
            item.endTime = utcTime(totals.lastTime);
            item.totalLength = clampedLength(totals.distance);
            setPlaces(item, route);
        }
        items.append(item);
    });
}

void OrvoKavel30Items::workouts(const OrvoPSF &container, QVector<OrvoClientData> &items)
{
    if (!container.workoutFrame())
        return;
    forEachRecord(container.workoutFrame()->workouts(), [&items](const OrvoPSFWorkout &workout, int index) {
        OrvoClientData item;
        item.id = index;
        setName(item, workout.name(), workout.nameIsBitfont());
        if (workout.workoutTime() != kNoTime)
            item.startTime = utcTime(workout.workoutTime());
        item.kind = OrvoClientData::KindWorkout;
        item.uploaded = workout.workoutFlag6();
        items.append(item);
    });
}
