#include "profile/OrvoProfileReaderPSF_Obsolete.h"

#include "env/OrvoFunctionTrace.h"
#include "profile/OrvoProfileKeys.h"
#include "profile/OrvoProfileLogging.h"
#include "profile/OrvoProfileUserRecord.h"

namespace {

constexpr qsizetype kRecordOffset = 587;

} // namespace

OrvoProfileReaderPSF_Obsolete::OrvoProfileReaderPSF_Obsolete(QObject *parent)
    : OrvoProfileReader(parent)
{}

bool OrvoProfileReaderPSF_Obsolete::read(const QByteArray &raw, OrvoProfileMap &map)
{
    OrvoProfileUserRecord record;
    if (!record.read(raw, kRecordOffset)) {
        ORVO_TRACE_WARNING(lcOrvoProfile, "OrvoProfileReaderPSF_Obsolete::read")
            << "profile sector of" << raw.size() << "bytes"
            << "does not hold the user record at" << kRecordOffset;
        return false;
    }
    record.insertInto(map, birthdayFromAge(record.age));
    return true;
}

bool OrvoProfileReaderPSF_Obsolete::write(QByteArray &raw, const OrvoProfileMap &map)
{
    OrvoProfileUserRecord record;
    record.takeFrom(map, ageFromBirthday(map.value(OrvoProfileKeys::kBirthday)));
    if (!record.write(raw, kRecordOffset)) {
        ORVO_TRACE_WARNING(lcOrvoProfile, "OrvoProfileReaderPSF_Obsolete::write")
            << "profile sector of" << raw.size() << "bytes"
            << "cannot take the user record at" << kRecordOffset;
        return false;
    }
    return true;
}
