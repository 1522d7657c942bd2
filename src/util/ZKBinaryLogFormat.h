#pragma once

#include <QtGlobal>

// Layout of the binary GPS and training logs a ride leaves in its file set: a 52-byte
// little-endian header, then big-endian records up to the end of the file.
inline constexpr qsizetype kZKLogHeaderSize = 52;
inline constexpr qsizetype kZKLogTypeTextSize = 16;
inline constexpr qsizetype kZKLogVersionTextSize = 16;
inline constexpr qsizetype kZKLogCountOffset = 48;
inline constexpr char kZKLogTypeText[] = "gps track";
// The version this program writes: 0.2.1.8. Readers accept any log whose first two bytes are 0.2.
inline constexpr quint8 kZKLogVersion[4] = {0, 2, 1, 8};

inline constexpr qsizetype kZKGpsLogRecordSize = 20;
inline constexpr qsizetype kZKTrainLogRecordSize = 22;
inline constexpr qsizetype kZKTrainLogExtendedRecordSize = 32;

// Values that mean "not recorded".
inline constexpr qint16 kZKEmptyI16 = 0x7FFF;
inline constexpr quint16 kZKEmptyU16 = 0xFFFF;
inline constexpr quint8 kZKEmptyU8 = 0xFF;
inline constexpr qint32 kZKEmptyI32 = 0x7FFFFFFF;

// GPS record type bits.
inline constexpr quint16 kZKGpsTypeMarker = 0xFFFF;
inline constexpr quint16 kZKGpsTypeTrackEnd = 0x40;
inline constexpr quint16 kZKGpsTypePlanned = 0x8000;
// The upper half of a marker's first word (GPS) or of pdm (training) that means a segment break.
inline constexpr quint32 kZKLogSegmentBreak = 0x0001;
// hrm and cad of a training record that is a marker, not a sample.
inline constexpr quint8 kZKTrainMarkerByte = 0xFE;
