#include "util/ZKXmlFileCopy.h"

#include "env/ZKLogger.h"

#include <QFile>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace {

bool isWellFormedXml(QIODevice &device, const QString &path)
{
    QXmlStreamReader reader(&device);
    while (!reader.atEnd())
        reader.readNext();
    if (!reader.hasError())
        return true;
    ZK_LOG_ERROR(QStringLiteral("%s is not well-formed at line %d: %s"), path, reader.lineNumber(),
                 reader.errorString());
    return false;
}

} // namespace

bool zkCopyXmlFile(QXmlStreamWriter &writer, const QString &path)
{
    if (path.isEmpty())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    if (!isWellFormedXml(file, path) || !file.seek(0))
        return false;
    QXmlStreamReader reader(&file);
    while (!reader.atEnd() && !reader.isStartElement())
        reader.readNext();
    for (; !reader.atEnd() && !reader.isEndDocument(); reader.readNext()) {
        // Indentation inside the file would break the writer's own.
        if (!reader.isWhitespace())
            writer.writeCurrentToken(reader);
    }
    return true;
}
