#pragma once

#include "profile/OrvoProfileReader.h"

// The profile sector of the older flash devices: only the user record, at offset 587.
// The writer stores every record field, 0 for a key the map lacks, and leaves the rest of the
// sector as it was. Models that keep the same record elsewhere derive with their offset.
class OrvoProfileReaderPSF_Obsolete : public OrvoProfileReader
{
    Q_OBJECT

public:
    explicit OrvoProfileReaderPSF_Obsolete(QObject *parent = nullptr);

    bool read(const QByteArray &raw, OrvoProfileMap &map) override;
    bool write(QByteArray &raw, const OrvoProfileMap &map) override;

protected:
    OrvoProfileReaderPSF_Obsolete(qsizetype recordOffset, QObject *parent);

private:
    // "<class>::<operation>" for the trace lines, naming the derived class where there is one.
    QByteArray traceName(const char *operation) const;

    qsizetype m_recordOffset;
};
