#include "profile/OrvoProfileReaderXML.h"

#include "env/OrvoFunctionTrace.h"
#include "env/OrvoSaveFile.h"
#include "profile/OrvoProfileLogging.h"

#include <QFile>
#include <QSaveFile>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace {

const QString kRootElement = QStringLiteral("settings");
const QString kPropertyElement = QStringLiteral("property");
const QString kNameAttribute = QStringLiteral("name");
const QString kValueAttribute = QStringLiteral("value");

bool isProperty(const QXmlStreamReader &xml)
{
    return xml.isStartElement() && xml.name() == kPropertyElement;
}

void writeProperties(QXmlStreamWriter &xml, const OrvoProfileMap &map)
{
    xml.writeStartDocument();
    xml.writeStartElement(kRootElement);
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        xml.writeEmptyElement(kPropertyElement);
        xml.writeAttribute(kNameAttribute, it.key());
        xml.writeAttribute(kValueAttribute, it.value());
    }
    xml.writeEndElement();
    xml.writeEndDocument();
}

} // namespace

OrvoProfileReaderXML::OrvoProfileReaderXML(QObject *parent)
    : OrvoProfileReader(parent)
{}

bool OrvoProfileReaderXML::read(const QByteArray &raw, OrvoProfileMap &map)
{
    QFile file(QString::fromUtf8(raw));
    if (!file.open(QIODevice::ReadOnly)) {
        ORVO_TRACE_WARNING(lcOrvoProfile, "OrvoProfileReaderXML::read")
            << "cannot open" << file.fileName() << file.errorString();
        return false;
    }
    OrvoProfileMap properties;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        xml.readNext();
        if (isProperty(xml)) {
            const QXmlStreamAttributes attributes = xml.attributes();
            properties.insert(attributes.value(kNameAttribute).toString(),
                              attributes.value(kValueAttribute).toString());
        }
    }
    if (xml.hasError()) {
        ORVO_TRACE_WARNING(lcOrvoProfile, "OrvoProfileReaderXML::read")
            << file.fileName() << "line" << xml.lineNumber() << "column" << xml.columnNumber() << xml.errorString();
        return false;
    }
    map.insert(properties);
    return true;
}

bool OrvoProfileReaderXML::write(QByteArray &raw, const OrvoProfileMap &map)
{
    QSaveFile file(QString::fromUtf8(raw));
    if (!file.open(QIODevice::WriteOnly)) {
        ORVO_TRACE_WARNING(lcOrvoProfile, "OrvoProfileReaderXML::write")
            << "cannot open" << file.fileName() << file.errorString();
        return false;
    }
    QXmlStreamWriter xml(&file);
    writeProperties(xml, map);
    if (xml.hasError() || !commitSaveFile(file)) {
        ORVO_TRACE_WARNING(lcOrvoProfile, "OrvoProfileReaderXML::write")
            << "cannot write" << file.fileName() << file.errorString();
        return false;
    }
    return true;
}
