#pragma once

#include "app/OrvoDaemon.h"

#include <QNetworkAccessManager>
#include <QObject>

class QNetworkReply;

// The controller of the tray program, which serves no device: it has no current client, and it
// hands log exports to the daemon's web application over local HTTP, with the daemon's token
// from the data folder the two programs share.
class OrvoDaemonProxy : public QObject, public OrvoDaemon
{
    Q_OBJECT

public:
    static constexpr quint16 kDaemonPort = 18888;

    // daemonPort is where the daemon's web application listens.
    explicit OrvoDaemonProxy(quint16 daemonPort = kDaemonPort);

    OrvoClient *currentClient() override;
    // Asks the daemon for the export into a new file beside dest, which takes dest's place once
    // the daemon wrote it: the daemon replaces no file, and the user chose to replace dest.
    // Nothing waits for the answer: true once the daemon is asked, false with error when it
    // cannot be. Either way a failure is shown to the user, with the daemon's reason.
    bool exportLog(const QString &dest, QString &error) override;

public slots:
    void replyFinished();

private:
    QUrl exportLogUrl() const;
    void showFailure(const QString &dest, const QString &text) const;
    void finishExport(QNetworkReply &reply) const;

    QNetworkAccessManager m_network;
    quint16 m_daemonPort;
};
