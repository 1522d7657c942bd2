#include "DaemonInstall.h"
#include "OrvoTestProcess.h"
#include "OrvoTestSupport.h"

#include "DemoDevicesFolder.h"

#include "app/OrvoDaemonProxy.h"
#include "app/OrvoWebToken.h"
#include "env/OrvoEnv.h"

#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <array>
#include <iostream>
#include <memory>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using OrvoTest::kProgramTimeoutMs;
using OrvoTest::terminate;
using OrvoTest::waitForExit;

constexpr int kPollMs = 100;

const QString kDaemonRole = QStringLiteral("daemon");

// The page at / once the daemon serves it, asked for with the token the daemon wrote; empty
// when it never does.
QString servedPage(const DaemonInstall &install, QProcess &daemon)
{
    QNetworkAccessManager network;
    const QUrl url(QStringLiteral("http://127.0.0.1:%1/").arg(install.port()));
    for (QDeadlineTimer deadline(kProgramTimeoutMs); !deadline.hasExpired() && daemon.state() != QProcess::NotRunning;
         QTest::qWait(kPollMs)) {
        const QString token = OrvoWebToken::read(install.dataDir(), kDaemonRole);
        if (token.isEmpty())
            continue;
        QNetworkRequest request(url);
        request.setRawHeader("Authorization", "Token " + token.toLatin1());
        std::unique_ptr<QNetworkReply> reply(network.get(request));
        QSignalSpy finished(reply.get(), &QNetworkReply::finished);
        if (finished.wait(5000) && reply->error() == QNetworkReply::NoError)
            return QString::fromUtf8(reply->readAll());
    }
    return {};
}

QStringList zipEntries(const QString &zip)
{
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-Z1"), zip});
    if (!unzip.waitForFinished(kProgramTimeoutMs) || unzip.exitCode() != 0)
        return {};
    return QString::fromUtf8(unzip.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

TEST(DaemonProgram, ServesItsPageWithoutDisplayTakesTheTraysLogExportAndShutsDownInOrder)
{
    const DaemonInstall install;
    std::unique_ptr<QProcess> daemon = install.start();
    const QString page = servedPage(install, *daemon);
    ASSERT_TRUE(page.contains(QStringLiteral("<title>Tarvex Orvo 2-My Device Manager</title>"))) << page.toStdString();
    EXPECT_TRUE(page.contains(QStringLiteral("No device connected")));

    std::unique_ptr<QProcess> second = install.startReading();
    EXPECT_EQ(waitForExit(*second), 0);
    EXPECT_EQ(second->readAllStandardOutput(),
              "orvo-daemon: an instance is already running; this start was handed to it\n");
    EXPECT_EQ(daemon->state(), QProcess::Running);

    // The tray program's controller, with a folder whose name a query would otherwise change.
    OrvoTest::OutputDir exports;
    const QString folder = exports.filePath(QStringLiteral("orvo logs+1 %20"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString dest = folder + QStringLiteral("/orvo export.zip");
    // The tray program shares the daemon's data folder, where it finds the daemon's token.
    OrvoEnv::instance()->setUserFolder(install.dataDir());
    OrvoDaemonProxy tray(install.port());
    QString error;
    EXPECT_TRUE(tray.exportLog(dest, error));
    ASSERT_TRUE(QTest::qWaitFor([&dest] { return QFile::exists(dest); }, kProgramTimeoutMs))
        << install.log().toStdString();
    EXPECT_EQ(zipEntries(dest), QStringList{QStringLiteral("orvolog.txt")});
    EXPECT_FALSE(QFile::exists(install.dataDir() + QStringLiteral("/orvolog.txt")));

    EXPECT_EQ(terminate(*daemon), 0);
    const QString log = install.log();
    EXPECT_TRUE(log.contains(QStringLiteral("message from a second start \"raies\""))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("OrvoEnv destructor")));
}

// How a client leaves a connection before its answer is read whole.
enum class Leave { BeforeTheRequest, AfterTheRequest, DuringTheAnswer, AfterTheAnswer };

// One connection to the daemon's page that the client closes at the moment leave names, in
// order or by a reset: either way the daemon's next writes to it fail.
void connectAndLeave(quint16 port, const QByteArray &request, Leave leave, bool reset)
{
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(socket, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected = ::connect(socket, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) == 0;
    EXPECT_TRUE(connected);
    if (connected && leave != Leave::BeforeTheRequest) {
        EXPECT_EQ(::send(socket, request.constData(), size_t(request.size()), 0), ssize_t(request.size()));
        std::array<char, 4096> answer{};
        if (leave == Leave::DuringTheAnswer)
            ::recv(socket, answer.data(), 1, MSG_WAITALL);
        while (leave == Leave::AfterTheAnswer && ::recv(socket, answer.data(), answer.size(), 0) > 0) {
        }
    }
    const linger noLinger{1, 0};
    if (reset)
        ::setsockopt(socket, SOL_SOCKET, SO_LINGER, &noLinger, sizeof(noLinger));
    ::close(socket);
}

// A client that goes away before it read its answer is no reason for the daemon to end: not
// before its request, after it, in the middle of the answer (the page of a device with rides
// takes several writes) or after it; the page answers after each batch.
TEST(DaemonProgram, SurvivesAThousandClientsThatLeaveBeforeTheirAnswerIsRead)
{
    const DaemonInstall install;
    QString error;
    ASSERT_TRUE(DemoDevicesFolder::write(install.devicesDir(), error)) << error.toStdString();
    std::unique_ptr<QProcess> daemon = install.start();
    ASSERT_TRUE(servedPage(install, *daemon).contains(QStringLiteral("class=\"ride\""))) << install.log().toStdString();
    const QByteArray request =
        QStringLiteral("GET / HTTP/1.1\r\nHost: 127.0.0.1:%1\r\nAuthorization: Token %2\r\nConnection: close\r\n\r\n")
            .arg(install.port())
            .arg(OrvoWebToken::read(install.dataDir(), kDaemonRole))
            .toLatin1();
    constexpr int kConnectionsEach = 250;
    for (const Leave leave :
         {Leave::BeforeTheRequest, Leave::AfterTheRequest, Leave::DuringTheAnswer, Leave::AfterTheAnswer}) {
        SCOPED_TRACE(int(leave));
        for (int i = 0; i < kConnectionsEach; ++i)
            connectAndLeave(install.port(), request, leave, i % 2 == 0);
        ASSERT_FALSE(servedPage(install, *daemon).isEmpty()) << "exit code " << daemon->exitCode() << "\n"
                                                             << install.log().toStdString();
    }
    EXPECT_EQ(terminate(*daemon), 0);
}

// The data folder holds the log, the settings, the token and the device's dumps: they are the
// user's alone, whatever the umask the daemon was started with, and files of an older release
// are made private too. A request without the token is refused.
TEST(DaemonProgram, TheDataFolderAndWhatTheDaemonWritesThereArePrivate)
{
    const DaemonInstall install;
    ASSERT_TRUE(QFile::setPermissions(install.dataDir(), QFileDevice::Permissions(0x7755)));
    const QString older = install.dataDir() + QStringLiteral("/orvoold.log");
    ASSERT_TRUE(OrvoTest::writeFile(older, "from an older release\n"));
    ASSERT_TRUE(QFile::setPermissions(older, QFileDevice::Permissions(0x6644)));
    const mode_t umaskBefore = ::umask(022);
    std::unique_ptr<QProcess> daemon = install.start();
    ::umask(umaskBefore);
    ASSERT_FALSE(servedPage(install, *daemon).isEmpty()) << install.log().toStdString();

    const auto modeOf = [](const QString &path) {
        struct stat status = {};
        return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 0777 : 0xFFFF;
    };
    EXPECT_EQ(modeOf(install.dataDir()), 0700u);
    const QDir data(install.dataDir());
    const QStringList written = data.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QString &name : {QStringLiteral("orvo.ini"), QStringLiteral("orvo.log"), QStringLiteral("orvo.token"),
                                QStringLiteral("orvoold.log")})
        EXPECT_TRUE(written.contains(name)) << name.toStdString();
    for (const QString &name : written) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(modeOf(data.filePath(name)), QFileInfo(data.filePath(name)).isDir() ? 0700u : 0600u);
    }

    QNetworkAccessManager network;
    std::unique_ptr<QNetworkReply> reply(
        network.get(QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(install.port())))));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    ASSERT_TRUE(finished.wait(kProgramTimeoutMs));
    EXPECT_EQ(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 403);
    EXPECT_EQ(terminate(*daemon), 0);
}

// One daemon runs per user and data folder: a demo with a data folder, devices and port of its
// own runs beside the user's daemon, and a second start in either folder is handed to that
// folder's daemon.
TEST(DaemonProgram, DaemonsWithDataFoldersOfTheirOwnRunSideBySide)
{
    DaemonInstall first;
    DaemonInstall second;
    for (DaemonInstall *install : {&first, &second})
        install->environment().remove(QStringLiteral("ORVO_INSTANCE_KEY"));
    std::unique_ptr<QProcess> firstDaemon = first.start();
    ASSERT_FALSE(servedPage(first, *firstDaemon).isEmpty()) << first.log().toStdString();
    std::unique_ptr<QProcess> secondDaemon = second.start();
    ASSERT_FALSE(servedPage(second, *secondDaemon).isEmpty()) << second.log().toStdString();
    EXPECT_EQ(firstDaemon->state(), QProcess::Running);

    std::unique_ptr<QProcess> again = second.startReading();
    EXPECT_EQ(waitForExit(*again), 0);
    EXPECT_EQ(again->readAllStandardOutput(),
              "orvo-daemon: an instance is already running; this start was handed to it\n");
    EXPECT_EQ(terminate(*secondDaemon), 0);
    EXPECT_EQ(terminate(*firstDaemon), 0);
    EXPECT_TRUE(second.log().contains(QStringLiteral("message from a second start \"raies\"")));
    EXPECT_FALSE(first.log().contains(QStringLiteral("message from a second start")));
}

TEST(DaemonProgram, EmulatedKavel50DriveIsServed)
{
    const DaemonInstall install;
    const QString drive = install.devicesDir() + QStringLiteral("/KAVEL50");
    ASSERT_TRUE(QDir().mkpath(drive));
    ASSERT_TRUE(OrvoTest::writeFile(drive + QStringLiteral("/device.ini"),
                                    "[MODEL]\r\nModel=Kavel50\r\n[UUID]\r\nUUID=0901A1B2C3D4E5F6\r\n"));
    ASSERT_TRUE(OrvoTest::writeFile(install.devicesDir() + QStringLiteral("/KAVEL50.vendor"), "TarvexKavel50\n"));
    std::unique_ptr<QProcess> daemon = install.start();
    const QString page = servedPage(install, *daemon);
    EXPECT_TRUE(page.contains(QStringLiteral("Kavel50"))) << page.toStdString();
    EXPECT_EQ(terminate(*daemon), 0);
    const QString log = install.log();
    EXPECT_FALSE(log.contains(QStringLiteral("Kavel50 (OrvoKavel50CR)"))) << log.toStdString();
    EXPECT_FALSE(log.contains(QStringLiteral("no client class")));
}

// Each start that could not serve as asked ends at once with 1 and says why on standard error,
// instead of serving another platform, another folder, or no page at all.
TEST(DaemonProgram, RefusesToStartOnWhatItCannotServeAndSaysWhy)
{
    OrvoTest::OutputDir scratch;
    const QString file = scratch.filePath(QStringLiteral("a file"));
    ASSERT_TRUE(OrvoTest::writeFile(file, "not a folder\n"));
    const QString readOnly = scratch.filePath(QStringLiteral("read-only"));
    ASSERT_TRUE(QDir().mkpath(readOnly));
    ASSERT_TRUE(QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ExeOwner));
    struct Case
    {
        const char *name;
        const char *variable;
        QString value;
        QString said;
        // Permissions do not stop the superuser.
        bool needsOrdinaryUser = false;
    };
    const Case cases[] = {
        {"unknown platform", "ORVO_PLATFORM", QStringLiteral("bogus"),
         QStringLiteral("orvo-daemon: ORVO_PLATFORM=bogus is not a platform")},
        {"emulator without folder", "ORVO_PLATFORM", QStringLiteral("emulator:"),
         QStringLiteral("orvo-daemon: ORVO_PLATFORM=emulator: names no folder of emulated devices\n")},
        {"emulator folder missing", "ORVO_PLATFORM",
         QStringLiteral("emulator:") + scratch.filePath(QStringLiteral("gone")),
         QStringLiteral("orvo-daemon: ORVO_PLATFORM: the folder of emulated devices %1 does not exist\n")
             .arg(scratch.filePath(QStringLiteral("gone")))},
        {"data folder is a file", "ORVO_DATA_DIR", file,
         QStringLiteral("orvo-daemon: the data folder %1 (ORVO_DATA_DIR) is not a folder and cannot be made one\n")
             .arg(file)},
        {"data folder inside a file", "ORVO_DATA_DIR", file + QStringLiteral("/TarvexOrvo"),
         QStringLiteral("orvo-daemon: the data folder %1/TarvexOrvo (ORVO_DATA_DIR) is not a folder").arg(file)},
        // Not even the superuser may make files there.
        {"data folder of the kernel", "ORVO_DATA_DIR", QStringLiteral("/proc"),
         QStringLiteral("orvo-daemon: the data folder /proc (ORVO_DATA_DIR) is not writable: ")},
        {"data folder read-only", "ORVO_DATA_DIR", readOnly,
         QStringLiteral("orvo-daemon: the data folder %1 (ORVO_DATA_DIR) is not writable: ").arg(readOnly), true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.needsOrdinaryUser && ::geteuid() == 0) {
            std::cout << "not tried as the superuser: " << c.name << std::endl;
            continue;
        }
        DaemonInstall install;
        install.environment().insert(QLatin1String(c.variable), c.value);
        std::unique_ptr<QProcess> daemon = install.startReading();
        EXPECT_EQ(waitForExit(*daemon), 1);
        const QString said = QString::fromLocal8Bit(daemon->readAllStandardError());
        EXPECT_TRUE(said.contains(c.said)) << said.toStdString();
    }
}

TEST(DaemonProgram, ATakenListenPortEndsTheProgramWithOneAndNamesTheSettingThatMovesIt)
{
    const DaemonInstall install;
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::LocalHost, install.port()));
    std::unique_ptr<QProcess> daemon = install.startReading();
    EXPECT_EQ(waitForExit(*daemon), 1);
    const QString said = QString::fromLocal8Bit(daemon->readAllStandardError());
    EXPECT_TRUE(said.contains(QStringLiteral("orvo-daemon: port %1 is taken by another program; set \"listen_port\" in "
                                             "the group [TarvexOrvo] of %2/orvo.ini to a free port\n")
                                  .arg(install.port())
                                  .arg(install.dataDir())))
        << said.toStdString();
    EXPECT_TRUE(install.log().contains(QStringLiteral("is taken by another program")));
}

// Answered before anything starts: a platform that would be refused and a data folder that
// cannot be made do not matter, and no log is written.
TEST(DaemonProgram, HelpAndVersionAnswerBeforeAnythingStarts)
{
    DaemonInstall install;
    install.environment().insert(QStringLiteral("ORVO_PLATFORM"), QStringLiteral("bogus"));
    struct Case
    {
        QString argument;
        QString printedStart;
    };
    const Case cases[] = {
        {QStringLiteral("--help"), QStringLiteral("Usage: orvo-daemon [options]\nServes the attached devices")},
        {QStringLiteral("-h"), QStringLiteral("Usage: orvo-daemon [options]\n")},
        {QStringLiteral("--version"), QStringLiteral("orvo-daemon 2.8.0.20 (build 25)\n")},
        {QStringLiteral("-v"), QStringLiteral("orvo-daemon 2.8.0.20 (build 25)\n")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.argument.toStdString());
        std::unique_ptr<QProcess> daemon = install.startReading({c.argument});
        EXPECT_EQ(waitForExit(*daemon), 0);
        const QString printed = QString::fromLocal8Bit(daemon->readAllStandardOutput());
        EXPECT_TRUE(printed.startsWith(c.printedStart)) << printed.toStdString();
        EXPECT_TRUE(daemon->readAllStandardError().isEmpty());
    }
    EXPECT_TRUE(install.log().isEmpty());
}

} // namespace
