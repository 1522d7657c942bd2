#pragma once

#include "psf14/OrvoPSF.h"
#include "psf14/OrvoPSFExportDevice.h"

#include "PsfImage14Builder.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

// A PSF 1.4 image held the way a device holds it, with the container parsed from it and the
// device's header record, for the tests of the exports, imports and the write pass.
class Psf14TestDevice
{
public:
    // The milliseconds the containers' clock answers.
    static constexpr qint64 kNow = 1700000000123;

    explicit Psf14TestDevice(const PsfImage14Builder::Content &content,
                             PsfImage14Builder::Model model = PsfImage14Builder::Model::Kavel35);
    // An image laid out by imageLayout, read by a device whose area table is deviceLayout.
    Psf14TestDevice(const PsfImage14Builder::Content &content, const PsfImage14Builder::Layout &imageLayout,
                    const PsfImage14Builder::Layout &deviceLayout);

    OrvoPSF &psf() { return *m_psf; }
    QByteArray &image() { return m_image; }
    QByteArray &record() { return m_record; }
    const PsfImage14Builder::Layout &layout() const { return m_deviceLayout; }

    // What the device does to write its container back: erases the areas the pass rewrites,
    // then lets the container write itself. The write pass's answer.
    bool writeBack();
    // Parses the image as it now is into a new container, which psf() then answers.
    OrvoPSF &reparse();

private:
    PsfImage14Builder::Layout m_deviceLayout;
    QByteArray m_image;
    QByteArray m_record = QByteArray(212, '\0');
    std::unique_ptr<OrvoPSF> m_psf;
};

// The device the tests export from.
OrvoPSFExportDevice testExportDevice();

// Whether xmllint finds the file well-formed.
bool isWellFormedXml(const QString &path);
