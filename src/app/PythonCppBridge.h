#pragma once

#include "app/OrvoPybind.h"
#include "device/OrvoAsyncResultInterface.h"
#include "device/OrvoDeviceScriptInterface.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariantList>

class OrvoHomePage;
class QTimer;

// The program's side of the embedded web application: it runs the application's cooperative
// scheduler from a Qt timer, carries the results of asynchronous device actions to the one Python
// callable bound for them, calls the application's functions, and owns the web window.
// GUI thread only, but for the device scripting calls, which device workers make; every call
// takes the interpreter lock only while it is inside Python.
class PythonCppBridge : public QObject, public OrvoAsyncResultInterface, public OrvoDeviceScriptInterface
{
    Q_OBJECT

public:
    static constexpr int kDefaultInterval = 10;
    static constexpr int kMinInterval = 10;
    static constexpr int kMaxInterval = 500;
    // The pause after a scheduler call that failed.
    static constexpr int kFailurePause = 30000;

    // Reads the interval from the setting "timer" and arms the timer.
    PythonCppBridge();
    ~PythonCppBridge() override;

    // One step of the Python scheduler: looper(0.01) of the main module. A call made while
    // another is inside Python is skipped and answers true.
    static bool yieldToPython();

    // Binds the callable that receives every asynchronous result; only the first one is bound.
    // Called from Python, with the interpreter lock held.
    bool setAsyncCallback(const pybind11::object &callable);
    // The device clients' result lists come here once initPython has installed the host object.
    void emitAsyncResult(const QVariantList &result) override;

    // Creates the web window on first use, then shows, raises and reloads it.
    void showHomePage();
    // The address the web window opens: the application's home page with the token, which the
    // application turns into a cookie for the window's later requests.
    static QUrl homePageUrl();
    OrvoHomePage *homePage() const;

    void updateDevice(const QString &drive);
    void notifyUpdate(const QString &model);

    bool exportKrm(const QString &folder, const QString &model, const QString &version, const QString &profile,
                   const QString &root, QStringList &files) override;
    bool createProfileXml(const QString &ini, const QString &xml) override;
    bool createProfileIni(const QStringList &keys, const QStringList &values, const QString &ini) override;
    bool galSetShareData(const QString &root, const QString &file) override;

    // The normal pause between two scheduler calls, and the pause now armed.
    int normalInterval() const;
    int pendingPause() const;
    // The first step of shutdown: Python is not entered from the timer any more, so the device
    // clients can go before the interpreter does.
    void stopScheduler();

signals:
    void asyncResult(const QVariantList &result);

public slots:
    void slotDoSchedule();
    // Python's error output: logged at critical level.
    void stdErr(const QString &text);

private:
    void deliverAsyncResult(const QVariantList &result);

    QTimer *m_timer = nullptr;
    int m_interval = kDefaultInterval;
    OrvoHomePage *m_homePage = nullptr;
};
