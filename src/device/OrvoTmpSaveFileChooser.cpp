#include "device/OrvoTmpSaveFileChooser.h"

#include "device/OrvoDeviceLogging.h"
#include "env/OrvoEnv.h"
#include "env/OrvoFunctionTrace.h"

#include <QFileInfo>

QString OrvoTmpSaveFileChooser::chooseSaveFile(const QString &title, const QString &proposedName, const QString &)
{
    // Only the name is taken, so that a proposal cannot point outside the temporary folder.
    const QString name = QFileInfo(proposedName).fileName();
    if (name.isEmpty())
        return QString();
    const QString path = OrvoEnv::instance()->tmpDir() + QLatin1Char('/') + name;
    ORVO_TRACE_WARNING(lcOrvoDevice, "OrvoTmpSaveFileChooser::chooseSaveFile") << title << "saved as" << path;
    return path;
}
