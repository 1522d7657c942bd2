#include "env/OrvoCompress.h"

OrvoCompress::OrvoCompress(QObject *parent)
    : QObject(parent)
{}

OrvoCompress::~OrvoCompress() = default;

bool OrvoCompress::compress(const QString &, const QStringList &, QMutex *, float *)
{
    return false;
}

bool OrvoCompress::decompress(const QString &, const QString &, QMutex *, float *, float)
{
    return false;
}

bool OrvoCompress::compressFolderEntry(const QString &, const QString &)
{
    return false;
}

bool OrvoCompress::compress(const QString &, const QString &, const QStringList &, QMutex *, float *)
{
    return false;
}
