#pragma once

#include "env/OrvoCompress.h"

// OrvoCompress over minizip. Holds nothing; made for one task and deleted afterwards.
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
};
