#pragma once

#include "device/OrvoClient.h"

// The client the scripting side gets while no device is attached: it is not valid, has no
// model name and produces nothing. Everything else is the base's, so its starters run the
// base's worker operations and report like any client's.
class OrvoClientDummy : public OrvoClient
{
    Q_OBJECT

public:
    bool isValid() override;
    bool getName(QString &model) override;
    bool prepareUploadData(QString &path, bool dontCheckUploaded) override;
    QStringList _exportTrack(const QString &folder) override;
};
