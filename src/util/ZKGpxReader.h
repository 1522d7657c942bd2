#pragma once

#include "util/ZKGpxImportable.h"

#include <QString>
#include <QXmlStreamReader>

#include <vector>

// Reads a GPX file of our dialect in one pass and hands each element's texts to the target as
// a key map. Only files whose root names our creator and a major version 1 or 2 reach the
// target; elements the dialect does not name are skipped whole.
class ZKGpxReader : private QXmlStreamReader
{
public:
    explicit ZKGpxReader(ZKGpxImportable &target);

    // True when the file was opened and read to its end without an XML or file error, whether
    // or not anything was accepted.
    bool readFile(const QString &path);
    // The reason the last readFile failed, with its line and column when the XML was at fault.
    QString errorString() const { return m_error; }
    // 0 until a root has been accepted; kept from file to file until another one is.
    int majorVersion() const { return m_majorVersion; }

private:
    // The current element's local name when it is in the document's own namespace; empty for
    // an element of another namespace, which matches no rule and is skipped.
    QString ownName() const;
    // The same without a copy, valid until the reader moves on.
    QStringView ownNameView() const;
    bool acceptsDialect(int dialects) const;
    void readGpx();
    void readMetadata();
    void readMetadataExtensions();
    // Reads one element of the rule table (a route, a lap ...) up to its own end tag.
    void readBlock(QStringView element);
    void readAttributes(const QString &prefix, ZKGpxKeyMap &map);
    // "<prefix>_<name>", shared with every earlier key of the same pair.
    QString attributeKey(const QString &prefix, QStringView name);
    QString readLeafText();
    void skipElement();

    // The attribute keys built so far, so that the thousands of points of a file share theirs.
    struct AttributeKey
    {
        QString prefix;
        QString name;
        QString key;
    };
    static constexpr std::size_t kKeptAttributeKeys = 64;
    std::vector<AttributeKey> m_attributeKeys;

    int m_majorVersion = 0;
    // The namespace of the accepted `gpx` element.
    QString m_namespace;
    ZKGpxImportable &m_target;
    QString m_error;
};
