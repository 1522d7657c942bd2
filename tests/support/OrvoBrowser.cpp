#include "OrvoBrowser.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStandardPaths>

#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace OrvoTest {

namespace {

constexpr int kCallTimeoutMs = 30000;
constexpr int kPollMs = 100;
constexpr int kReadBytes = 64 * 1024;
// The descriptors the browser reads its commands from and writes its answers to.
constexpr int kCommandFd = 3;
constexpr int kAnswerFd = 4;
// Far above any descriptor the child has open, so that moving both into place clobbers neither.
constexpr int kParkedFd = 100;

QString describe(const QJsonObject &params)
{
    return QString::fromUtf8(QJsonDocument(params).toJson(QJsonDocument::Compact));
}

} // namespace

Browser::Browser() = default;

Browser::~Browser()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished();
    }
    for (int fd : {m_toBrowser, m_fromBrowser}) {
        if (fd >= 0)
            ::close(fd);
    }
}

QString Browser::program()
{
    return QStandardPaths::findExecutable(QStringLiteral("chromium"));
}

bool Browser::start(QString &error)
{
    int commands[2] = {-1, -1};
    int answers[2] = {-1, -1};
    if (::pipe2(commands, O_CLOEXEC) != 0 || ::pipe2(answers, O_CLOEXEC) != 0) {
        error = QStringLiteral("no pipe: %1").arg(errno);
        return false;
    }
    const int childRead = commands[0];
    const int childWrite = answers[1];
    m_process.setChildProcessModifier([childRead, childWrite] {
        // Only calls that are safe between fork and exec; the moved descriptors lose O_CLOEXEC.
        const int parkedRead = ::fcntl(childRead, F_DUPFD_CLOEXEC, kParkedFd);
        const int parkedWrite = ::fcntl(childWrite, F_DUPFD_CLOEXEC, kParkedFd);
        ::dup2(parkedRead, kCommandFd);
        ::dup2(parkedWrite, kAnswerFd);
    });
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.start(program(), {QStringLiteral("--headless"), QStringLiteral("--no-sandbox"),
                                QStringLiteral("--disable-gpu"), QStringLiteral("--disable-background-networking"),
                                QStringLiteral("--disable-component-update"), QStringLiteral("--disable-sync"),
                                QStringLiteral("--no-first-run"), QStringLiteral("--remote-debugging-pipe"),
                                QStringLiteral("--user-data-dir=") + m_profile.path(), QStringLiteral("about:blank")});
    ::close(childRead);
    ::close(childWrite);
    m_toBrowser = commands[1];
    m_fromBrowser = answers[0];
    if (!m_process.waitForStarted()) {
        error = QStringLiteral("the browser did not start: ") + m_process.errorString();
        return false;
    }
    const QJsonObject target =
        call(QStringLiteral("Target.createTarget"), {{QStringLiteral("url"), QStringLiteral("about:blank")}}, false);
    const QJsonObject attached = call(
        QStringLiteral("Target.attachToTarget"),
        {{QStringLiteral("targetId"), target.value(QStringLiteral("targetId"))}, {QStringLiteral("flatten"), true}},
        false);
    m_session = attached.value(QStringLiteral("sessionId")).toString();
    if (m_session.isEmpty()) {
        error = QStringLiteral("no page to drive: ") + describe(target) + describe(attached);
        return false;
    }
    for (const char *domain : {"Runtime.enable", "Log.enable", "Page.enable"})
        call(QLatin1String(domain));
    return true;
}

bool Browser::open(const QString &url)
{
    return !call(QStringLiteral("Page.navigate"), {{QStringLiteral("url"), url}}).isEmpty();
}

QJsonValue Browser::evaluate(const QString &expression)
{
    const QJsonObject answer = call(QStringLiteral("Runtime.evaluate"), {{QStringLiteral("expression"), expression},
                                                                         {QStringLiteral("returnByValue"), true}});
    return answer.value(QStringLiteral("result")).toObject().value(QStringLiteral("value"));
}

bool Browser::waitUntil(const QString &expression, int timeoutMs)
{
    for (QDeadlineTimer deadline(timeoutMs); !deadline.hasExpired(); readMessages(kPollMs)) {
        if (evaluate(expression).toBool())
            return true;
    }
    return false;
}

QStringList Browser::errors()
{
    readMessages(0);
    return m_errors;
}

// Sends one command and answers its result; an empty object when it failed or never came.
QJsonObject Browser::call(const QString &method, const QJsonObject &params, bool inPage)
{
    const int id = m_nextId++;
    QJsonObject command{
        {QStringLiteral("id"), id}, {QStringLiteral("method"), method}, {QStringLiteral("params"), params}};
    if (inPage)
        command.insert(QStringLiteral("sessionId"), m_session);
    const QByteArray bytes = QJsonDocument(command).toJson(QJsonDocument::Compact) + '\0';
    for (qsizetype sent = 0; sent < bytes.size();) {
        const ssize_t written = ::write(m_toBrowser, bytes.constData() + sent, size_t(bytes.size() - sent));
        if (written <= 0)
            return {};
        sent += written;
    }
    for (QDeadlineTimer deadline(kCallTimeoutMs); !deadline.hasExpired();) {
        for (qsizetype i = 0; i < m_answers.size(); ++i) {
            if (m_answers.at(i).value(QStringLiteral("id")).toInt() == id)
                return m_answers.takeAt(i).value(QStringLiteral("result")).toObject();
        }
        if (!readMessages(kPollMs) && m_process.state() == QProcess::NotRunning)
            return {};
    }
    return {};
}

// Reads what the browser wrote within the time given; false when nothing came.
bool Browser::readMessages(int timeoutMs)
{
    pollfd ready{m_fromBrowser, POLLIN, 0};
    if (::poll(&ready, 1, timeoutMs) <= 0)
        return false;
    char buffer[kReadBytes];
    const ssize_t count = ::read(m_fromBrowser, buffer, sizeof(buffer));
    if (count <= 0)
        return false;
    m_pending.append(buffer, count);
    for (qsizetype end = m_pending.indexOf('\0'); end >= 0; end = m_pending.indexOf('\0')) {
        take(QJsonDocument::fromJson(m_pending.left(end)).object());
        m_pending.remove(0, end + 1);
    }
    return true;
}

// Keeps an answer for its command, and the page's errors among the events.
void Browser::take(const QJsonObject &message)
{
    if (message.contains(QStringLiteral("id"))) {
        m_answers.append(message);
        return;
    }
    const QString method = message.value(QStringLiteral("method")).toString();
    const QJsonObject params = message.value(QStringLiteral("params")).toObject();
    const bool exception = method == QLatin1String("Runtime.exceptionThrown");
    const bool consoleError = method == QLatin1String("Runtime.consoleAPICalled") &&
                              params.value(QStringLiteral("type")).toString() == QLatin1String("error");
    // A request that failed (a page the test asked for) is no script error; a script that
    // failed to load shows as the missing behaviour it was to give.
    const QJsonObject entry = params.value(QStringLiteral("entry")).toObject();
    const bool logError = method == QLatin1String("Log.entryAdded") &&
                          entry.value(QStringLiteral("level")).toString() == QLatin1String("error") &&
                          entry.value(QStringLiteral("source")).toString() != QLatin1String("network");
    if (exception || consoleError || logError)
        m_errors << method + QLatin1Char(' ') + describe(params);
}

} // namespace OrvoTest
