#include "training/ZKWorkout.h"

#include "env/OrvoTimeText.h"
#include "util/ZKTraceLog.h"

#include <QXmlStreamWriter>

namespace {

QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

void writeNumberAttribute(QXmlStreamWriter &writer, const QString &name, qint64 value)
{
    writer.writeAttribute(name, QString::number(value));
}

void writeTarget(QXmlStreamWriter &writer, const ZKWorkoutTarget &target)
{
    writer.writeEmptyElement(QStringLiteral("target"));
    writeNumberAttribute(writer, QStringLiteral("type"), target.type);
    writeNumberAttribute(writer, QStringLiteral("low"), target.low);
    writeNumberAttribute(writer, QStringLiteral("high"), target.high);
    // The training-course format knows only "true" and "false" here: a number would read back
    // as a soft limit.
    writer.writeAttribute(QStringLiteral("ishardcon"), boolText(target.hard != 0));
}

void writeDuration(QXmlStreamWriter &writer, const ZKWorkoutInterval &interval)
{
    const ZKWorkoutDuration &duration = interval.duration();
    writer.writeStartElement(QStringLiteral("duration"));
    writeNumberAttribute(writer, QStringLiteral("type"), duration.type());
    writeNumberAttribute(writer, QStringLiteral("value"), duration.value());
    writer.writeAttribute(QStringLiteral("ismanual"), boolText(interval.durationIsManual()));
    if (duration.hasSegmentIndex()) {
        writer.writeEmptyElement(QStringLiteral("segidx"));
        writeNumberAttribute(writer, QStringLiteral("start"), duration.segmentStart());
        writeNumberAttribute(writer, QStringLiteral("end"), duration.segmentEnd());
    }
    writer.writeEndElement();
}

} // namespace

ZKWorkout::ZKWorkout(int id, const QString &name)
    : m_id(id)
    , m_orgid(id)
    , m_name(name)
{}

void ZKWorkout::writeMetadata(QXmlStreamWriter &writer)
{
    writer.writeStartElement(QStringLiteral("metadata"));
    writer.writeTextElement(QStringLiteral("time"), m_createTime);
    writer.writeTextElement(QStringLiteral("sys"), ZKTraceLog::modelName());
    writer.writeEndElement();
}

void ZKWorkout::writeWorkouts(QXmlStreamWriter &writer)
{
    writer.writeStartElement(QStringLiteral("wrk"));
    writeNumberAttribute(writer, QStringLiteral("id"), m_id);
    writeNumberAttribute(writer, QStringLiteral("orgid"), m_orgid);
    writer.writeAttribute(QStringLiteral("daily"), boolText(m_daily));
    writeNumberAttribute(writer, QStringLiteral("repeat"), m_repeat);
    writeNumberAttribute(writer, QStringLiteral("type"), m_type);
    writeNumberAttribute(writer, QStringLiteral("subtype"), m_subtype);
    writeNumberAttribute(writer, QStringLiteral("listOrder"), m_listOrder);
    writer.writeTextElement(QStringLiteral("acttype"), QString::number(m_acttype));
    if (!m_name.isEmpty())
        writer.writeTextElement(QStringLiteral("name"), m_name);
    if (!m_desc.isEmpty())
        writer.writeTextElement(QStringLiteral("desc"), m_desc);
    if (m_dateTime.isValid())
        writer.writeTextElement(QStringLiteral("time"), psfTimeText(m_dateTime.toSecsSinceEpoch()));
    for (const ZKWorkoutInterval &interval : m_intervals)
        writeInterval(interval, writer);
    writer.writeEndElement();
}

void ZKWorkout::writeInterval(const ZKWorkoutInterval &interval, QXmlStreamWriter &writer)
{
    writer.writeStartElement(QStringLiteral("itv"));
    writeNumberAttribute(writer, QStringLiteral("id"), interval.id());
    writer.writeAttribute(QStringLiteral("needLap"), boolText(interval.needLap()));
    if (!interval.name().isEmpty())
        writer.writeTextElement(QStringLiteral("name"), interval.name());
    writeTarget(writer, interval.target());
    writeDuration(writer, interval);
    if (interval.gotoId() != ZKWorkoutInterval::kNoGoto) {
        writer.writeStartElement(QStringLiteral("goto"));
        writeNumberAttribute(writer, QStringLiteral("repeat"), interval.gotoRepeat());
        writer.writeCharacters(QString::number(interval.gotoId()));
        writer.writeEndElement();
    }
    if (interval.logResolution() > 0)
        writer.writeTextElement(QStringLiteral("logreso"), QString::number(interval.logResolution()));
    writer.writeEndElement();
}
