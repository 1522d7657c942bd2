#include "util/ZKGpxWriter.h"

#include "env/OrvoSaveFile.h"
#include "env/ZKLogger.h"
#include "util/ZKGpxDialect.h"
#include "util/ZKTarvexNamespace.h"
#include "util/ZKXmlOutputBuffer.h"

#include <QSaveFile>
#include <QXmlStreamWriter>

namespace {

constexpr int kIndent = 2;

QString gpxNamespace()
{
    return QLatin1String(kZKTarvexNamespaceHost) + QLatin1String(kZKGpxNamespacePath);
}

} // namespace

ZKGpxWriter::ZKGpxWriter(const QString &versionText, ZKGpxExportable &source)
    : m_versionText(versionText)
    , m_source(source)
{}

bool ZKGpxWriter::write(const QString &path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        ZK_LOG_ERROR(QStringLiteral("can't write %s: %s"), path, file.errorString());
        return false;
    }
    ZKXmlOutputBuffer buffer(file);
    QXmlStreamWriter writer(&buffer);
    writer.setAutoFormatting(true);
    writer.setAutoFormattingIndent(kIndent);
    writeRoot(writer);
    m_source.writeMetadata(writer);
    m_source.writeRoute(writer);
    m_source.writeTracks(writer);
    m_source.writeWaypoints(writer);
    m_source.writeExtensions(writer);
    writer.writeEndDocument();
    if (writer.hasError() || !buffer.flush()) {
        ZK_LOG_ERROR(QStringLiteral("can't write %s: %s"), path, file.errorString());
        file.cancelWriting();
        return false;
    }
    if (!commitSaveFile(file)) {
        ZK_LOG_ERROR(QStringLiteral("can't write %s: %s"), path, file.errorString());
        return false;
    }
    return true;
}

void ZKGpxWriter::writeRoot(QXmlStreamWriter &writer) const
{
    const QString ns = gpxNamespace();
    writer.writeStartDocument();
    writer.writeStartElement(QStringLiteral("gpx"));
    writer.writeAttribute(QStringLiteral("xmlns"), ns);
    writer.writeAttribute(QStringLiteral("creator"), QLatin1String(kZKGpxCreator));
    writer.writeAttribute(QStringLiteral("version"), QLatin1String(kZKGpxVersion));
    writer.writeAttribute(QStringLiteral("xmlns:xsi"), QStringLiteral("http://www.w3.org/2001/XMLSchema-instance"));
    writer.writeAttribute(QStringLiteral("xsi:schemaLocation"),
                          ns + QLatin1Char(' ') + ns + QLatin1String(kZKGpxSchemaFile));
}
