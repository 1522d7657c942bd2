#include "emulator/OrvoEmulatedPlugControl.h"

#include "device/OrvoDeviceWaits.h"
#include "emulator/OrvoEmulatedFolder.h"
#include "emulator/OrvoEmulatedPlatform.h"
#include "emulator/OrvoEmulatorLogging.h"
#include "env/OrvoFunctionTrace.h"

#include <QDir>
#include <QFile>

namespace {

// Only the first line counts; a longer file is no name of ours either.
constexpr qint64 kMaxLineLength = 256;

} // namespace

OrvoEmulatedPlugControl::OrvoEmulatedPlugControl(OrvoEmulatedPlatform &platform, const QString &folder,
                                                 OrvoDeviceWaits &waits, QObject *parent)
    : QObject(parent)
    , m_platform(platform)
    , m_folder(QDir(folder).absolutePath())
    , m_waits(waits)
{
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &OrvoEmulatedPlugControl::refresh);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &OrvoEmulatedPlugControl::refresh);
}

OrvoEmulatedPlugControl::~OrvoEmulatedPlugControl() = default;

bool OrvoEmulatedPlugControl::start()
{
    if (!QDir(m_folder).exists()) {
        ORVO_TRACE_WARNING(lcOrvoEmulator, "OrvoEmulatedPlugControl::start") << "no folder" << m_folder;
        return false;
    }
    m_choice = readChoice();
    if (m_choice.present)
        plugEntry(m_choice.entry);
    else
        plugAll();
    m_watcher.addPath(m_folder);
    watchChoiceFile();
    return true;
}

QStringList OrvoEmulatedPlugControl::pluggedEntries() const
{
    QStringList names;
    names.reserve(m_plugged.size());
    for (const Plugged &plugged : m_plugged)
        names.append(plugged.name);
    return names;
}

void OrvoEmulatedPlugControl::refresh()
{
    // A file replaced by a rename is a new file: its watch went with the old one.
    watchChoiceFile();
    const Choice choice = readChoice();
    if (choice == m_choice)
        return;
    m_choice = choice;
    ORVO_TRACE_DEBUG(lcOrvoEmulator, "OrvoEmulatedPlugControl::refresh")
        << "plugged entry" << (choice.present ? choice.entry : QStringLiteral("(none)"));
    unplugAll();
    if (choice.present)
        plugEntry(choice.entry);
}

OrvoEmulatedPlugControl::Choice OrvoEmulatedPlugControl::readChoice() const
{
    QFile file(QDir(m_folder).filePath(QLatin1String(kPluggedFileName)));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return {true, QString::fromUtf8(file.readLine(kMaxLineLength)).trimmed()};
}

void OrvoEmulatedPlugControl::watchChoiceFile()
{
    const QString path = QDir(m_folder).filePath(QLatin1String(kPluggedFileName));
    if (QFile::exists(path) && !m_watcher.files().contains(path))
        m_watcher.addPath(path);
}

void OrvoEmulatedPlugControl::plugAll()
{
    const OrvoEmulatedFolder folder(m_folder);
    for (const QString &name : folder.driveNames())
        m_plugged.append({name, folder.plugDrive(m_platform, name), nullptr});
    for (const QString &name : folder.flashDeviceNames()) {
        if (auto device = folder.plugFlashDevice(m_platform, name))
            m_plugged.append({name, QString(), device});
    }
}

void OrvoEmulatedPlugControl::plugEntry(const QString &name)
{
    if (name.isEmpty())
        return;
    const OrvoEmulatedFolder folder(m_folder);
    // Only an entry of the folder itself: the name is no path to anywhere else.
    const bool drive = folder.driveNames().contains(name);
    if (!drive && !folder.flashDeviceNames().contains(name)) {
        ORVO_TRACE_WARNING(lcOrvoEmulator, "OrvoEmulatedPlugControl::plugEntry")
            << "nothing plugged:" << name << "is no drive folder or device description of" << m_folder;
        return;
    }
    m_waits.sleep(kHandlingMs);
    if (drive) {
        m_plugged.append({name, folder.plugDrive(m_platform, name), nullptr});
    } else if (auto device = folder.plugFlashDevice(m_platform, name)) {
        m_plugged.append({name, QString(), device});
    }
}

void OrvoEmulatedPlugControl::unplugAll()
{
    if (m_plugged.isEmpty())
        return;
    m_waits.sleep(kHandlingMs);
    while (!m_plugged.isEmpty()) {
        const Plugged plugged = m_plugged.takeLast();
        // A drive that was ejected has left the platform already.
        if (plugged.device)
            m_platform.unplugScsiDevice(plugged.device);
        else
            m_platform.unplugDrive(plugged.drive);
    }
}
