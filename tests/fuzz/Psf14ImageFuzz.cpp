// A PSF 1.4 image of the Kavel35's layout, parsed and exported: rides and POIs as GPX and
// workouts as WRK files, those already marked as exported included.

#include "FuzzSupport.h"

#include "PsfImage14Builder.h"
#include "psf14/OrvoPSF.h"
#include "psf14/OrvoPSFExportDevice.h"

#include <QDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool ready = FuzzSupport::prepare();
    Q_UNUSED(ready);
    static const OrvoPSF::Layout layout = PsfImage14Builder::layout(PsfImage14Builder::Model::Kavel35);
    QByteArray headerRecord(PsfImage14Builder::kHeaderRecordSize, '\xFF');
    const std::unique_ptr<OrvoPSF> psf =
        OrvoPSF::parse(FuzzSupport::bytes(data, size), &headerRecord, layout, QString::fromLatin1(OrvoPSF::kVersion));
    if (!psf)
        return 0;
    psf->serialize();
    psf->setFlag2(1);
    OrvoPSFExportDevice device;
    device.modelName = QStringLiteral("Kavel35");
    device.firmwareVersion = QStringLiteral("3.1.4");
    device.classFlag2 = 2;
    const QString folder = FuzzSupport::freshFolder(QStringLiteral("psf14"));
    const QStringList files = psf->toXML(folder, device);
    if (files.size() != QDir(folder).entryList(QDir::Files).size())
        FuzzSupport::fail("the export's list differs from the files it wrote");
    return 0;
}
