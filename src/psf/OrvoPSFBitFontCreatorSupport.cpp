#include "psf/OrvoPSFBitFontCreatorSupport.h"

#include "psf/OrvoPSFMultiLangString_1_5.h"

bool OrvoPSFBitFontCreatorSupport::createBitfontFor(OrvoPSFMultiLangString_1_5 *target, const QString &text,
                                                    bool isDesc)
{
    return target && target->createBitfont(text, isDesc);
}
