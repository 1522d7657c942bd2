#include "training/ZKTrncrs.h"

#include <QXmlStreamWriter>

namespace {

const QString kFalse = QStringLiteral("false");

QString text(const ZKTrnMap &values, const char *key, const QString &fallback = QString())
{
    return values.value(QLatin1String(key), fallback);
}

void writeIfNotEmpty(QXmlStreamWriter &writer, const QString &element, const QString &value)
{
    if (!value.isEmpty())
        writer.writeTextElement(element, value);
}

// A text element that may carry a short form as its "shtname" child.
void writeNamed(QXmlStreamWriter &writer, const QString &element, const QString &value, const QString &shortName)
{
    if (value.isEmpty())
        return;
    writer.writeStartElement(element);
    writer.writeCharacters(value);
    writeIfNotEmpty(writer, QStringLiteral("shtname"), shortName);
    writer.writeEndElement();
}

void writeTarget(QXmlStreamWriter &writer, const ZKTrncrsTarget &target)
{
    writer.writeEmptyElement(QStringLiteral("target"));
    writer.writeAttribute(QStringLiteral("type"), target.type);
    writer.writeAttribute(QStringLiteral("low"), target.low);
    writer.writeAttribute(QStringLiteral("high"), target.high);
    writer.writeAttribute(QStringLiteral("ishardcon"), target.ishardcon);
}

void writeDuration(QXmlStreamWriter &writer, const ZKTrncrsDuration &duration)
{
    writer.writeStartElement(QStringLiteral("duration"));
    writer.writeAttribute(QStringLiteral("type"), duration.type);
    writer.writeAttribute(QStringLiteral("value"), duration.value);
    writer.writeAttribute(QStringLiteral("ismanual"), duration.ismanual);
    if (!duration.segidxStart.isEmpty() || !duration.segidxEnd.isEmpty()) {
        writer.writeEmptyElement(QStringLiteral("segidx"));
        writer.writeAttribute(QStringLiteral("start"), duration.segidxStart);
        writer.writeAttribute(QStringLiteral("end"), duration.segidxEnd);
    }
    if (!duration.locationLat.isEmpty() && !duration.locationLon.isEmpty()) {
        writer.writeEmptyElement(QStringLiteral("location"));
        writer.writeAttribute(QStringLiteral("lat"), duration.locationLat);
        writer.writeAttribute(QStringLiteral("lon"), duration.locationLon);
    }
    writer.writeEndElement();
}

} // namespace

std::optional<ZKTrncrsMetadata> &ZKTrncrs::metadata()
{
    return m_metadata;
}

const std::optional<ZKTrncrsMetadata> &ZKTrncrs::metadata() const
{
    return m_metadata;
}

QList<ZKTrncrsWorkout> &ZKTrncrs::workouts()
{
    return m_workouts;
}

const QList<ZKTrncrsWorkout> &ZKTrncrs::workouts() const
{
    return m_workouts;
}

void ZKTrncrs::newMetadata()
{
    m_metadata.emplace();
}

void ZKTrncrs::setMetadata(const ZKTrnMap &values)
{
    if (!m_metadata)
        return;
    ZKTrncrsMetadata &m = *m_metadata;
    m.name = text(values, "name");
    m.nameShtname = text(values, "name_shtname");
    m.desc = text(values, "desc");
    m.author = text(values, "author");
    m.authorShtname = text(values, "author_shtname");
    m.time = text(values, "time");
    m.sys = text(values, "sys");
    m.sysMajor = text(values, "sys_major");
    m.sysMinor = text(values, "sys_minor");
    m.sysBuildmajor = text(values, "sys_buildmajor");
    m.sysBuildminor = text(values, "sys_buildminor");
}

void ZKTrncrs::newWorkout()
{
    m_currentWorkout.emplace();
}

void ZKTrncrs::setWorkout(const ZKTrnMap &values)
{
    if (!m_currentWorkout)
        return;
    ZKTrncrsWorkout &w = *m_currentWorkout;
    w.id = text(values, "wrk_id");
    w.orgid = text(values, "wrk_orgid");
    w.daily = text(values, "wrk_daily");
    w.repeat = text(values, "wrk_repeat");
    w.type = text(values, "wrk_type");
    w.subtype = text(values, "wrk_subtype");
    w.listOrder = text(values, "wrk_listOrder");
    w.acttype = text(values, "acttype");
    w.desc = text(values, "desc");
    w.name = text(values, "name");
    w.nameShtname = text(values, "name_shtname");
    w.time = text(values, "time");
    w.route = text(values, "route");
    w.routeId = text(values, "route_id");
    m_workouts.append(std::move(w));
    m_currentWorkout.reset();
}

void ZKTrncrs::newInterval()
{
    m_currentInterval.emplace();
}

void ZKTrncrs::newTarget()
{
    if (m_currentInterval)
        m_currentInterval->target.emplace();
}

void ZKTrncrs::setTarget(const ZKTrnMap &values)
{
    if (!m_currentInterval || !m_currentInterval->target)
        return;
    ZKTrncrsTarget &t = *m_currentInterval->target;
    t.type = text(values, "target_type");
    t.low = text(values, "target_low");
    t.high = text(values, "target_high");
    t.ishardcon = text(values, "target_ishardcon", kFalse);
}

void ZKTrncrs::newDuration()
{
    if (m_currentInterval)
        m_currentInterval->duration.emplace();
}

void ZKTrncrs::setDuration(const ZKTrnMap &values)
{
    if (!m_currentInterval || !m_currentInterval->duration)
        return;
    ZKTrncrsDuration &d = *m_currentInterval->duration;
    d.type = text(values, "duration_type");
    d.value = text(values, "duration_value");
    d.ismanual = text(values, "duration_ismanual", kFalse);
    d.segidxStart = text(values, "segidx_start");
    d.segidxEnd = text(values, "segidx_end");
    d.locationLat = text(values, "location_lat");
    d.locationLon = text(values, "location_lon");
}

void ZKTrncrs::setInterval(const ZKTrnMap &values)
{
    if (!m_currentInterval)
        return;
    ZKTrncrsInterval &i = *m_currentInterval;
    i.id = text(values, "itv_id");
    i.needLap = text(values, "itv_needLap", kFalse);
    i.name = text(values, "name");
    i.gotoText = text(values, "goto");
    i.gotoRepeat = text(values, "goto_repeat", QStringLiteral("0"));
    i.logreso = text(values, "logreso");
    // An interval outside any workout has nowhere to go.
    if (m_currentWorkout)
        m_currentWorkout->intervals.append(std::move(i));
    m_currentInterval.reset();
}

void ZKTrncrs::writeMetadata(QXmlStreamWriter &writer)
{
    if (!m_metadata)
        return;
    const ZKTrncrsMetadata &m = *m_metadata;
    writer.writeStartElement(QStringLiteral("metadata"));
    writeNamed(writer, QStringLiteral("name"), m.name, m.nameShtname);
    writeIfNotEmpty(writer, QStringLiteral("desc"), m.desc);
    writeNamed(writer, QStringLiteral("author"), m.author, m.authorShtname);
    writeIfNotEmpty(writer, QStringLiteral("time"), m.time);
    if (!m.sys.isEmpty()) {
        writer.writeStartElement(QStringLiteral("sys"));
        writer.writeAttribute(QStringLiteral("major"), m.sysMajor);
        writer.writeAttribute(QStringLiteral("minor"), m.sysMinor);
        writer.writeAttribute(QStringLiteral("buildmajor"), m.sysBuildmajor);
        writer.writeAttribute(QStringLiteral("buildminor"), m.sysBuildminor);
        writer.writeCharacters(m.sys);
        writer.writeEndElement();
    }
    writer.writeEndElement();
}

void ZKTrncrs::writeWorkouts(QXmlStreamWriter &writer)
{
    for (const ZKTrncrsWorkout &w : std::as_const(m_workouts)) {
        writer.writeStartElement(QStringLiteral("wrk"));
        writer.writeAttribute(QStringLiteral("id"), w.id);
        writer.writeAttribute(QStringLiteral("orgid"), w.orgid);
        writer.writeAttribute(QStringLiteral("daily"), w.daily);
        writer.writeAttribute(QStringLiteral("repeat"), w.repeat);
        writer.writeAttribute(QStringLiteral("type"), w.type);
        writer.writeAttribute(QStringLiteral("subtype"), w.subtype);
        writer.writeAttribute(QStringLiteral("listOrder"), w.listOrder);
        writeIfNotEmpty(writer, QStringLiteral("acttype"), w.acttype);
        writeNamed(writer, QStringLiteral("name"), w.name, w.nameShtname);
        writeIfNotEmpty(writer, QStringLiteral("desc"), w.desc);
        writeIfNotEmpty(writer, QStringLiteral("time"), w.time);
        if (!w.route.isEmpty()) {
            writer.writeStartElement(QStringLiteral("route"));
            writer.writeAttribute(QStringLiteral("id"), w.routeId);
            writer.writeCharacters(w.route);
            writer.writeEndElement();
        }
        writeIntervals(writer, w);
        writer.writeEndElement();
    }
}

void ZKTrncrs::writeIntervals(QXmlStreamWriter &writer, const ZKTrncrsWorkout &workout) const
{
    for (const ZKTrncrsInterval &i : workout.intervals) {
        writer.writeStartElement(QStringLiteral("itv"));
        writer.writeAttribute(QStringLiteral("id"), i.id);
        const bool needLap = !i.needLap.isEmpty() && i.needLap != kFalse;
        writer.writeAttribute(QStringLiteral("needLap"), needLap ? QStringLiteral("true") : kFalse);
        writer.writeTextElement(QStringLiteral("name"), i.name);
        if (i.target)
            writeTarget(writer, *i.target);
        if (i.duration)
            writeDuration(writer, *i.duration);
        if (!i.gotoText.isEmpty()) {
            writer.writeStartElement(QStringLiteral("goto"));
            writer.writeAttribute(QStringLiteral("repeat"), i.gotoRepeat);
            writer.writeCharacters(i.gotoText);
            writer.writeEndElement();
        }
        writeIfNotEmpty(writer, QStringLiteral("logreso"), i.logreso);
        writer.writeEndElement();
    }
}
