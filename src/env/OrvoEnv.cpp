#include "env/OrvoEnv.h"

#include "env/OrvoEnvInterface.h"
#include "env/OrvoEnvLogging.h"
#include "env/OrvoFunctionTrace.h"
#include "env/OrvoLinuxEnv.h"
#include "env/OrvoMessageHandler.h"
#include "env/OrvoSaveFile.h"
#include "env/OrvoSettingsKeys.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QStringList>
#include <QTemporaryFile>
#include <QTextStream>
#include <QThread>

#include <sys/stat.h>

namespace {

// Group and others get nothing of what the process makes.
constexpr mode_t kPrivateUmask = 0077;

// The data folder and the files in it from before (a release that left them readable to all).
void makePrivate(const QString &folder)
{
    const QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                               QFileDevice::ExeOwner | QFileDevice::ReadUser | QFileDevice::WriteUser |
                                               QFileDevice::ExeUser;
    if (!QFile::setPermissions(folder, ownerOnly))
        ORVO_TRACE_WARNING(lcOrvoEnv, "OrvoEnv::init") << "data folder not made private:" << folder;
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo &entry : entries) {
        if (!entry.isSymLink())
            QFile::setPermissions(entry.filePath(), entry.permissions() & ownerOnly);
    }
}

const QString kAppName = QStringLiteral("TarvexOrvo");
const QString kVersion = QStringLiteral("2.8.0.20");
const QString kBuild = QStringLiteral("25");
const QString kRoleUser = QStringLiteral("user");

std::unique_ptr<OrvoEnv> g_envHolder;

QMutex g_hookMutex;
OrvoEnv::VersionCheckHook g_versionCheckHook;

QString settingsKey(const QString &group, const QString &key)
{
    return group + QLatin1Char('/') + key;
}

// QSettings reads an unquoted value with commas as a list; the settings are texts.
QString settingText(const QVariant &value)
{
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

QString readIniValue(const QString &path, const QString &group, const QString &key, const QString &defaultValue)
{
    QSettings settings(path, QSettings::IniFormat);
    return settingText(settings.value(settingsKey(group, key), defaultValue));
}

void writeIniValue(const QString &path, const QString &group, const QString &key, const QString &value)
{
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue(settingsKey(group, key), value);
    settings.sync();
}

// The shipped settings with the program's version stamped in. The stamp is written through a
// settings object on a file of a new name, so that nothing Qt has cached of the user's file
// can leak into the result.
bool stampedSettings(const QByteArray &shipped, const QString &folder, QByteArray &stamped)
{
    QTemporaryFile scratch(folder + QStringLiteral("/stamp-XXXXXX.ini"));
    if (!scratch.open() || scratch.write(shipped) != shipped.size() || !scratch.flush())
        return false;
    scratch.close();
    writeIniValue(scratch.fileName(), kAppName, QLatin1String(OrvoSettingsKeys::kVersion.name), kVersion);
    // The settings object replaced the file under its name; read it back by that name.
    QFile written(scratch.fileName());
    if (!written.open(QIODevice::ReadOnly))
        return false;
    stamped = written.readAll();
    return true;
}

// Qt keeps parsed settings files and reads one again only when its size or modification time
// changed; a replacement of the same size written within the same clock tick must still be seen.
void markReplaced(const QString &path, const QDateTime &previousModification)
{
    QFile file(path);
    if (previousModification.isValid() && QFileInfo(path).lastModified() == previousModification &&
        file.open(QIODevice::ReadWrite))
        file.setFileTime(previousModification.addSecs(1), QFileDevice::FileModificationTime);
}

// Writes the whole of the stamped shipped file into target, or leaves target as it was.
bool installShippedFile(const QString &source, const QString &target, const QString &folder)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        ORVO_TRACE_CRITICAL(lcOrvoEnv, "OrvoEnv::copyNewIni") << "open new settings file failed" << source;
        return false;
    }
    QByteArray bytes;
    const QFileInfo before(target);
    const QDateTime previousModification = before.exists() ? before.lastModified() : QDateTime();
    QSaveFile out(target);
    if (!stampedSettings(in.readAll(), folder, bytes) || !out.open(QIODevice::WriteOnly) ||
        out.write(bytes) != bytes.size() || !commitSaveFile(out)) {
        ORVO_TRACE_CRITICAL(lcOrvoEnv, "OrvoEnv::copyNewIni") << "open current settings file failed" << target;
        return false;
    }
    markReplaced(target, previousModification);
    return true;
}

// The user's settings file about to be replaced, kept whole beside it as "<name>.old", so that a
// hand-set value (a "listen_port", say) can be found again after an update. False, with the
// user's file left in place, when the copy could not be made.
bool keepReplacedFile(const QString &user)
{
    const QString kept = user + QStringLiteral(".old");
    QFile in(user);
    QString error;
    if (!in.open(QIODevice::ReadOnly)) {
        error = in.errorString();
    } else if (saveFileBytes(kept, in.readAll(), error)) {
        ORVO_TRACE_WARNING(lcOrvoEnv, "OrvoEnv::copyNewIni") << "the replaced settings file is kept as" << kept;
        return true;
    }
    ORVO_TRACE_CRITICAL(lcOrvoEnv, "OrvoEnv::copyNewIni")
        << "settings file not replaced: it could not be kept as" << kept << error;
    return false;
}

} // namespace

OrvoEnv::OrvoEnv() = default;

OrvoEnv::~OrvoEnv()
{
    // Static teardown may run this after Qt's own globals are gone: stop logging first and
    // write nothing, so that no message reaches the handler (and the settings file) from here.
    restoreOrvoMessageHandler(this);
    closeLogFile();
}

OrvoEnv *OrvoEnv::instance()
{
    if (!g_envHolder)
        g_envHolder = std::make_unique<OrvoEnv>();
    return g_envHolder.get();
}

void OrvoEnv::init(const QString &role, const QString &logFileName, std::unique_ptr<OrvoEnvInterface> platformEnv)
{
    installOrvoMessageHandler(this);
    m_role = role;
    m_mainThreadId = QThread::currentThreadId();
    m_platformEnv = platformEnv ? std::move(platformEnv) : std::make_unique<OrvoLinuxEnv>();
    m_deviceReady = true;
    {
        QMutexLocker lock(&m_folderMutex);
        m_startFolder = QDir::currentPath();
    }
    ::umask(userUmask() | kPrivateUmask);
    setUserFolder(m_platformEnv->dataDir());
    makePrivate(userFolder());
    openLogFile(logFileName);
}

mode_t OrvoEnv::userUmask()
{
    // Read once, before the first init tightens it; umask has no call that only reads.
    static const mode_t startUmask = [] {
        const mode_t mask = ::umask(kPrivateUmask);
        ::umask(mask);
        return mask;
    }();
    return startUmask;
}

void OrvoEnv::shutdown()
{
    if (m_logFile.isOpen()) {
        ORVO_TRACE_DEBUG(lcOrvoEnv, "OrvoEnv::~OrvoEnv") << "OrvoEnv destructor";
        restoreOrvoMessageHandler(this);
    }
    closeLogFile();
}

QString OrvoEnv::role() const
{
    return m_role;
}

QString OrvoEnv::appName()
{
    return kAppName;
}

QString OrvoEnv::version()
{
    return kVersion;
}

QString OrvoEnv::build()
{
    return kBuild;
}

bool OrvoEnv::isMainThread() const
{
    return QThread::currentThreadId() == m_mainThreadId;
}

QString OrvoEnv::userFolder() const
{
    QMutexLocker lock(&m_folderMutex);
    return m_userFolder;
}

void OrvoEnv::setUserFolder(const QString &folder)
{
    QMutexLocker lock(&m_folderMutex);
    m_userFolder = folder;
    QDir().mkpath(folder);
}

QString OrvoEnv::startFolder() const
{
    QMutexLocker lock(&m_folderMutex);
    return m_startFolder;
}

QString OrvoEnv::resourceDir() const
{
    return m_platformEnv ? m_platformEnv->resourceDir() : QString();
}

QString OrvoEnv::resourcePath(const QString &name) const
{
    return resourceDir() + QLatin1Char('/') + name;
}

QString OrvoEnv::separator() const
{
    return m_platformEnv ? m_platformEnv->separator() : QStringLiteral("/");
}

QString OrvoEnv::iniFileName() const
{
    return m_role == kRoleUser ? QStringLiteral("orvouser.ini") : QStringLiteral("orvo.ini");
}

QString OrvoEnv::iniFilePath() const
{
    return userFolder() + QLatin1Char('/') + iniFileName();
}

QString OrvoEnv::getValue(const QString &key, const QString &defaultValue) const
{
    return getGroupValue(kAppName, key, defaultValue);
}

void OrvoEnv::setValue(const QString &key, const QString &value)
{
    setGroupValue(kAppName, key, value);
}

QString OrvoEnv::getGroupValue(const QString &group, const QString &key, const QString &defaultValue) const
{
    return readIniValue(iniFilePath(), group, key, defaultValue);
}

void OrvoEnv::setGroupValue(const QString &group, const QString &key, const QString &value)
{
    writeIniValue(iniFilePath(), group, key, value);
}

QString OrvoEnv::tmpDir() const
{
    const QString name =
        getValue(QLatin1String(OrvoSettingsKeys::kTmpDir.name), QLatin1String(OrvoSettingsKeys::kTmpDir.defaultValue));
    QDir user(userFolder());
    if (!user.exists(name))
        user.mkdir(name);
    return user.path() + QLatin1Char('/') + name;
}

void OrvoEnv::clearTmpDir() const
{
    QDir tmp(tmpDir());
    const QStringList files = tmp.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &file : files)
        tmp.remove(file);
}

QString OrvoEnv::logFileName() const
{
    if (m_role == kRoleUser)
        return QStringLiteral("orvouser.log");
    return getValue(QLatin1String(OrvoSettingsKeys::kLogFileName.name),
                    QLatin1String(OrvoSettingsKeys::kLogFileName.defaultValue));
}

QString OrvoEnv::logFilePath() const
{
    return userFolder() + QLatin1Char('/') + logFileName();
}

QString OrvoEnv::oldLogFilePath() const
{
    return userFolder() + QLatin1Char('/') +
           getValue(QLatin1String(OrvoSettingsKeys::kOldLogFileName.name),
                    QLatin1String(OrvoSettingsKeys::kOldLogFileName.defaultValue));
}

qint64 OrvoEnv::maxLogSize() const
{
    return getValue(QLatin1String(OrvoSettingsKeys::kMaxLogSize.name),
                    QLatin1String(OrvoSettingsKeys::kMaxLogSize.defaultValue))
        .toLongLong();
}

int OrvoEnv::debugLevel() const
{
    return getValue(QLatin1String(OrvoSettingsKeys::kDebug.name), QLatin1String(OrvoSettingsKeys::kDebug.defaultValue))
        .toInt();
}

void OrvoEnv::openLogFile(const QString &name)
{
    const QString path = name.isEmpty() ? logFilePath() : userFolder() + QLatin1Char('/') + name;
    QMutexLocker lock(&m_logMutex);
    if (m_logFile.isOpen())
        m_logFile.close();

    const QFileInfo info(path);
    const qint64 size = info.exists() ? info.size() : 0;
    if (size >= maxLogSize()) {
        if (name.isEmpty()) {
            const QString oldPath = oldLogFilePath();
            QFile::remove(oldPath);
            if (!QFile::rename(path, oldPath))
                QFile::copy(path, oldPath);
        }
        QFile::remove(path);
    }
    m_logFile.setFileName(path);
    m_logFile.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
}

void OrvoEnv::writeLog(int flag, const QString &text)
{
    QMutexLocker lock(&m_logMutex);
    if (!m_logFile.isOpen())
        return;
    m_logFile.write(text.toUtf8());
    if (flag > 0)
        m_logFile.flush();
}

void OrvoEnv::closeLogFile()
{
    QMutexLocker lock(&m_logMutex);
    if (m_logFile.isOpen())
        m_logFile.close();
}

QString OrvoEnv::uploadFileName() const
{
    return getValue(QLatin1String(OrvoSettingsKeys::kUploadFile.name),
                    QLatin1String(OrvoSettingsKeys::kUploadFile.defaultValue));
}

QString OrvoEnv::listenPort() const
{
    const char *byRole = m_role == kRoleUser ? OrvoSettingsKeys::kListenPortUser : OrvoSettingsKeys::kListenPortOther;
    return getValue(QLatin1String(OrvoSettingsKeys::kListenPort), QLatin1String(byRole));
}

QString OrvoEnv::homeLink() const
{
    const char *byVersion =
        isBetaVersion(kVersion) ? OrvoSettingsKeys::kHomeLinkBeta : OrvoSettingsKeys::kHomeLinkProduction;
    return getValue(QLatin1String(OrvoSettingsKeys::kHomeLink), QLatin1String(byVersion));
}

QString OrvoEnv::updateUrl() const
{
    const char *byVersion =
        isBetaVersion(kVersion) ? OrvoSettingsKeys::kUpdateUrlBeta : OrvoSettingsKeys::kUpdateUrlProduction;
    return getValue(QLatin1String(OrvoSettingsKeys::kUrlCheckUpdate), QLatin1String(byVersion));
}

void OrvoEnv::copyNewIni()
{
    const QString shipped = resourcePath(iniFileName());
    const QString user = iniFilePath();
    const QString versionKey = QLatin1String(OrvoSettingsKeys::kVersion.name);
    if (QFileInfo::exists(user)) {
        if (readIniValue(user, kAppName, versionKey, QString()) == kVersion)
            return;
        // Nothing of the user's is lost: without its copy the file stays as it is.
        if (QFileInfo::exists(shipped) && !keepReplacedFile(user))
            return;
    }
    // The stamp travels with the copy, so it marks a completed install; a failed copy is tried
    // again at the next start.
    installShippedFile(shipped, user, userFolder());
}

void OrvoEnv::saveMinOrvoVer(const QString &group, const QString &versionFilePath)
{
    if (group.isEmpty() || !QFileInfo::exists(versionFilePath))
        return;
    const QString key = QLatin1String(OrvoSettingsKeys::kMinOrvoVer.name);
    const QString value = readIniValue(versionFilePath, QLatin1String(OrvoSettingsKeys::kUpdateGroup), key, QString());
    if (value.isEmpty())
        return;
    setGroupValue(group, key, value);
    runVersionCheck();
}

void OrvoEnv::updateDeviceInfo(const QString &group, const QString &versionFilePath)
{
    if (group.isEmpty() || !QFileInfo::exists(versionFilePath))
        return;
    bool changed = false;
    for (const auto &key : {OrvoSettingsKeys::kMinImgVer, OrvoSettingsKeys::kMinIapVer, OrvoSettingsKeys::kMinApVer}) {
        const QString name = QLatin1String(key.name);
        const QString value =
            readIniValue(versionFilePath, QLatin1String(OrvoSettingsKeys::kUpdateGroup), name, QString());
        if (value.isEmpty())
            continue;
        setGroupValue(group, name, value);
        changed = true;
    }
    if (changed)
        runVersionCheck();
}

void OrvoEnv::setVersionCheckHook(VersionCheckHook hook)
{
    QMutexLocker lock(&g_hookMutex);
    g_versionCheckHook = std::move(hook);
}

void OrvoEnv::runVersionCheck()
{
    VersionCheckHook hook;
    {
        QMutexLocker lock(&g_hookMutex);
        hook = g_versionCheckHook;
    }
    if (hook)
        hook();
}

bool OrvoEnv::isDeviceReady() const
{
    return m_deviceReady;
}

void OrvoEnv::setDeviceReady(bool ready)
{
    m_deviceReady = ready;
}

bool OrvoEnv::isForceDeviceUpdate() const
{
    return m_forceDeviceUpdate;
}

void OrvoEnv::setForceDeviceUpdate(bool force)
{
    m_forceDeviceUpdate = force;
}

bool OrvoEnv::isForceOrvoUpdate() const
{
    return m_forceOrvoUpdate;
}

void OrvoEnv::setForceOrvoUpdate(bool force)
{
    m_forceOrvoUpdate = force;
}

bool isBetaVersion(const QString &version)
{
    const QStringList parts = version.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return true;
    return parts.at(3).toInt() % 2 != 0;
}
