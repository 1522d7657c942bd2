#include "psf15/OrvoPSFFlashLayout.h"

#include "env/OrvoFunctionTrace.h"
#include "psf/OrvoPSFLogging.h"
#include "psf/OrvoPSFNone.h"
#include "psf15/OrvoPSFStore.h"

#include <QtEndian>

#include <algorithm>

namespace {

// Words of the table that do not depend on the variant.
constexpr int kManagementEnd = 0;
constexpr int kDistHeaderEnd = 1;
constexpr int kTrackCapacity = 29;
constexpr int kImageSize = 43;
constexpr int kProfileBlock = 44;
constexpr int kBlockSize = 45;

// T[2] to T[41], the "1510" layout first, then every other variant's.
constexpr int kVariantFirst = 2;
constexpr int kVariantWords = 40;
constexpr std::array<quint32, kVariantWords> kLayout1510 = {
    0x6154,  0x6170, 0x6D28,   3000,     0x6D28,   0x6D40,   0x80000,  0x792C0,  0x80000,  0x80018,
    0x882F0, 0x82D8, 0x89000,  0xA5000,  0x1C000,  0xA5000,  0xA8DE0,  0x3DE0,   0xA9000,  0xA9010,
    0xB1000, 0x7FF0, 0xB1000,  0xB1018,  0,        0x14F000, 0,        0x9DFE8,  0,        0,
    0,       0,      0x14F000, 0x14F018, 0x1EA000, 0x9AFE8,  0x1EA000, 0x1EA018, 0x1EEF8C, 0x4F74,
};
constexpr std::array<quint32, kVariantWords> kLayoutOther = {
    0x6154,  0x6170, 0x6D28,   3000,     0x6D28,   0x6D40,   0x7AC86,  0x73F46,  0x7AC86,  0x7AC9E,
    0x82F76, 0x82D8, 0x83000,  0x9F000,  0x1C000,  0x9F000,  0xA2DE0,  0x3DE0,   0xA3000,  0xA3010,
    0xAB000, 0x7FF0, 0xAB000,  0xAB018,  0,        0x121000, 0,        0x75FE8,  0,        0,
    0,       0,      0x121000, 0x121018, 0x167000, 0x45FE8,  0x167000, 0x167018, 0x16BF8C, 0x4F74,
};

// Table words of each area's first record and capacity, in the order of Area.
struct AreaWords
{
    int section; // -1: no section header
    int firstRecord;
    int capacity;
};
constexpr std::array<AreaWords, 8> kAreaWords = {{
    {6, 7, 9},    // workouts
    {10, 11, 13}, // routes
    {-1, 14, 16}, // laps
    {-1, 17, 19}, // intervals
    {20, 21, 23}, // workout logs
    {24, 25, 29}, // track segments and points
    {34, 35, 37}, // sensor logs
    {38, 39, 41}, // user-info logs
}};

// The management record.
constexpr qsizetype kMagicOffset = 0;
constexpr quint16 kMagic = 0xAA55;
constexpr qsizetype kPadOffset = 2;
constexpr qsizetype kPadSize = 64;
constexpr qsizetype kCountOffset = 66;
constexpr qsizetype kCountersOffset = 76;
constexpr qsizetype kCountersPerArea = 12;
constexpr int kFreeField = 0;
constexpr int kStartField = 1;
constexpr int kEndField = 2;
// The total adds the free counts of the areas before the user-info logs.
constexpr int kAreasInTotal = 7;
constexpr qsizetype kTotalOffset = 216;
constexpr qsizetype kChecksumOffset = 220;
constexpr int kChecksumShift = 16;
constexpr qsizetype kKeptBytes = 224;
// The rebuild erases the first two 4096-byte blocks and marks the second one.
constexpr qsizetype kRebuiltBytes = 8192;
constexpr qsizetype kMarkerOffset = 4096;
constexpr quint32 kMarker = 0x44332211;

quint32 readU32(std::span<const uchar> bytes, qsizetype offset)
{
    return qFromLittleEndian<quint32>(bytes.data() + offset);
}

void writeU32(std::span<uchar> bytes, qsizetype offset, quint32 value)
{
    qToLittleEndian<quint32>(value, bytes.data() + offset);
}

int areaIndex(OrvoPSFFlashLayout::Area area)
{
    return int(area);
}

} // namespace

OrvoPSFFlashLayout::OrvoPSFFlashLayout(OrvoPSFStore &store)
    : m_store(store)
{
    m_table[kManagementEnd] = 0x6000;
    m_table[kDistHeaderEnd] = 0x7000;
    m_table[kImageSize] = 0x200000;
    m_table[kProfileBlock] = 2068480;
    m_table[kBlockSize] = 4096;
}

void OrvoPSFFlashLayout::setVariant(QByteArrayView code)
{
    const auto &words = code == QByteArrayView("1510") ? kLayout1510 : kLayoutOther;
    std::copy(words.begin(), words.end(), m_table.begin() + kVariantFirst);
}

const OrvoPSFFlashLayout::Table &OrvoPSFFlashLayout::table() const
{
    return m_table;
}

quint32 OrvoPSFFlashLayout::imageSize() const
{
    return m_table[kImageSize];
}

qint64 OrvoPSFFlashLayout::trackAreaCapacity() const
{
    return m_table[kTrackCapacity];
}

quint64 OrvoPSFFlashLayout::trackAreaFree()
{
    return areaFree(Area::Track);
}

std::span<uchar> OrvoPSFFlashLayout::lastUsedRecord()
{
    if (m_current < 0) {
        if (!findImage())
            return {};
        const qsizetype headerEnd = m_table[kManagementEnd];
        const qsizetype lastSlot = headerEnd - kRecordSize;
        m_current = lastSlot;
        for (qsizetype slot = 0; slot <= lastSlot; slot += kRecordSize) {
            if (readU32(m_image, slot) == kOrvoPsfNone) {
                m_current = slot == 0 ? lastSlot : slot - kRecordSize;
                break;
            }
        }
    }
    return m_image.subspan(size_t(m_current), size_t(kRecordSize));
}

bool OrvoPSFFlashLayout::rebuildHeader()
{
    const std::span<uchar> record = lastUsedRecord();
    if (record.empty()) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFFlashLayout::rebuildHeader") << "no management record to rebuild from";
        return false;
    }
    const QByteArray kept(reinterpret_cast<const char *>(record.data()), kKeptBytes);
    std::fill_n(m_image.begin(), kRebuiltBytes, uchar(0xFF));
    std::copy(kept.begin(), kept.end(), m_image.begin());
    m_current = 0;

    qToLittleEndian<quint16>(kMagic, m_image.data() + kMagicOffset);
    std::fill_n(m_image.begin() + kPadOffset, kPadSize, uchar(0xFF));
    quint32 total = qFromLittleEndian<quint16>(m_image.data() + kCountOffset);
    for (int area = 0; area < kAreasInTotal; ++area)
        total += readU32(m_image, kCountersOffset + area * kCountersPerArea);
    writeU32(m_image, kTotalOffset, total);
    quint32 sum = 0;
    for (qsizetype i = kCountOffset; i < kChecksumOffset; ++i)
        sum += m_image[size_t(i)];
    writeU32(m_image, kChecksumOffset, sum << kChecksumShift);

    m_image[size_t(kRecordSize)] = 0xFF;
    m_image[size_t(kRecordSize) + 1] = 0xFF;
    writeU32(m_image, kMarkerOffset, kMarker);
    return true;
}

quint32 OrvoPSFFlashLayout::areaFirstRecord(Area area) const
{
    return m_table[size_t(kAreaWords[size_t(areaIndex(area))].firstRecord)];
}

quint32 OrvoPSFFlashLayout::areaCapacity(Area area) const
{
    return m_table[size_t(kAreaWords[size_t(areaIndex(area))].capacity)];
}

std::span<uchar> OrvoPSFFlashLayout::areaBytes(Area area)
{
    if (!findImage())
        return {};
    const qsizetype first = areaFirstRecord(area);
    const qsizetype capacity = areaCapacity(area);
    if (first > qsizetype(m_image.size()) || capacity > qsizetype(m_image.size()) - first) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFFlashLayout::areaBytes")
            << "area" << areaIndex(area) << "of" << capacity << "bytes at offset" << first
            << "lies outside the image of" << m_image.size() << "bytes";
        return {};
    }
    return m_image.subspan(size_t(first), size_t(capacity));
}

std::span<uchar> OrvoPSFFlashLayout::clipToArea(std::span<uchar> records, std::span<uchar> area)
{
    if (area.empty())
        return records;
    const auto begin = quintptr(area.data());
    const auto first = quintptr(records.data());
    if (records.empty() || first < begin || first - begin >= area.size())
        return {};
    return area.subspan(first - begin);
}

bool OrvoPSFFlashLayout::holds(Area area, const uchar *first, qsizetype n)
{
    const std::span<uchar> bytes = areaBytes(area);
    const auto address = [](const uchar *p) { return quintptr(p); };
    const quintptr begin = address(bytes.data());
    const quintptr at = address(first);
    if (!bytes.empty() && n >= 0 && at >= begin && at - begin <= bytes.size() &&
        quintptr(n) <= bytes.size() - (at - begin))
        return true;
    ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFFlashLayout::holds")
        << n << "bytes do not lie inside the records of area" << areaIndex(area);
    return false;
}

bool OrvoPSFFlashLayout::placesSection(Area area, const uchar *header, const uchar *records)
{
    const int word = kAreaWords[size_t(areaIndex(area))].section;
    const std::span<uchar> bytes = areaBytes(area);
    if (word >= 0 && !bytes.empty() && header == m_image.data() + m_table[size_t(word)] && records == bytes.data())
        return true;
    ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFFlashLayout::placesSection")
        << "the section of area" << areaIndex(area) << "does not stand where the area table puts it";
    return false;
}

quint32 OrvoPSFFlashLayout::areaFree(Area area)
{
    return counter(area, kFreeField);
}

quint32 OrvoPSFFlashLayout::areaStart(Area area)
{
    return counter(area, kStartField);
}

quint32 OrvoPSFFlashLayout::areaEnd(Area area)
{
    return counter(area, kEndField);
}

bool OrvoPSFFlashLayout::hasRoom(Area area, qsizetype n)
{
    const quint32 free = areaFree(area);
    if (free == kOrvoPsfNone) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFFlashLayout::hasRoom")
            << "area" << areaIndex(area) << "has no free count; nothing is added to it";
        return false;
    }
    if (n > qsizetype(free)) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFFlashLayout::hasRoom")
            << "area" << areaIndex(area) << "has" << free << "free bytes, a record of" << n << "does not fit";
        return false;
    }
    return true;
}

void OrvoPSFFlashLayout::recordAdded(Area area, qsizetype n)
{
    const quint32 free = areaFree(area);
    setCounter(area, kEndField, areaEnd(area) + quint32(n));
    setCounter(area, kFreeField, qsizetype(free) >= n ? free - quint32(n) : 0);
}

void OrvoPSFFlashLayout::setAreaUsed(Area area, qsizetype used)
{
    // A start counter outside the area (erased, or damaged) would carry the end counter out of
    // it too: the area then starts at its first record.
    quint32 start = areaStart(area);
    const quint32 first = areaFirstRecord(area);
    if (start < first || start - first > areaCapacity(area)) {
        start = first;
        setCounter(area, kStartField, start);
    }
    const qsizetype capacity = areaCapacity(area);
    setCounter(area, kEndField, start + quint32(used));
    setCounter(area, kFreeField, quint32(std::max<qsizetype>(capacity - used, 0)));
}

bool OrvoPSFFlashLayout::eraseArea(Area area)
{
    const std::span<uchar> bytes = areaBytes(area);
    if (bytes.empty())
        return false;
    std::fill(bytes.begin(), bytes.end(), uchar(0xFF));
    if (area == Area::Lap) {
        setCounter(area, kEndField, areaFirstRecord(area));
        setCounter(area, kFreeField, areaCapacity(area));
    } else {
        setAreaUsed(area, 0);
    }
    return true;
}

bool OrvoPSFFlashLayout::findImage()
{
    if (!m_image.empty())
        return true;
    std::span<uchar> image;
    if (!m_store.loadHeader(image)) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFFlashLayout::findImage") << "the management header cannot be loaded";
        return false;
    }
    const qsizetype headerEnd = m_table[kManagementEnd];
    if (qsizetype(image.size()) < std::max(headerEnd, kRebuiltBytes)) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFFlashLayout::findImage")
            << "an image of" << image.size() << "bytes has no management header of" << headerEnd << "bytes";
        return false;
    }
    m_image = image;
    return true;
}

qsizetype OrvoPSFFlashLayout::counterOffset(Area area, int field) const
{
    return kCountersOffset + areaIndex(area) * kCountersPerArea + field * 4;
}

quint32 OrvoPSFFlashLayout::counter(Area area, int field)
{
    const std::span<uchar> record = lastUsedRecord();
    return record.empty() ? kOrvoPsfNone : readU32(record, counterOffset(area, field));
}

void OrvoPSFFlashLayout::setCounter(Area area, int field, quint32 value)
{
    const std::span<uchar> record = lastUsedRecord();
    if (record.empty()) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFFlashLayout::setCounter")
            << "no management record: counter" << field << "of area" << areaIndex(area) << "not written";
        return;
    }
    writeU32(record, counterOffset(area, field), value);
}
