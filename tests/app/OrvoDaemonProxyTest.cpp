#include "AppTestSupport.h"

#include "OrvoFreePort.h"
#include "OrvoRecordingNotice.h"
#include "OrvoTestSupport.h"
#include "app/OrvoDaemonProxy.h"
#include "env/OrvoEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace AppTest;

namespace {

constexpr int kWaitMs = 30000;

// The destination as the daemon's web application decodes the posted form.
QString decodedByTheDaemon(const QByteArray &body)
{
    const ProcessResult decoded =
        runProcess(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral("-c"),
                    QStringLiteral("import sys, urllib.parse; sys.stdout.buffer.write("
                                   "urllib.parse.parse_qs(sys.argv[1])['dest'][0].encode('utf-8'))"),
                    QString::fromLatin1(body)});
    return QString::fromUtf8(decoded.output);
}

// The daemon's token in the data folder the tray program shares with it.
QString writeDaemonToken()
{
    const QString token = QStringLiteral("0123456789abcdef").repeated(4);
    EXPECT_TRUE(OrvoTest::writeFile(OrvoEnv::instance()->userFolder() + QStringLiteral("/orvo.token"),
                                    token.toLatin1() + '\n'));
    return token;
}

// Answers one request with the status and text and hands back the request; before answering it
// runs the daemon's part, given the posted destination.
class OneRequestServer
{
public:
    using Export = std::function<void(const QString &dest)>;

    explicit OneRequestServer(const QByteArray &status, Export exporter = {}, const QByteArray &text = "ok\n")
    {
        EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost, 0));
        QObject::connect(&m_server, &QTcpServer::newConnection, [this, status, exporter, text] {
            QTcpSocket *socket = m_server.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, [this, socket, status, exporter, text] {
                m_received += socket->readAll();
                if (!complete())
                    return;
                if (exporter)
                    exporter(decodedByTheDaemon(body()));
                socket->write("HTTP/1.1 " + status + "\r\nContent-Length: " + QByteArray::number(text.size()) +
                              "\r\nConnection: close\r\n\r\n" + text);
                socket->disconnectFromHost();
            });
        });
    }

    quint16 port() const { return m_server.serverPort(); }
    QByteArray requestLine() const { return m_received.left(m_received.indexOf("\r\n")); }
    QByteArray header(const QByteArray &name) const
    {
        for (const QByteArray &line : m_received.left(m_received.indexOf("\r\n\r\n")).split('\n')) {
            if (line.toLower().startsWith(name.toLower() + ':'))
                return line.mid(name.size() + 1).trimmed();
        }
        return {};
    }
    QByteArray body() const { return m_received.mid(m_received.indexOf("\r\n\r\n") + 4); }
    bool waitForRequest()
    {
        return QTest::qWaitFor([this] { return complete(); }, kWaitMs);
    }

private:
    bool complete() const
    {
        return m_received.contains("\r\n\r\n") && body().size() >= header("Content-Length").toLongLong();
    }

    QTcpServer m_server;
    QByteArray m_received;
};

TEST(OrvoDaemonProxy, PostsANewNameBesideTheDestinationWithTheDaemonsToken)
{
    initEnvironment();
    const QString token = writeDaemonToken();
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
        QString error;
        EXPECT_TRUE(proxy.exportLog(dest, error));
        ASSERT_TRUE(daemon.waitForRequest());
        EXPECT_EQ(daemon.requestLine(), "POST /export_log HTTP/1.1");
        EXPECT_EQ(daemon.header("Authorization"), "Token " + token.toLatin1());
        const QFileInfo asked(decodedByTheDaemon(daemon.body()));
        EXPECT_EQ(asked.absolutePath(), QFileInfo(dest).absolutePath());
        EXPECT_TRUE(asked.fileName().startsWith(QLatin1Char('.') + QFileInfo(dest).fileName() + QLatin1Char('.')))
            << asked.fileName().toStdString();
    }
}

// The daemon writes only new files; the tray program, which the user told to replace the
// chosen file, puts the export in its place.
TEST(OrvoDaemonProxy, TheDaemonsExportTakesThePlaceOfTheChosenFile)
{
    initEnvironment();
    writeDaemonToken();
    QTemporaryDir folder;
    const QString dest = folder.filePath(QStringLiteral("orvoexport.zip"));
    ASSERT_TRUE(OrvoTest::writeFile(dest, "an older export"));
    OneRequestServer daemon("200 OK", [](const QString &part) {
        EXPECT_FALSE(QFileInfo::exists(part));
        EXPECT_TRUE(OrvoTest::writeFile(part, "the new export"));
    });
    OrvoDaemonProxy proxy(daemon.port());
    QString error;
    EXPECT_TRUE(proxy.exportLog(dest, error));
    ASSERT_TRUE(daemon.waitForRequest());
    EXPECT_TRUE(QTest::qWaitFor([&dest] { return OrvoTest::readFile(dest) == "the new export"; }, kWaitMs));
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("orvoexport.zip")});
}

// The daemon's reason, when it gives one, is what the user reads; a daemon that says it wrote
// the export but left none fails too.
TEST(OrvoDaemonProxy, FailedOrMissingAnswersAreLoggedAndShownToTheUser)
{
    initEnvironment();
    struct Case
    {
        const char *name;
        bool listening;
        bool token;
        QByteArray status;
        QByteArray text;
        QString shown;
    };
    const QString dest = QStringLiteral("/tmp/orvoexport.zip");
    const QString notExported = QStringLiteral("Export log: The log was not exported to /tmp/orvoexport.zip: ");
    const QString notRunning = notExported + QStringLiteral("orvo-daemon, which collects the logs, is not running.");
    const Case cases[] = {
        {"daemon gives its reason", true, true, "500 Internal Server Error", "the disk is full\n",
         notExported + QStringLiteral("the disk is full")},
        {"daemon answers an error without a reason", true, true, "500 Internal Server Error", "",
         notExported + QStringLiteral("Error transferring")},
        {"daemon answers ok but wrote nothing", true, true, "200 OK", "ok\n",
         notExported + QStringLiteral("the export could not take its place.")},
        {"no daemon", false, true, "", "", notRunning},
        {"no daemon ever started: no token", false, false, "", "", notRunning},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        writeDaemonToken();
        if (!c.token)
            QFile::remove(OrvoEnv::instance()->userFolder() + QStringLiteral("/orvo.token"));
        auto daemon = std::make_unique<OneRequestServer>(c.status, OneRequestServer::Export(), c.text);
        const quint16 port = c.listening ? daemon->port() : quint16(OrvoTest::freePort());
        if (!c.listening)
            daemon.reset();
        OrvoDaemonProxy proxy(port);
        LogWatch log;
        OrvoRecordingNotice notice;
        QString error;
        EXPECT_EQ(proxy.exportLog(dest, error), c.token);
        EXPECT_EQ(error.isEmpty(), c.token);
        EXPECT_TRUE(QTest::qWaitFor([&log] { return log.contains(QStringLiteral("did not export the log")); }, kWaitMs))
            << log.text().toStdString();
        ASSERT_EQ(notice.shown.size(), 1);
        EXPECT_TRUE(notice.shown.first().startsWith(c.shown)) << notice.shown.first().toStdString();
    }
}

} // namespace
