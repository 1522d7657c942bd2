#pragma once

#include <QString>

// What a device class knows about a firmware image file: its name and size, where its parts
// go in the external flash, and the versions it carries. Empty until a device class fills it.
// A start address that no release file gave stays 0 and is marked unknown: nothing may be
// written at it.
struct OrvoImageMetaInfo
{
    QString imageName;
    int imageSize = 0;
    int extFlashImageStart = 0;
    int extFlashLanguageStart = 0;
    QString languageVersion;
    QString osVersion;
    QString bootLoaderVersion;
    bool extFlashImageStartKnown = false;
    bool extFlashLanguageStartKnown = false;
};
