#pragma once

#include <QByteArray>
#include <QtGlobal>

// A bounds-checked cursor over device or file bytes. Every read checks the length against
// what is left; a failed read answers 0 (or empty), and the failure stays set once raised.
class OrvoByteReader
{
public:
    explicit OrvoByteReader(const QByteArray &bytes, qsizetype offset = 0);

    bool ok() const;
    qsizetype offset() const;
    qsizetype size() const;
    qsizetype remaining() const;
    bool canRead(qsizetype n) const;
    bool atEnd() const;

    quint8 readU8();
    quint16 readU16Le();
    quint16 readU16Be();
    quint32 readU32Le();
    quint32 readU32Be();
    qint16 readI16Le();
    qint32 readI32Le();
    float readFloatLe();
    QByteArray readBytes(qsizetype n);
    bool skip(qsizetype n);
    bool seek(qsizetype offset);

private:
    const uchar *take(qsizetype n);

    QByteArray m_bytes;
    qsizetype m_offset = 0;
    bool m_ok = true;
};
