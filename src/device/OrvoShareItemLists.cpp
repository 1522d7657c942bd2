#include "device/OrvoShareItemLists.h"

#include "device/OrvoClientData.h"
#include "device/OrvoDeviceLogging.h"
#include "env/OrvoFunctionTrace.h"
#include "env/OrvoSaveFile.h"

#include <QSaveFile>
#include <QXmlStreamWriter>

namespace {

constexpr int kIndent = 4;
const QString kTrackPoints = QStringLiteral("1000");

QVector<OrvoShareItem> shareItems(const QVector<OrvoClientData> &items)
{
    QVector<OrvoShareItem> converted;
    converted.reserve(items.size());
    for (const OrvoClientData &item : items) {
        OrvoShareItem &shareItem = converted.emplace_back();
        shareItem.fromDeviceItem(item);
    }
    return converted;
}

// The document's elements, with attributes in a fixed order so that equal lists give equal files.
void writeRecord(QXmlStreamWriter &xml, QChar letter, const OrvoShareItem &item)
{
    const QString category = item.text(OrvoShareItem::Category);
    xml.writeStartElement(QStringLiteral("record"));
    xml.writeAttribute(QStringLiteral("id"), letter + item.text(OrvoShareItem::ItemId));
    xml.writeAttribute(QStringLiteral("uploaded"), item.text(OrvoShareItem::Uploaded));
    xml.writeTextElement(QStringLiteral("name"), item.text(OrvoShareItem::Name));
    xml.writeTextElement(QStringLiteral("category"), category);
    xml.writeTextElement(QStringLiteral("name_pix"), item.text(OrvoShareItem::NamePicture));
    xml.writeTextElement(QStringLiteral("desc"), item.text(OrvoShareItem::Description));
    xml.writeTextElement(QStringLiteral("xyz"), item.text(OrvoShareItem::Xyz));
    xml.writeTextElement(QStringLiteral("trkpts"), kTrackPoints);
    xml.writeTextElement(QStringLiteral("start_time"), item.text(OrvoShareItem::StartTime));
    xml.writeTextElement(QStringLiteral("end_time"), item.text(OrvoShareItem::EndTime));
    xml.writeTextElement(QStringLiteral("difficulty"), item.text(OrvoShareItem::Difficulty));
    xml.writeTextElement(QStringLiteral("distance"), item.text(OrvoShareItem::Distance));
    xml.writeTextElement(QStringLiteral("activity_type"), category);
    xml.writeTextElement(QStringLiteral("wrk_type"), item.text(OrvoShareItem::WorkoutType));
    xml.writeTextElement(QStringLiteral("sub_type"), item.text(OrvoShareItem::SubType));
    xml.writeTextElement(QStringLiteral("item_id"), item.text(OrvoShareItem::ItemIdText));
    xml.writeTextElement(QStringLiteral("filesize"), category);
    xml.writeEndElement();
}

void writeSection(QXmlStreamWriter &xml, const QString &name, QChar letter, const QVector<OrvoShareItem> &items)
{
    xml.writeStartElement(name);
    for (const OrvoShareItem &item : items)
        writeRecord(xml, letter, item);
    xml.writeEndElement();
}

} // namespace

void OrvoShareItemLists::addPOIs(const QVector<OrvoClientData> &items)
{
    m_pois = shareItems(items);
}

void OrvoShareItemLists::addPlanTrips(const QVector<OrvoClientData> &items)
{
    m_planTrips = shareItems(items);
}

void OrvoShareItemLists::addWorkouts(const QVector<OrvoClientData> &items)
{
    m_workouts = shareItems(items);
}

void OrvoShareItemLists::addTracks(const QVector<OrvoClientData> &items)
{
    m_tracks = shareItems(items);
}

QByteArray OrvoShareItemLists::personalDataXml() const
{
    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(kIndent);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("PersonalData"));
    writeSection(xml, QStringLiteral("POI"), QLatin1Char('P'), m_pois);
    writeSection(xml, QStringLiteral("Track"), QLatin1Char('T'), m_tracks);
    writeSection(xml, QStringLiteral("PlanTrip"), QLatin1Char('R'), m_planTrips);
    writeSection(xml, QStringLiteral("Workout"), QLatin1Char('W'), m_workouts);
    xml.writeEndElement();
    xml.writeEndDocument();
    return bytes;
}

bool OrvoShareItemLists::writePersonalDataXml(const QString &path) const
{
    const QByteArray bytes = personalDataXml();
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && commitSaveFile(file))
        return true;
    ORVO_TRACE_WARNING(lcOrvoDevice, "OrvoShareItemLists::writePersonalDataXml")
        << "can not write" << path << ":" << file.errorString();
    return false;
}
