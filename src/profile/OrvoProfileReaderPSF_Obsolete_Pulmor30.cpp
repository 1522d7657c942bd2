#include "profile/OrvoProfileReaderPSF_Obsolete_Pulmor30.h"

namespace {

constexpr qsizetype kRecordOffset = 327;

} // namespace

OrvoProfileReaderPSF_Obsolete_Pulmor30::OrvoProfileReaderPSF_Obsolete_Pulmor30(QObject *parent)
    : OrvoProfileReaderPSF_Obsolete(kRecordOffset, parent)
{}
