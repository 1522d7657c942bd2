#include "app/OrvoDaemonProxy.h"

#include "app/OrvoAppLogging.h"
#include "app/OrvoUserNotice.h"
#include "env/OrvoFunctionTrace.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>
#include <QUrlQuery>

namespace {

const char *const kDestProperty = "orvoExportDest";
const QString kExportTitle = QStringLiteral("Export log");

QString failureText(const QNetworkReply &reply)
{
    const QString dest = reply.property(kDestProperty).toString();
    if (reply.error() == QNetworkReply::ConnectionRefusedError)
        return QStringLiteral("The log was not exported to %1: orvo-daemon, which collects the logs, is not running.")
            .arg(dest);
    return QStringLiteral("The log was not exported to %1: %2").arg(dest, reply.errorString());
}

} // namespace

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
    reply->setProperty(kDestProperty, dest);
    connect(reply, &QNetworkReply::finished, this, &OrvoDaemonProxy::replyFinished);
}

void OrvoDaemonProxy::replyFinished()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (reply == nullptr)
        return;
    reply->deleteLater();
    if (reply->error() == QNetworkReply::NoError)
        return;
    ORVO_TRACE_WARNING(lcOrvoApp, "OrvoDaemonProxy::replyFinished")
        << "the daemon did not export the log:" << reply->errorString();
    // The user chose a file and waits for it; a log line alone would leave them guessing.
    if (OrvoUserNotice *notice = OrvoUserNotice::installed())
        notice->showFailure(kExportTitle, failureText(*reply));
}
