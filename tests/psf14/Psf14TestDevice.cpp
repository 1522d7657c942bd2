#include "Psf14TestDevice.h"

#include <QProcess>

Psf14TestDevice::Psf14TestDevice(const PsfImage14Builder::Content &content, PsfImage14Builder::Model model)
    : Psf14TestDevice(content, PsfImage14Builder::layout(model), PsfImage14Builder::layout(model))
{}

Psf14TestDevice::Psf14TestDevice(const PsfImage14Builder::Content &content,
                                 const PsfImage14Builder::Layout &imageLayout,
                                 const PsfImage14Builder::Layout &deviceLayout)
    : m_deviceLayout(deviceLayout)
    , m_image(PsfImage14Builder::psfImage(imageLayout, content))
{
    reparse();
}

bool Psf14TestDevice::writeBack()
{
    PsfImage14Builder::eraseRewrittenAreas(m_image, m_deviceLayout);
    return m_psf->update(m_image);
}

OrvoPSF &Psf14TestDevice::reparse()
{
    m_psf = OrvoPSF::parse(m_image, &m_record, m_deviceLayout, QStringLiteral("1.4.x.x"));
    m_psf->setClock([] { return kNow; });
    return *m_psf;
}

OrvoPSFExportDevice testExportDevice()
{
    OrvoPSFExportDevice device;
    device.modelName = QStringLiteral("Kavel35");
    device.firmwareVersion = QStringLiteral("3.1.4");
    device.classFlag2 = 2;
    return device;
}

bool isWellFormedXml(const QString &path)
{
    QProcess xmllint;
    xmllint.start(QStringLiteral("xmllint"), {QStringLiteral("--noout"), path});
    return xmllint.waitForFinished() && xmllint.exitStatus() == QProcess::NormalExit && xmllint.exitCode() == 0;
}
