#pragma once

#include <QString>

// Checks the text of ORVO_PLATFORM before a program starts on it. Usable are an empty text
// (this computer's devices) and "emulator:" followed by a folder that exists; anything else is
// a mistake to be told, never a reason to fall back to the computer's own devices or to serve
// whatever folder the program happened to start in.
class OrvoPlatformSetting
{
public:
    // Why the text cannot be used; empty when it can. A relative folder is taken from the
    // current folder.
    static QString problem(const QString &setting);
};
