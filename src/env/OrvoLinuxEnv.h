#pragma once

#include "env/OrvoEnvInterface.h"

// Linux answers: resources in $ORVO_RESOURCE_DIR when set, else in "Resources" next to the
// program (the build tree) or in the installed share folder beside its bin folder; data in
// $ORVO_DATA_DIR when set, else the user's data folder plus "/TarvexOrvo".
class OrvoLinuxEnv : public OrvoEnvInterface
{
public:
    OrvoLinuxEnv();

    QString resourceDir() const override;
    QString dataDir() const override;
    QString separator() const override;

    // The resource folder of a program in programDir: "Resources" next to it when that exists,
    // else the installed share folder when that exists, else "Resources" (so that messages
    // name the folder a build would have).
    static QString findResourceDir(const QString &programDir);

private:
    QString m_resourceDir;
};
