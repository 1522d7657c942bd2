#pragma once

#include <QString>

// Where a device operation saves a file that the user names (a language image kept instead of
// written to the device, for example). The tray program asks with a dialog on the GUI thread;
// the daemon, which shows no window, saves into the temporary folder and logs the path.
class OrvoSaveFileChooser
{
public:
    OrvoSaveFileChooser() = default;
    OrvoSaveFileChooser(const OrvoSaveFileChooser &) = delete;
    OrvoSaveFileChooser &operator=(const OrvoSaveFileChooser &) = delete;
    virtual ~OrvoSaveFileChooser() = default;

    // The path to save to; empty when none was chosen. Callable from any thread.
    virtual QString chooseSaveFile(const QString &title, const QString &proposedName, const QString &filter) = 0;

    // The installed chooser; the temporary folder while none is installed.
    static OrvoSaveFileChooser &current();
    // Null returns to the temporary folder. The caller keeps the chooser alive while installed.
    static void install(OrvoSaveFileChooser *chooser);
};
