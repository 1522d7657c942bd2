#pragma once

#include <QString>

// The three questions about the platform that the environment cannot answer itself.
class OrvoEnvInterface
{
public:
    virtual ~OrvoEnvInterface() = default;

    // Folder of the files shipped with the program, fixed when the object is made.
    virtual QString resourceDir() const = 0;
    // Folder of settings, logs and temporary files; ends in "/TarvexOrvo".
    virtual QString dataDir() const = 0;
    virtual QString separator() const = 0;
};
