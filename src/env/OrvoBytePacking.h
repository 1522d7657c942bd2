#pragma once

#include <QByteArray>

#include <initializer_list>
#include <string_view>
#include <variant>

// Packing of little-endian values by a format of the letters B (8 bits), H (16 bits),
// L (32 bits) and f (32-bit float); any other character packs nothing and takes no value.
// Values and targets are typed: B, H and L take integers and 8-, 16- and 32-bit targets,
// f takes a number and a float target.
using OrvoPackValue = std::variant<qint64, double>;
using OrvoUnpackTarget = std::variant<quint8 *, quint16 *, quint32 *, float *>;

// The number of bytes the format packs.
qsizetype packedSize(std::string_view format);

// Writes the values at offset into out, which must already hold the bytes; answers the
// offset behind the last byte written, or -1 (nothing written) when the values do not match
// the format or do not fit.
qsizetype packStruct(QByteArray &out, qsizetype offset, std::string_view format,
                     std::initializer_list<OrvoPackValue> values);

// Reads one value per format letter from offset; answers the offset behind the last byte
// read, or -1 (no target changed) when the targets do not match or the input is too short.
qsizetype unpackStruct(const QByteArray &in, qsizetype offset, std::string_view format,
                       std::initializer_list<OrvoUnpackTarget> targets);

// Stores bits 24-31 through b3 down to bits 0-7 through b0; null pointers are skipped.
void splitU32(quint32 value, quint8 *b3, quint8 *b2, quint8 *b1, quint8 *b0);
