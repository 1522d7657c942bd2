#pragma once

#include <QString>

class QXmlStreamWriter;
class ZKTrnExportable;

// Writes a training-course file ("trncrs", UTF-8, indented by two spaces) from a source.
class ZKTrnWriter
{
public:
    // The version text goes into the root's "version" attribute; the source is not owned.
    ZKTrnWriter(const QString &version, ZKTrnExportable &source);

    // True only when the whole document was written and the file saved; otherwise an
    // existing file at path stays as it was.
    bool write(const QString &path);

private:
    void writeRoot(QXmlStreamWriter &writer) const;

    QString m_version;
    ZKTrnExportable &m_source;
};
