#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

// One running instance per key: the first process to claim the key holds a lock file and
// listens on a local socket of that name; later processes hand it a one-line message instead of
// starting. The running instance acknowledges each message once it has taken it.
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
    QLockFile m_lock;
    QLocalServer *m_server = nullptr;
};
