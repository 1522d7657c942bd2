#include "device/OrvoClientDummy.h"

bool OrvoClientDummy::isValid()
{
    return false;
}

bool OrvoClientDummy::getName(QString &model)
{
    model = QStringLiteral("dummy");
    return false;
}

bool OrvoClientDummy::prepareUploadData(QString &, bool)
{
    return false;
}

QStringList OrvoClientDummy::_exportTrack(const QString &)
{
    return QStringList();
}
