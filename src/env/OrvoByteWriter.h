#pragma once

#include <QByteArray>
#include <QtGlobal>

// The writing twin of OrvoByteReader. A growing writer appends past the end of its buffer;
// a patching writer (patch()) only overwrites bytes that exist and fails instead of growing,
// so a record written into a fixed sector or image can never spill over its end.
class OrvoByteWriter
{
public:
    explicit OrvoByteWriter(QByteArray &buffer);
    static OrvoByteWriter patch(QByteArray &buffer, qsizetype offset);

    bool ok() const;
    qsizetype offset() const;
    bool canWrite(qsizetype n) const;

    void writeU8(quint8 value);
    void writeU16Le(quint16 value);
    void writeU16Be(quint16 value);
    void writeU32Le(quint32 value);
    void writeU32Be(quint32 value);
    void writeFloatLe(float value);
    void writeBytes(const QByteArray &bytes);
    void fill(char value, qsizetype n);
    bool seek(qsizetype offset);

private:
    OrvoByteWriter(QByteArray &buffer, qsizetype offset, bool growing);
    uchar *reserve(qsizetype n);

    QByteArray &m_buffer;
    qsizetype m_offset = 0;
    bool m_growing = true;
    bool m_ok = true;
};
