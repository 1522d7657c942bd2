#include "app/OrvoDialogSaveFileChooser.h"

#include <QFileDialog>
#include <QThread>

OrvoDialogSaveFileChooser::OrvoDialogSaveFileChooser(QObject *parent)
    : QObject(parent)
{}

QString OrvoDialogSaveFileChooser::chooseSaveFile(const QString &title, const QString &proposedName,
                                                  const QString &filter)
{
    const auto ask = [&] { return QFileDialog::getSaveFileName(nullptr, title, proposedName, filter); };
    if (QThread::currentThread() == thread())
        return ask();
    QString chosen;
    QMetaObject::invokeMethod(
        this, [&] { chosen = ask(); }, Qt::BlockingQueuedConnection);
    return chosen;
}
