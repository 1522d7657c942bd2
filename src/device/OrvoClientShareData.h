#pragma once

#include <QMetaType>
#include <QString>

// A share-data request: where the action writes its output (a file or a folder) and two texts
// that travel unchanged from the starter to the done signal, so the caller can tell its
// requests apart.
struct OrvoClientShareData
{
    QString path;
    QString second;
    QString third;

    bool operator==(const OrvoClientShareData &) const = default;
};

Q_DECLARE_METATYPE(OrvoClientShareData)
