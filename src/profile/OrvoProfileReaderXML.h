#pragma once

#include "profile/OrvoProfileReader.h"

// The profile as an XML file: one empty "property" element with the attributes "name" and
// "value" per key, under a "settings" root. The raw bytes hold the file's path as UTF-8.
// Reading takes "property" elements at any depth and under a root of any name; a file that
// can't be opened or is not well-formed XML leaves the map unchanged and answers false.
class OrvoProfileReaderXML : public OrvoProfileReader
{
    Q_OBJECT

public:
    explicit OrvoProfileReaderXML(QObject *parent = nullptr);

    bool read(const QByteArray &raw, OrvoProfileMap &map) override;
    bool write(QByteArray &raw, const OrvoProfileMap &map) override;
};
