#pragma once

#include <QObject>
#include <QString>

class OrvoEnv;

// The web application's view of the process environment: settings, folders, versions and the
// log, and the few desktop services it needs. Python reaches it as the class OrvoEnv of the
// module orvo; every slot acts on the process's environment, whatever object Python passes.
// GUI thread only.
class OrvoEnvWrapper : public QObject
{
    Q_OBJECT

public:
    // Opens the debug console only for this pair.
    static constexpr const char *kConsoleUser = "QelnorWistak";
    static constexpr int kConsolePort = 8362;

public slots:
    OrvoEnv *new_OrvoEnv();
    QString getResourceDir(OrvoEnv *o);
    void updateOrvo(OrvoEnv *o, const QString &filename);
    void setDebugLevel(OrvoEnv *o, const QString &level);
    void enableDebug(OrvoEnv *o, const QString &user, const QString &addr, int port);
    QString getVersion(OrvoEnv *o);
    QString getUserDataBaseFolder(OrvoEnv *o);
    // The umask the program was started with, which the user's exports follow.
    int getUserUmask(OrvoEnv *o);
    QString getHomeTempDir(OrvoEnv *o);
    QString getUpdateUrl(OrvoEnv *o);
    void setUserDataBaseFolder(OrvoEnv *o, const QString &folder);
    QString getHomelink(OrvoEnv *o);
    void appendLog(OrvoEnv *o, const QString &line);
    QString getValue(OrvoEnv *o, const QString &key, const QString &strdefault);
    QString getRole(OrvoEnv *o);
    // The secret every request to the web application must carry; empty when it could not be
    // made, and then the application serves nobody.
    QString getWebToken(OrvoEnv *o);
    void quit(OrvoEnv *o);
    void openFolder(OrvoEnv *o, const QString &path);
    QString selectExportFolder(OrvoEnv *o, const QString &default_folder, const QString &title);
    QString selectGpxFile(OrvoEnv *o, const QString &default_file, const QString &title);
    void showDeviceManager(OrvoEnv *o);
    bool isForceDeviceUpdate(OrvoEnv *o);
    bool isForceOrvoUpdate(OrvoEnv *o);
    void disconnectDevice(OrvoEnv *o);
    void updateDeviceInfo(OrvoEnv *o, const QString &model, const QString &releaseIniPath);
    // Empty when dest holds the logs' zip file, else why it does not.
    QString exportOrvoLog(OrvoEnv *o, const QString &dest);
};
