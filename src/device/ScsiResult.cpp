#include "device/ScsiResult.h"

#include "env/OrvoByteReader.h"

namespace {

constexpr quint8 kSenseFixedCurrent = 0x70;
constexpr quint8 kSenseFixedDeferred = 0x71;
constexpr quint8 kSenseDescriptorCurrent = 0x72;
constexpr quint8 kSenseDescriptorDeferred = 0x73;
constexpr qsizetype kFixedAdditionalLengthOffset = 7;
constexpr qsizetype kFixedAscOffset = 12;
// The additional length must reach past the ascq byte (offset 13) for asc and ascq to exist.
constexpr quint8 kFixedAdditionalLengthWithAsc = kFixedAscOffset + 2 - (kFixedAdditionalLengthOffset + 1);

QString hexByte(quint8 value)
{
    return QStringLiteral("0x%1").arg(value, 2, 16, QLatin1Char('0'));
}

} // namespace

ScsiResult ScsiResult::check(const ScsiTransport::Answer &answer, qsizetype expected)
{
    ScsiResult result;
    result.m_status = answer.status;
    result.m_osError = answer.osError;
    result.m_transferred = answer.transferred;
    result.m_expected = expected;
    if (answer.osError != 0) {
        result.m_category = Category::OsError;
    } else if (answer.timedOut) {
        result.m_category = Category::Timeout;
    } else if (answer.status != kStatusGood) {
        result.m_category = Category::Status;
        if (answer.status == kStatusCheckCondition)
            result.readSense(answer.sense);
    } else if (answer.transferred < expected) {
        result.m_category = Category::ShortTransfer;
    }
    return result;
}

void ScsiResult::readSense(const QByteArray &sense)
{
    OrvoByteReader reader(sense);
    const quint8 responseCode = reader.readU8() & 0x7F;
    if (!reader.ok())
        return;
    if (responseCode == kSenseFixedCurrent || responseCode == kSenseFixedDeferred) {
        reader.skip(1);
        const quint8 key = reader.readU8() & 0x0F;
        if (!reader.ok())
            return;
        m_senseKey = key;
        m_category = Category::Sense;
        reader.seek(kFixedAdditionalLengthOffset);
        const quint8 additionalLength = reader.readU8();
        if (reader.ok() && additionalLength >= kFixedAdditionalLengthWithAsc && reader.seek(kFixedAscOffset)) {
            const quint8 asc = reader.readU8();
            const quint8 ascq = reader.readU8();
            if (reader.ok()) {
                m_asc = asc;
                m_ascq = ascq;
            }
        }
    } else if (responseCode == kSenseDescriptorCurrent || responseCode == kSenseDescriptorDeferred) {
        const quint8 key = reader.readU8() & 0x0F;
        const quint8 asc = reader.readU8();
        const quint8 ascq = reader.readU8();
        if (!reader.ok())
            return;
        m_senseKey = key;
        m_asc = asc;
        m_ascq = ascq;
        m_category = Category::Sense;
    }
}

QString ScsiResult::describe() const
{
    switch (m_category) {
    case Category::Ok:
        return QStringLiteral("good");
    case Category::OsError:
        return QStringLiteral("system error %1").arg(m_osError);
    case Category::Timeout:
        return QStringLiteral("timed out");
    case Category::Status:
        return QStringLiteral("status %1 without sense").arg(hexByte(m_status));
    case Category::Sense:
        return QStringLiteral("check condition: sense key %1 asc %2 ascq %3")
            .arg(hexByte(m_senseKey), hexByte(m_asc), hexByte(m_ascq));
    case Category::ShortTransfer:
        return QStringLiteral("short transfer: %1 of %2 bytes").arg(m_transferred).arg(m_expected);
    }
    return QString();
}
