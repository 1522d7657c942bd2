#pragma once

#include "app/OrvoUserNotice.h"

// The tray program's notice: a warning box without parent, as the tray menu has no window.
class OrvoMessageBoxNotice : public OrvoUserNotice
{
public:
    void showFailure(const QString &title, const QString &text) override;
};
