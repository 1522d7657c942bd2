#include "lumolib/LumoWorkoutFile.h"

#include "lumolib/LumoLogging.h"

#include <QtEndian>

namespace {

constexpr quint8 kHasNextBit = 0x02;

quint16 u16At(const QByteArray &bytes, qsizetype offset)
{
    return qFromLittleEndian<quint16>(bytes.constData() + offset);
}

// The code's letters up to its first NUL.
QByteArray codeOf(const QByteArray &record)
{
    const QByteArray code = record.mid(LumoWorkoutFile::kCodeOffset, LumoWorkoutFile::kCodeSize);
    const qsizetype end = code.indexOf('\0');
    return end < 0 ? code : code.left(end);
}

} // namespace

bool LumoWorkoutFile::parse(const QByteArray &bytes, const QString &source)
{
    m_template.clear();
    m_records.clear();
    if (bytes.size() < kTemplateSize + kCountSize) {
        qCWarning(lcLumo) << source << "has" << bytes.size() << "bytes, expected at least"
                          << kTemplateSize + kCountSize;
        return false;
    }
    const quint16 count = u16At(bytes, kTemplateSize);
    QList<QByteArray> records;
    qsizetype offset = kTemplateSize + kCountSize;
    for (quint16 i = 0; i < count; ++i) {
        if (kRecordHeaderSize > bytes.size() - offset) {
            qCWarning(lcLumo) << source << "name entry" << i << "header at" << offset << "runs past the end";
            return false;
        }
        const qsizetype length = kRecordHeaderSize + u16At(bytes, offset + 2);
        if (length > bytes.size() - offset) {
            qCWarning(lcLumo) << source << "name entry" << i << "of" << length << "bytes at" << offset
                              << "runs past the end at" << bytes.size();
            return false;
        }
        records.append(bytes.mid(offset, length));
        offset += length;
    }
    m_template = bytes.left(kTemplateSize);
    m_records = records;
    return true;
}

QByteArray LumoWorkoutFile::nameRecord(const QByteArray &language) const
{
    if (m_records.isEmpty())
        return {};
    QByteArray record = m_records.first();
    const QByteArray wanted = language.toLower();
    for (const QByteArray &candidate : m_records) {
        if (!wanted.isEmpty() && codeOf(candidate).toLower() == wanted) {
            record = candidate;
            break;
        }
    }
    record[0] = char(quint8(record.at(0)) & ~kHasNextBit);
    return record;
}
