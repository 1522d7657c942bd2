#include "profile/OrvoProfileReaderPSF_1_0_0.h"

#include "env/OrvoByteReader.h"
#include "env/OrvoByteWriter.h"
#include "env/OrvoFunctionTrace.h"
#include "profile/OrvoProfileKeys.h"
#include "profile/OrvoProfileLogging.h"
#include "profile/OrvoProfileUserRecord.h"

namespace {

constexpr qsizetype kRecordOffset = 331;
constexpr qsizetype kVersionOffset = 2;
constexpr quint8 kVersion[] = {1, 0, 1};
constexpr qsizetype kBlockSize = 36;
constexpr qsizetype kBlockAOffset = 475;
constexpr qsizetype kLangOffset = kBlockAOffset + 0;
constexpr qsizetype kUnitOffset = kBlockAOffset + 11;
constexpr qsizetype kBlockBOffset = 1166;
constexpr qsizetype kFirstUsePageOffset = kBlockBOffset + 28;
constexpr quint8 kFirstUsePageAfterWrite = 1;
// The end of settings block B, the last byte the format covers.
constexpr qsizetype kSectorMinimum = kBlockBOffset + kBlockSize;

// The record has no field for this value; the reader gives it 0.
const QString kMlssRead = QStringLiteral("0");

quint8 byteAt(const QByteArray &raw, qsizetype offset)
{
    return OrvoByteReader(raw, offset).readU8();
}

void patchByte(QByteArray &raw, qsizetype offset, quint8 value)
{
    OrvoByteWriter::patch(raw, offset).writeU8(value);
}

void patchByteFromMap(QByteArray &raw, qsizetype offset, const OrvoProfileMap &map, QLatin1String key)
{
    if (map.contains(key))
        patchByte(raw, offset, quint8(map.value(key).toLongLong(nullptr, 10)));
}

bool coversFormat(const QByteArray &raw, const char *function)
{
    if (raw.size() >= kSectorMinimum)
        return true;
    ORVO_TRACE_WARNING(lcOrvoProfile, function)
        << "profile sector of" << raw.size() << "bytes, expected at least" << kSectorMinimum;
    return false;
}

} // namespace

OrvoProfileReaderPSF_1_0_0::OrvoProfileReaderPSF_1_0_0(QObject *parent)
    : OrvoProfileReader(parent)
{}

bool OrvoProfileReaderPSF_1_0_0::read(const QByteArray &raw, OrvoProfileMap &map)
{
    OrvoProfileUserRecord record;
    if (!coversFormat(raw, "OrvoProfileReaderPSF_1_0_0::read") || !record.read(raw, kRecordOffset))
        return false;
    using namespace OrvoProfileKeys;
    record.insertInto(map, birthdayFromAge(record.age));
    map.insert(kLang, QString::number(byteAt(raw, kLangOffset)));
    map.insert(kUnit, QString::number(byteAt(raw, kUnitOffset)));
    map.insert(kUserFirstUsePage, QString::number(byteAt(raw, kFirstUsePageOffset)));
    map.insert(kMlss, kMlssRead);
    return true;
}

bool OrvoProfileReaderPSF_1_0_0::write(QByteArray &raw, const OrvoProfileMap &map)
{
    OrvoProfileUserRecord record;
    if (!coversFormat(raw, "OrvoProfileReaderPSF_1_0_0::write") || !record.read(raw, kRecordOffset))
        return false;
    using namespace OrvoProfileKeys;
    record.takeFrom(map, ageFromBirthday(map.value(kBirthday)));
    record.write(raw, kRecordOffset);
    patchByteFromMap(raw, kLangOffset, map, kLang);
    patchByteFromMap(raw, kUnitOffset, map, kUnit);
    for (qsizetype i = 0; i < qsizetype(std::size(kVersion)); ++i)
        patchByte(raw, kVersionOffset + i, kVersion[i]);
    patchByte(raw, kFirstUsePageOffset, kFirstUsePageAfterWrite);
    return true;
}
