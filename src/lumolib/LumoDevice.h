#pragma once

#include "lumolib/LumoLib.h"
#include "lumolib/LumoWorkoutFile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// The device folder the library serves (its layout is in LumoLib.h) and the caller's path
// separator. Not locked itself: the entry points hold the library's lock around every use.
class LumoDevice
{
public:
    static constexpr qint64 kPointsOffset = LUMO_ACTIVITY_HEADER_SIZE + LUMO_SUMMARY_LAP_SIZE;

    // "/" or "\\"; anything else is refused.
    bool setSeparator(const QByteArray &separator);
    // An existing folder, given with the caller's separator; otherwise the home is cleared.
    // The same home again keeps the kept listing.
    bool setHome(const QByteArray &home);
    // A path given with the caller's separator, as a local path.
    QString localPath(const QByteArray &path) const;

    // A count lists the folder afresh; naming a file by its index reads that listing, so that
    // naming every file lists the folder once, not once per file.
    enum class Listing { Fresh, Kept };
    // Null without a home; an empty list when the home has no such folder.
    std::optional<QStringList> activityNames(Listing listing);
    std::optional<QStringList> workoutNames(const LumoWorkoutType &type, Listing listing);
    // size bytes from offset of the activity file; false when the file is shorter.
    bool readActivity(const QByteArray &name, qint64 offset, qint64 size, QByteArray &bytes) const;
    bool readWorkout(const QByteArray &name, const LumoWorkoutType &type, LumoWorkoutFile &workout) const;
    // The number of files deleted.
    int deleteFile(int kind, const QByteArray &name);

    // From the profile of the device folder to the INI file, and back.
    static bool exportProfile(const QString &deviceFolder, const QString &iniPath);
    static bool importProfile(const QString &deviceFolder, const QString &iniPath);
    static quint8 updateProfileAnswer(const QString &deviceFolder);
    // [EMU] Capability of the home's "emu.ini"; null when there is none.
    std::optional<QByteArray> capability() const;

private:
    QString workoutFolder(const LumoWorkoutType &type) const;
    QStringList workoutFolders(int kind) const;
    // The folder's plain files by byte order of their names, the same in every locale.
    QStringList sortedFiles(const QString &folder, Listing listing);

    char m_separator = '/';
    QString m_home;
    // The last folder listed and its files.
    QString m_listedFolder;
    QStringList m_listedNames;
};
