#include "util/ZKGpx2.h"

#include "util/ZKXmlFileCopy.h"

#include <QXmlStreamWriter>

namespace {

void writeEmptyWithPair(QXmlStreamWriter &writer, const QString &name, const QString &firstName, const QString &first,
                        const QString &secondName, const QString &second)
{
    if (first.isEmpty() && second.isEmpty())
        return;
    writer.writeEmptyElement(name);
    writer.writeAttribute(firstName, first);
    writer.writeAttribute(secondName, second);
}

ZKGpxLogPoint secondDialectLogPoint(const ZKGpxKeyMap &map)
{
    ZKGpxLogPoint point;
    point.time = map.value(QStringLiteral("logpt_time"));
    point.hrm = map.value(QStringLiteral("hrm"));
    point.cad = map.value(QStringLiteral("cad"));
    point.spd = map.value(QStringLiteral("spd"));
    point.tmp = map.value(QStringLiteral("tmp"));
    point.pwr = map.value(QStringLiteral("pwr"));
    point.brm = map.value(QStringLiteral("brm"));
    return point;
}

// The values a lap and the summary share, from "distance" to "lostalttime".
void fillLapBody(ZKGpxLap &lap, const ZKGpxKeyMap &map)
{
    lap.distance = map.value(QStringLiteral("distance"));
    lap.calorie = map.value(QStringLiteral("calorie"));
    lap.step = map.value(QStringLiteral("step"));
    lap.altloss = map.value(QStringLiteral("altloss"));
    lap.altgain = map.value(QStringLiteral("altgain"));
    lap.speedMax = map.value(QStringLiteral("speed_max"));
    lap.speedAvg = map.value(QStringLiteral("speed_avg"));
    lap.hrmMax = map.value(QStringLiteral("hrm_max"));
    lap.hrmAvg = map.value(QStringLiteral("hrm_avg"));
    lap.cadMax = map.value(QStringLiteral("cad_max"));
    lap.cadAvg = map.value(QStringLiteral("cad_avg"));
    lap.pwrMax = map.value(QStringLiteral("pwr_max"));
    lap.pwrAvg = map.value(QStringLiteral("pwr_avg"));
    lap.rtime = map.value(QStringLiteral("rtime"));
    lap.gainaltlen = map.value(QStringLiteral("gainaltlen"));
    lap.lostaltlen = map.value(QStringLiteral("lostaltlen"));
    lap.gainalttime = map.value(QStringLiteral("gainalttime"));
    lap.lostalttime = map.value(QStringLiteral("lostalttime"));
}

} // namespace

void ZKGpx2::setMetadataExtensions(const ZKGpxKeyMap &map)
{
    if (majorVersion() == 1)
        ZKGpx1::setMetadataExtensions(map);
    if (majorVersion() != 2 || !metadata)
        return;
    ZKGpxMetadata &m = *metadata;
    m.sys = map.value(QStringLiteral("sys"));
    m.sysVersion = map.value(QStringLiteral("sys_version"));
    m.sharetype = map.value(QStringLiteral("sharetype"));
    m.sctry = map.value(QStringLiteral("sctry"));
    m.ectry = map.value(QStringLiteral("ectry"));
    m.splace = map.value(QStringLiteral("splace"));
    m.eplace = map.value(QStringLiteral("eplace"));
    m.acttype = map.value(QStringLiteral("acttype"));
    m.trvtime = map.value(QStringLiteral("trvtime"));
    m.trvdist = map.value(QStringLiteral("trvdist"));
    m.appName = map.value(QStringLiteral("app_name"));
    m.appVersion = map.value(QStringLiteral("app_version"));
    m.stime = map.value(QStringLiteral("stime"));
    m.etime = map.value(QStringLiteral("etime"));
    m.acttypeSubtype = map.value(QStringLiteral("acttype_subtype"));
    m.poollen = map.value(QStringLiteral("poollen"));
}

void ZKGpx2::setIntervalSegment(const ZKGpxKeyMap &map)
{
    ZKGpxTrack *track = trackList ? trackList->current() : nullptr;
    if (!track)
        return;
    track->itvSegStart = map.value(QStringLiteral("itvSeg_start"));
    track->itvSegEnd = map.value(QStringLiteral("itvSeg_end"));
    track->order = map.value(QStringLiteral("order"));
    track->acttype = map.value(QStringLiteral("acttype"));
    track->acttypeSubtype = map.value(QStringLiteral("acttype_subtype"));
}

void ZKGpx2::newLogSegmentList()
{
    logSegments.emplace();
}

void ZKGpx2::newLogSegment()
{
    if (logSegments)
        logSegments->append(ZKGpxLogSegment());
}

void ZKGpx2::addLogPoint(const ZKGpxKeyMap &map)
{
    if (majorVersion() == 1)
        ZKGpx1::addLogPoint(map);
    else if (majorVersion() == 2 && logSegments)
        logSegments->appendToCurrent(secondDialectLogPoint(map));
}

void ZKGpx2::newWorkoutLog()
{
    workoutLog.emplace();
}

void ZKGpx2::setWorkoutLog(const ZKGpxKeyMap &map)
{
    if (!workoutLog)
        return;
    workoutLog->id = map.value(QStringLiteral("wrklog_id"));
    workoutLog->type = map.value(QStringLiteral("wrklog_type"));
    workoutLog->subtype = map.value(QStringLiteral("wrklog_subtype"));
    workoutLog->lthr = map.value(QStringLiteral("lthr"));
    workoutLog->mhr = map.value(QStringLiteral("mhr"));
    workoutLog->ftp = map.value(QStringLiteral("ftp"));
    workoutLog->map = map.value(QStringLiteral("map"));
}

void ZKGpx2::addWorkoutInterval(const ZKGpxKeyMap &map)
{
    if (!workoutLog)
        return;
    ZKGpxInterval interval;
    interval.order = map.value(QStringLiteral("interval_order"));
    interval.start = map.value(QStringLiteral("start"));
    interval.end = map.value(QStringLiteral("end"));
    workoutLog->appendInterval(interval);
}

void ZKGpx2::newLapList()
{
    laps.emplace();
}

void ZKGpx2::addLap(const ZKGpxKeyMap &map)
{
    if (!laps)
        return;
    ZKGpxLap lap;
    lap.order = map.value(QStringLiteral("lap_order"));
    lap.start = map.value(QStringLiteral("lap_start"));
    lap.end = map.value(QStringLiteral("lap_end"));
    fillLapBody(lap, map);
    laps->append(lap);
}

void ZKGpx2::setSummary(const ZKGpxKeyMap &map)
{
    if (!laps)
        return;
    ZKGpxLap summary;
    summary.start = map.value(QStringLiteral("summary_start"));
    summary.end = map.value(QStringLiteral("summary_end"));
    fillLapBody(summary, map);
    laps->summary = summary;
}

void ZKGpx2::writeMetadataExtensions(QXmlStreamWriter &writer)
{
    if (!metadata)
        return;
    const ZKGpxMetadata &m = *metadata;
    writer.writeStartElement(QStringLiteral("extensions"));
    if (!zkCopyXmlFile(writer, m.profileFile))
        writeUserProfile(writer);
    if (!m.sys.isEmpty() && !m.sysVersion.isEmpty()) {
        writer.writeStartElement(QStringLiteral("sys"));
        writer.writeAttribute(QStringLiteral("version"), m.sysVersion);
        writer.writeCharacters(m.sys);
        if (!m.appName.isEmpty() || !m.appVersion.isEmpty()) {
            writer.writeStartElement(QStringLiteral("apps"));
            writeEmptyWithPair(writer, QStringLiteral("app"), QStringLiteral("name"), m.appName,
                               QStringLiteral("version"), m.appVersion);
            writer.writeEndElement();
        }
        writer.writeEndElement();
    } else {
        writeTextIfSet(writer, QStringLiteral("sys"), m.sys);
    }
    writeTextIfSet(writer, QStringLiteral("sharetype"), m.sharetype);
    writeTextIfSet(writer, QStringLiteral("sctry"), m.sctry);
    writeTextIfSet(writer, QStringLiteral("ectry"), m.ectry);
    writeTextIfSet(writer, QStringLiteral("splace"), m.splace);
    writeTextIfSet(writer, QStringLiteral("eplace"), m.eplace);
    if (!m.acttype.isEmpty()) {
        writer.writeStartElement(QStringLiteral("acttype"));
        if (!m.acttypeSubtype.isEmpty())
            writer.writeAttribute(QStringLiteral("subtype"), m.acttypeSubtype);
        writer.writeCharacters(m.acttype);
        writer.writeEndElement();
    }
    writeTextIfSet(writer, QStringLiteral("stime"), m.stime);
    writeTextIfSet(writer, QStringLiteral("etime"), m.etime);
    writeTextIfSet(writer, QStringLiteral("trvTime"), m.trvtime);
    writeTextIfSet(writer, QStringLiteral("trvDist"), m.trvdist);
    writeTextIfSet(writer, QStringLiteral("poollen"), m.poollen);
    writer.writeEndElement();
}

void ZKGpx2::writeUserProfile(QXmlStreamWriter &writer) const
{
    const ZKGpxMetadataExt &user = metadata->user;
    writer.writeStartElement(QStringLiteral("user"));
    writeTextIfSet(writer, QStringLiteral("name"), user.name);
    writeTextIfSet(writer, QStringLiteral("gender"), user.gender);
    writeTextIfSet(writer, QStringLiteral("weight"), user.weight);
    writeTextIfSet(writer, QStringLiteral("height"), user.height);
    writeTextIfSet(writer, QStringLiteral("age"), user.age);
    if (!user.bike.isEmpty()) {
        writer.writeStartElement(QStringLiteral("bike"));
        writer.writeCharacters(user.bike.text);
        writeTextIfSet(writer, QStringLiteral("name"), user.bike.name);
        writeTextIfSet(writer, QStringLiteral("weight"), user.bike.weight);
        writeTextIfSet(writer, QStringLiteral("type"), user.bike.type);
        writeTextIfSet(writer, QStringLiteral("wheel"), user.bike.wheel);
        writer.writeEndElement();
    }
    writeTextIfSet(writer, QStringLiteral("mhr"), user.mhr);
    writeTextIfSet(writer, QStringLiteral("lthr"), user.lthr);
    writeTextIfSet(writer, QStringLiteral("map"), user.map);
    writeTextIfSet(writer, QStringLiteral("ftp"), user.ftp);
    writeEmptyWithPair(writer, QStringLiteral("stridelen"), QStringLiteral("longdist"), user.longdist,
                       QStringLiteral("sprint"), user.sprint);
    writeEmptyWithPair(writer, QStringLiteral("runperf"), QStringLiteral("racetime"), user.racetime,
                       QStringLiteral("racedist"), user.racedist);
    for (const ZKGpxZoneDef &zoneDef : user.zoneDefs) {
        writer.writeStartElement(QStringLiteral("zonedef"));
        writer.writeAttribute(QStringLiteral("type"), zoneDef.type);
        for (qsizetype i = 0; i < zoneDef.zoneCount(); ++i) {
            writer.writeEmptyElement(QStringLiteral("zone"));
            writer.writeAttribute(QStringLiteral("id"), QString::number(i + 1));
            writer.writeAttribute(QStringLiteral("low"), QString::number(zoneDef.low.at(i)));
            writer.writeAttribute(QStringLiteral("high"), QString::number(zoneDef.high.at(i)));
        }
        writer.writeEndElement();
    }
    writer.writeEndElement();
}

void ZKGpx2::writeTrackSegmentExtensions(QXmlStreamWriter &writer, const ZKGpxTrack &track)
{
    // The subtype alone describes nothing without its activity type.
    if (track.itvSegStart.isEmpty() && track.itvSegEnd.isEmpty() && track.order.isEmpty() && track.acttype.isEmpty() &&
        track.breaktype.isEmpty())
        return;
    writer.writeStartElement(QStringLiteral("extensions"));
    writeEmptyWithPair(writer, QStringLiteral("itvSeg"), QStringLiteral("start"), track.itvSegStart,
                       QStringLiteral("end"), track.itvSegEnd);
    writeTextIfSet(writer, QStringLiteral("order"), track.order);
    if (!track.acttype.isEmpty()) {
        writer.writeStartElement(QStringLiteral("acttype"));
        writer.writeAttribute(QStringLiteral("subtype"), track.acttypeSubtype);
        writer.writeCharacters(track.acttype);
        writer.writeEndElement();
    }
    writeTextIfSet(writer, QStringLiteral("breaktype"), track.breaktype);
    writer.writeEndElement();
}

void ZKGpx2::writeExtensions(QXmlStreamWriter &writer)
{
    writer.writeStartElement(QStringLiteral("extensions"));
    writeSensorLog(writer);
    writeWorkoutLog(writer);
    writeLaps(writer);
    if (workoutLog && m_trainingCourse)
        m_trainingCourse->writeWorkouts(writer);
    writer.writeEndElement();
}

void ZKGpx2::writeSensorLog(QXmlStreamWriter &writer) const
{
    if (!logSegments)
        return;
    writer.writeStartElement(QStringLiteral("ssrlog"));
    for (const ZKGpxLogSegment &segment : logSegments->items) {
        writer.writeStartElement(QStringLiteral("logseg"));
        writeTextIfSet(writer, QStringLiteral("breaktype"), segment.breaktype);
        for (const ZKGpxLogPoint &point : segment.points) {
            writer.writeStartElement(QStringLiteral("logpt"));
            writer.writeAttribute(QStringLiteral("time"), point.time);
            writeTextIfSet(writer, QStringLiteral("hrm"), point.hrm);
            writeTextIfSet(writer, QStringLiteral("cad"), point.cad);
            writeTextIfSet(writer, QStringLiteral("spd"), point.spd);
            writeTextIfSet(writer, QStringLiteral("tmp"), point.tmp);
            writeTextIfSet(writer, QStringLiteral("pwr"), point.pwr);
            writeTextIfSet(writer, QStringLiteral("brm"), point.brm);
            writer.writeEndElement();
        }
        writer.writeEndElement();
    }
    writer.writeEndElement();
}

void ZKGpx2::writeWorkoutLog(QXmlStreamWriter &writer) const
{
    if (!workoutLog)
        return;
    writer.writeStartElement(QStringLiteral("wrklog"));
    writer.writeAttribute(QStringLiteral("id"), workoutLog->id);
    writer.writeAttribute(QStringLiteral("type"), workoutLog->type);
    writer.writeAttribute(QStringLiteral("subtype"), workoutLog->subtype);
    for (const ZKGpxInterval &interval : workoutLog->intervals) {
        writer.writeStartElement(QStringLiteral("interval"));
        writer.writeAttribute(QStringLiteral("order"), interval.order);
        writeTextIfSet(writer, QStringLiteral("start"), interval.start);
        writeTextIfSet(writer, QStringLiteral("end"), interval.end);
        writer.writeEndElement();
    }
    writeTextIfSet(writer, QStringLiteral("lthr"), workoutLog->lthr);
    writeTextIfSet(writer, QStringLiteral("mhr"), workoutLog->mhr);
    writeTextIfSet(writer, QStringLiteral("ftp"), workoutLog->ftp);
    writeTextIfSet(writer, QStringLiteral("map"), workoutLog->map);
    writer.writeEndElement();
}

void ZKGpx2::writeLaps(QXmlStreamWriter &writer) const
{
    if (!laps)
        return;
    writer.writeStartElement(QStringLiteral("laps"));
    for (const ZKGpxLap &lap : laps->items) {
        writer.writeStartElement(QStringLiteral("lap"));
        writer.writeAttribute(QStringLiteral("order"), lap.order);
        writeLapBody(writer, lap);
        writer.writeEndElement();
    }
    if (laps->summary) {
        writer.writeStartElement(QStringLiteral("summary"));
        writeLapBody(writer, *laps->summary);
        writer.writeEndElement();
    }
    writer.writeEndElement();
}

void ZKGpx2::writeLapBody(QXmlStreamWriter &writer, const ZKGpxLap &lap)
{
    writer.writeAttribute(QStringLiteral("start"), lap.start);
    writer.writeAttribute(QStringLiteral("end"), lap.end);
    writeTextIfSet(writer, QStringLiteral("distance"), lap.distance);
    writeTextIfSet(writer, QStringLiteral("calorie"), lap.calorie);
    writeTextIfSet(writer, QStringLiteral("step"), lap.step);
    writeTextIfSet(writer, QStringLiteral("altloss"), lap.altloss);
    writeTextIfSet(writer, QStringLiteral("altgain"), lap.altgain);
    const auto writeMaxAvg = [&writer](const QString &name, const QString &max, const QString &avg) {
        writeEmptyWithPair(writer, name, QStringLiteral("max"), max, QStringLiteral("avg"), avg);
    };
    writeMaxAvg(QStringLiteral("speed"), lap.speedMax, lap.speedAvg);
    writeMaxAvg(QStringLiteral("hrm"), lap.hrmMax, lap.hrmAvg);
    writeMaxAvg(QStringLiteral("cad"), lap.cadMax, lap.cadAvg);
    writeMaxAvg(QStringLiteral("pwr"), lap.pwrMax, lap.pwrAvg);
    writeTextIfSet(writer, QStringLiteral("rtime"), lap.rtime);
    writeTextIfSet(writer, QStringLiteral("gainaltlen"), lap.gainaltlen);
    writeTextIfSet(writer, QStringLiteral("lostaltlen"), lap.lostaltlen);
    writeTextIfSet(writer, QStringLiteral("gainalttime"), lap.gainalttime);
    writeTextIfSet(writer, QStringLiteral("lostalttime"), lap.lostalttime);
}
