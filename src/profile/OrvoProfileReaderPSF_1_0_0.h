#pragma once

#include "profile/OrvoProfileReader.h"

// The profile sector of format 1.0.x: the user record at 331, a version stamp at 2-4 and two
// 36-byte settings blocks, A at 475 (language, unit) and B at 1166 (first-use page). The
// writer changes only the fields whose keys the map holds, stamps version 1.0.1 and sets the
// first-use page to 1.
class OrvoProfileReaderPSF_1_0_0 : public OrvoProfileReader
{
    Q_OBJECT

public:
    explicit OrvoProfileReaderPSF_1_0_0(QObject *parent = nullptr);

    bool read(const QByteArray &raw, OrvoProfileMap &map) override;
    bool write(QByteArray &raw, const OrvoProfileMap &map) override;
};
