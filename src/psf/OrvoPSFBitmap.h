#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>

// 1-bit images as PSF records store them: rows top first, the leftmost pixel in the most
// significant bit, a set bit an ink (black) pixel and a clear bit white.
class OrvoPSFBitmap
{
public:
    // Rows of a compressed glyph image.
    static constexpr int kGlyphHeight = 16;

    // The image of width × height pixels from rows of (width + 7) / 8 bytes. Empty when the
    // width or the height is not positive, and (with a warning) when the bytes hold less than
    // the rows need.
    static QImage fromRows(QByteArrayView bytes, int width, int height);

    // A compressed glyph payload: byte 0 has bit 7 set and holds the stream length in bits 0-6,
    // byte 1 is the width in pixels (signed; 0 or less means no image), the stream follows from
    // byte 2 and decompresses to 16 rows of (width + 7) / 8 bytes.
    static bool isCompressedGlyph(QByteArrayView payload);
    // The glyph's image; empty without a width, and (with a warning) for a malformed stream.
    static QImage fromCompressedGlyph(QByteArrayView payload);

    // The image's rows with every dark pixel as a set bit, each row padded to whole 32-bit words.
    static QByteArray packRows(const QImage &image);
    static qsizetype paddedRowBytes(int width);
};
