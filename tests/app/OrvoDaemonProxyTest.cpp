#include "AppTestSupport.h"

#include "app/OrvoDaemonProxy.h"
#include "app/OrvoUserNotice.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace AppTest;

namespace {

constexpr int kWaitMs = 30000;

// The destination as the daemon's web application decodes the query.
QString decodedByTheDaemon(const QByteArray &target)
{
    const QByteArray query = target.mid(target.indexOf('?') + 1);
    const ProcessResult decoded =
        runProcess(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral("-c"),
                    QStringLiteral("import sys, urllib.parse; sys.stdout.buffer.write("
                                   "urllib.parse.parse_qs(sys.argv[1])['dest'][0].encode('utf-8'))"),
                    QString::fromLatin1(query)});
    return QString::fromUtf8(decoded.output);
}

// Answers one request with the status and hands back its request line.
class OneRequestServer
{
public:
    explicit OneRequestServer(const QByteArray &status)
    {
        EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost, 0));
        QObject::connect(&m_server, &QTcpServer::newConnection, [this, status] {
            QTcpSocket *socket = m_server.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, [this, socket, status] {
                m_received += socket->readAll();
                if (!m_received.contains("\r\n\r\n"))
                    return;
                socket->write("HTTP/1.1 " + status + "\r\nContent-Length: 3\r\nConnection: close\r\n\r\nok\n");
                socket->disconnectFromHost();
            });
        });
    }

    quint16 port() const { return m_server.serverPort(); }
    QByteArray requestLine() const { return m_received.left(m_received.indexOf("\r\n")); }
    bool waitForRequest()
    {
        return QTest::qWaitFor([this] { return m_received.contains("\r\n\r\n"); }, kWaitMs);
    }

private:
    QTcpServer m_server;
    QByteArray m_received;
};

TEST(OrvoDaemonProxy, HasNoClientAndSendsTheDestinationSoThatTheDaemonReadsItBackUnchanged)
{
    initEnvironment();
    const QStringList destinations = {
        QStringLiteral("/home/rider/orvo export/orvoexport.zip"),
        QStringLiteral("/tmp/a+b/c&d=e#f;g.zip"),
        QStringLiteral("/tmp/100%25 done/x%20y.zip"),
        QStringLiteral("/tmp/Übersicht/Fahrten ö.zip"),
    };
    for (const QString &dest : destinations) {
        SCOPED_TRACE(dest.toStdString());
        OneRequestServer daemon("200 OK");
        OrvoDaemonProxy proxy(daemon.port());
        EXPECT_EQ(proxy.currentClient(), nullptr);
        proxy.exportLog(dest);
        ASSERT_TRUE(daemon.waitForRequest());
        const QByteArray line = daemon.requestLine();
        EXPECT_TRUE(line.startsWith("GET /export_log?dest=")) << line.toStdString();
        const QByteArray target = line.split(' ').value(1);
        EXPECT_EQ(decodedByTheDaemon(target), dest) << line.toStdString();
    }
}

// Stands for the tray program's message boxes.
class RecordingNotice : public OrvoUserNotice
{
public:
    RecordingNotice() { OrvoUserNotice::install(this); }
    ~RecordingNotice() override { OrvoUserNotice::install(nullptr); }

    void showFailure(const QString &title, const QString &text) override
    {
        shown << title + QStringLiteral(": ") + text;
    }

    QStringList shown;
};

TEST(OrvoDaemonProxy, FailedOrMissingAnswersAreLoggedAndShownToTheUser)
{
    initEnvironment();
    struct Case
    {
        const char *name;
        bool listening;
        QString shown;
    };
    const QString dest = QStringLiteral("/tmp/orvoexport.zip");
    const Case cases[] = {
        {"daemon answers with an error", true,
         QStringLiteral("Export log: The log was not exported to /tmp/orvoexport.zip: ")},
        {"no daemon", false,
         QStringLiteral("Export log: The log was not exported to /tmp/orvoexport.zip: orvo-daemon, which collects the "
                        "logs, is not running.")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto daemon = std::make_unique<OneRequestServer>("500 Internal Server Error");
        const quint16 port = c.listening ? daemon->port() : quint16(freePort());
        if (!c.listening)
            daemon.reset();
        OrvoDaemonProxy proxy(port);
        LogWatch log;
        RecordingNotice notice;
        proxy.exportLog(dest);
        EXPECT_TRUE(QTest::qWaitFor([&log] { return log.contains(QStringLiteral("did not export the log")); }, kWaitMs))
            << log.text().toStdString();
        ASSERT_EQ(notice.shown.size(), 1);
        EXPECT_TRUE(notice.shown.first().startsWith(c.shown)) << notice.shown.first().toStdString();
    }
}

} // namespace
