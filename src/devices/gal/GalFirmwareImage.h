#pragma once

#include "device/OrvoImageMetaInfo.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// The two byte images a GAL firmware update writes, built from an unpacked firmware package.
//
// Flash image: the device image padded with zero bytes to a multiple of 2048, the header file,
// one language font, filled with 0xFF up to the image size S of the release file; its bytes
// 148..151 are repeated at S-4..S-1; "Profile.bin" follows when the device must synchronise its
// profile.
//
// Language binary: a 229-byte index, then every bit-font file ("*.bft") of the package:
//   0    4  magic 0x77a0b2c3, little-endian
//   4    4  the first 4 bytes of the first font, unchanged
//   8    1  number of fonts n (at most 20)
//   9+3i 3  bytes 4..6 of font i (its language code)
//   69+4i 4 offset of font i from the start, little-endian
//   149+4i 4 size of font i, little-endian
// Unused entries stay zero.
class GalFirmwareImage
{
public:
    static constexpr quint32 kLanguageMagic = 0x77a0b2c3;
    static constexpr qsizetype kLanguageHeaderSize = 229;
    static constexpr int kMaxFonts = 20;
    static constexpr qsizetype kImageAlignment = 2048;
    static constexpr char kFiller = char(0xFF);

    explicit GalFirmwareImage(const QString &folder);

    // Where a firmware package is unpacked: the temporary folder's "langpack".
    static QString packageFolder();

    // False, logged, on a missing or unreadable part or when the parts exceed the image size.
    bool buildImage(const QStringList &languages, const OrvoImageMetaInfo &meta, bool withProfile,
                    QByteArray &out) const;
    // False, logged, without fonts, with more than fit the index, or on an unreadable font.
    bool buildLanguageBinary(QByteArray &out) const;
    // The font of the first language ("_eng_" without one), else the English one; "" when none.
    QString languageFont(const QStringList &languages) const;
    // The plain files of the package whose names end in ".bft", by name.
    QStringList fontFiles() const;

private:
    struct Parts
    {
        QString image;
        QString header;
        QString font;
        QString englishFont;
    };
    Parts findParts(const QString &imageName, const QStringList &languages) const;
    bool appendFile(const QString &path, QByteArray &out, const char *message) const;

    QString m_folder;
};
