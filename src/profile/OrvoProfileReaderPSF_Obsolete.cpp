#include "profile/OrvoProfileReaderPSF_Obsolete.h"

#include "env/OrvoFunctionTrace.h"
#include "profile/OrvoProfileKeys.h"
#include "profile/OrvoProfileLogging.h"
#include "profile/OrvoProfileUserRecord.h"

namespace {

constexpr qsizetype kRecordOffset = 587;

} // namespace

OrvoProfileReaderPSF_Obsolete::OrvoProfileReaderPSF_Obsolete(QObject *parent)
    : OrvoProfileReaderPSF_Obsolete(kRecordOffset, parent)
{}

OrvoProfileReaderPSF_Obsolete::OrvoProfileReaderPSF_Obsolete(qsizetype recordOffset, QObject *parent)
    : OrvoProfileReader(parent)
    , m_recordOffset(recordOffset)
{}

QByteArray OrvoProfileReaderPSF_Obsolete::traceName(const char *operation) const
{
    return QByteArray(metaObject()->className()) + "::" + operation;
}

bool OrvoProfileReaderPSF_Obsolete::read(const QByteArray &raw, OrvoProfileMap &map)
{
    OrvoProfileUserRecord record;
    if (!record.read(raw, m_recordOffset)) {
        ORVO_TRACE_WARNING(lcOrvoProfile, traceName("read").constData())
            << "profile sector of" << raw.size() << "bytes"
            << "does not hold the user record at" << m_recordOffset;
        return false;
    }
    record.insertInto(map, birthdayFromAge(record.age));
    return true;
}

bool OrvoProfileReaderPSF_Obsolete::write(QByteArray &raw, const OrvoProfileMap &map)
{
    OrvoProfileUserRecord record;
    record.takeFrom(map, ageFromBirthday(map.value(OrvoProfileKeys::kBirthday)));
    if (!record.write(raw, m_recordOffset)) {
        ORVO_TRACE_WARNING(lcOrvoProfile, traceName("write").constData())
            << "profile sector of" << raw.size() << "bytes"
            << "cannot take the user record at" << m_recordOffset;
        return false;
    }
    return true;
}
