#include "psf/OrvoPSFBitmap.h"

#include "env/OrvoFunctionTrace.h"
#include "psf/OrvoLzDecompress.h"
#include "psf/OrvoPSFLogging.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uchar kCompressedFlag = 0x80;
constexpr uchar kStreamLengthMask = 0x7F;
constexpr qsizetype kGlyphHeaderSize = 2;
constexpr int kGrayInkBelow = 128;

qsizetype rowBytes(int width)
{
    return (qsizetype(width) + 7) / 8;
}

} // namespace

QImage OrvoPSFBitmap::fromRows(QByteArrayView bytes, int width, int height)
{
    if (width <= 0 || height <= 0)
        return {};
    const qsizetype stride = rowBytes(width);
    if (bytes.size() / stride < height) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFBitmap::fromRows")
            << "image of" << width << "x" << height << "needs" << stride * height << "bytes, found" << bytes.size();
        return {};
    }
    QImage image(width, height, QImage::Format_Mono);
    if (image.isNull())
        return {};
    image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    for (int y = 0; y < height; ++y)
        std::memcpy(image.scanLine(y), bytes.data() + qsizetype(y) * stride, size_t(stride));
    return image;
}

bool OrvoPSFBitmap::isCompressedGlyph(QByteArrayView payload)
{
    return !payload.isEmpty() && (uchar(payload[0]) & kCompressedFlag);
}

QImage OrvoPSFBitmap::fromCompressedGlyph(QByteArrayView payload)
{
    if (payload.size() < kGlyphHeaderSize)
        return {};
    const int width = qint8(payload[1]);
    if (width <= 0)
        return {};
    const qsizetype streamLength = uchar(payload[0]) & kStreamLengthMask;
    if (streamLength > payload.size() - kGlyphHeaderSize) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFBitmap::fromCompressedGlyph")
            << "glyph stream of" << streamLength << "bytes, payload holds" << payload.size() - kGlyphHeaderSize;
        return {};
    }
    const qsizetype imageBytes = rowBytes(width) * kGlyphHeight;
    QByteArray rows;
    if (!lzDecompress(payload.sliced(kGlyphHeaderSize, streamLength), rows, std::max(imageBytes, 2 * payload.size())))
        return {};
    // A stream that ends early leaves the remaining rows blank.
    if (rows.size() < imageBytes)
        rows.append(imageBytes - rows.size(), '\0');
    return fromRows(rows, width, kGlyphHeight);
}

QByteArray OrvoPSFBitmap::packRows(const QImage &image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    const qsizetype stride = paddedRowBytes(rgb.width());
    QByteArray bytes(stride * rgb.height(), '\0');
    for (int y = 0; y < rgb.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        uchar *row = reinterpret_cast<uchar *>(bytes.data()) + qsizetype(y) * stride;
        for (int x = 0; x < rgb.width(); ++x) {
            if (qGray(line[x]) < kGrayInkBelow)
                row[x / 8] |= uchar(0x80u >> (x % 8));
        }
    }
    return bytes;
}

qsizetype OrvoPSFBitmap::paddedRowBytes(int width)
{
    return (qsizetype(std::max(width, 0)) + 31) / 32 * 4;
}
