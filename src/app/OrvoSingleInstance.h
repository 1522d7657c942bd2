#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

// One running instance per key: the first process to claim the key holds a lock file and
// listens on a local socket named after the key; later processes hand it a one-line message
// instead of starting. The running instance acknowledges each message once it has taken it.
// Both lie in the user's runtime folder ($XDG_RUNTIME_DIR, else a folder of the user's own under
// /tmp), never in the temporary folder, which each start may be given another of: a start with
// another one would not see the running instance.
class OrvoSingleInstance : public QObject
{
    Q_OBJECT

public:
    explicit OrvoSingleInstance(const QString &key, QObject *parent = nullptr);
    ~OrvoSingleInstance() override;

    // The key of a program for the current user and its data folder: programs of one user with
    // data folders of their own (a demo beside the real one) run side by side.
    static QString defaultKey(const QString &programName, const QString &dataFolder);

    QString key() const;
    // The path of the local socket the running instance listens on: a hash of the key, so that
    // it stays within the length a local socket's path may have, however long the key.
    QString serverName() const;

    // True when another process holds the key. Otherwise this object becomes the running
    // instance (once; later calls answer false again) and listens for messages.
    bool isRunning();

    // Hands the message to the running instance; false when it did not acknowledge it in time.
    bool sendMessage(const QString &message, int timeoutMs);

signals:
    void messageReceived(const QString &message);

private:
    void acceptConnections();
    void readMessage(QLocalSocket *socket);
    void dropPeer(QLocalSocket *socket);

    QString m_key;
    // The lock's and the socket's path less their suffix.
    QString m_path;
    QLockFile m_lock;
    QLocalServer *m_server = nullptr;
};
