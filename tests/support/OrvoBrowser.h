#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace OrvoTest {

// A headless Chromium with a profile folder of its own, driven through the DevTools protocol
// over the pipe the browser opens on file descriptors 3 (commands in) and 4 (answers out): one
// page, its console and its uncaught exceptions. No test waits longer than the timeout given.
class Browser
{
public:
    Browser();
    ~Browser();
    Browser(const Browser &) = delete;
    Browser &operator=(const Browser &) = delete;

    // The browser program, empty when it is not installed.
    static QString program();

    // Starts the browser and opens an empty page to drive; false with error saying why.
    bool start(QString &error);
    // Loads url in the page.
    bool open(const QString &url);
    // The value of the script expression in the page (a JSON value), or undefined.
    QJsonValue evaluate(const QString &expression);
    // Waits until the expression is true in the page; false at the timeout.
    bool waitUntil(const QString &expression, int timeoutMs);
    // Every script error the page met so far: uncaught exceptions, console errors, failed
    // loads of its files.
    QStringList errors();

private:
    QJsonObject call(const QString &method, const QJsonObject &params = {}, bool inPage = true);
    bool readMessages(int timeoutMs);
    void take(const QJsonObject &message);

    QTemporaryDir m_profile;
    QProcess m_process;
    int m_toBrowser = -1;
    int m_fromBrowser = -1;
    QByteArray m_pending;
    QList<QJsonObject> m_answers;
    QStringList m_errors;
    QString m_session;
    int m_nextId = 1;
};

} // namespace OrvoTest
