#include "devices/gal/OrvoGalLibrary.h"

#include "devices/gal/OrvoGalLogging.h"
#include "env/OrvoFunctionTrace.h"
#include "lumolib/LumoLib.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>

#include <array>
#include <cstring>

namespace {

static_assert(OrvoGalLibrary::kPathBufferSize == LUMO_PATH_SIZE);
static_assert(OrvoGalLibrary::kListedNameBufferSize == LUMO_LISTED_NAME_SIZE);
static_assert(OrvoGalLibrary::kLanguageBufferSize == LUMO_LANGUAGE_SIZE);
static_assert(OrvoGalLibrary::kActivityHeaderSize == LUMO_ACTIVITY_HEADER_SIZE);
static_assert(OrvoGalLibrary::kSummaryLapSize == LUMO_SUMMARY_LAP_SIZE);
static_assert(OrvoGalLibrary::kTemplateSize == LUMO_TEMPLATE_SIZE);
static_assert(OrvoGalLibrary::kWorkoutNameBufferSize == LUMO_WORKOUT_NAME_SIZE);

// Around every home-then-call sequence, in every thread of the process.
QMutex g_libraryLock;

template<std::size_t Size>
using TextBuffer = std::array<char, Size>;

// The text and its NUL in the buffer; false, and a log line, when it does not fit.
template<std::size_t Size>
bool fill(TextBuffer<Size> &buffer, const QByteArray &text, const char *what)
{
    if (text.size() >= qsizetype(Size) || text.contains('\0')) {
        ORVO_TRACE_WARNING(lcOrvoGal, "OrvoGalLibrary")
            << what << "does not fit the library's" << Size << "bytes:" << text;
        return false;
    }
    std::memcpy(buffer.data(), text.constData(), size_t(text.size()) + 1);
    return true;
}

template<std::size_t Size>
bool fillPath(TextBuffer<Size> &buffer, const QString &path, const char *what)
{
    return fill(buffer, QFile::encodeName(path), what);
}

// The device root with its trailing separator, as the library takes its home.
QString homeOf(const QString &root)
{
    return root.endsWith(QDir::separator()) ? root : root + QDir::separator();
}

// Points the library at the device; call with g_libraryLock held.
bool setHome(const QString &root)
{
    if (root.isEmpty()) {
        ORVO_TRACE_WARNING(lcOrvoGal, "OrvoGalLibrary") << "no device root for the library";
        return false;
    }
    TextBuffer<LUMO_PATH_SIZE> home{};
    if (!fillPath(home, homeOf(root), "device root"))
        return false;
    const char separator[] = {QDir::separator().toLatin1(), '\0'};
    SetPathDirect(separator);
    return SetHomePath(home.data()) != 0;
}

LumoWorkoutType libraryType(OrvoGalLibrary::WorkoutType type)
{
    return LumoWorkoutType{type.byte0, type.byte1, type.byte2};
}

QString listedName(const TextBuffer<LUMO_LISTED_NAME_SIZE> &buffer)
{
    return QFile::decodeName(QByteArray(buffer.data(), qsizetype(::strnlen(buffer.data(), buffer.size()))));
}

template<class Call>
bool readPart(const QString &root, const QString &name, qsizetype size, QByteArray &bytes, Call call)
{
    QMutexLocker locker(&g_libraryLock);
    TextBuffer<LUMO_PATH_SIZE> file{};
    if (!setHome(root) || !fillPath(file, name, "file name"))
        return false;
    QByteArray buffer(size, '\0');
    if (call(file.data(), reinterpret_cast<unsigned char *>(buffer.data()), int(size)) == 0)
        return false;
    bytes = buffer;
    return true;
}

template<class Call>
bool profileCall(const QString &root, const QString &ini, Call call)
{
    QMutexLocker locker(&g_libraryLock);
    TextBuffer<LUMO_PATH_SIZE> home{};
    TextBuffer<LUMO_PATH_SIZE> path{};
    return fillPath(home, homeOf(root), "device root") && fillPath(path, ini, "profile file") &&
           call(home.data(), path.data()) != 0;
}

template<class Call>
void modelCall(const QByteArray &text, Call call)
{
    QMutexLocker locker(&g_libraryLock);
    TextBuffer<LUMO_PATH_SIZE> buffer{};
    if (fill(buffer, text, "model text"))
        call(buffer.data());
}

} // namespace

bool OrvoGalLibrary::activityCount(const QString &root, quint32 &count)
{
    QMutexLocker locker(&g_libraryLock);
    unsigned int amount = 0;
    if (!setHome(root) || GetActivityfileamount(&amount) == 0)
        return false;
    count = amount;
    return true;
}

bool OrvoGalLibrary::activityFileName(const QString &root, quint32 index, QString &name)
{
    QMutexLocker locker(&g_libraryLock);
    TextBuffer<LUMO_LISTED_NAME_SIZE> buffer{};
    if (!setHome(root) || GetActivityfileName(index, buffer.data()) == 0)
        return false;
    name = listedName(buffer);
    return true;
}

bool OrvoGalLibrary::activityContent(const QString &root, const QString &name, QByteArray &header)
{
    return readPart(root, name, kActivityHeaderSize, header, GetActivityContent);
}

bool OrvoGalLibrary::summaryLapContent(const QString &root, const QString &name, QByteArray &lap)
{
    return readPart(root, name, kSummaryLapSize, lap, GetSummaryLapContent);
}

bool OrvoGalLibrary::workoutCount(const QString &root, WorkoutType type, quint32 &count)
{
    QMutexLocker locker(&g_libraryLock);
    unsigned int amount = 0;
    if (!setHome(root) || GetWKTFileamount(&amount, libraryType(type)) == 0)
        return false;
    count = amount;
    return true;
}

bool OrvoGalLibrary::workoutFileName(const QString &root, quint32 index, WorkoutType type, QString &name)
{
    QMutexLocker locker(&g_libraryLock);
    TextBuffer<LUMO_LISTED_NAME_SIZE> buffer{};
    if (!setHome(root) || GetWKTFileName(index, buffer.data(), libraryType(type)) == 0)
        return false;
    name = listedName(buffer);
    return true;
}

bool OrvoGalLibrary::readTemplate(const QString &root, const QString &name, WorkoutType type,
                                  QByteArray &workoutTemplate)
{
    return readPart(root, name, kTemplateSize, workoutTemplate,
                    [type](const char *file, unsigned char *buffer, int size) {
                        return ReadTemplateWKT(file, libraryType(type), buffer, size);
                    });
}

bool OrvoGalLibrary::readWorkoutName(const QString &root, const QString &name, WorkoutType type,
                                     const QString &language, QByteArray &record)
{
    QMutexLocker locker(&g_libraryLock);
    TextBuffer<LUMO_PATH_SIZE> file{};
    TextBuffer<LUMO_LANGUAGE_SIZE> code{};
    if (!setHome(root) || !fillPath(file, name, "file name") || !fill(code, language.toLatin1(), "language code"))
        return false;
    QByteArray buffer(kWorkoutNameBufferSize, '\0');
    int length = int(kWorkoutNameBufferSize);
    if (ReadWKTName(file.data(), libraryType(type), reinterpret_cast<unsigned char *>(buffer.data()), &length,
                    code.data()) == 0)
        return false;
    if (length < 0 || length > kWorkoutNameBufferSize) {
        ORVO_TRACE_WARNING(lcOrvoGal, "OrvoGalLibrary::readWorkoutName")
            << "library answered" << length << "bytes for a buffer of" << kWorkoutNameBufferSize;
        return false;
    }
    record = buffer.left(length);
    return true;
}

bool OrvoGalLibrary::deleteFile(const QString &root, int kind, const QString &name)
{
    QMutexLocker locker(&g_libraryLock);
    TextBuffer<LUMO_PATH_SIZE> file{};
    return setHome(root) && fillPath(file, name, "file name") && DeleteGALFile(kind, file.data()) != 0;
}

bool OrvoGalLibrary::getProfile(const QString &root, const QString &readIni)
{
    return !root.isEmpty() && profileCall(root, readIni, GetProfile);
}

bool OrvoGalLibrary::refreshProfile(const QString &root, const QString &writeIni)
{
    return !root.isEmpty() && profileCall(root, writeIni, RefreshProfile);
}

quint8 OrvoGalLibrary::updateProfile(const QString &deviceFolder, const QString &mapPath, const QString &binPath)
{
    QMutexLocker locker(&g_libraryLock);
    TextBuffer<LUMO_PATH_SIZE> folder{};
    TextBuffer<LUMO_PATH_SIZE> map{};
    TextBuffer<LUMO_PATH_SIZE> bin{};
    if (!fillPath(folder, deviceFolder, "device folder") || !fillPath(map, mapPath, "profile map") ||
        !fillPath(bin, binPath, "profile image"))
        return 0;
    return UpdateProfile(folder.data(), map.data(), bin.data());
}

bool OrvoGalLibrary::projSwCapability(const QByteArray &model, QString &capability)
{
    QMutexLocker locker(&g_libraryLock);
    TextBuffer<LUMO_PATH_SIZE> name{};
    LumoCapability answer{};
    if (!fill(name, model, "model name") || ProjSwCapability(name.data(), &answer) == 0 || answer.text == nullptr)
        return false;
    capability = QString::fromLatin1(answer.text);
    return true;
}

void OrvoGalLibrary::setModelName(const QByteArray &name)
{
    modelCall(name, SetModelName);
}

void OrvoGalLibrary::setModelImg(const QByteArray &image)
{
    modelCall(image, SetModelIMG);
}

void OrvoGalLibrary::setModelIap(const QByteArray &bootLoader)
{
    modelCall(bootLoader, SetModelIAP);
}
