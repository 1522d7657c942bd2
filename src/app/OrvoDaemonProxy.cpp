#include "app/OrvoDaemonProxy.h"

#include "app/OrvoAppLogging.h"
#include "app/OrvoUserNotice.h"
#include "app/OrvoWebToken.h"
#include "env/OrvoEnv.h"
#include "env/OrvoFunctionTrace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>
#include <QUrlQuery>
#include <QUuid>

#include <cstdio>

namespace {

const char *const kDestProperty = "orvoExportDest";
const char *const kPartProperty = "orvoExportPart";
const QString kExportTitle = QStringLiteral("Export log");
const QString kDaemonRole = QStringLiteral("daemon");
const QString kNotRunning = QStringLiteral("orvo-daemon, which collects the logs, is not running.");
constexpr qint64 kMaxReasonBytes = 1024;

// A daemon that answered with an error status says why in the answer's text.
QString failureText(QNetworkReply &reply)
{
    if (reply.error() == QNetworkReply::ConnectionRefusedError)
        return kNotRunning;
    const QString reason = QString::fromUtf8(reply.read(kMaxReasonBytes)).trimmed();
    if (reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid() && !reason.isEmpty())
        return reason;
    return reply.errorString();
}

// A name in dest's folder that no file has: the daemon writes there, the tray moves it to dest.
QString partName(const QString &dest)
{
    const QFileInfo info(dest);
    return info.dir().filePath(
        QStringLiteral(".%1.%2.part").arg(info.fileName(), QUuid::createUuid().toString(QUuid::Id128)));
}

} // namespace

OrvoDaemonProxy::OrvoDaemonProxy(quint16 daemonPort)
    : m_daemonPort(daemonPort)
{}

OrvoClient *OrvoDaemonProxy::currentClient()
{
    return nullptr;
}

QUrl OrvoDaemonProxy::exportLogUrl() const
{
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(QStringLiteral("127.0.0.1"));
    url.setPort(m_daemonPort);
    url.setPath(QStringLiteral("/export_log"));
    return url;
}

bool OrvoDaemonProxy::exportLog(const QString &dest, QString &error)
{
    const QString token = OrvoWebToken::read(OrvoEnv::instance()->userFolder(), kDaemonRole);
    if (token.isEmpty()) {
        ORVO_TRACE_WARNING(lcOrvoApp, "OrvoDaemonProxy::exportLog")
            << "the daemon did not export the log: no token of a daemon in" << OrvoEnv::instance()->userFolder();
        showFailure(dest, kNotRunning);
        error = kNotRunning;
        return false;
    }
    const QString part = partName(dest);
    ORVO_TRACE_DEBUG(lcOrvoApp, "OrvoDaemonProxy::exportLog") << "export log to" << part << "for" << dest;
    QNetworkRequest request(exportLogUrl());
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
    request.setRawHeader("Authorization", "Token " + token.toLatin1());
    // Every byte but the unreserved ones percent-encoded, so that the daemon reads back exactly
    // the name sent.
    QNetworkReply *reply = m_network.post(request, "dest=" + QUrl::toPercentEncoding(part));
    reply->setProperty(kDestProperty, dest);
    reply->setProperty(kPartProperty, part);
    connect(reply, &QNetworkReply::finished, this, &OrvoDaemonProxy::replyFinished);
    return true;
}

void OrvoDaemonProxy::replyFinished()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (reply == nullptr)
        return;
    reply->deleteLater();
    finishExport(*reply);
}

void OrvoDaemonProxy::finishExport(QNetworkReply &reply) const
{
    const QString dest = reply.property(kDestProperty).toString();
    const QString part = reply.property(kPartProperty).toString();
    if (reply.error() != QNetworkReply::NoError) {
        const QString text = failureText(reply);
        ORVO_TRACE_WARNING(lcOrvoApp, "OrvoDaemonProxy::replyFinished") << "the daemon did not export the log:" << text;
        QFile::remove(part);
        showFailure(dest, text);
        return;
    }
    // rename replaces dest in one step; the user's own program may replace the user's file.
    if (std::rename(QFile::encodeName(part).constData(), QFile::encodeName(dest).constData()) != 0) {
        ORVO_TRACE_WARNING(lcOrvoApp, "OrvoDaemonProxy::replyFinished")
            << "the daemon did not export the log: can not move" << part << "to" << dest;
        QFile::remove(part);
        showFailure(dest, QStringLiteral("the export could not take its place."));
    }
}

void OrvoDaemonProxy::showFailure(const QString &dest, const QString &text) const
{
    // The user chose a file and waits for it; a log line alone would leave them guessing.
    if (OrvoUserNotice *notice = OrvoUserNotice::installed())
        notice->showFailure(kExportTitle, QStringLiteral("The log was not exported to %1: %2").arg(dest, text));
}
