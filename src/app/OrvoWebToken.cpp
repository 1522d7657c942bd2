#include "app/OrvoWebToken.h"

#include "env/OrvoSaveFile.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QRandomGenerator>
#include <QSaveFile>

#include <algorithm>
#include <array>
#include <cctype>

namespace {

const QString kUserRole = QStringLiteral("user");
constexpr qsizetype kTokenBytes = 32;
// Hexadecimal: the token goes into addresses, cookies and headers without escaping.
constexpr qsizetype kTokenLength = kTokenBytes * 2;

QMutex g_mutex;
QString g_token;

QString newToken()
{
    std::array<quint32, kTokenBytes / sizeof(quint32)> words{};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char *>(words.data()), qsizetype(sizeof(words))).toHex());
}

bool looksLikeToken(const QByteArray &text)
{
    return text.size() == kTokenLength &&
           std::all_of(text.cbegin(), text.cend(), [](char c) { return std::isxdigit(uchar(c)) != 0; });
}

} // namespace

QString OrvoWebToken::fileName(const QString &role)
{
    return role == kUserRole ? QStringLiteral("orvouser.token") : QStringLiteral("orvo.token");
}

void OrvoWebToken::issue()
{
    QMutexLocker lock(&g_mutex);
    g_token = newToken();
}

bool OrvoWebToken::publish(const QString &folder, const QString &role, QString &error)
{
    const QString token = current();
    QSaveFile file(QDir(folder).filePath(fileName(role)));
    // The mode is set on the new file before the token is in it.
    const bool written = !token.isEmpty() && file.open(QIODevice::WriteOnly) &&
                         file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
                         file.write(token.toLatin1() + '\n') == token.size() + 1 && commitSaveFile(file);
    QMutexLocker lock(&g_mutex);
    g_token = written ? token : QString();
    if (!written)
        error = QStringLiteral("%1: %2").arg(file.fileName(), file.errorString());
    return written;
}

QString OrvoWebToken::current()
{
    QMutexLocker lock(&g_mutex);
    return g_token;
}

QString OrvoWebToken::read(const QString &folder, const QString &role)
{
    QFile file(QDir(folder).filePath(fileName(role)));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = file.read(kTokenLength + 2).trimmed();
    return looksLikeToken(text) ? QString::fromLatin1(text) : QString();
}
