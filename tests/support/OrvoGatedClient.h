#pragma once

#include "OrvoTestGate.h"

#include "device/OrvoClient.h"

#include <QMap>
#include <QMutex>
#include <QMutexLocker>
#include <QStringList>
#include <QVector>

#include <functional>

namespace OrvoTest {

// A device class whose worker operations record what they were given. Each operation first
// passes the gate, then runs the behaviour the test installed for it, if any, and answers
// the configured result.
class GatedClient : public OrvoClient
{
public:
    using Behaviour = std::function<void()>;

    ~GatedClient() override
    {
        gate.open();
        stopWorker();
    }

    Gate gate;
    QString modelName = QStringLiteral("TestModel");
    bool hasName = true;
    bool result = true;
    // Runs inside every worker operation after the gate, on the worker thread.
    Behaviour behaviour;
    QStringList exportedFiles;
    // The rides the device lists.
    QVector<OrvoClientData> rides;
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

    void getTracks(QVector<OrvoClientData> &items) override { items = rides; }

    QStringList _exportTrack(const QString &folder) override
    {
        // A device class that cannot export raises the error flag and lists nothing.
        if (!work(QStringLiteral("_exportTrack ") + folder)) {
            setError(true);
            return {};
        }
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

protected:
    // Calls that answer at once are only recorded.
    void record(const QString &call)
    {
        QMutexLocker lock(&m_callMutex);
        m_calls.append(call);
    }

    bool work(const QString &call)
    {
        record(call);
        gate.pass();
        if (behaviour)
            behaviour();
        return result;
    }

private:
    mutable QMutex m_callMutex;
    QStringList m_calls;
};

} // namespace OrvoTest
