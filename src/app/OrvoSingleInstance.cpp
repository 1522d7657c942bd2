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

#include <unistd.h>

namespace {

// A message is one line; a peer that sends more than this without ending its line is dropped.
constexpr qsizetype kMaxMessageSize = 4096;
constexpr char kAcknowledge = '\n';
constexpr qint64 kRetryPauseMs = 50;
constexpr qsizetype kFolderHashLength = 16;

QString lockFilePath(const QString &key)
{
    return QDir::temp().filePath(key + QStringLiteral(".lock"));
}

} // namespace

OrvoSingleInstance::OrvoSingleInstance(const QString &key, QObject *parent)
    : QObject(parent)
    , m_key(key)
    , m_lock(lockFilePath(key))
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
    // The folder by its real path, hashed: the key names a socket, whose name is short and
    // holds no slash.
    const QFileInfo folder(dataFolder);
    const QString path = folder.exists() ? folder.canonicalFilePath() : QDir::cleanPath(folder.absoluteFilePath());
    const QByteArray hash =
        QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha256).toHex().left(kFolderHashLength);
    return programName + QLatin1Char('-') + QString::number(::getuid()) + QLatin1Char('-') + QString::fromLatin1(hash);
}

QString OrvoSingleInstance::key() const
{
    return m_key;
}

bool OrvoSingleInstance::isRunning()
{
    if (m_server)
        return false;
    if (!m_lock.tryLock(0))
        return true;
    // The lock is ours, so a socket of this name is a leftover of a process that ended.
    QLocalServer::removeServer(m_key);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_key))
        ORVO_TRACE_WARNING(lcOrvoApp, "OrvoSingleInstance::isRunning")
            << "listen failed" << m_key << m_server->errorString();
    connect(m_server, &QLocalServer::newConnection, this, &OrvoSingleInstance::acceptConnections);
    return false;
}

bool OrvoSingleInstance::sendMessage(const QString &message, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    // The running instance may still be starting and not listen yet.
    for (;;) {
        socket.connectToServer(m_key);
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
