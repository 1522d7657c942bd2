#include "env/OrvoSaveFile.h"

#include <QSaveFile>

bool commitSaveFile(QSaveFile &file)
{
    // Left uncommitted, the QSaveFile removes its temporary file when it goes.
    return file.flush() && file.commit();
}
