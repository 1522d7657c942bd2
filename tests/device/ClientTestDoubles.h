#pragma once

#include "device/OrvoAsyncResultInterface.h"
#include "device/OrvoClient.h"
#include "device/OrvoClientActionListener.h"
#include "env/OrvoEnv.h"

#include <QMutex>
#include <QMutexLocker>
#include <QStringList>
#include <QTemporaryDir>
#include <QVector>
#include <QWaitCondition>

#include <functional>
#include <stdexcept>

// Doubles of the device client tests: a gate that holds a worker operation until the test lets
// it go, a client whose worker operations record their calls and can be held, made to fail or
// made to throw, and recorders for the two hand-offs of finished actions.
namespace ClientTest {

// How long a test waits for a worker before it gives up; never reached when the code works.
constexpr int kPatienceMs = 10000;

// Holds the worker inside an operation. The test waits until the worker has entered, checks
// what it wants while the action runs, then opens the gate.
class Gate
{
public:
    void close()
    {
        QMutexLocker lock(&m_mutex);
        m_open = false;
        m_entered = false;
    }

    void open()
    {
        QMutexLocker lock(&m_mutex);
        m_open = true;
        m_changed.wakeAll();
    }

    // Worker side: tells the test it arrived, then waits for the gate to open.
    void pass()
    {
        QMutexLocker lock(&m_mutex);
        m_entered = true;
        m_changed.wakeAll();
        while (!m_open) {
            if (!m_changed.wait(&m_mutex, kPatienceMs))
                return;
        }
    }

    bool waitEntered()
    {
        QMutexLocker lock(&m_mutex);
        while (!m_entered) {
            if (!m_changed.wait(&m_mutex, kPatienceMs))
                return false;
        }
        return true;
    }

private:
    QMutex m_mutex;
    QWaitCondition m_changed;
    bool m_open = true;
    bool m_entered = false;
};

// A device class whose worker operations record what they were given. Each operation first
// passes the gate, then runs the behaviour the test installed for it, if any, and answers
// the configured result.
class RecordingClient : public OrvoClient
{
    Q_OBJECT

public:
    using Behaviour = std::function<void()>;

    ~RecordingClient() override { stopWorker(); }

    Gate gate;
    QString modelName = QStringLiteral("TestModel");
    bool hasName = true;
    bool result = true;
    // Runs inside every worker operation after the gate, on the worker thread.
    Behaviour behaviour;
    QStringList exportedFiles;
    QString uploadPath = QStringLiteral("/tmp/upload.zip");
    QString totalVersion;
    QString apVersion;
    QMap<QString, QString> savedProfile;
    int saveProfileCalls = 0;

    QStringList calls() const
    {
        QMutexLocker lock(&m_callMutex);
        return m_calls;
    }

    bool getName(QString &model) override
    {
        model = modelName;
        return hasName;
    }

    bool getTotal(QString &version) override
    {
        version = totalVersion;
        return !totalVersion.isEmpty();
    }

    bool getAP(QString &version) override
    {
        version = apVersion;
        return !apVersion.isEmpty();
    }

    bool prepareUploadData(QString &path, bool dontCheck) override
    {
        work(QStringLiteral("prepareUploadData %1").arg(dontCheck));
        path = uploadPath;
        return result;
    }

    QStringList _exportTrack(const QString &folder) override
    {
        work(QStringLiteral("_exportTrack ") + folder);
        return exportedFiles;
    }

    bool setShareData(const QString &zipFile) override { return work(QStringLiteral("setShareData ") + zipFile); }

    bool prepareUploadProfile(const QString &file) override
    {
        return work(QStringLiteral("prepareUploadProfile ") + file);
    }

    bool saveProfile(const QMap<QString, QString> &values) override
    {
        savedProfile = values;
        ++saveProfileCalls;
        return work(QStringLiteral("saveProfile"));
    }

    bool _updateTotal(const QString &file, const QString &changedLang) override
    {
        return work(QStringLiteral("_updateTotal %1 %2").arg(file, changedLang));
    }
    bool _updateAP(const QString &file) override { return work(QStringLiteral("_updateAP ") + file); }
    bool _updateBootLoader(const QString &file) override { return work(QStringLiteral("_updateBootLoader ") + file); }
    bool _importMap(int n) override { return work(QStringLiteral("_importMap %1").arg(n)); }
    bool _deleteMap(int n) override { return work(QStringLiteral("_deleteMap %1").arg(n)); }
    bool _finalize() override { return work(QStringLiteral("_finalize")); }
    bool _readData() override { return work(QStringLiteral("_readData")); }
    bool _getShareDataList() override { return work(QStringLiteral("_getShareDataList")); }
    bool _updateComponent(const OrvoComponentRequest &r) override
    {
        return work(QStringLiteral("_updateComponent %1 %2 %3 %4").arg(r.model, r.extra, r.component, r.file));
    }
    bool _batch() override { return work(QStringLiteral("_batch")); }
    bool _restoreFactory(const QString &arg) override { return work(QStringLiteral("_restoreFactory ") + arg); }
    bool _updateMapData(const QString &arg) override { return work(QStringLiteral("_updateMapData ") + arg); }
    bool _updateAlp(const QString &file, int n) override
    {
        return work(QStringLiteral("_updateAlp %1 %2").arg(file).arg(n));
    }

    using OrvoClient::componentRequest;
    using OrvoClient::shareDataListRequest;
    using OrvoClient::shareDataRequest;

private:
    bool work(const QString &call)
    {
        {
            QMutexLocker lock(&m_callMutex);
            m_calls.append(call);
        }
        gate.pass();
        if (behaviour)
            behaviour();
        return result;
    }

    mutable QMutex m_callMutex;
    QStringList m_calls;
};

// Records the result lists handed to the scripting side; installs itself while it lives.
class ResultRecorder : public OrvoAsyncResultInterface
{
public:
    ResultRecorder() { OrvoClient::setAsyncResultReceiver(this); }
    ~ResultRecorder() override { OrvoClient::setAsyncResultReceiver(nullptr); }
    ResultRecorder(const ResultRecorder &) = delete;
    ResultRecorder &operator=(const ResultRecorder &) = delete;

    void emitAsyncResult(const QVariantList &result) override { results.append(result); }

    QVector<QVariantList> results;
};

// Records the action notices; installs itself while it lives.
class ActionRecorder : public OrvoClientActionListener
{
public:
    struct Notice
    {
        OrvoClient *client;
        int action;
    };

    ActionRecorder() { OrvoClient::setActionListener(this); }
    ~ActionRecorder() override { OrvoClient::setActionListener(nullptr); }
    ActionRecorder(const ActionRecorder &) = delete;
    ActionRecorder &operator=(const ActionRecorder &) = delete;

    void onClientActionDone(OrvoClient *client, int action) override { notices.append(Notice{client, action}); }

    QVector<Notice> notices;
};

// Points the environment's settings at a folder of the test's own for its lifetime.
class UserFolderScope
{
public:
    UserFolderScope()
        : m_previous(OrvoEnv::instance()->userFolder())
    {
        OrvoEnv::instance()->setUserFolder(m_dir.path());
    }
    ~UserFolderScope()
    {
        if (!m_previous.isEmpty())
            OrvoEnv::instance()->setUserFolder(m_previous);
    }
    UserFolderScope(const UserFolderScope &) = delete;
    UserFolderScope &operator=(const UserFolderScope &) = delete;

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

} // namespace ClientTest
