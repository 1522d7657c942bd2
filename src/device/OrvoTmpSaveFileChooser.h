#pragma once

#include "device/OrvoSaveFileChooser.h"

// The chooser of a program without windows: the proposed name in the temporary folder.
class OrvoTmpSaveFileChooser : public OrvoSaveFileChooser
{
public:
    QString chooseSaveFile(const QString &title, const QString &proposedName, const QString &filter) override;
};
