#pragma once

#include "env/OrvoEnvInterface.h"

// Linux answers: resources in "Resources" next to the program (or $ORVO_RESOURCE_DIR), data in
// $ORVO_DATA_DIR when set, else the user's data folder plus "/TarvexOrvo".
class OrvoLinuxEnv : public OrvoEnvInterface
{
public:
    OrvoLinuxEnv();

    QString resourceDir() const override;
    QString dataDir() const override;
    QString separator() const override;

private:
    QString m_resourceDir;
};
