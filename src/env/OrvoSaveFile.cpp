#include "env/OrvoSaveFile.h"

#include <QSaveFile>

bool commitSaveFile(QSaveFile &file)
{
    // Left uncommitted, the QSaveFile removes its temporary file when it goes.
    return file.flush() && file.commit();
}

bool saveFileBytes(const QString &path, const QByteArray &bytes, QString &error)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && commitSaveFile(file))
        return true;
    error = file.errorString();
    return false;
}
