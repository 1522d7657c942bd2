#include "app/OrvoSingleInstance.h"

#include "app/OrvoAppLogging.h"
#include "env/OrvoFunctionTrace.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A message is one line; a peer that sends more than this without ending its line is dropped.
constexpr qsizetype kMaxMessageSize = 4096;
constexpr char kAcknowledge = '\n';
constexpr qint64 kRetryPauseMs = 50;
constexpr qsizetype kFolderHashLength = 16;
constexpr qsizetype kKeyHashLength = 16;
// A runtime folder longer than this is not taken: the socket's path must stay below the
// length of sockaddr_un::sun_path.
constexpr qsizetype kMaxRuntimeFolderLength = 64;
static_assert(kMaxRuntimeFolderLength + kKeyHashLength + 16 < qsizetype(sizeof(sockaddr_un::sun_path)));

QString hashed(const QString &text, qsizetype length)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256).toHex().left(length));
}

// A folder under /tmp that is the user's alone: made so, or found so (not a link, not another
// user's, not open to others). Empty when it is not.
QString ownTmpFolder()
{
    const QString folder = QStringLiteral("/tmp/orvo-%1").arg(::getuid());
    const QByteArray path = QFile::encodeName(folder);
    ::mkdir(path.constData(), 0700);
    struct stat status = {};
    if (::lstat(path.constData(), &status) != 0 || !S_ISDIR(status.st_mode) || status.st_uid != ::getuid() ||
        (status.st_mode & 077) != 0) {
        ORVO_TRACE_WARNING(lcOrvoApp, "OrvoSingleInstance") << "not a folder of this user's alone:" << folder;
        return {};
    }
    return folder;
}

QString runtimeFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && runtime.size() <= kMaxRuntimeFolderLength && QFileInfo(runtime).isDir())
        return runtime;
    const QString own = ownTmpFolder();
    return own.isEmpty() ? QDir::tempPath() : own;
}

QString pathFor(const QString &key)
{
    return runtimeFolder() + QStringLiteral("/orvo-") + hashed(key, kKeyHashLength);
}

} // namespace

OrvoSingleInstance::OrvoSingleInstance(const QString &key, QObject *parent)
    : QObject(parent)
    , m_key(key)
    , m_path(pathFor(key))
    , m_lock(m_path + QStringLiteral(".lock"))
{
    // A lock left by a process that no longer runs is taken over whatever its age.
    m_lock.setStaleLockTime(0);
}

OrvoSingleInstance::~OrvoSingleInstance()
{
    if (m_server)
        m_server->close();
}

QString OrvoSingleInstance::defaultKey(const QString &programName, const QString &dataFolder)
{
    // The folder by its real path, hashed: the key holds no slash.
    const QFileInfo folder(dataFolder);
    const QString path = folder.exists() ? folder.canonicalFilePath() : QDir::cleanPath(folder.absoluteFilePath());
    return programName + QLatin1Char('-') + QString::number(::getuid()) + QLatin1Char('-') +
           hashed(path, kFolderHashLength);
}

QString OrvoSingleInstance::key() const
{
    return m_key;
}

QString OrvoSingleInstance::serverName() const
{
    return m_path + QStringLiteral(".socket");
}

bool OrvoSingleInstance::isRunning()
{
    if (m_server)
        return false;
    if (!m_lock.tryLock(0))
        return true;
    // The lock is ours, so a socket of this name is a leftover of a process that ended.
    QLocalServer::removeServer(serverName());
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(serverName()))
        ORVO_TRACE_WARNING(lcOrvoApp, "OrvoSingleInstance::isRunning")
            << "listen failed" << serverName() << m_server->errorString();
    connect(m_server, &QLocalServer::newConnection, this, &OrvoSingleInstance::acceptConnections);
    return false;
}

bool OrvoSingleInstance::sendMessage(const QString &message, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    // The running instance may still be starting and not listen yet.
    for (;;) {
        socket.connectToServer(serverName());
        if (socket.waitForConnected(int(qMax<qint64>(deadline.remainingTime(), 0))))
            break;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(ulong(qMin<qint64>(kRetryPauseMs, deadline.remainingTime())));
    }
    socket.write(message.toUtf8() + '\n');
    if (!socket.waitForBytesWritten(int(qMax<qint64>(deadline.remainingTime(), 0))))
        return false;
    while (!socket.bytesAvailable()) {
        if (deadline.hasExpired() || !socket.waitForReadyRead(int(deadline.remainingTime())))
            return false;
    }
    return socket.read(1) == QByteArray(1, kAcknowledge);
}

void OrvoSingleInstance::acceptConnections()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readMessage(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (socket->canReadLine())
            readMessage(socket);
    }
}

void OrvoSingleInstance::readMessage(QLocalSocket *socket)
{
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > kMaxMessageSize)
            dropPeer(socket);
        return;
    }
    QByteArray line = socket->readLine();
    if (line.size() > kMaxMessageSize) {
        dropPeer(socket);
        return;
    }
    line.chop(1);
    socket->write(QByteArray(1, kAcknowledge));
    socket->flush();
    emit messageReceived(QString::fromUtf8(line));
}

void OrvoSingleInstance::dropPeer(QLocalSocket *socket)
{
    ORVO_TRACE_WARNING(lcOrvoApp, "OrvoSingleInstance::readMessage") << "message too long, dropped";
    socket->abort();
}
