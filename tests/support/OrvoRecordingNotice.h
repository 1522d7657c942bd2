#pragma once

#include "app/OrvoUserNotice.h"

#include <QString>
#include <QStringList>

// Stands for the tray program's message boxes while it lives: what they would show, in order.
class OrvoRecordingNotice : public OrvoUserNotice
{
public:
    OrvoRecordingNotice() { OrvoUserNotice::install(this); }
    ~OrvoRecordingNotice() override { OrvoUserNotice::install(nullptr); }

    void showFailure(const QString &title, const QString &text) override
    {
        shown << title + QStringLiteral(": ") + text;
    }

    QStringList shown;
};
