#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The language image of the flash devices: the device's base image, zero bytes up to a
// multiple of 16, a 229-byte directory and the language files. Directory, little-endian, from
// its first byte:
//   0    u32      magic 0x77A0B2C3
//   4    4 bytes  bytes 0-3 of the language file placed last (0 without files)
//   8    u8       number of language files
//   9    20 x 3   bytes 4-6 of each file (its language code); unused slots 0
//   69   20 x u32 offset of each file from the directory's first byte (the first at 229)
//   149  20 x u32 size of each file
// The files come from the unpacked language package: a file serves the code whose "_" + code +
// "_" its name holds (any case); the base image is the file whose name holds "quilma.bin" or
// "kosmir.bin".
class OrvoLanguageImage
{
public:
    static constexpr quint32 kMagic = 0x77A0B2C3;
    static constexpr qsizetype kHeaderSize = 229;
    static constexpr int kMaxLanguages = 20;

    struct Built
    {
        QByteArray image;
        // The base image the image starts with; empty when the folder holds none.
        QString basePath;
        int languages = 0;
    };

    OrvoLanguageImage() = delete;

    // The temporary folder's "langpack", where packages are unpacked.
    static QString folder();
    // Replaces the folder's content by the package's and appends the English names of the
    // languages it holds to names. False when the package does not unpack.
    static bool unpackPackage(const QString &package, QStringList &names);
    // Builds the image for the codes, in their order; codes without a file take no slot and
    // of more files than the directory has slots the first ones count. False without the
    // folder or without a base image (then built.image stays empty).
    static bool build(const QString &folder, const QStringList &codes, Built &built);
    // The codes of the directory of a language area that the language map knows: the
    // directory is the last magic word at a multiple of 4, or offset 0 without one. False when
    // the area is too short to hold it there.
    static bool listLanguages(const QByteArray &area, QStringList &codes);
};
