#pragma once

#include "device/OrvoClient.h"

#include <QMutex>
#include <QMutexLocker>
#include <QStringList>
#include <QVector>
#include <QWaitCondition>

// A device client for the scripting tests: its answers are set by the test, it records what it
// was asked, and its worker operations can be held at a gate while the test looks at the
// client from the GUI thread.
namespace AppTest {

// How long a test waits for a worker before it gives up; never reached when the code works.
constexpr int kPatienceMs = 10000;

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

class TestDeviceClient : public OrvoClient
{
public:
    ~TestDeviceClient() override
    {
        gate.open();
        stopWorker();
    }

    Gate gate;
    QString model = QStringLiteral("Kavel50");
    bool valid = true;
    int serviceType = 0;
    QString drive = QStringLiteral("/media/u/KAVEL");
    QString uuid = QStringLiteral("0042-7");
    QString total = QStringLiteral("3.1.0");
    QString launchsec = QStringLiteral("1.4");
    QString ap = QStringLiteral("3.1.2");
    QString bootloader = QStringLiteral("0.9.1");
    QString capability = QStringLiteral("route,workout");
    QVector<OrvoClientData> tracks;
    QStringList exportedFiles;
    QString uploadPath = QStringLiteral("/tmp/upload.zip");
    bool result = true;

    // What the client was asked, in order; worker operations included.
    QStringList calls() const
    {
        QMutexLocker lock(&m_callMutex);
        return m_calls;
    }

    bool getName(QString &name) override
    {
        name = model;
        return !model.isEmpty();
    }
    bool isValid() override { return valid; }
    int deviceServiceType() override { return serviceType; }
    bool getDrive(QString &text) override { return answer(text, drive); }
    bool getUUID(QString &text) override { return answer(text, uuid); }
    bool getTotal(QString &text) override { return answer(text, total); }
    bool getLaunchsec(QString &text) override { return answer(text, launchsec); }
    bool getAP(QString &text) override { return answer(text, ap); }
    bool getBootloader(QString &text) override { return answer(text, bootloader); }
    QString getCapability() override { return capability; }

    void getTracks(QVector<OrvoClientData> &items) override
    {
        record(QStringLiteral("getTracks"));
        items = tracks;
    }
    bool deleteTracks(const QVector<int> &ids) override
    {
        QStringList texts;
        for (int id : ids)
            texts << QString::number(id);
        record(QStringLiteral("deleteTracks ") + texts.join(QLatin1Char(',')));
        return result;
    }
    bool deleteAll() override
    {
        record(QStringLiteral("deleteAll"));
        return result;
    }
    bool eject() override
    {
        record(QStringLiteral("eject"));
        return result;
    }
    bool setShareData(const QString &zipFile) override { return work(QStringLiteral("setShareData ") + zipFile); }
    bool prepareUploadData(QString &path, bool) override
    {
        path = uploadPath;
        return work(QStringLiteral("prepareUploadData"));
    }
    bool prepareUploadProfile(const QString &file) override
    {
        return work(QStringLiteral("prepareUploadProfile ") + file);
    }
    QStringList _exportTrack(const QString &folder) override
    {
        work(QStringLiteral("_exportTrack ") + folder);
        return exportedFiles;
    }
    bool _finalize() override { return work(QStringLiteral("_finalize")); }
    bool _updateTotal(const QString &file, const QString &changedLang) override
    {
        return work(QStringLiteral("_updateTotal %1 %2").arg(file, changedLang));
    }
    bool _updateAP(const QString &file) override { return work(QStringLiteral("_updateAP ") + file); }
    bool _updateBootLoader(const QString &file) override { return work(QStringLiteral("_updateBootLoader ") + file); }
    bool _updateComponent(const OrvoComponentRequest &r) override
    {
        return work(QStringLiteral("_updateComponent %1 %2 %3 %4").arg(r.model, r.extra, r.component, r.file));
    }

private:
    static bool answer(QString &text, const QString &value)
    {
        text = value;
        return !value.isEmpty();
    }

    void record(const QString &call)
    {
        QMutexLocker lock(&m_callMutex);
        m_calls.append(call);
    }

    bool work(const QString &call)
    {
        record(call);
        gate.pass();
        return result;
    }

    mutable QMutex m_callMutex;
    QStringList m_calls;
};

} // namespace AppTest
