#include "lumolib/LumoLib.h"

#include "lumolib/LumoCallLog.h"
#include "lumolib/LumoDevice.h"

#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>

#include <cstring>

// The C entry points: each checks its buffers, runs under the library's lock and appends
// itself to the call log.

namespace {

QMutex g_lock;
LumoDevice g_device;
// Where ProjSwCapability's answer points until its next call.
QByteArray g_capability;

// The text of a caller's buffer of the given capacity; false without a NUL inside it.
bool textArgument(const char *buffer, qsizetype capacity, QByteArray &text)
{
    if (buffer == nullptr)
        return false;
    const void *end = std::memchr(buffer, '\0', size_t(capacity));
    if (end == nullptr)
        return false;
    text = QByteArray(buffer, static_cast<const char *>(end) - buffer);
    return true;
}

QString typeText(const LumoWorkoutType &type)
{
    return QStringLiteral("%1_%2_%3").arg(type.byte0).arg(type.byte1).arg(type.byte2);
}

template<class Result>
Result logged(const char *function, const QStringList &arguments, Result result)
{
    LumoCallLog::append(function, arguments, qint64(result));
    return result;
}

// Copies a listed name with its NUL into a LUMO_LISTED_NAME_SIZE buffer; false when it does
// not fit.
bool copyListedName(const QString &listed, char *name)
{
    const QByteArray bytes = QFile::encodeName(listed);
    if (bytes.size() >= LUMO_LISTED_NAME_SIZE)
        return false;
    std::memcpy(name, bytes.constData(), size_t(bytes.size()) + 1);
    return true;
}

int listedName(const std::optional<QStringList> &names, unsigned int index, char *name)
{
    if (!names || name == nullptr || index == 0 || index > unsigned(names->size()))
        return 0;
    return copyListedName(names->at(qsizetype(index) - 1), name) ? 1 : 0;
}

int activityPart(const char *function, const char *name, unsigned char *buffer, int size, qint64 offset, qint64 length)
{
    QMutexLocker locker(&g_lock);
    QByteArray file;
    QByteArray bytes;
    const bool done = textArgument(name, LUMO_PATH_SIZE, file) && buffer != nullptr && size >= length &&
                      g_device.readActivity(file, offset, length, bytes);
    if (done)
        std::memcpy(buffer, bytes.constData(), size_t(bytes.size()));
    return logged(function, {QString::fromLatin1(file)}, done ? 1 : 0);
}

} // namespace

int SetPathDirect(const char *separator)
{
    QMutexLocker locker(&g_lock);
    QByteArray text;
    const bool done = textArgument(separator, LUMO_PATH_SIZE, text) && g_device.setSeparator(text);
    return logged("SetPathDirect", {QString::fromLatin1(text)}, done ? 1 : 0);
}

int SetHomePath(const char *home)
{
    QMutexLocker locker(&g_lock);
    QByteArray text;
    // A refused home leaves none, so the previous device is not served in its place.
    if (!textArgument(home, LUMO_PATH_SIZE, text))
        text.clear();
    const bool done = g_device.setHome(text);
    return logged("SetHomePath", {QFile::decodeName(text)}, done ? 1 : 0);
}

int GetActivityfileamount(unsigned int *count)
{
    QMutexLocker locker(&g_lock);
    const std::optional<QStringList> names = g_device.activityNames(LumoDevice::Listing::Fresh);
    if (!names || count == nullptr)
        return logged("GetActivityfileamount", {}, 0);
    *count = unsigned(names->size());
    return logged("GetActivityfileamount", {QString::number(*count)}, 1);
}

int GetActivityfileName(unsigned int index, char *name)
{
    QMutexLocker locker(&g_lock);
    return logged("GetActivityfileName", {QString::number(index)},
                  listedName(g_device.activityNames(LumoDevice::Listing::Kept), index, name));
}

int GetActivityContent(const char *name, unsigned char *buffer, int size)
{
    return activityPart("GetActivityContent", name, buffer, size, 0, LUMO_ACTIVITY_HEADER_SIZE);
}

int GetSummaryLapContent(const char *name, unsigned char *buffer, int size)
{
    return activityPart("GetSummaryLapContent", name, buffer, size, LUMO_ACTIVITY_HEADER_SIZE, LUMO_SUMMARY_LAP_SIZE);
}

int GetWKTFileamount(unsigned int *count, LumoWorkoutType type)
{
    QMutexLocker locker(&g_lock);
    const std::optional<QStringList> names = g_device.workoutNames(type, LumoDevice::Listing::Fresh);
    if (!names || count == nullptr)
        return logged("GetWKTFileamount", {typeText(type)}, 0);
    *count = unsigned(names->size());
    return logged("GetWKTFileamount", {typeText(type), QString::number(*count)}, 1);
}

int GetWKTFileName(unsigned int index, char *name, LumoWorkoutType type)
{
    QMutexLocker locker(&g_lock);
    return logged("GetWKTFileName", {QString::number(index), typeText(type)},
                  listedName(g_device.workoutNames(type, LumoDevice::Listing::Kept), index, name));
}

int ReadTemplateWKT(const char *name, LumoWorkoutType type, unsigned char *buffer, int size)
{
    QMutexLocker locker(&g_lock);
    QByteArray file;
    LumoWorkoutFile workout;
    const bool done = textArgument(name, LUMO_PATH_SIZE, file) && buffer != nullptr && size >= LUMO_TEMPLATE_SIZE &&
                      g_device.readWorkout(file, type, workout);
    if (done) {
        const QByteArray bytes = workout.templateBytes();
        std::memcpy(buffer, bytes.constData(), size_t(bytes.size()));
    }
    return logged("ReadTemplateWKT", {QString::fromLatin1(file), typeText(type)}, done ? 1 : 0);
}

int ReadWKTName(const char *name, LumoWorkoutType type, unsigned char *buffer, int *length, const char *language)
{
    QMutexLocker locker(&g_lock);
    QByteArray file;
    QByteArray code;
    LumoWorkoutFile workout;
    QByteArray record;
    if (textArgument(name, LUMO_PATH_SIZE, file) && textArgument(language, LUMO_LANGUAGE_SIZE, code) &&
        buffer != nullptr && length != nullptr && g_device.readWorkout(file, type, workout))
        record = workout.nameRecord(code);
    const bool done = !record.isEmpty() && record.size() <= *length;
    if (done) {
        std::memcpy(buffer, record.constData(), size_t(record.size()));
        *length = int(record.size());
    }
    return logged("ReadWKTName", {QString::fromLatin1(file), typeText(type), QString::fromLatin1(code)}, done ? 1 : 0);
}

int DeleteGALFile(int kind, const char *name)
{
    QMutexLocker locker(&g_lock);
    QByteArray file;
    const int deleted = textArgument(name, LUMO_PATH_SIZE, file) ? g_device.deleteFile(kind, file) : 0;
    return logged("DeleteGALFile", {QString::number(kind), QString::fromLatin1(file)}, deleted > 0 ? 1 : 0);
}

int GetProfile(const char *home, const char *iniPath)
{
    QMutexLocker locker(&g_lock);
    QByteArray folder;
    QByteArray ini;
    const bool done = textArgument(home, LUMO_PATH_SIZE, folder) && textArgument(iniPath, LUMO_PATH_SIZE, ini) &&
                      LumoDevice::exportProfile(g_device.localPath(folder), g_device.localPath(ini));
    return logged("GetProfile", {g_device.localPath(folder), g_device.localPath(ini)}, done ? 1 : 0);
}

int RefreshProfile(const char *home, const char *iniPath)
{
    QMutexLocker locker(&g_lock);
    QByteArray folder;
    QByteArray ini;
    const bool done = textArgument(home, LUMO_PATH_SIZE, folder) && textArgument(iniPath, LUMO_PATH_SIZE, ini) &&
                      LumoDevice::importProfile(g_device.localPath(folder), g_device.localPath(ini));
    return logged("RefreshProfile", {g_device.localPath(folder), g_device.localPath(ini)}, done ? 1 : 0);
}

unsigned char UpdateProfile(const char *deviceFolder, const char *mapPath, const char *binPath)
{
    QMutexLocker locker(&g_lock);
    QByteArray folder;
    QByteArray map;
    QByteArray bin;
    quint8 answer = 0;
    if (textArgument(deviceFolder, LUMO_PATH_SIZE, folder) && textArgument(mapPath, LUMO_PATH_SIZE, map) &&
        textArgument(binPath, LUMO_PATH_SIZE, bin) && QFileInfo(g_device.localPath(folder)).isDir() &&
        QFileInfo(g_device.localPath(map)).isFile() && QFileInfo(g_device.localPath(bin)).isFile())
        answer = LumoDevice::updateProfileAnswer(g_device.localPath(folder));
    return logged("UpdateProfile", {g_device.localPath(folder), g_device.localPath(map), g_device.localPath(bin)},
                  answer);
}

int ProjSwCapability(const char *model, LumoCapability *answer)
{
    QMutexLocker locker(&g_lock);
    QByteArray name;
    const std::optional<QByteArray> text = g_device.capability();
    const bool done = textArgument(model, LUMO_PATH_SIZE, name) && answer != nullptr && text.has_value();
    if (done) {
        g_capability = *text;
        *answer = LumoCapability{0, 0, 0, g_capability.constData()};
    }
    return logged("ProjSwCapability", {QString::fromLatin1(name)}, done ? 1 : 0);
}

int SetModelName(const char *name)
{
    QMutexLocker locker(&g_lock);
    QByteArray text;
    const bool done = textArgument(name, LUMO_PATH_SIZE, text);
    return logged("SetModelName", {QString::fromLatin1(text)}, done ? 1 : 0);
}

int SetModelIMG(const char *image)
{
    QMutexLocker locker(&g_lock);
    QByteArray text;
    const bool done = textArgument(image, LUMO_PATH_SIZE, text);
    return logged("SetModelIMG", {QString::fromLatin1(text)}, done ? 1 : 0);
}

int SetModelIAP(const char *bootLoader)
{
    QMutexLocker locker(&g_lock);
    QByteArray text;
    const bool done = textArgument(bootLoader, LUMO_PATH_SIZE, text);
    return logged("SetModelIAP", {QString::fromLatin1(text)}, done ? 1 : 0);
}
