#pragma once

#include <QByteArray>
#include <QIODevice>

// Collects what an XML stream writer emits in many small pieces and hands it to the target
// device in large blocks, so that each element does not cost a buffered write of its own on
// the file. The bytes reach the target unchanged and in order; flush() hands on the rest.
class ZKXmlOutputBuffer : public QIODevice
{
    Q_OBJECT

public:
    // target must be open for writing and outlive the buffer.
    explicit ZKXmlOutputBuffer(QIODevice &target);

    // Hands the collected bytes to the target; false when the target took fewer.
    bool flush();

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    QIODevice &m_target;
    // A block of fixed size, of which the first m_used bytes are collected.
    QByteArray m_block;
    qsizetype m_used = 0;
    bool m_failed = false;
};
