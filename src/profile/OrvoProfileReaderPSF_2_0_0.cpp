#include "profile/OrvoProfileReaderPSF_2_0_0.h"

#include "env/OrvoByteReader.h"
#include "env/OrvoByteWriter.h"
#include "env/OrvoFunctionTrace.h"
#include "profile/OrvoProfileKeys.h"
#include "profile/OrvoProfileLogging.h"

#include <QHash>

namespace {

// Profile area, offsets from the start of the sector, header fields little-endian:
//   516  u32  format word, set to 2 by the writer, ignored by the reader
//   520  u32  offset of the entry list from 512, at least 14; read by both sides, never written
//   524  u16  number of entries the reader takes
// Entry, 8 bytes:
//   0    3 bytes  key id, big-endian
//   3    u8       value type
//   4    4 bytes  value, little-endian, as wide as its type; unused bytes written as 0
constexpr qsizetype kAreaSize = 3584;
constexpr qsizetype kListBase = 512;
constexpr qsizetype kFormatWordOffset = 516;
constexpr qsizetype kListOffsetOffset = 520;
constexpr qsizetype kCountOffset = 524;
// The list lies behind the header, never over it: a smaller offset (a zero-filled sector has 0)
// would have the writer overwrite the format word, the offset and the count with entries.
constexpr qsizetype kFirstListStart = kCountOffset + 2;
constexpr qsizetype kEntrySize = 8;
constexpr qsizetype kValueSize = 4;
constexpr quint32 kFormatWord = 2;
constexpr quint32 kMagicId = 1;
constexpr quint32 kMagicNumber = 49504951;

enum ValueType : quint8 {
    kTypeU8 = 1,
    kTypeI8 = 2,
    kTypeU16 = 3,
    kTypeI16 = 4,
    kTypeU32 = 5,
    kTypeI32 = 6,
    kTypeFloat = 7,
    kTypeI8Alt = 9,
    kTypeText = 11,
};

// How the writer turns a key's text into the value field.
enum class Encoding { U32, Age, Sex, LowByte, U16, I16, Float, Text };

struct KeySpec
{
    quint32 id = 0;
    quint8 type = 0;
    Encoding encoding = Encoding::U32;
};

struct KeyTable
{
    QHash<QString, KeySpec> byName;
    QHash<quint32, QString> names;
};

void addKey(KeyTable &table, const QString &name, quint32 id, quint8 type, Encoding encoding)
{
    table.byName.insert(name, {id, type, encoding});
    table.names.insert(id, name);
}

void addZoneFamily(KeyTable &table, const char *family, quint32 referenceId)
{
    using namespace OrvoProfileKeys;
    addKey(table, referenceKey(family), referenceId, kTypeU16, Encoding::U16);
    for (int zone = 1; zone <= kZoneCount; ++zone) {
        addKey(table, zoneKey(family, zone, ZoneBound::Low), referenceId + zone, kTypeU16, Encoding::U16);
        addKey(table, zoneKey(family, zone, ZoneBound::High), referenceId + kZoneCount + zone, kTypeU16, Encoding::U16);
    }
}

KeyTable buildKeyTable()
{
    using namespace OrvoProfileKeys;
    KeyTable table;
    // The reader has no name for the magic entry; it reads back under its number.
    table.byName.insert(QStringLiteral("Magic Number"), {kMagicId, kTypeU32, Encoding::U32});
    addKey(table, kBirthday, 4, kTypeU8, Encoding::Age);
    addKey(table, kSex, 5, kTypeU8, Encoding::Sex);
    addKey(table, kUnit, 6, kTypeU8, Encoding::U32);
    addKey(table, kHeightMetric, 7, kTypeFloat, Encoding::Float);
    addKey(table, kHeightImperial, 8, kTypeFloat, Encoding::Float);
    addKey(table, kWeightMetric, 9, kTypeFloat, Encoding::Float);
    addKey(table, kWeightImperial, 10, kTypeFloat, Encoding::Float);
    addZoneFamily(table, "MHR", 11);
    addZoneFamily(table, "LTHR", 26);
    addZoneFamily(table, "MAP", 41);
    addZoneFamily(table, "FTP", 56);
    addKey(table, QStringLiteral("First Use Page"), 71, kTypeU8, Encoding::LowByte);
    addKey(table, QStringLiteral("Vehicle1 Tmileage.Metric"), 72, kTypeFloat, Encoding::Float);
    addKey(table, QStringLiteral("Vehicle1 TMileage.Imperial"), 73, kTypeFloat, Encoding::Float);
    addKey(table, QStringLiteral("Vehicle2 TMileage.Metric"), 74, kTypeFloat, Encoding::Float);
    addKey(table, QStringLiteral("Vehicle2 TMileage.Imperial"), 75, kTypeFloat, Encoding::Float);
    addKey(table, QStringLiteral("Vehicle1 Wheel.Metric"), 76, kTypeFloat, Encoding::Float);
    addKey(table, QStringLiteral("Vehicle1 Wheel.Imperial"), 77, kTypeFloat, Encoding::Float);
    addKey(table, QStringLiteral("Vehicle2 Weight.Metric"), 78, kTypeFloat, Encoding::Float);
    addKey(table, QStringLiteral("Vehicle2 Weight.Imperial"), 79, kTypeFloat, Encoding::Float);
    addKey(table, QStringLiteral("Vehicle1 Ride.Time"), 80, kTypeU32, Encoding::U32);
    addKey(table, QStringLiteral("Vehicle2 Ride.Time"), 81, kTypeU32, Encoding::U32);
    addKey(table, kLang, 82, kTypeU8, Encoding::LowByte);
    addKey(table, QStringLiteral("Time zone"), 83, kTypeFloat, Encoding::Float);
    addKey(table, QStringLiteral("Day night saving"), 84, kTypeI8, Encoding::I16);
    addKey(table, QStringLiteral("Date format"), 85, kTypeU8, Encoding::LowByte);
    addKey(table, QStringLiteral("Time format"), 86, kTypeU8, Encoding::LowByte);
    addKey(table, QStringLiteral("Sunset"), 87, kTypeU32, Encoding::U32);
    addKey(table, QStringLiteral("Sunrise"), 88, kTypeU32, Encoding::U32);
    addKey(table, QStringLiteral("Language ISO3"), 89, kTypeText, Encoding::Text);
    return table;
}

const KeyTable &keyTable()
{
    static const KeyTable table = buildKeyTable();
    return table;
}

// "Female" in any case and "0" are female; everything else is male.
quint32 sexValue(const QString &text)
{
    return text.compare(QLatin1String("Female"), Qt::CaseInsensitive) == 0 || text == QLatin1String("0") ? 0 : 1;
}

QByteArray textValue(const QString &text)
{
    QByteArray value(kValueSize, '\0');
    if (!text.isEmpty() && text.size() <= kValueSize)
        value.replace(0, text.size(), text.toLatin1());
    return value;
}

QByteArray encodeValue(Encoding encoding, const QString &text, qint64 age)
{
    QByteArray value(kValueSize, '\0');
    OrvoByteWriter writer = OrvoByteWriter::patch(value, 0);
    switch (encoding) {
    case Encoding::U32:
        writer.writeU32Le(text.toUInt());
        break;
    case Encoding::Age:
        writer.writeU32Le(quint32(age));
        break;
    case Encoding::Sex:
        writer.writeU32Le(sexValue(text));
        break;
    case Encoding::LowByte:
        writer.writeU8(quint8(text.toUInt()));
        break;
    case Encoding::U16:
        writer.writeU16Le(text.toUShort());
        break;
    case Encoding::I16:
        writer.writeU16Le(quint16(text.toShort()));
        break;
    case Encoding::Float:
        writer.writeFloatLe(text.toFloat());
        break;
    case Encoding::Text:
        return textValue(text);
    }
    return value;
}

void appendEntry(QByteArray &list, const KeySpec &spec, const QByteArray &value)
{
    OrvoByteWriter writer(list);
    writer.writeU8(quint8(spec.id >> 16));
    writer.writeU16Be(quint16(spec.id));
    writer.writeU8(spec.type);
    writer.writeBytes(value);
}

// Other types, the 64-bit float among them, whose value does not fit the field, read as
// 8-bit text up to the first zero byte.
QString decodeValue(quint8 type, const QByteArray &value)
{
    OrvoByteReader reader(value);
    switch (type) {
    case kTypeU8:
        return QString::number(reader.readU8());
    case kTypeI8:
    case kTypeI8Alt:
        return QString::number(qint8(reader.readU8()));
    case kTypeU16:
        return QString::number(reader.readU16Le());
    case kTypeI16:
        return QString::number(reader.readI16Le());
    case kTypeU32:
        return QString::number(reader.readU32Le());
    case kTypeI32:
        return QString::number(reader.readI32Le());
    case kTypeFloat:
        return QString::number(double(reader.readFloatLe()), 'g', 6);
    default: {
        const qsizetype end = value.indexOf('\0');
        return QString::fromLatin1(end < 0 ? value : value.left(end));
    }
    }
}

// Where the entry list starts, when the sector holds the area and `entries` entries fit into
// it from there; -1 otherwise. The offset comes from the device, so it is checked before use.
qsizetype listStart(const QByteArray &raw, qsizetype entries, const char *function)
{
    if (raw.size() < kAreaSize) {
        ORVO_TRACE_WARNING(lcOrvoProfile, function)
            << "profile sector of" << raw.size() << "bytes, expected at least" << kAreaSize;
        return -1;
    }
    const qint64 start = kListBase + qint64(OrvoByteReader(raw, kListOffsetOffset).readU32Le());
    if (start < kFirstListStart || start > kAreaSize || entries * kEntrySize > kAreaSize - start) {
        ORVO_TRACE_WARNING(lcOrvoProfile, function)
            << "entry list at" << start << "with" << entries << "entries does not fit the profile area of" << kAreaSize;
        return -1;
    }
    return qsizetype(start);
}

} // namespace

OrvoProfileReaderPSF_2_0_0::OrvoProfileReaderPSF_2_0_0(QObject *parent)
    : OrvoProfileReader(parent)
{}

bool OrvoProfileReaderPSF_2_0_0::read(const QByteArray &raw, OrvoProfileMap &map)
{
    const qsizetype count = raw.size() < kAreaSize ? 0 : OrvoByteReader(raw, kCountOffset).readU16Le();
    const qsizetype start = listStart(raw, count, "OrvoProfileReaderPSF_2_0_0::read");
    if (start < 0)
        return false;
    const KeyTable &table = keyTable();
    OrvoByteReader reader(raw, start);
    for (qsizetype i = 0; i < count; ++i) {
        const quint32 id = (quint32(reader.readU8()) << 16) | reader.readU16Be();
        const quint8 type = reader.readU8();
        const QString key = table.names.value(id, QString::number(id));
        QString value = decodeValue(type, reader.readBytes(kValueSize));
        if (key == OrvoProfileKeys::kBirthday)
            value = birthdayFromAge(value.toUInt());
        map.insert(key, value);
    }
    return true;
}

bool OrvoProfileReaderPSF_2_0_0::write(QByteArray &raw, const OrvoProfileMap &map)
{
    const KeyTable &table = keyTable();
    const qint64 age = ageFromBirthday(map.value(OrvoProfileKeys::kBirthday));
    QByteArray list;
    quint16 count = 0;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        const auto spec = table.byName.constFind(it.key());
        if (spec == table.byName.cend())
            continue;
        appendEntry(list, *spec, encodeValue(spec->encoding, it.value(), age));
        ++count;
    }
    const KeySpec magic{kMagicId, kTypeU32, Encoding::U32};
    appendEntry(list, magic, encodeValue(Encoding::U32, QString::number(kMagicNumber), age));

    const qsizetype start = listStart(raw, list.size() / kEntrySize, "OrvoProfileReaderPSF_2_0_0::write");
    if (start < 0)
        return false;
    OrvoByteWriter::patch(raw, kFormatWordOffset).writeU32Le(kFormatWord);
    OrvoByteWriter::patch(raw, kCountOffset).writeU16Le(count);
    OrvoByteWriter::patch(raw, start).writeBytes(list);
    return true;
}
