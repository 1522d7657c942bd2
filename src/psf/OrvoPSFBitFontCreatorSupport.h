#pragma once

#include "psf/OrvoPSFBitFontCreator.h"

// A device client's renderer. It draws on the thread that asks, into an image of its own, so
// a worker never waits for the GUI thread (which may itself be waiting for the worker).
class OrvoPSFBitFontCreatorSupport : public OrvoPSFBitFontCreator
{
public:
    bool createBitfontFor(OrvoPSFMultiLangString_1_5 *target, const QString &text, bool isDesc) override;
};
