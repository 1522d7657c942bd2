#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include <array>
#include <span>

class OrvoPSFStore;

// Where the areas of a PSF 1.5 flash image lie and how much of each is in use.
//
// The area table T[0] to T[45] depends on the image's four-character variant code. The use of
// the areas is kept in 256-byte management records at multiples of 256 from offset 0 below
// T[0]; the last one written is current. A record, little-endian:
//   0    u16  magic 0xAA55 (written by the rebuild)
//   2    64   0xFF (written by the rebuild)
//   66   u16  a count that the total includes
//   76   12 per area, in the order of Area: free bytes, start offset, end offset (u32 each)
//   216  u32  total: the count at 66 plus the free counts of the areas up to the sensor logs
//   220  u32  checksum: the byte sum of bytes 66 to 219, shifted left by 16
//   224  32   dropped by the rebuild
// The used part of an area runs from its start to its end offset (image offsets).
class OrvoPSFFlashLayout
{
public:
    static constexpr int kTableSize = 46;
    using Table = std::array<quint32, kTableSize>;

    // The areas in the order of their counters in the management record.
    enum class Area { Workout, Route, Lap, Interval, WorkoutLog, Track, SensorLog, UserInfoLog };

    static constexpr qsizetype kRecordSize = 256;

    explicit OrvoPSFFlashLayout(OrvoPSFStore &store);
    OrvoPSFFlashLayout(const OrvoPSFFlashLayout &) = delete;
    OrvoPSFFlashLayout &operator=(const OrvoPSFFlashLayout &) = delete;

    // Fills T[2] to T[41]: exactly "1510" selects its own layout, any other code the other.
    void setVariant(QByteArrayView code);
    const Table &table() const;
    quint32 imageSize() const;
    qint64 trackAreaCapacity() const;
    // The track free count of the current record; 0xFFFFFFFF when absent or without a record.
    quint64 trackAreaFree();

    // The current management record, found (and the header loaded) on first use; empty when
    // the header cannot be loaded.
    std::span<uchar> lastUsedRecord();
    // Compacts the management header to the current record at offset 0 with a fresh total
    // and checksum. False, image untouched, without a current record.
    bool rebuildHeader();

    // Image offset of the area's first record and its capacity in bytes, from the table.
    quint32 areaFirstRecord(Area area) const;
    quint32 areaCapacity(Area area) const;
    // The image bytes of the area's records (capacity bytes from its first record); empty
    // when the image does not hold them.
    std::span<uchar> areaBytes(Area area);
    // True when the n bytes from first lie inside the area's records.
    bool holds(Area area, const uchar *first, qsizetype n);
    // The bytes from records' first one to the end of the area (areaBytes) they start in, so
    // that no record read from them runs into the next area; empty when they start outside it.
    // An empty area is one not known (no management header): records then stay as they are.
    static std::span<uchar> clipToArea(std::span<uchar> records, std::span<uchar> area);
    // True when a section's header and its records stand where the table puts the area (the
    // lap and interval areas have no section header).
    bool placesSection(Area area, const uchar *header, const uchar *records);

    // Counters of the current record; 0xFFFFFFFF when absent or without a record.
    quint32 areaFree(Area area);
    quint32 areaStart(Area area);
    quint32 areaEnd(Area area);

    // True when the current record counts at least n free bytes in the area. An erased free
    // count is not trusted.
    bool hasRoom(Area area, qsizetype n);
    // A record of n bytes was added: end += n, free -= n.
    void recordAdded(Area area, qsizetype n);
    // The area now holds used bytes from its start: end = start + used, free = capacity - used.
    // A start counter outside the area is set to the area's first record first.
    void setAreaUsed(Area area, qsizetype used);
    // Fills the area's records with 0xFF and marks it empty (the lap area's end goes to its
    // first record). False when the image does not hold the area.
    bool eraseArea(Area area);

private:
    bool findImage();
    qsizetype counterOffset(Area area, int field) const;
    quint32 counter(Area area, int field);
    void setCounter(Area area, int field, quint32 value);

    OrvoPSFStore &m_store;
    Table m_table{};
    std::span<uchar> m_image;
    // Offset of the current record in the image; -1 until found.
    qsizetype m_current = -1;
};
