// The glyph decompressor and the bitmap decoders of stored names and strings. Byte 0 picks the
// decoder, byte 1 the size it is given; the rest is the stored payload.

#include "FuzzSupport.h"

#include "psf/OrvoLzDecompress.h"
#include "psf/OrvoPSFBitmap.h"
#include "psf/OrvoPSFMultiLangString_1_5.h"
#include "psf14/OrvoPSFValues.h"

#include <QImage>

#include <vector>

namespace {

// The work buffer of the 1.4 name images: 2 × 1024 bytes, as the container gives it.
constexpr qsizetype kBufferUnits = 1024;

void decodeString(const QByteArray &payload)
{
    std::vector<uchar> record(payload.begin(), payload.end());
    const OrvoPSFMultiLangString_1_5 string(std::span<uchar>(record.data(), record.size()), false);
    string.isComplete();
    string.text();
    string.toImage();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool ready = FuzzSupport::prepare();
    Q_UNUSED(ready);
    if (size < 2)
        return 0;
    const quint8 size1 = data[1];
    const QByteArray payload = FuzzSupport::bytes(data + 2, size - 2);
    switch (data[0] % 5) {
    case 0: {
        QByteArray out;
        const qsizetype capacity = qsizetype(size1) * 16;
        if (lzDecompress(payload, out, capacity) && out.size() > capacity)
            FuzzSupport::fail("decompressed past the capacity");
        break;
    }
    case 1:
        OrvoPSFBitmap::packRows(OrvoPSFBitmap::fromRows(payload, size1 - 8, OrvoPSFBitmap::kGlyphHeight));
        break;
    case 2:
        if (OrvoPSFBitmap::isCompressedGlyph(payload))
            OrvoPSFBitmap::fromCompressedGlyph(payload);
        break;
    case 3:
        decodeBitFontImage(payload, kBufferUnits, 64 + (size1 & 0x3F), 16);
        break;
    default:
        decodeString(payload);
        break;
    }
    return 0;
}
