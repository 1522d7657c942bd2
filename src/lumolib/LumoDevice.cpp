#include "lumolib/LumoDevice.h"

#include "lumolib/LumoIniFile.h"
#include "lumolib/LumoLogging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace {

const QString kActivityFolder = QStringLiteral("Activity");
const QString kWorkoutFolder = QStringLiteral("Workout");
const QString kProfileFile = QStringLiteral("System/profile.ini");
const QString kEmulatorFile = QStringLiteral("emu.ini");
const QString kGeneral = QStringLiteral("General");
const QString kEmulatorSection = QStringLiteral("EMU");
const QString kUpdateProfileKey = QStringLiteral("UpdateProfile");
const QString kCapabilityKey = QStringLiteral("Capability");
constexpr quint8 kDefaultUpdateProfileAnswer = 1;

// A bare file name: no separator of either kind, not "." or "..".
bool isBareName(const QByteArray &name)
{
    return !name.isEmpty() && name != "." && name != ".." && !name.contains('/') && !name.contains('\\');
}

// The second byte of a type folder named "<b0>_<b1>_<b2>"; -1 for any other name.
int secondTypeByte(const QString &folderName)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,3})_(\\d{1,3})_(\\d{1,3})$"));
    const QRegularExpressionMatch match = pattern.match(folderName);
    if (!match.hasMatch())
        return -1;
    for (int i = 1; i <= 3; ++i) {
        if (match.captured(i).toInt() > 255)
            return -1;
    }
    return match.captured(2).toInt();
}

} // namespace

bool LumoDevice::setSeparator(const QByteArray &separator)
{
    if (separator != "/" && separator != "\\")
        return false;
    m_separator = separator.at(0);
    return true;
}

QStringList LumoDevice::sortedFiles(const QString &folder, Listing listing)
{
    if (listing == Listing::Kept && folder == m_listedFolder)
        return m_listedNames;
    m_listedNames = QDir(folder).entryList(QDir::Files, QDir::Unsorted);
    std::sort(m_listedNames.begin(), m_listedNames.end());
    m_listedFolder = folder;
    return m_listedNames;
}

bool LumoDevice::setHome(const QByteArray &home)
{
    const QString folder = localPath(home);
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        m_listedFolder.clear();
        m_home.clear();
        return false;
    }
    // Callers set the home before every call: the same home keeps the listing a count made,
    // or naming every file of a folder would list it once per file.
    const QString absolute = QDir(folder).absolutePath();
    if (absolute != m_home)
        m_listedFolder.clear();
    m_home = absolute;
    return true;
}

QString LumoDevice::localPath(const QByteArray &path) const
{
    QByteArray local = path;
    if (m_separator != '/')
        local.replace(m_separator, '/');
    return QFile::decodeName(local);
}

std::optional<QStringList> LumoDevice::activityNames(Listing listing)
{
    if (m_home.isEmpty())
        return std::nullopt;
    return sortedFiles(m_home + QLatin1Char('/') + kActivityFolder, listing);
}

std::optional<QStringList> LumoDevice::workoutNames(const LumoWorkoutType &type, Listing listing)
{
    if (m_home.isEmpty())
        return std::nullopt;
    return sortedFiles(workoutFolder(type), listing);
}

bool LumoDevice::readActivity(const QByteArray &name, qint64 offset, qint64 size, QByteArray &bytes) const
{
    if (m_home.isEmpty() || !isBareName(name))
        return false;
    QFile file(m_home + QLatin1Char('/') + kActivityFolder + QLatin1Char('/') + QFile::decodeName(name));
    if (!file.open(QIODevice::ReadOnly) || !file.seek(offset))
        return false;
    bytes = file.read(size);
    if (bytes.size() != size) {
        qCWarning(lcLumo) << file.fileName() << "ends before" << offset + size << "bytes";
        return false;
    }
    return true;
}

bool LumoDevice::readWorkout(const QByteArray &name, const LumoWorkoutType &type, LumoWorkoutFile &workout) const
{
    if (m_home.isEmpty() || !isBareName(name))
        return false;
    QFile file(workoutFolder(type) + QLatin1Char('/') + QFile::decodeName(name));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    if (file.size() > LumoWorkoutFile::kMaxFileSize) {
        qCWarning(lcLumo) << file.fileName() << "has" << file.size() << "bytes, more than"
                          << LumoWorkoutFile::kMaxFileSize;
        return false;
    }
    return workout.parse(file.readAll(), file.fileName());
}

int LumoDevice::deleteFile(int kind, const QByteArray &name)
{
    if (m_home.isEmpty() || !isBareName(name))
        return 0;
    m_listedFolder.clear();
    QStringList folders;
    if (kind == LUMO_DELETE_ACTIVITY)
        folders << m_home + QLatin1Char('/') + kActivityFolder;
    else
        folders = workoutFolders(kind);
    int deleted = 0;
    for (const QString &folder : std::as_const(folders)) {
        if (QFile::remove(folder + QLatin1Char('/') + QFile::decodeName(name)))
            ++deleted;
    }
    return deleted;
}

QString LumoDevice::workoutFolder(const LumoWorkoutType &type) const
{
    return QStringLiteral("%1/%2/%3_%4_%5").arg(m_home, kWorkoutFolder).arg(type.byte0).arg(type.byte1).arg(type.byte2);
}

// The type folders a workout delete of this kind reaches; none for an unknown kind.
QStringList LumoDevice::workoutFolders(int kind) const
{
    int wanted = -1;
    if (kind == LUMO_DELETE_WORKOUT_TYPE_5)
        wanted = 5;
    else if (kind == LUMO_DELETE_WORKOUT_TYPE_6)
        wanted = 6;
    else if (kind != LUMO_DELETE_WORKOUT)
        return {};
    const QDir workouts(m_home + QLatin1Char('/') + kWorkoutFolder);
    QStringList folders;
    for (const QString &entry : workouts.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const int second = secondTypeByte(entry);
        if (second >= 0 && (wanted < 0 || second == wanted))
            folders << workouts.filePath(entry);
    }
    return folders;
}

bool LumoDevice::exportProfile(const QString &deviceFolder, const QString &iniPath)
{
    LumoIniFile profile;
    if (!profile.read(deviceFolder + QLatin1Char('/') + kProfileFile))
        return false;
    LumoIniFile exported;
    for (const auto &[key, value] : profile.entries(kGeneral))
        exported.setValue(kGeneral, key, value);
    return exported.write(iniPath);
}

bool LumoDevice::importProfile(const QString &deviceFolder, const QString &iniPath)
{
    const QString profilePath = deviceFolder + QLatin1Char('/') + kProfileFile;
    LumoIniFile incoming;
    LumoIniFile profile;
    if (!incoming.read(iniPath) || !QFileInfo(deviceFolder).isDir())
        return false;
    // A device without a profile yet gets one.
    if (QFileInfo::exists(profilePath) && !profile.read(profilePath))
        return false;
    // One level only: mkdir makes no parents, so a device folder that went since the check
    // above is not made anew.
    const QString profileFolder = QFileInfo(profilePath).path();
    if (!QFileInfo(profileFolder).isDir() && !QDir().mkdir(profileFolder))
        return false;
    for (const auto &[key, value] : incoming.entries(kGeneral))
        profile.setValue(kGeneral, key, value);
    return profile.write(profilePath);
}

quint8 LumoDevice::updateProfileAnswer(const QString &deviceFolder)
{
    LumoIniFile emulator;
    if (!emulator.read(deviceFolder + QLatin1Char('/') + kEmulatorFile))
        return kDefaultUpdateProfileAnswer;
    bool ok = false;
    const uint answer = emulator.value(kEmulatorSection, kUpdateProfileKey).toUInt(&ok);
    return ok && answer <= 255 ? quint8(answer) : kDefaultUpdateProfileAnswer;
}

std::optional<QByteArray> LumoDevice::capability() const
{
    LumoIniFile emulator;
    if (m_home.isEmpty() || !emulator.read(m_home + QLatin1Char('/') + kEmulatorFile))
        return std::nullopt;
    const QString text = emulator.value(kEmulatorSection, kCapabilityKey);
    if (text.isEmpty())
        return std::nullopt;
    return text.toLatin1();
}
