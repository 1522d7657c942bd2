#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QString>
#include <QtGlobal>

// Value functions shared by the PSF 1.4 records, their conversions and the 1.4 device family.

// True when any byte differs from 0xFF; erased flash (all 0xFF) and no bytes at all are absent.
bool isPresent(QByteArrayView bytes);

// A link that ends its chain: 0xFFFFFFFF always, and 0xCDCDCDCD too where the chain says so.
bool isChainEnd(quint32 link, bool cdEndsChain);

// Copies source into destination at offset and answers the offset just behind it, so that
// fields can be laid out one after the other. Answers -1 and writes nothing when the bytes do
// not fit inside destination.
qsizetype copyAdvance(QByteArray &destination, qsizetype offset, QByteArrayView source);

// Number encoders: the fraction is dropped toward zero; values beyond 32 bits are clamped and
// NaN gives 0.
qint32 altitudeCode(double metres);
qint32 toTenths(double value);
qint32 toMicroDegrees(double degrees);

// Texts of stored values.
// The altitude of a base (a stored quarter-metre code when baseIsCode, else metres) plus a
// delta in tenths of a metre, of which only whole metres count; two decimals.
QString altitudeText(int deltaTenths, double base, bool baseIsCode);
// A speed in 1/8 m/s as km/h, two decimals.
QString speedText(int eighthsPerSecond);
// Whole tenths as a number with one decimal (the decimal is always 0).
QString tenthsText(int tenths);
QString doubledText(int value);
// Micro-degrees as degrees with six decimals, exactly; the absent value (all bytes 0xFF) reads
// as 0.
QString coordinateText(qint32 microDegrees);
// A cadence code: for activity type 1 (mode) the code × 60 / 64 with two decimals, for any
// other the code itself.
QString cadenceText(int code, int mode);

// Names of the 3-bit step type of a workout interval: 1 "Warmup" to 7 "Walk", else "Other".
QString stepTypeName(int code);
// The code whose name equals name ignoring case; 0 for any other name, "Other" included.
int stepTypeFromName(const QString &name);

// A stored name image: a raw 1-bit bitmap of width × height (rows of whole bytes, most
// significant bit first) when bit 7 of byte 0 is clear; otherwise a compressed glyph image of
// 16 rows whose width is byte 1 (signed) and whose stream of (byte 0 & 0x7F) bytes starts at
// byte 2, expanded into a work buffer of 2 × bufferUnits bytes. Device bytes are not trusted:
// a stream longer than the stored bytes, a malformed stream, or an image larger than the work
// buffer gives a null image and a warning; a width of 0 or less gives a null image.
QImage decodeBitFontImage(QByteArrayView bytes, qsizetype bufferUnits, int width, int height);
