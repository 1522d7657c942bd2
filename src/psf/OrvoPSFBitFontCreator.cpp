#include "psf/OrvoPSFBitFontCreator.h"

namespace {

thread_local OrvoPSFBitFontCreator *t_currentCreator = nullptr;

} // namespace

OrvoPSFBitFontCreator::~OrvoPSFBitFontCreator() = default;

void setCurrentBitFontCreator(OrvoPSFBitFontCreator *creator)
{
    t_currentCreator = creator;
}

OrvoPSFBitFontCreator *currentBitFontCreator()
{
    return t_currentCreator;
}
