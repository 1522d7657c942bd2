#include "psf/OrvoPSFMultiLangString_1_5.h"

#include "env/OrvoFunctionTrace.h"
#include "psf/OrvoPSFBitFontCreator.h"
#include "psf/OrvoPSFBitmap.h"
#include "psf/OrvoPSFLogging.h"

#include <QFontInfo>
#include <QGuiApplication>
#include <QPainter>

#include <algorithm>
#include <limits>
#include <mutex>

namespace {

constexpr qsizetype kFlagsOffset = 0;
constexpr qsizetype kZeroByteOffset = 1;
constexpr qsizetype kLengthOffset = 2;
constexpr qsizetype kCodeOffset = 4;
constexpr qsizetype kCodeSize = 4;
constexpr qsizetype kWidthOffset = 8;
constexpr qsizetype kHeightOffset = 10;
constexpr int kHasNextBit = 1;
constexpr quint16 kMaxPayload = 0xFFFF;
constexpr quint8 kErasedByte = 0xFF;

// The family the device pictures were drawn with. It is not on Linux systems: Debian's
// DejaVu Sans stands in, and WenQuanYi Micro Hei for the scripts DejaVu lacks (CJK).
const char *const kBitFontFamily = "Microsoft Sans Serif";
constexpr int kBitFontPixelSize = 12;

constexpr int kLineWidth = 128;
constexpr int kLineHeight = 16;
constexpr int kMeasureHeight = 2048;
constexpr int kFreeHeightLimit = 2000;
constexpr qsizetype kMinShortenedLength = 6;
constexpr int kFixedFlags = Qt::AlignLeft | Qt::AlignVCenter;
constexpr int kDrawFlags = Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop;

void installFontSubstitutes()
{
    static std::once_flag once;
    std::call_once(once, [] {
        QFont::insertSubstitutions(QLatin1String(kBitFontFamily),
                                   {QStringLiteral("DejaVu Sans"), QStringLiteral("WenQuanYi Micro Hei")});
    });
}

bool canPaintText()
{
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return true;
    ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFMultiLangString_1_5::convertToBitfont")
        << "no GUI application: fonts are not available, nothing drawn";
    return false;
}

qsizetype characterCount(const QString &text)
{
    return text.size() - std::count_if(text.begin(), text.end(), [](QChar c) { return c.isLowSurrogate(); });
}

// Drops the last character, both halves of a surrogate pair.
void chopCharacter(QString &text)
{
    const bool pair = text.size() >= 2 && text.back().isLowSurrogate() && text.at(text.size() - 2).isHighSurrogate();
    text.chop(pair ? 2 : 1);
}

QRect fixedPaintSize(QPainter &painter, QString &text, int width, int height)
{
    const QRect rect(0, 0, width, height);
    while (!rect.contains(painter.boundingRect(rect, kFixedFlags, text)) && characterCount(text) > kMinShortenedLength)
        chopCharacter(text);
    return rect;
}

QRect freePaintSize(QPainter &painter, const QString &text)
{
    QRect rect(0, 0, kLineWidth, kLineHeight);
    for (;;) {
        const QRect bounds = painter.boundingRect(rect, kDrawFlags, text);
        if (rect.contains(bounds)) {
            rect.setHeight(bounds.height());
            return rect;
        }
        if (bounds.width() > rect.width()) {
            ORVO_TRACE_CRITICAL(lcOrvoPsf, "OrvoPSFMultiLangString_1_5::calcPaintSize")
                << QStringLiteral("calcPaintSize: word is too long toPaint width=%1, canPaint width=%2")
                       .arg(bounds.width())
                       .arg(rect.width());
            const qint64 height = qint64(bounds.height()) * bounds.width() / rect.width();
            rect.setHeight(int(std::min<qint64>(height, std::numeric_limits<int>::max())));
            return rect;
        }
        const int grown = bounds.height() + kLineHeight;
        if (grown <= rect.height()) // no progress: the text will not fit any taller rectangle
            return rect;
        rect.setHeight(grown);
        if (rect.height() > kFreeHeightLimit)
            return rect;
    }
}

} // namespace

OrvoPSFMultiLangString_1_5::OrvoPSFMultiLangString_1_5(std::span<uchar> bytes, bool reset)
    : OrvoPSFObject(bytes)
{
    if (reset)
        fill(0, kHeaderSize, 0);
}

qsizetype OrvoPSFMultiLangString_1_5::size() const
{
    return kHeaderSize + payloadLength();
}

bool OrvoPSFMultiLangString_1_5::isComplete() const
{
    return contains(0, kHeaderSize) && contains(0, size());
}

bool OrvoPSFMultiLangString_1_5::isErased() const
{
    return u8(kFlagsOffset) == kErasedByte && u8(kZeroByteOffset) == kErasedByte && payloadLength() == kMaxPayload;
}

bool OrvoPSFMultiLangString_1_5::setString(const QString &text, const QString &code, bool asBitFont, bool isDesc)
{
    setBits(kFlagsOffset, 0, 2, 0);
    setU8(kZeroByteOffset, 0);
    setCode(code);
    if (!asBitFont)
        return setPayload(text.toLatin1());
    if (OrvoPSFBitFontCreator *creator = currentBitFontCreator())
        return creator->createBitfontFor(this, text, isDesc);
    return createBitfont(text, isDesc);
}

bool OrvoPSFMultiLangString_1_5::hasNext() const
{
    return bits(kFlagsOffset, kHasNextBit, 1) != 0;
}

void OrvoPSFMultiLangString_1_5::setHasNext(bool flag)
{
    setBits(kFlagsOffset, kHasNextBit, 1, flag ? 1 : 0);
}

void OrvoPSFMultiLangString_1_5::setCode(const QString &code)
{
    QByteArray bytes = code.toLatin1().left(kCodeSize);
    bytes.append(kCodeSize - bytes.size(), '\0');
    writeBytes(kCodeOffset, bytes);
}

QByteArray OrvoPSFMultiLangString_1_5::code() const
{
    return bytesAt(kCodeOffset, kCodeSize);
}

bool OrvoPSFMultiLangString_1_5::setPayload(QByteArrayView bytes)
{
    if (bytes.size() > kMaxPayload || !contains(kHeaderSize, bytes.size())) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFMultiLangString_1_5::setPayload")
            << "payload of" << bytes.size() << "bytes does not fit the" << available() - kHeaderSize
            << "bytes left for it";
        return false;
    }
    return writeBytes(kHeaderSize, bytes) && setU16(kLengthOffset, quint16(bytes.size()));
}

quint16 OrvoPSFMultiLangString_1_5::payloadLength() const
{
    return u16(kLengthOffset);
}

QByteArray OrvoPSFMultiLangString_1_5::payload() const
{
    const qsizetype stored = payloadLength();
    const qsizetype present = std::clamp<qsizetype>(available() - kHeaderSize, 0, stored);
    if (present < stored) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFMultiLangString_1_5::payload")
            << "payload of" << stored << "bytes runs past the record's memory; only" << present << "bytes read";
    }
    return present > 0 ? bytesAt(kHeaderSize, present) : QByteArray();
}

int OrvoPSFMultiLangString_1_5::imageWidth() const
{
    return u16(kWidthOffset);
}

int OrvoPSFMultiLangString_1_5::imageHeight() const
{
    return u16(kHeightOffset);
}

QString OrvoPSFMultiLangString_1_5::text() const
{
    return QString::fromLatin1(payload());
}

QImage OrvoPSFMultiLangString_1_5::toImage() const
{
    const QByteArray bytes = payload();
    // A rendered image whose first pixel is ink also starts with bit 7 set: its stored size,
    // which matches its rows exactly, tells it from a compressed glyph.
    const int width = imageWidth();
    const int height = imageHeight();
    const qsizetype wholeByteRows = (qsizetype(width) + 7) / 8 * height;
    const qsizetype paddedRows = OrvoPSFBitmap::paddedRowBytes(width) * height;
    const bool storedRows = height > 0 && width > 0 && (bytes.size() == wholeByteRows || bytes.size() == paddedRows);
    if (!storedRows && OrvoPSFBitmap::isCompressedGlyph(bytes))
        return OrvoPSFBitmap::fromCompressedGlyph(bytes);
    return OrvoPSFBitmap::fromRows(bytes, width, height);
}

bool OrvoPSFMultiLangString_1_5::createBitfont(const QString &text, bool isDesc)
{
    int width = isDesc ? 0 : kNameWidth;
    int height = isDesc ? 0 : kNameHeight;
    const QByteArray image = convertToBitfont(text, width, height, isDesc ? kDescriptionBytes : kNameBytes);
    if (isDesc) {
        ORVO_TRACE_DEBUG(lcOrvoPsf, "OrvoPSFMultiLangString_1_5::createBitfont")
            << QStringLiteral("w=%1,h=%2, size=%3").arg(width).arg(height).arg(image.size());
    }
    // The payload is checked first, so that an image that does not fit changes nothing.
    if (!setPayload(image))
        return false;
    return setU16(kWidthOffset, quint16(width)) && setU16(kHeightOffset, quint16(height));
}

QFont OrvoPSFMultiLangString_1_5::bitFont()
{
    installFontSubstitutes();
    QFont font{QString::fromLatin1(kBitFontFamily)};
    font.setItalic(false);
    font.setStyleStrategy(QFont::NoAntialias);
    font.setPixelSize(kBitFontPixelSize);
    return font;
}

QByteArray OrvoPSFMultiLangString_1_5::convertToBitfont(const QString &text, int &width, int &height,
                                                        qsizetype capacity)
{
    const bool freeHeight = width == 0 && height == 0;
    if (!canPaintText() || (freeHeight && text.isEmpty())) {
        width = 0;
        height = 0;
        return {};
    }
    const QFont font = bitFont();
    ORVO_TRACE_DEBUG(lcOrvoPsf, "OrvoPSFMultiLangString_1_5::convertToBitfont")
        << "bit font" << QFontInfo(font).family();

    QImage measure(freeHeight ? kLineWidth : width, freeHeight ? kMeasureHeight : height, QImage::Format_RGB32);
    measure.fill(Qt::white);
    QPainter measurePainter(&measure);
    measurePainter.setPen(Qt::black);
    measurePainter.setFont(font);
    QString shown = text;
    QRect rect = calcPaintSize(measurePainter, shown, width, height);
    measurePainter.end();

    const qsizetype rowBytes = OrvoPSFBitmap::paddedRowBytes(rect.width());
    if (capacity > 0 && rowBytes > 0 && rect.height() > capacity / rowBytes) {
        ORVO_TRACE_WARNING(lcOrvoPsf, "OrvoPSFMultiLangString_1_5::convertToBitfont")
            << "image of" << rect.height() << "rows clipped to the" << capacity / rowBytes << "rows of its buffer";
        rect.setHeight(int(capacity / rowBytes));
    }

    QImage canvas(rect.size(), QImage::Format_RGB32);
    canvas.fill(Qt::white);
    if (!canvas.isNull()) {
        QPainter painter(&canvas);
        painter.setPen(Qt::black);
        painter.setFont(font);
        painter.drawText(rect, kDrawFlags, shown);
    }
    width = canvas.width();
    height = canvas.height();
    return OrvoPSFBitmap::packRows(canvas);
}

QRect OrvoPSFMultiLangString_1_5::calcPaintSize(QPainter &painter, QString &text, int width, int height)
{
    if (width != 0 || height != 0)
        return fixedPaintSize(painter, text, width, height);
    return freePaintSize(painter, text);
}
