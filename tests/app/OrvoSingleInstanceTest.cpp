#include "app/OrvoSingleInstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

#include <future>
#include <memory>

#include <unistd.h>

namespace {

constexpr int kWaitMs = 10000;

QString uniqueKey()
{
    return QStringLiteral("orvo-test-") + QUuid::createUuid().toString(QUuid::Id128);
}

// The sender blocks until the running instance acknowledges, and the running instance answers
// from the event loop: the sender runs on a thread of its own.
std::future<bool> sendFromAnotherThread(const QString &key, const QString &message, int timeoutMs = kWaitMs)
{
    return std::async(std::launch::async, [key, message, timeoutMs] {
        OrvoSingleInstance second(key);
        return second.isRunning() && second.sendMessage(message, timeoutMs);
    });
}

// A demo with its own data folder runs beside the user's program; one folder, however it is
// named, is one instance.
TEST(OrvoSingleInstanceTest, TheDefaultKeyTellsDataFoldersApartButNotTheirNames)
{
    QTemporaryDir top;
    ASSERT_TRUE(QDir(top.path()).mkpath(QStringLiteral("real/TarvexOrvo")));
    ASSERT_TRUE(QFile::link(top.filePath(QStringLiteral("real")), top.filePath(QStringLiteral("linked"))));
    const QString folder = top.filePath(QStringLiteral("real/TarvexOrvo"));
    const QString key = OrvoSingleInstance::defaultKey(QStringLiteral("orvo-daemon"), folder);
    EXPECT_TRUE(key.startsWith(QStringLiteral("orvo-daemon-%1-").arg(::getuid()))) << key.toStdString();
    EXPECT_FALSE(key.contains(QLatin1Char('/')));
    for (const QString &same : {folder + QLatin1Char('/'), top.filePath(QStringLiteral("real/./TarvexOrvo")),
                                top.filePath(QStringLiteral("linked/TarvexOrvo"))}) {
        SCOPED_TRACE(same.toStdString());
        EXPECT_EQ(OrvoSingleInstance::defaultKey(QStringLiteral("orvo-daemon"), same), key);
    }
    for (const QString &other : {top.filePath(QStringLiteral("demo-data")), top.filePath(QStringLiteral("real"))}) {
        SCOPED_TRACE(other.toStdString());
        EXPECT_NE(OrvoSingleInstance::defaultKey(QStringLiteral("orvo-daemon"), other), key);
    }
    EXPECT_NE(OrvoSingleInstance::defaultKey(QStringLiteral("orvo-tray"), folder), key);
}

// Sets TMPDIR while it lives, as a start with a temporary folder of its own has it.
class TemporaryFolderScope
{
public:
    explicit TemporaryFolderScope(const QString &folder)
        : m_previous(qgetenv("TMPDIR"))
        , m_wasSet(qEnvironmentVariableIsSet("TMPDIR"))
    {
        qputenv("TMPDIR", QFile::encodeName(folder));
    }
    ~TemporaryFolderScope()
    {
        if (m_wasSet)
            qputenv("TMPDIR", m_previous);
        else
            qunsetenv("TMPDIR");
    }
    TemporaryFolderScope(const TemporaryFolderScope &) = delete;
    TemporaryFolderScope &operator=(const TemporaryFolderScope &) = delete;

private:
    QByteArray m_previous;
    bool m_wasSet;
};

// Each start may be given a temporary folder of its own, one too long for a local socket's path
// too: the running instance is found all the same, and takes the message.
TEST(OrvoSingleInstanceTest, StartsWithOtherTemporaryFoldersFindTheRunningInstance)
{
    QTemporaryDir top;
    const QString longFolder = top.filePath(QString(120, QLatin1Char('t')));
    const QString other = top.filePath(QStringLiteral("other"));
    ASSERT_TRUE(QDir().mkpath(longFolder));
    ASSERT_TRUE(QDir().mkpath(other));
    struct Case
    {
        const char *name;
        QString first;
        QString second;
    };
    const Case cases[] = {
        {"another folder", other, longFolder},
        {"the same long folder", longFolder, longFolder},
        {"the default folder after a long one", longFolder, QDir::tempPath()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString key = uniqueKey();
        std::unique_ptr<OrvoSingleInstance> first;
        {
            const TemporaryFolderScope folder(c.first);
            first = std::make_unique<OrvoSingleInstance>(key);
            ASSERT_FALSE(first->isRunning());
        }
        QSignalSpy received(first.get(), &OrvoSingleInstance::messageReceived);
        const TemporaryFolderScope folder(c.second);
        OrvoSingleInstance second(key);
        EXPECT_TRUE(second.isRunning());
        std::future<bool> sent = sendFromAnotherThread(key, QStringLiteral("raies"));
        ASSERT_TRUE(received.wait(kWaitMs));
        EXPECT_TRUE(sent.get());
        EXPECT_LT(QFile::encodeName(first->serverName()).size(), 108);
    }
}

TEST(OrvoSingleInstanceTest, SecondStartHandsItsMessageToTheRunningInstance)
{
    const QString key = uniqueKey();
    OrvoSingleInstance first(key);
    ASSERT_FALSE(first.isRunning());
    QSignalSpy received(&first, &OrvoSingleInstance::messageReceived);

    std::future<bool> sent = sendFromAnotherThread(key, QStringLiteral("raies"));
    ASSERT_TRUE(received.wait(kWaitMs));
    EXPECT_TRUE(sent.get());
    EXPECT_EQ(received.first().first().toString(), QStringLiteral("raies"));
    EXPECT_FALSE(first.isRunning());
}

TEST(OrvoSingleInstanceTest, KeyIsFreeAgainWhenTheRunningInstanceEnds)
{
    const QString key = uniqueKey();
    {
        OrvoSingleInstance first(key);
        ASSERT_FALSE(first.isRunning());
        OrvoSingleInstance blocked(key);
        EXPECT_TRUE(blocked.isRunning());
    }
    OrvoSingleInstance next(key);
    EXPECT_FALSE(next.isRunning());
}

TEST(OrvoSingleInstanceTest, LeftoverSocketOfAnEndedInstanceDoesNotBlockTheNextOne)
{
    const QString key = uniqueKey();
    OrvoSingleInstance first(key);
    {
        QFile file(first.serverName());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    ASSERT_FALSE(first.isRunning());
    QSignalSpy received(&first, &OrvoSingleInstance::messageReceived);
    std::future<bool> sent = sendFromAnotherThread(key, QStringLiteral("raies"));
    ASSERT_TRUE(received.wait(kWaitMs));
    EXPECT_TRUE(sent.get());
}

TEST(OrvoSingleInstanceTest, SendingWithoutARunningInstanceFailsWithinTheTimeout)
{
    OrvoSingleInstance lonely(uniqueKey());
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(lonely.sendMessage(QStringLiteral("raies"), 300));
    EXPECT_LT(clock.elapsed(), 3000);
}

TEST(OrvoSingleInstanceTest, OverlongMessageIsDroppedAndLaterMessagesStillArrive)
{
    const QString key = uniqueKey();
    OrvoSingleInstance first(key);
    ASSERT_FALSE(first.isRunning());
    QSignalSpy received(&first, &OrvoSingleInstance::messageReceived);

    QLocalSocket flooder;
    QSignalSpy dropped(&flooder, &QLocalSocket::disconnected);
    flooder.connectToServer(first.serverName());
    ASSERT_TRUE(flooder.waitForConnected(kWaitMs));
    flooder.write(QByteArray(5000, 'x'));
    ASSERT_TRUE(dropped.wait(kWaitMs));

    std::future<bool> sent = sendFromAnotherThread(key, QStringLiteral("raies"));
    ASSERT_TRUE(received.wait(kWaitMs));
    EXPECT_TRUE(sent.get());
    ASSERT_EQ(received.size(), 1);
    EXPECT_EQ(received.first().first().toString(), QStringLiteral("raies"));
}

} // namespace
