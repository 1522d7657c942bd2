#pragma once

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

#include <sys/types.h>

class OrvoEnvInterface;

// The process-wide environment: role, folders, the settings file, the program version,
// the log file and the run-time flags that the device version check raises.
class OrvoEnv
{
public:
    // Called after a version file changed a model's minimum versions, so that the current
    // device client can check itself against them. The device controller installs it.
    using VersionCheckHook = std::function<void()>;

    OrvoEnv();
    ~OrvoEnv();
    OrvoEnv(const OrvoEnv &) = delete;
    OrvoEnv &operator=(const OrvoEnv &) = delete;

    static OrvoEnv *instance();

    // Installs the message handler, takes the platform object (the Linux one when none is
    // given), finds the folders and opens the log. An empty log name selects the configured log.
    // What the program writes about its user is the user's alone: from here on the process
    // makes files and folders for its user only (0600, 0700), and the data folder with the
    // files already in it is made private too.
    void init(const QString &role, const QString &logFileName, std::unique_ptr<OrvoEnvInterface> platformEnv = nullptr);
    // The umask the process started with, before init tightened it: what the user's exports,
    // the files the user takes out of the export folder, are made with.
    static mode_t userUmask();
    // Logs the destructor line, closes the log and restores Qt's message handler.
    void shutdown();

    QString role() const;
    static QString appName();
    static QString version();
    static QString build();
    bool isMainThread() const;

    QString userFolder() const;
    void setUserFolder(const QString &folder);
    QString startFolder() const;
    QString resourceDir() const;
    QString resourcePath(const QString &name) const;
    QString separator() const;

    QString iniFileName() const;
    QString iniFilePath() const;
    QString getValue(const QString &key, const QString &defaultValue) const;
    void setValue(const QString &key, const QString &value);
    QString getGroupValue(const QString &group, const QString &key, const QString &defaultValue) const;
    void setGroupValue(const QString &group, const QString &key, const QString &value);

    QString tmpDir() const;
    void clearTmpDir() const;

    QString logFileName() const;
    QString logFilePath() const;
    QString oldLogFilePath() const;
    qint64 maxLogSize() const;
    int debugLevel() const;
    void openLogFile(const QString &name);
    void writeLog(int flag, const QString &text);

    QString uploadFileName() const;
    QString listenPort() const;
    QString homeLink() const;
    QString updateUrl() const;

    void copyNewIni();
    void saveMinOrvoVer(const QString &group, const QString &versionFilePath);
    void updateDeviceInfo(const QString &group, const QString &versionFilePath);
    static void setVersionCheckHook(VersionCheckHook hook);

    bool isDeviceReady() const;
    void setDeviceReady(bool ready);
    bool isForceDeviceUpdate() const;
    void setForceDeviceUpdate(bool force);
    bool isForceOrvoUpdate() const;
    void setForceOrvoUpdate(bool force);

private:
    void runVersionCheck();
    void closeLogFile();

    mutable QMutex m_folderMutex;
    QString m_startFolder;
    QString m_userFolder;
    Qt::HANDLE m_mainThreadId = nullptr;
    std::unique_ptr<OrvoEnvInterface> m_platformEnv;
    QString m_role = QStringLiteral("both");

    QMutex m_logMutex;
    QFile m_logFile;

    std::atomic_bool m_deviceReady{false};
    std::atomic_bool m_forceDeviceUpdate{false};
    std::atomic_bool m_forceOrvoUpdate{false};
};

// A version with four parts is a beta when its fourth part is odd; any other shape is a beta.
bool isBetaVersion(const QString &version);
