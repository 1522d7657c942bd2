#include "FuzzSupport.h"

#include <QDir>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace FuzzSupport {

namespace {

void dropMessage(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "fatal: %s\n", qPrintable(message));
        std::abort();
    }
}

} // namespace

bool prepare()
{
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.info=false\n*.warning=false"));
    qInstallMessageHandler(dropMessage);
    return true;
}

QByteArray bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

QString scratchFolder()
{
    static QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/orvo-fuzz-XXXXXX"));
    if (!folder.isValid())
        fail("no scratch folder");
    return folder.path();
}

QString freshFolder(const QString &name)
{
    QDir folder(scratchFolder() + QLatin1Char('/') + name);
    if (!folder.removeRecursively() || !folder.mkpath(QStringLiteral(".")))
        fail("cannot empty a scratch folder");
    return folder.path();
}

QString writeInput(const QString &name, const QByteArray &bytes)
{
    const QString path = scratchFolder() + QLatin1Char('/') + name;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush() || !file.commit())
        return QString();
    return path;
}

void fail(const char *what)
{
    std::fprintf(stderr, "fuzz target: %s\n", what);
    std::abort();
}

} // namespace FuzzSupport
