#pragma once

#include "env/OrvoCompress.h"

// OrvoCompress over minizip. Holds only its extraction limits; made for one task and deleted
// afterwards.
class OrvoZipUtil : public OrvoCompress
{
    Q_OBJECT

public:
    explicit OrvoZipUtil(QObject *parent = nullptr);
    ~OrvoZipUtil() override;

    bool compress(const QString &archive, const QStringList &files, QMutex *mutex, float *progress) override;
    bool compress(const QString &archive, const QStringList &files) override;
    bool decompress(const QString &archive, const QString &folder, QMutex *mutex, float *progress,
                    float scale) override;
    bool decompress(const QString &archive, const QString &folder) override;
    bool compressFolderEntry(const QString &archive, const QString &name) override;
    bool compress(const QString &archive, const QString &baseFolder, const QStringList &files) override;
    bool compress(const QString &archive, const QString &baseFolder, const QStringList &files, QMutex *mutex,
                  float *progress) override;

    // The most bytes one extraction writes, far above any real package; the free space of the
    // target folder bounds it further. An archive that unpacks to more is refused before any
    // of it is written.
    static constexpr qint64 kDefaultUnpackedLimit = qint64(1) << 30;
    void setUnpackedLimit(qint64 bytes);
    // The most entries one extraction takes, far above any real package; an archive with more
    // is refused before any of it is written.
    static constexpr qint64 kDefaultEntryLimit = 10000;
    void setEntryLimit(qint64 entries);

    struct Limits
    {
        qint64 bytes = kDefaultUnpackedLimit;
        qint64 entries = kDefaultEntryLimit;
    };

private:
    Limits m_limits;
};
