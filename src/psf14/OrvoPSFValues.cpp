#include "psf14/OrvoPSFValues.h"

#include "env/OrvoFunctionTrace.h"
#include "psf/OrvoLzDecompress.h"
#include "psf/OrvoPSFBitmap.h"
#include "psf/OrvoPSFLogging.h"
#include "psf/OrvoPSFNone.h"
#include "psf/OrvoPSFStepType.h"
#include "util/ZKGeoPoint.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr quint32 kLinkFilled = 0xCDCDCDCD;
constexpr qint32 kAbsentCoordinate = -1;
constexpr uchar kCompressedFlag = 0x80;
constexpr uchar kStreamLengthMask = 0x7F;
constexpr qsizetype kGlyphHeaderSize = 2;
// The activity whose cadence is stored in 64ths of a revolution per second.
constexpr int kScaledCadenceMode = 1;

qint32 truncated(double value)
{
    if (std::isnan(value))
        return 0;
    const double t = std::trunc(value);
    if (t <= double(std::numeric_limits<qint32>::min()))
        return std::numeric_limits<qint32>::min();
    if (t >= double(std::numeric_limits<qint32>::max()))
        return std::numeric_limits<qint32>::max();
    return qint32(t);
}

QImage decodeCompressed(QByteArrayView bytes, qsizetype bufferUnits)
{
    if (bytes.size() < kGlyphHeaderSize)
        return {};
    const int width = qint8(bytes[1]);
    if (width <= 0)
        return {};
    const qsizetype streamLength = uchar(bytes[0]) & kStreamLengthMask;
    if (streamLength > bytes.size() - kGlyphHeaderSize) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "decodeBitFontImage")
            << "compressed stream of" << streamLength << "bytes, the name holds" << bytes.size() - kGlyphHeaderSize;
        return {};
    }
    const qsizetype workBuffer = 2 * std::max<qsizetype>(bufferUnits, 0);
    const qsizetype imageBytes = (qsizetype(width) + 7) / 8 * OrvoPSFBitmap::kGlyphHeight;
    if (imageBytes > workBuffer) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "decodeBitFontImage")
            << "image of" << width << "x" << OrvoPSFBitmap::kGlyphHeight << "needs" << imageBytes
            << "bytes, the work buffer holds" << workBuffer;
        return {};
    }
    QByteArray rows;
    if (!lzDecompress(bytes.sliced(kGlyphHeaderSize, streamLength), rows, workBuffer))
        return {};
    // The work buffer starts zeroed: rows the stream does not reach stay blank.
    rows.append(imageBytes - std::min(rows.size(), imageBytes), '\0');
    return OrvoPSFBitmap::fromRows(rows, width, OrvoPSFBitmap::kGlyphHeight);
}

} // namespace

bool isPresent(QByteArrayView bytes)
{
    return std::any_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) != 0xFF; });
}

bool isChainEnd(quint32 link, bool cdEndsChain)
{
    return link == kOrvoPsfNone || (cdEndsChain && link == kLinkFilled);
}

qsizetype copyAdvance(QByteArray &destination, qsizetype offset, QByteArrayView source)
{
    if (offset < 0 || offset > destination.size() || source.size() > destination.size() - offset) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "copyAdvance")
            << source.size() << "bytes at" << offset << "do not fit" << destination.size() << "bytes";
        return -1;
    }
    std::copy(source.begin(), source.end(), destination.begin() + offset);
    return offset + source.size();
}

qint32 altitudeCode(double metres)
{
    return truncated((metres + 1000.0) * 4.0);
}

qint32 toTenths(double value)
{
    return truncated(value * 10.0);
}

qint32 toMicroDegrees(double degrees)
{
    return ZKGeoPoint::e6FromDegrees(degrees);
}

QString altitudeText(int deltaTenths, double base, bool baseIsCode)
{
    const double metres = baseIsCode ? base * 0.25 - 1000.0 : base;
    return QString::number(metres + deltaTenths / 10, 'f', 2);
}

QString speedText(int eighthsPerSecond)
{
    return QString::number(eighthsPerSecond * 3.6 * 0.125, 'f', 2);
}

QString tenthsText(int tenths)
{
    return QString::number(double(tenths / 10), 'f', 1);
}

QString doubledText(int value)
{
    return QString::number(qint64(value) * 2);
}

QString coordinateText(qint32 microDegrees)
{
    return ZKGeoPoint::degreesTextFromE6(microDegrees == kAbsentCoordinate ? 0 : microDegrees);
}

QString cadenceText(int code, int mode)
{
    if (mode == kScaledCadenceMode)
        return QString::number(code * 60.0 / 64.0, 'f', 2);
    return QString::number(code);
}

QString stepTypeName(int code)
{
    return OrvoPSFStepType(code & 0xFF).name();
}

int stepTypeFromName(const QString &name)
{
    return OrvoPSFStepType::fromName(name);
}

QImage decodeBitFontImage(QByteArrayView bytes, qsizetype bufferUnits, int width, int height)
{
    if (!bytes.isEmpty() && (uchar(bytes[0]) & kCompressedFlag))
        return decodeCompressed(bytes, bufferUnits);
    return OrvoPSFBitmap::fromRows(bytes, width, height);
}
