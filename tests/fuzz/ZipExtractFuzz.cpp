// A zip archive extracted into a folder of its own: whatever the entries' names, nothing may
// land beside that folder.

#include "FuzzSupport.h"

#include "env/OrvoZipUtil.h"

#include <QDirIterator>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool ready = FuzzSupport::prepare();
    Q_UNUSED(ready);
    const QString jail = FuzzSupport::freshFolder(QStringLiteral("zip"));
    const QString archive = FuzzSupport::writeInput(QStringLiteral("input.zip"), FuzzSupport::bytes(data, size));
    if (archive.isEmpty())
        return 0;
    const QString target = jail + QStringLiteral("/target");
    if (!QDir(jail).mkdir(QStringLiteral("target")))
        FuzzSupport::fail("no target folder");
    OrvoZipUtil zip;
    zip.decompress(archive, target);
    QDirIterator others(jail, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (others.hasNext()) {
        if (others.next() != target)
            FuzzSupport::fail("an entry was written outside the target folder");
    }
    QDirIterator beside(FuzzSupport::scratchFolder(),
                        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (beside.hasNext()) {
        const QString path = beside.next();
        if (path != jail && path != archive)
            FuzzSupport::fail("an entry was written beside the target's folder");
    }
    return 0;
}
