#pragma once

#include "psf/OrvoPSFObject.h"

#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>

class QPainter;

// One string record of a name or description chain: a language code and either 8-bit text or
// a 1-bit image of the text (whether a chain holds images is the owning record's bit-font flag).
//
// Layout, little-endian:
//   0   u8   flags: bit 1 another string record follows directly (has-next), bit 0 written 0
//   1   u8   written 0
//   2   u16  payload length in bytes
//   4   4    language code: the first four bytes of its 8-bit form ("eng" and its NUL)
//   8   u16  image width in pixels (written by rendering only)
//   10  u16  image height in pixels (written by rendering only)
//   12  ...  payload: text without terminator, or image rows (most significant bit first,
//            rows padded to 32-bit words, ink = 1), or a compressed glyph (read only)
class OrvoPSFMultiLangString_1_5 : public OrvoPSFObject
{
public:
    static constexpr qsizetype kHeaderSize = 12;
    // A rendered name is one 128 × 16 line.
    static constexpr int kNameWidth = 128;
    static constexpr int kNameHeight = 16;
    static constexpr qsizetype kNameBytes = 256;
    // A rendered description is 128 pixels wide and at most 2048 rows (16 bytes a row) long.
    static constexpr qsizetype kDescriptionBytes = 32768;

    // With reset, the record becomes empty: a zeroed header and no payload.
    OrvoPSFMultiLangString_1_5(std::span<uchar> bytes, bool reset);

    // The payload length plus the header.
    qsizetype size() const override;
    // True when the header and the whole stored payload lie inside the record's memory.
    bool isComplete() const;
    // True when flags, the zero byte and the length read as erased flash (all 0xFF): no string
    // was written here, whatever the has-next bit of the string before says.
    bool isErased() const;

    // Stores code and text, as 8-bit text or rendered (through the thread's current creator
    // when one is set). False when the result does not fit the record's memory; nothing of the
    // payload is then written.
    bool setString(const QString &text, const QString &code, bool asBitFont, bool isDesc);
    bool hasNext() const;
    void setHasNext(bool flag);
    void setCode(const QString &code);
    QByteArray code() const;
    bool setPayload(QByteArrayView bytes);
    quint16 payloadLength() const;
    // The stored payload, cut short (with a warning) where it runs past the record's memory.
    QByteArray payload() const;
    int imageWidth() const;
    int imageHeight() const;
    // The payload as 8-bit text of the stored length, NUL bytes included.
    QString text() const;
    // The stored image; empty when there is none or it is malformed.
    QImage toImage() const;
    // Renders the text (a one-line name, or a description of free height) and stores it.
    bool createBitfont(const QString &text, bool isDesc);

    // The font the images are drawn with.
    static QFont bitFont();
    // Draws text into a 1-bit image. width and height are in-out (both 0: 128 wide, free
    // height). The image is clipped to the whole rows that capacity bytes hold (0: no limit).
    // Answers the packed rows.
    static QByteArray convertToBitfont(const QString &text, int &width, int &height, qsizetype capacity);
    // The rectangle the text is drawn in; a fixed-size text loses characters from its end until
    // it fits, down to 6 characters.
    static QRect calcPaintSize(QPainter &painter, QString &text, int width, int height);
};
