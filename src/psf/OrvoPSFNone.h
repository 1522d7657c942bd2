#pragma once

#include <QtGlobal>

// An erased flash word. Both generations store it where a link, a section address, a count or
// a time is absent.
inline constexpr quint32 kOrvoPsfNone = 0xFFFFFFFF;
