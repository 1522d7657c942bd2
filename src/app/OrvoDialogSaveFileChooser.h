#pragma once

#include "device/OrvoSaveFileChooser.h"

#include <QObject>

// The tray program's chooser: a save dialog, always opened on the GUI thread (widgets live
// only there); a worker that asks waits for the answer.
class OrvoDialogSaveFileChooser : public QObject, public OrvoSaveFileChooser
{
    Q_OBJECT

public:
    // Lives on the thread that creates it, which must be the GUI thread.
    explicit OrvoDialogSaveFileChooser(QObject *parent = nullptr);

    QString chooseSaveFile(const QString &title, const QString &proposedName, const QString &filter) override;
};
