#pragma once

#include "profile/OrvoProfileReader.h"

// Profile format 2.0.0: a list of 8-byte entries, each a numbered key with a typed value,
// inside the first 3584 bytes of the profile sector (layout in the .cpp). The writer lays the
// map's known keys, followed by an uncounted magic entry, over the list position the sector
// names; every other byte stays as the device wrote it.
class OrvoProfileReaderPSF_2_0_0 : public OrvoProfileReader
{
    Q_OBJECT

public:
    explicit OrvoProfileReaderPSF_2_0_0(QObject *parent = nullptr);

    bool read(const QByteArray &raw, OrvoProfileMap &map) override;
    bool write(QByteArray &raw, const OrvoProfileMap &map) override;
};
