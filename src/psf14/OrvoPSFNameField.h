#pragma once

#include <QByteArray>
#include <QString>

// The 128-byte name field of a PSF 1.4 route, workout or POI. A name is stored in text form
// (its Latin-1 bytes, NUL-padded) or in bit-font form (the name rendered into a 64 × 16 bitmap,
// one bit a pixel, rows most significant bit first), as the record's bit-font mark says.
class OrvoPSFNameField
{
public:
    static constexpr qsizetype kSize = 128;
    static constexpr int kBitFontWidth = 64;
    static constexpr int kBitFontHeight = 16;
    // What a name without text is exported as, and what an unnamed route is rendered as.
    static const char *const kNoName;

    // The text a stored name is exported as: its bytes up to the first NUL as Latin-1, without
    // the control characters that XML cannot carry. A bit-font image holds no text; it is
    // exported as kNoName, never as its bitmap bytes.
    static QString exportText(const QByteArray &stored, bool isBitFont);
    // The bytes a name is stored as: at most kSize Latin-1 bytes in text form; in bit-font form
    // kSize bytes holding the rendered text.
    static QByteArray stored(const QString &text, bool bitFont);
    // A file-name stem of a name: the text without blanks, slashes, backslashes and colons.
    static QString fileNameStem(const QString &text);
};
