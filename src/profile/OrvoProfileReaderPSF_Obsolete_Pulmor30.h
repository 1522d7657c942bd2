#pragma once

#include "profile/OrvoProfileReaderPSF_Obsolete.h"

// The Pulmor30's profile sector: the same user record as the older flash devices, at offset 327.
class OrvoProfileReaderPSF_Obsolete_Pulmor30 : public OrvoProfileReaderPSF_Obsolete
{
    Q_OBJECT

public:
    explicit OrvoProfileReaderPSF_Obsolete_Pulmor30(QObject *parent = nullptr);
};
