#include "app/OrvoDaemonProxy.h"

#include "app/OrvoAppLogging.h"
#include "env/OrvoFunctionTrace.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>
#include <QUrlQuery>

OrvoDaemonProxy::OrvoDaemonProxy(quint16 daemonPort)
    : m_daemonPort(daemonPort)
{}

OrvoClient *OrvoDaemonProxy::currentClient()
{
    return nullptr;
}

QUrl OrvoDaemonProxy::exportLogUrl(const QString &dest) const
{
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(QStringLiteral("127.0.0.1"));
    url.setPort(m_daemonPort);
    url.setPath(QStringLiteral("/export_log"));
    // Left to itself the query keeps "+" (a space to the daemon) and "%" sequences as they are.
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("dest"), QString::fromLatin1(QUrl::toPercentEncoding(dest)));
    url.setQuery(query);
    return url;
}

void OrvoDaemonProxy::exportLog(const QString &dest)
{
    const QUrl url = exportLogUrl(dest);
    ORVO_TRACE_DEBUG(lcOrvoApp, "OrvoDaemonProxy::exportLog") << url.toString(QUrl::FullyEncoded);
    QNetworkReply *reply = m_network.get(QNetworkRequest(url));
    connect(reply, &QNetworkReply::finished, this, &OrvoDaemonProxy::replyFinished);
}

void OrvoDaemonProxy::replyFinished()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (reply == nullptr)
        return;
    if (reply->error() != QNetworkReply::NoError)
        ORVO_TRACE_WARNING(lcOrvoApp, "OrvoDaemonProxy::replyFinished")
            << "the daemon did not export the log:" << reply->errorString();
    reply->deleteLater();
}
