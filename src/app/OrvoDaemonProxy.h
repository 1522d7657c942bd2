#pragma once

#include "app/OrvoDaemon.h"

#include <QNetworkAccessManager>
#include <QObject>

// The controller of the tray program, which serves no device: it has no current client, and it
// hands log exports to the daemon's web application over local HTTP.
class OrvoDaemonProxy : public QObject, public OrvoDaemon
{
    Q_OBJECT

public:
    static constexpr quint16 kDaemonPort = 18888;

    // daemonPort is where the daemon's web application listens.
    explicit OrvoDaemonProxy(quint16 daemonPort = kDaemonPort);

    OrvoClient *currentClient() override;
    // Asks the daemon for the export; nothing waits for its answer.
    void exportLog(const QString &dest) override;

public slots:
    void replyFinished();

private:
    // The request for dest: the folder percent-encoded in full, so that the daemon reads back
    // exactly the text sent.
    QUrl exportLogUrl(const QString &dest) const;

    QNetworkAccessManager m_network;
    quint16 m_daemonPort;
};
