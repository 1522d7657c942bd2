#include "app/OrvoMessageBoxNotice.h"

#include <QMessageBox>

void OrvoMessageBoxNotice::showFailure(const QString &title, const QString &text)
{
    QMessageBox::warning(nullptr, title, text);
}
