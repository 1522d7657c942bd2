#include "training/ZKTrnWriter.h"

#include "env/OrvoSaveFile.h"
#include "env/ZKLogger.h"
#include "training/ZKTrnExportable.h"
#include "util/ZKTarvexNamespace.h"

#include <QSaveFile>
#include <QXmlStreamWriter>

namespace {

const QString kSchemaInstance = QStringLiteral("http://www.w3.org/2001/XMLSchema-instance");

QString trainingNamespace()
{
    return QLatin1String(kZKTarvexNamespaceHost) + QLatin1String("/WRK/1/3");
}

} // namespace

ZKTrnWriter::ZKTrnWriter(const QString &version, ZKTrnExportable &source)
    : m_version(version)
    , m_source(source)
{}

bool ZKTrnWriter::write(const QString &path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        ZK_LOG_ERROR("can't create %s: %s", path, file.errorString());
        return false;
    }
    QXmlStreamWriter writer(&file);
    writer.setAutoFormatting(true);
    writer.setAutoFormattingIndent(2);
    writeRoot(writer);
    m_source.writeMetadata(writer);
    m_source.writeWorkouts(writer);
    writer.writeEndDocument();
    if (writer.hasError() || !commitSaveFile(file)) {
        ZK_LOG_ERROR("can't write %s: %s", path, file.errorString());
        return false;
    }
    return true;
}

void ZKTrnWriter::writeRoot(QXmlStreamWriter &writer) const
{
    const QString ns = trainingNamespace();
    writer.writeStartDocument();
    writer.writeStartElement(QStringLiteral("trncrs"));
    writer.writeAttribute(QStringLiteral("xmlns"), ns);
    writer.writeAttribute(QStringLiteral("xmlns:xsi"), kSchemaInstance);
    writer.writeAttribute(QStringLiteral("xsi:schemaLocation"), ns + QLatin1Char(' ') + ns + QLatin1String("/WRK.xsd"));
    writer.writeAttribute(QStringLiteral("creator"), QStringLiteral("tarvex"));
    writer.writeAttribute(QStringLiteral("version"), m_version);
}
