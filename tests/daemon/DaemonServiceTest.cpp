#include "DaemonInstall.h"
#include "OpenFileLimit.h"
#include "OrvoRecordingNotice.h"
#include "OrvoTestProcess.h"
#include "OrvoTestSupport.h"

#include "app/OrvoDaemonProxy.h"
#include "app/OrvoWebToken.h"
#include "env/OrvoEnv.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using OrvoTest::kProgramTimeoutMs;
using OrvoTest::terminate;
using OrvoTest::waitForExit;

const QString kDaemonRole = QStringLiteral("daemon");
constexpr int kPollMs = 100;
// How long the user waits for the page before it counts as not answering.
constexpr int kPageMs = 1000;

// One client connection to the daemon's port; every send and receive waits at most timeoutMs.
class Connection
{
public:
    Connection(quint16 port, int timeoutMs)
        : m_socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
        , m_timeoutMs(timeoutMs)
    {
        const timeval wait{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        ::setsockopt(m_socket, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof(wait));
        ::setsockopt(m_socket, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof(wait));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_connected =
            m_socket >= 0 && ::connect(m_socket, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) == 0;
    }
    ~Connection()
    {
        if (m_socket >= 0)
            ::close(m_socket);
    }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    bool send(const QByteArray &bytes)
    {
        return m_connected && ::send(m_socket, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL) == bytes.size();
    }
    void endSending() { ::shutdown(m_socket, SHUT_WR); }
    // What the daemon sent until it closed the connection or the time ran out.
    QByteArray received()
    {
        QByteArray bytes;
        char buffer[4096];
        for (QDeadlineTimer deadline(m_timeoutMs); !deadline.hasExpired();) {
            const ssize_t count = ::recv(m_socket, buffer, sizeof(buffer), 0);
            if (count <= 0)
                break;
            bytes.append(buffer, count);
        }
        return bytes;
    }

private:
    int m_socket;
    int m_timeoutMs;
    bool m_connected = false;
};

struct Answer
{
    int status = 0;
    QByteArray text;
};

// One request on a connection of its own; status 0 when no answer came in time.
Answer ask(quint16 port, const QByteArray &request, int timeoutMs = kProgramTimeoutMs, bool endSending = false)
{
    Connection connection(port, timeoutMs);
    if (!connection.send(request))
        return {};
    if (endSending)
        connection.endSending();
    const QByteArray bytes = connection.received();
    if (!bytes.startsWith("HTTP/1.1 "))
        return {};
    return {bytes.mid(9, 3).toInt(), bytes.mid(bytes.indexOf("\r\n\r\n") + 4)};
}

QByteArray request(const DaemonInstall &install, const QByteArray &head, const QByteArray &headers,
                   const QByteArray &body = {})
{
    return head + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(install.port()) + "\r\n" + headers +
           "Connection: close\r\n\r\n" + body;
}

QByteArray tokenHeader(const DaemonInstall &install)
{
    return "Authorization: Token " + OrvoWebToken::read(install.dataDir(), kDaemonRole).toLatin1() + "\r\n";
}

Answer askPage(const DaemonInstall &install, int timeoutMs = kProgramTimeoutMs)
{
    return ask(install.port(), request(install, "GET /", tokenHeader(install)), timeoutMs);
}

// True once the daemon serves its page to the token it wrote.
bool serving(const DaemonInstall &install, const QProcess &daemon)
{
    for (QDeadlineTimer deadline(kProgramTimeoutMs); !deadline.hasExpired() && daemon.state() != QProcess::NotRunning;
         QTest::qWait(kPollMs)) {
        if (!OrvoWebToken::read(install.dataDir(), kDaemonRole).isEmpty() && askPage(install, 5000).status == 200)
            return true;
    }
    return false;
}

// Clients that hold connections without a whole request (they need no token for that) or keep
// them open after one: with a service's open-file limit, more of them than the daemon may open
// files. The user's page still answers within a second.
TEST(DaemonService, TheUsersPageAnswersWithinASecondWhileClientsHoldManyConnections)
{
    constexpr int kDaemonFiles = 256;
    constexpr int kClients = 320;
    const DaemonInstall install;
    std::unique_ptr<QProcess> daemon;
    {
        const OpenFileLimit limit(kDaemonFiles);
        ASSERT_TRUE(limit.ok());
        daemon = install.start();
    }
    ASSERT_TRUE(serving(install, *daemon)) << install.log().toStdString();
    const QByteArray host = "Host: 127.0.0.1:" + QByteArray::number(install.port()) + "\r\n";
    struct Load
    {
        const char *name;
        QByteArray sent;
    };
    const Load loads[] = {
        {"request line only", "GET / HTTP/1.1\r\n"},
        {"headers never ended", "GET / HTTP/1.1\r\n" + host + "X-Slow: 1\r\n"},
        {"body never sent", "POST /export_log HTTP/1.1\r\n" + host + "Content-Length: 100\r\n\r\ndest="},
        {"nothing sent", ""},
        {"idle after an answer", "GET /state HTTP/1.1\r\n" + host + "\r\n"},
    };
    for (const Load &load : loads) {
        SCOPED_TRACE(load.name);
        std::vector<std::unique_ptr<Connection>> clients;
        for (int i = 0; i < kClients; ++i) {
            clients.push_back(std::make_unique<Connection>(install.port(), kPageMs));
            clients.back()->send(load.sent);
        }
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(askPage(install, kPageMs).status, 200);
        EXPECT_LT(clock.elapsed(), kPageMs);
    }
    EXPECT_EQ(terminate(*daemon), 0);
}

// A client that never ends its request is not waited for: its connection is closed within a
// few seconds, long before the client's own patience runs out.
TEST(DaemonService, ARequestThatNeverEndsHasItsConnectionClosed)
{
    constexpr int kClientPatienceMs = 20000;
    const DaemonInstall install;
    std::unique_ptr<QProcess> daemon = install.start();
    ASSERT_TRUE(serving(install, *daemon)) << install.log().toStdString();
    Connection slow(install.port(), kClientPatienceMs);
    ASSERT_TRUE(slow.send("GET / HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(install.port()) + "\r\n"));
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(slow.received().isEmpty());
    EXPECT_LT(clock.elapsed(), kClientPatienceMs / 2);
    EXPECT_EQ(terminate(*daemon), 0);
}

// Requests the server answers itself, before the application reads them: none reaches it as an
// error of its own, and none leaves a traceback in the log.
TEST(DaemonService, RequestsWithoutTheirWholeBodyAreRefusedWithoutATraceback)
{
    const DaemonInstall install;
    std::unique_ptr<QProcess> daemon = install.start();
    ASSERT_TRUE(serving(install, *daemon)) << install.log().toStdString();
    const QByteArray token = tokenHeader(install);
    const QByteArray form = "Content-Type: application/x-www-form-urlencoded\r\n";
    struct Case
    {
        const char *name;
        QByteArray request;
        int status;
    };
    const Case cases[] = {
        {"body shorter than its length",
         request(install, "POST /export_log", token + form + "Content-Length: 100\r\n", "dest=%2Ftmp%2Fx.zip"), 400},
        {"body longer than any form", request(install, "POST /export_log", token + form + "Content-Length: 999999\r\n"),
         413},
        {"chunked body",
         request(install, "POST /export_log", token + form + "Transfer-Encoding: chunked\r\n",
                 "5\r\ndest=\r\n0\r\n\r\n"),
         411},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ask(install.port(), c.request, kProgramTimeoutMs, true).status, c.status);
    }
    EXPECT_EQ(askPage(install).status, 200);
    EXPECT_EQ(terminate(*daemon), 0);
    EXPECT_FALSE(install.log().contains(QStringLiteral("Traceback"))) << install.log().toStdString();
}

// Other sites' pages on 127.0.0.1 set cookies of their own, written however they like; the
// page's token cookie is found beside any of them, and only under its own name and port.
TEST(DaemonService, TheTokenCookieCountsBesideAnyOtherCookie)
{
    const DaemonInstall install;
    std::unique_ptr<QProcess> daemon = install.start();
    ASSERT_TRUE(serving(install, *daemon)) << install.log().toStdString();
    const QString token = OrvoWebToken::read(install.dataDir(), kDaemonRole);
    const QString ours = QStringLiteral("orvo_token_%1").arg(install.port());
    struct Case
    {
        const char *name;
        QString cookie;
        int status;
    };
    const Case cases[] = {
        {"ours alone", ours + QLatin1Char('=') + token, 200},
        {"after a JSON value", QStringLiteral("a={\"x\":1}; ") + ours + QLatin1Char('=') + token, 200},
        {"after a value with a space and a comma", QStringLiteral("a=b c,d; ") + ours + QLatin1Char('=') + token, 200},
        {"before cookies without a value", ours + QLatin1Char('=') + token + QStringLiteral("; =; lonely"), 200},
        {"after a stale one of ours", ours + QStringLiteral("=0123; ") + ours + QLatin1Char('=') + token, 200},
        {"no spaces", QStringLiteral("a=1;") + ours + QLatin1Char('=') + token + QStringLiteral(";b=2"), 200},
        {"another port's", QStringLiteral("orvo_token_1=") + token, 403},
        {"a wrong token", ours + QStringLiteral("=") + QString(token).replace(0, 1, QLatin1Char('x')), 403},
        {"our name inside another value", QStringLiteral("a=") + ours + QLatin1Char('=') + token, 403},
        {"our name with a prefix", QStringLiteral("x") + ours + QLatin1Char('=') + token, 403},
        {"none", QString(), 403},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray cookie = c.cookie.isEmpty() ? QByteArray() : "Cookie: " + c.cookie.toLatin1() + "\r\n";
        EXPECT_EQ(ask(install.port(), request(install, "GET /", cookie)).status, c.status) << c.cookie.toStdString();
    }
    EXPECT_EQ(terminate(*daemon), 0);
}

// A log export that wrote no zip file, here into a folder where not even the superuser may make
// files, answers an error with the reason: on the page and in the tray program's notice.
TEST(DaemonService, ALogExportThatWroteNothingFailsWithItsReason)
{
    const DaemonInstall install;
    std::unique_ptr<QProcess> daemon = install.start();
    ASSERT_TRUE(serving(install, *daemon)) << install.log().toStdString();
    const QByteArray body = "dest=%2Fproc%2Forvo-export.zip";
    const Answer answer =
        ask(install.port(),
            request(install, "POST /export_log",
                    tokenHeader(install) + "Content-Length: " + QByteArray::number(body.size()) + "\r\n", body));
    EXPECT_EQ(answer.status, 500);
    EXPECT_TRUE(answer.text.contains("/proc/orvo-export.zip could not be written")) << answer.text.toStdString();

    OrvoEnv::instance()->setUserFolder(install.dataDir());
    OrvoRecordingNotice notice;
    OrvoDaemonProxy tray(install.port());
    QString error;
    ASSERT_TRUE(tray.exportLog(QStringLiteral("/proc/orvo-export.zip"), error));
    ASSERT_TRUE(QTest::qWaitFor([&notice] { return !notice.shown.isEmpty(); }, kProgramTimeoutMs));
    EXPECT_TRUE(notice.shown.first().startsWith(
        QStringLiteral("Export log: The log was not exported to /proc/orvo-export.zip: the zip file /proc/")))
        << notice.shown.first().toStdString();
    EXPECT_TRUE(notice.shown.first().contains(QStringLiteral("could not be written")));
    EXPECT_EQ(terminate(*daemon), 0);
}

// A start with another temporary folder on the same data folder finds the running daemon and
// is handed to it: the token in the data folder stays the one the running daemon answers to.
// A temporary folder too long for a local socket's path does not matter either.
TEST(DaemonService, StartsWithOtherTemporaryFoldersFindTheRunningDaemonAndLeaveItsToken)
{
    DaemonInstall install;
    install.environment().remove(QStringLiteral("ORVO_INSTANCE_KEY"));
    QTemporaryDir temporary;
    const QString longFolder = temporary.filePath(QString(120, QLatin1Char('t')));
    const QString otherFolder = temporary.filePath(QStringLiteral("other"));
    ASSERT_TRUE(QDir().mkpath(longFolder));
    ASSERT_TRUE(QDir().mkpath(otherFolder));
    install.environment().insert(QStringLiteral("TMPDIR"), longFolder);
    std::unique_ptr<QProcess> daemon = install.start();
    ASSERT_TRUE(serving(install, *daemon)) << install.log().toStdString();
    const QString token = OrvoWebToken::read(install.dataDir(), kDaemonRole);

    for (const QString &folder : {otherFolder, longFolder}) {
        SCOPED_TRACE(folder.toStdString());
        install.environment().insert(QStringLiteral("TMPDIR"), folder);
        std::unique_ptr<QProcess> second = install.startReading();
        EXPECT_EQ(waitForExit(*second), 0);
        EXPECT_EQ(second->readAllStandardOutput(),
                  "orvo-daemon: an instance is already running; this start was handed to it\n");
        EXPECT_EQ(OrvoWebToken::read(install.dataDir(), kDaemonRole), token);
        EXPECT_EQ(askPage(install).status, 200);
    }
    EXPECT_EQ(terminate(*daemon), 0);
}

// A start that finds its port held (here by a program that is not ours) leaves the token file
// of the data folder as it found it: the program that holds the port may be the one it is for.
TEST(DaemonService, AStartRefusedItsPortLeavesTheTokenFileAsItWas)
{
    const DaemonInstall install;
    const QString tokenFile = QDir(install.dataDir()).filePath(OrvoWebToken::fileName(kDaemonRole));
    const QByteArray running = QByteArray("0123456789abcdef").repeated(4) + '\n';
    ASSERT_TRUE(OrvoTest::writeFile(tokenFile, running));
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::LocalHost, install.port()));
    std::unique_ptr<QProcess> daemon = install.startReading();
    EXPECT_EQ(waitForExit(*daemon), 1);
    EXPECT_EQ(OrvoTest::readFile(tokenFile), running);
}

} // namespace
