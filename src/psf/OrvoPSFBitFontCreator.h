#pragma once

#include <QString>

class OrvoPSFMultiLangString_1_5;

// Renders a text into a string record as a bit-font image.
class OrvoPSFBitFontCreator
{
public:
    virtual ~OrvoPSFBitFontCreator();
    virtual bool createBitfontFor(OrvoPSFMultiLangString_1_5 *target, const QString &text, bool isDesc) = 0;
};

// The creator through which string records render on the calling thread; null (the default)
// lets a record render itself. Each thread has its own, so threads converting at the same time
// never share or clear each other's.
void setCurrentBitFontCreator(OrvoPSFBitFontCreator *creator);
OrvoPSFBitFontCreator *currentBitFontCreator();
