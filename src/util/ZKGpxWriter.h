#pragma once

#include "util/ZKGpxExportable.h"

#include <QString>

class QXmlStreamWriter;

// Writes any ZKGpxExportable as a GPX file of our dialect: the root, then the source's
// metadata, route, tracks, waypoints and extensions, in this order (not GPX 1.1's).
class ZKGpxWriter
{
public:
    // The version text is the caller's; the file always says the dialect's own version.
    ZKGpxWriter(const QString &versionText, ZKGpxExportable &source);

    // True only when the whole file was written and committed; a file that was there before
    // stays as it was otherwise.
    bool write(const QString &path);
    void writeRoot(QXmlStreamWriter &writer) const;
    QString versionText() const { return m_versionText; }

private:
    QString m_versionText;
    ZKGpxExportable &m_source;
};
