#include "util/ZKGpx1.h"

#include <QXmlStreamWriter>

#include <utility>

void ZKGpx1::setVersion(int major)
{
    m_majorVersion = major;
}

void ZKGpx1::newMetadata()
{
    metadata.emplace();
}

void ZKGpx1::setMetadata(const ZKGpxKeyMap &map)
{
    if (!metadata)
        return;
    ZKGpxMetadata &m = *metadata;
    m.name = map.value(QStringLiteral("name"));
    m.shtname = map.value(QStringLiteral("name_shtname"));
    m.desc = map.value(QStringLiteral("desc"));
    m.authorName = map.value(QStringLiteral("author_name"));
    m.authorEmail = map.value(QStringLiteral("author_email"));
    m.authorLink = map.value(QStringLiteral("author_link"));
    m.time = map.value(QStringLiteral("time"));
    m.minlat = map.value(QStringLiteral("bounds_minlat"));
    m.minlon = map.value(QStringLiteral("bounds_minlon"));
    m.maxlat = map.value(QStringLiteral("bounds_maxlat"));
    m.maxlon = map.value(QStringLiteral("bounds_maxlon"));
}

void ZKGpx1::setMetadataExtensions(const ZKGpxKeyMap &map)
{
    if (!metadata)
        return;
    ZKGpxMetadata &m = *metadata;
    m.sharetype = map.value(QStringLiteral("sharetype"));
    m.sctry = map.value(QStringLiteral("sctry"));
    m.ectry = map.value(QStringLiteral("ectry"));
    m.splace = map.value(QStringLiteral("splace"));
    m.eplace = map.value(QStringLiteral("eplace"));
    m.acttype = map.value(QStringLiteral("acttype"));
    m.rtetype = map.value(QStringLiteral("rtetype"));
    m.trvtime = map.value(QStringLiteral("trvtime"));
    m.trvdist = map.value(QStringLiteral("trvdist"));
}

void ZKGpx1::newRoute()
{
    route.emplace();
}

void ZKGpx1::setRoute(const ZKGpxKeyMap &map)
{
    if (!route)
        return;
    route->name = map.value(QStringLiteral("name"));
    route->cmt = map.value(QStringLiteral("cmt"));
    route->desc = map.value(QStringLiteral("desc"));
    route->src = map.value(QStringLiteral("src"));
    route->number = map.value(QStringLiteral("number"));
    route->type = map.value(QStringLiteral("type"));
}

void ZKGpx1::addRoutePoint(const ZKGpxKeyMap &map)
{
    if (!route)
        return;
    ZKGpxRoutePoint point;
    point.lat = map.value(QStringLiteral("rtept_lat"));
    point.lon = map.value(QStringLiteral("rtept_lon"));
    point.name = map.value(QStringLiteral("name"));
    point.cmt = map.value(QStringLiteral("cmt"));
    point.desc = map.value(QStringLiteral("desc"));
    point.type = map.value(QStringLiteral("type"));
    route->appendPoint(std::move(point));
}

void ZKGpx1::newTrackList()
{
    trackList.emplace();
}

void ZKGpx1::newTrack()
{
    if (trackList)
        trackList->append(ZKGpxTrack());
}

void ZKGpx1::addTrackPoint(const ZKGpxKeyMap &map)
{
    ZKGpxTrack *track = trackList ? trackList->current() : nullptr;
    if (!track)
        return;
    ZKGpxTrackPoint point;
    point.lat = map.value(QStringLiteral("trkpt_lat"));
    point.lon = map.value(QStringLiteral("trkpt_lon"));
    point.ele = map.value(QStringLiteral("ele"));
    point.cmt = map.value(QStringLiteral("cmt"));
    point.time = map.value(QStringLiteral("time"));
    point.type = map.value(QStringLiteral("type"));
    point.magvar = map.value(QStringLiteral("magvar"));
    point.speed = map.value(QStringLiteral("speed"));
    track->appendPoint(std::move(point));
}

void ZKGpx1::addWaypoint(const ZKGpxKeyMap &map)
{
    ZKGpxWaypoint point;
    point.lat = map.value(QStringLiteral("wpt_lat"));
    point.lon = map.value(QStringLiteral("wpt_lon"));
    point.name = map.value(QStringLiteral("name"));
    point.cmt = map.value(QStringLiteral("cmt"));
    point.desc = map.value(QStringLiteral("desc"));
    point.sym = map.value(QStringLiteral("sym"));
    point.ele = map.value(QStringLiteral("ele"));
    point.time = map.value(QStringLiteral("time"));
    point.type = map.value(QStringLiteral("type"));
    point.isCal = map.value(QStringLiteral("type_isCal"));
    point.tel = map.value(QStringLiteral("tel"));
    point.ctry = map.value(QStringLiteral("ctry"));
    point.place = map.value(QStringLiteral("place"));
    point.road = map.value(QStringLiteral("road"));
    point.hnum = map.value(QStringLiteral("hnum"));
    waypoints.append(point);
}

void ZKGpx1::newTrainingLog()
{
    trainingLog.emplace();
}

void ZKGpx1::addLogPoint(const ZKGpxKeyMap &map)
{
    if (!trainingLog)
        return;
    ZKGpxLogPoint point;
    point.time = map.value(QStringLiteral("logpt_time"));
    point.hrm = map.value(QStringLiteral("hrm"));
    point.cad = map.value(QStringLiteral("cad"));
    point.spd = map.value(QStringLiteral("spd"));
    point.tmp = map.value(QStringLiteral("tmp"));
    point.pdm = map.value(QStringLiteral("pdm"));
    point.cps = map.value(QStringLiteral("cps"));
    point.brm = map.value(QStringLiteral("brm"));
    trainingLog->append(point);
}

void ZKGpx1::writeMetadata(QXmlStreamWriter &writer)
{
    if (!metadata)
        return;
    const ZKGpxMetadata &m = *metadata;
    writer.writeStartElement(QStringLiteral("metadata"));
    writeTextIfSet(writer, QStringLiteral("name"), m.name);
    writeTextIfSet(writer, QStringLiteral("desc"), m.desc);
    if (!m.authorName.isEmpty() || !m.authorEmail.isEmpty() || !m.authorLink.isEmpty()) {
        writer.writeStartElement(QStringLiteral("author"));
        writeTextIfSet(writer, QStringLiteral("name"), m.authorName);
        writeTextIfSet(writer, QStringLiteral("email"), m.authorEmail);
        writeTextIfSet(writer, QStringLiteral("link"), m.authorLink);
        writer.writeEndElement();
    }
    writeTextIfSet(writer, QStringLiteral("time"), m.time);
    if (!m.minlat.isEmpty() && !m.minlon.isEmpty() && !m.maxlat.isEmpty() && !m.maxlon.isEmpty()) {
        writer.writeEmptyElement(QStringLiteral("bounds"));
        writer.writeAttribute(QStringLiteral("minlat"), m.minlat);
        writer.writeAttribute(QStringLiteral("minlon"), m.minlon);
        writer.writeAttribute(QStringLiteral("maxlat"), m.maxlat);
        writer.writeAttribute(QStringLiteral("maxlon"), m.maxlon);
    }
    writeMetadataExtensions(writer);
    writer.writeEndElement();
}

void ZKGpx1::writeRoute(QXmlStreamWriter &writer)
{
    if (!route)
        return;
    writer.writeStartElement(QStringLiteral("rte"));
    writeTextIfSet(writer, QStringLiteral("name"), route->name);
    writeTextIfSet(writer, QStringLiteral("cmt"), route->cmt);
    writeTextIfSet(writer, QStringLiteral("desc"), route->desc);
    writeTextIfSet(writer, QStringLiteral("src"), route->src);
    // The count of the points written, never the number text a file or producer supplied.
    if (!route->points.isEmpty())
        writer.writeTextElement(QStringLiteral("number"), QString::number(route->points.size()));
    writeTextIfSet(writer, QStringLiteral("type"), route->type);
    for (const ZKGpxRoutePoint &point : std::as_const(route->points)) {
        writer.writeStartElement(QStringLiteral("rtept"));
        writer.writeAttribute(QStringLiteral("lat"), point.lat);
        writer.writeAttribute(QStringLiteral("lon"), point.lon);
        writeTextIfSet(writer, QStringLiteral("name"), point.name);
        writeTextIfSet(writer, QStringLiteral("cmt"), point.cmt);
        writeTextIfSet(writer, QStringLiteral("desc"), point.desc);
        writeTextIfSet(writer, QStringLiteral("type"), point.type);
        writer.writeEndElement();
    }
    writer.writeEndElement();
}

void ZKGpx1::writeTracks(QXmlStreamWriter &writer)
{
    if (!trackList)
        return;
    writer.writeStartElement(QStringLiteral("trk"));
    for (const ZKGpxTrack &track : std::as_const(trackList->tracks)) {
        writer.writeStartElement(QStringLiteral("trkseg"));
        writeTrackSegmentExtensions(writer, track);
        for (const ZKGpxTrackPoint &point : track.points) {
            writer.writeStartElement(QStringLiteral("trkpt"));
            writer.writeAttribute(QStringLiteral("lat"), point.lat);
            writer.writeAttribute(QStringLiteral("lon"), point.lon);
            writeTextIfSet(writer, QStringLiteral("ele"), point.ele);
            writeTextIfSet(writer, QStringLiteral("cmt"), point.cmt);
            writeTextIfSet(writer, QStringLiteral("time"), point.time);
            writeTextIfSet(writer, QStringLiteral("type"), point.type);
            writeTextIfSet(writer, QStringLiteral("magvar"), point.magvar);
            writer.writeEndElement();
        }
        writer.writeEndElement();
    }
    writer.writeEndElement();
}

void ZKGpx1::writeWaypoints(QXmlStreamWriter &writer)
{
    for (const ZKGpxWaypoint &point : std::as_const(waypoints)) {
        writer.writeStartElement(QStringLiteral("wpt"));
        writer.writeAttribute(QStringLiteral("lat"), point.lat);
        writer.writeAttribute(QStringLiteral("lon"), point.lon);
        writeTextIfSet(writer, QStringLiteral("name"), point.name);
        writeTextIfSet(writer, QStringLiteral("cmt"), point.cmt);
        writeTextIfSet(writer, QStringLiteral("desc"), point.desc);
        writeTextIfSet(writer, QStringLiteral("sym"), point.sym);
        writeTextIfSet(writer, QStringLiteral("ele"), point.ele);
        writeTextIfSet(writer, QStringLiteral("time"), point.time);
        if (!point.type.isEmpty()) {
            writer.writeStartElement(QStringLiteral("type"));
            if (!point.isCal.isEmpty())
                writer.writeAttribute(QStringLiteral("isCal"), point.isCal);
            writer.writeCharacters(point.type);
            writer.writeEndElement();
        }
        writeTextIfSet(writer, QStringLiteral("tel"), point.tel);
        writeTextIfSet(writer, QStringLiteral("ctry"), point.ctry);
        writeTextIfSet(writer, QStringLiteral("place"), point.place);
        writeTextIfSet(writer, QStringLiteral("road"), point.road);
        writeTextIfSet(writer, QStringLiteral("hnum"), point.hnum);
        writer.writeEndElement();
    }
}

void ZKGpx1::writeTextIfSet(QXmlStreamWriter &writer, const QString &name, const QString &value)
{
    if (!value.isEmpty())
        writer.writeTextElement(name, value);
}
