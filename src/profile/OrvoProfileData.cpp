#include "profile/OrvoProfileData.h"

#include "env/OrvoFunctionTrace.h"
#include "profile/OrvoProfileKeys.h"
#include "profile/OrvoProfileLogging.h"
#include "profile/OrvoProfileReaderPSF_1_0_0.h"
#include "profile/OrvoProfileReaderPSF_2_0_0.h"
#include "profile/OrvoProfileReaderPSF_Obsolete.h"
#include "profile/OrvoProfileReaderPSF_Obsolete_Pulmor30.h"
#include "profile/OrvoProfileReaderXML.h"

#include <utility>

namespace {

const QString kOpenEnded = QStringLiteral("-1");

OrvoProfileReader *createReader(int formatType)
{
    switch (formatType) {
    case OrvoProfileData::XmlFile:
        return new OrvoProfileReaderXML;
    case OrvoProfileData::PsfObsolete:
        return new OrvoProfileReaderPSF_Obsolete;
    case OrvoProfileData::PsfObsoletePulmor30:
        return new OrvoProfileReaderPSF_Obsolete_Pulmor30;
    case OrvoProfileData::Psf_1_0_0:
        return new OrvoProfileReaderPSF_1_0_0;
    case OrvoProfileData::Psf_2_0_0:
        return new OrvoProfileReaderPSF_2_0_0;
    default:
        ORVO_TRACE_WARNING(lcOrvoProfile, "OrvoProfileData::OrvoProfileData") << "unknown format type" << formatType;
        return nullptr;
    }
}

} // namespace

OrvoProfileData::OrvoProfileData(const QByteArray &raw, int formatType, QObject *parent)
    : QObject(parent)
    , m_raw(raw)
    , m_reader(createReader(formatType))
{}

OrvoProfileData::~OrvoProfileData()
{
    delete m_reader;
}

bool OrvoProfileData::parse()
{
    return m_reader && m_reader->read(m_raw, m_values);
}

bool OrvoProfileData::serialize()
{
    return m_reader && m_reader->write(m_raw, m_values);
}

QByteArray OrvoProfileData::rawData() const
{
    return m_raw;
}

void OrvoProfileData::setValues(const OrvoProfileMap &values)
{
    m_values = values;
}

OrvoProfileMap OrvoProfileData::values() const
{
    return m_values;
}

QString OrvoProfileData::value(const QString &key) const
{
    return m_values.value(key);
}

void OrvoProfileData::syncZoneBoundaries()
{
    using namespace OrvoProfileKeys;
    for (const char *family : kZoneFamilies) {
        for (int zone = 1; zone < kZoneCount; ++zone)
            m_values.insert(zoneKey(family, zone, ZoneBound::High),
                            m_values.value(zoneKey(family, zone + 1, ZoneBound::Low)));
        m_values.insert(zoneKey(family, kZoneCount, ZoneBound::High), kOpenEnded);
    }
}

void OrvoProfileData::setTodayFunction(OrvoTodayFunction today)
{
    if (m_reader)
        m_reader->setTodayFunction(std::move(today));
}
