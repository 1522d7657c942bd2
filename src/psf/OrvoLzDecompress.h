#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Decompresses the escape-byte LZ stream of a stored glyph image. The first source byte is the
// escape byte E; every other byte is a literal, except E followed by 0 (a literal E) and E
// followed by two variable-length numbers, a length L and a distance D (7 bits a byte, most
// significant group first, bit 7 set on every byte but the last), which repeat L bytes from D
// bytes back in the output, overlapping copies included.
//
// The stream comes from device bytes: every read is bounded by the source and every write by
// capacity. A malformed stream (an escape without its numbers, a distance of 0 or beyond the
// output, output beyond capacity) answers false with a warning and leaves destination empty.
bool lzDecompress(QByteArrayView source, QByteArray &destination, qsizetype capacity);
