#pragma once

#include "profile/OrvoProfileReader.h"

// The Pulmor30's profile sector: only the user record, at offset 327.
// The writer stores every record field, 0 for a key the map lacks, and leaves the rest of the
// sector as it was.
class OrvoProfileReaderPSF_Obsolete_Pulmor30 : public OrvoProfileReader
{
    Q_OBJECT

public:
    explicit OrvoProfileReaderPSF_Obsolete_Pulmor30(QObject *parent = nullptr);

    bool read(const QByteArray &raw, OrvoProfileMap &map) override;
    bool write(QByteArray &raw, const OrvoProfileMap &map) override;
};
