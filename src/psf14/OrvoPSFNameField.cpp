#include "psf14/OrvoPSFNameField.h"

#include "psf14/OrvoPSFField.h"

#include <QRegularExpression>

const char *const OrvoPSFNameField::kNoName = "no name";

QString OrvoPSFNameField::exportText(const QByteArray &stored, bool isBitFont)
{
    if (isBitFont)
        return QLatin1String(kNoName);
    const qsizetype end = stored.indexOf('\0');
    QString text = QString::fromLatin1(end < 0 ? stored : stored.left(end));
    text.removeIf([](QChar c) { return c.unicode() < 0x20; });
    return text;
}

QByteArray OrvoPSFNameField::stored(const QString &text, bool bitFont)
{
    if (!bitFont)
        return text.toLatin1().left(kSize);
    QByteArray field(kSize, '\0');
    int width = kBitFontWidth;
    int height = kBitFontHeight;
    QByteArray bitmap;
    OrvoPSFField::convertToBitfont(text, width, height, bitmap, kSize);
    field.replace(0, bitmap.size(), bitmap);
    return field;
}

QString OrvoPSFNameField::fileNameStem(const QString &text)
{
    static const QRegularExpression kLeftOut(QStringLiteral("[ /\\\\:]"));
    return QString(text).remove(kLeftOut);
}
