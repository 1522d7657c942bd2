#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

class OrvoDeviceWaits;
class OrvoEmulatedFlashDevice;
class OrvoEmulatedPlatform;

// Plugs the entries of an emulated devices folder (OrvoEmulatedFolder) at run time, as a person
// swaps devices. The optional file "plugged" in the folder names on its first line the one entry
// that is plugged: a drive folder's name ("KAVEL50") or a flash description's base name
// ("kavel40" for kavel40.scsi). Without the file at start every entry is plugged. Whenever the
// file changes (written, replaced, removed) what was plugged is unplugged and the named entry
// plugged, through the platform's plug and unplug, so the detector sees the events a real
// device gives. GUI thread only.
class OrvoEmulatedPlugControl : public QObject
{
    Q_OBJECT

public:
    static constexpr const char *kPluggedFileName = "plugged";
    // A person takes longer than this from one plug or unplug to the next: longer than the
    // detector's debounce and the device manager's re-plug guard. It passes on the waits, which
    // are a virtual clock under the emulated platform, so a swap takes no real time.
    static constexpr int kHandlingMs = 6000;

    // The platform and the waits must outlive the control.
    OrvoEmulatedPlugControl(OrvoEmulatedPlatform &platform, const QString &folder, OrvoDeviceWaits &waits,
                            QObject *parent = nullptr);
    ~OrvoEmulatedPlugControl() override;

    // Plugs what the folder says and starts following it; false when the folder does not exist.
    bool start();
    // The names of the entries plugged now, in plug order.
    QStringList pluggedEntries() const;

public slots:
    // Reads "plugged" again; when the entry it names changed, swaps the devices.
    void refresh();

private:
    struct Plugged
    {
        QString name;
        QString drive;
        std::shared_ptr<OrvoEmulatedFlashDevice> device;
    };
    // What "plugged" says: whether it is there, and the entry it names.
    struct Choice
    {
        bool present = false;
        QString entry;
        bool operator==(const Choice &other) const = default;
    };

    Choice readChoice() const;
    void watchChoiceFile();
    void plugAll();
    void plugEntry(const QString &name);
    void unplugAll();

    OrvoEmulatedPlatform &m_platform;
    QString m_folder;
    OrvoDeviceWaits &m_waits;
    QFileSystemWatcher m_watcher;
    Choice m_choice;
    QVector<Plugged> m_plugged;
};
