#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

#include <span>

class OrvoPSFFlashLayout;

// A view of one PSF record inside a flash image or a work buffer: it reads and writes the
// record's fields in place and owns no bytes. The view holds the span from the record's first
// byte to the end of the memory the record may use, and every field access is checked against
// it: a field outside the span reads as absent (all bytes 0xFF, like erased flash) and is
// never written.
//
// Multi-byte fields are little-endian. A field whose bytes are all 0xFF is absent; a 32-bit
// link or offset word that is absent means "none", which writers store as -1. Bit fields
// change by read-modify-write, so the other bits of their byte stay.
class OrvoPSFObject
{
public:
    explicit OrvoPSFObject(std::span<uchar> bytes);
    virtual ~OrvoPSFObject();
    OrvoPSFObject(const OrvoPSFObject &) = delete;
    OrvoPSFObject &operator=(const OrvoPSFObject &) = delete;

    // Empties the record's area; the base has none. Section views erase theirs, and answer false,
    // image unchanged, when they cannot tell which bytes are theirs.
    virtual bool clear(OrvoPSFFlashLayout &layout);
    // The record's size in bytes, including any variable part.
    virtual qsizetype size() const = 0;

    uchar *data() const;
    // The bytes from the record's first byte to the end of the memory it may use.
    qsizetype available() const;
    bool contains(qsizetype offset, qsizetype n) const;
    // The memory from offset on, for a record that lies inside this one's; empty when outside.
    std::span<uchar> spanFrom(qsizetype offset) const;

    // The word at offset 8 as a record index (the word divided by size()); -1 when absent.
    qint64 linkIndexAt8() const;
    // Stores index × size() at offset 8, or -1 for the index -1.
    bool setLinkIndexAt8(qint64 index);

    // True when any of the n bytes at offset differs from 0xFF (false outside the record).
    bool isPresent(qsizetype offset, qsizetype n) const;
    static bool isPresent(QByteArrayView bytes);

    quint8 u8(qsizetype offset) const;
    quint16 u16(qsizetype offset) const;
    quint32 u32(qsizetype offset) const;
    qint16 i16(qsizetype offset) const;
    // A 32-bit link or offset word: its value, or -1 when absent.
    qint64 link(qsizetype offset) const;
    // width bits of the byte at offset, starting at bit shift.
    quint8 bits(qsizetype offset, int shift, int width) const;
    QByteArray bytesAt(qsizetype offset, qsizetype n) const;

    bool setU8(qsizetype offset, quint8 value);
    bool setU16(qsizetype offset, quint16 value);
    bool setU32(qsizetype offset, quint32 value);
    // Stores an offset (0 to 0xFFFFFFFE) or -1 for "none".
    bool setLink(qsizetype offset, qint64 value);
    bool setBits(qsizetype offset, int shift, int width, quint8 value);
    bool writeBytes(qsizetype offset, QByteArrayView bytes);
    bool fill(qsizetype offset, qsizetype n, uchar value);

    // The whole of a byte array as the memory of a view; the array must outlive the view and
    // keep its size.
    static std::span<uchar> spanOf(QByteArray &bytes);

private:
    bool checkRead(qsizetype offset, qsizetype n) const;
    bool checkWrite(qsizetype offset, qsizetype n) const;

    std::span<uchar> m_bytes;
};
