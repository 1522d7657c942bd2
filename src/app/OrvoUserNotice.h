#pragma once

#include <QString>

// Tells the user that a command they gave from a window or the tray menu failed. The tray
// program installs message boxes; without one installed the failure reaches only the log, which
// is all a program without windows can do. Tests install a recorder. GUI thread only.
class OrvoUserNotice
{
public:
    OrvoUserNotice() = default;
    OrvoUserNotice(const OrvoUserNotice &) = delete;
    OrvoUserNotice &operator=(const OrvoUserNotice &) = delete;
    virtual ~OrvoUserNotice() = default;

    virtual void showFailure(const QString &title, const QString &text) = 0;

    // Null while none is installed.
    static OrvoUserNotice *installed();
    // Null takes it back. The caller keeps the notice alive while installed.
    static void install(OrvoUserNotice *notice);
};
