#include "profile/OrvoProfileReaderPSF_Obsolete_Pulmor30.h"

#include "env/OrvoFunctionTrace.h"
#include "profile/OrvoProfileKeys.h"
#include "profile/OrvoProfileLogging.h"
#include "profile/OrvoProfileUserRecord.h"

namespace {

constexpr qsizetype kRecordOffset = 327;

} // namespace

OrvoProfileReaderPSF_Obsolete_Pulmor30::OrvoProfileReaderPSF_Obsolete_Pulmor30(QObject *parent)
    : OrvoProfileReader(parent)
{}

bool OrvoProfileReaderPSF_Obsolete_Pulmor30::read(const QByteArray &raw, OrvoProfileMap &map)
{
    OrvoProfileUserRecord record;
    if (!record.read(raw, kRecordOffset)) {
        ORVO_TRACE_WARNING(lcOrvoProfile, "OrvoProfileReaderPSF_Obsolete_Pulmor30::read")
            << "profile sector of" << raw.size() << "bytes"
            << "does not hold the user record at" << kRecordOffset;
        return false;
    }
    record.insertInto(map, birthdayFromAge(record.age));
    return true;
}

bool OrvoProfileReaderPSF_Obsolete_Pulmor30::write(QByteArray &raw, const OrvoProfileMap &map)
{
    OrvoProfileUserRecord record;
    record.takeFrom(map, ageFromBirthday(map.value(OrvoProfileKeys::kBirthday)));
    if (!record.write(raw, kRecordOffset)) {
        ORVO_TRACE_WARNING(lcOrvoProfile, "OrvoProfileReaderPSF_Obsolete_Pulmor30::write")
            << "profile sector of" << raw.size() << "bytes"
            << "cannot take the user record at" << kRecordOffset;
        return false;
    }
    return true;
}
