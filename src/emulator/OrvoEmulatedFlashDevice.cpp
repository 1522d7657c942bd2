#include "emulator/OrvoEmulatedFlashDevice.h"

#include "emulator/OrvoEmulatorLogging.h"

#include <QMutexLocker>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace {

// The emulator keeps its own names for what it answers, apart from the code that sends them.
constexpr quint8 kOpInquiry = 0x12;
constexpr quint8 kOpStartStopUnit = 0x1B;
constexpr quint8 kOpRead = 0x28;
constexpr quint8 kOpWrite = 0x2A;
constexpr quint8 kStatusGood = 0x00;
constexpr quint8 kStatusCheckCondition = 0x02;
constexpr int kSectorSize = 512;
constexpr qsizetype kInquiryCdbLength = 6;
constexpr qsizetype kVendorCdbLength = 10;
constexpr qsizetype kDeviceIdLength = 16;
constexpr char kErased = '\xFF';

// Standard INQUIRY answer: direct-access device, removable medium, SCSI-2 format.
constexpr quint8 kInquiryHeader[] = {0x00, 0x80, 0x02, 0x02};
constexpr qsizetype kAdditionalLengthOffset = 4;
constexpr qsizetype kVendorOffset = 8;
constexpr qsizetype kVendorLength = 8;
constexpr qsizetype kProductOffset = 16;
constexpr qsizetype kProductLength = 11;
constexpr qsizetype kVersionOffset = 27;
constexpr qsizetype kVersionLength = 4;
constexpr qsizetype kRevisionOffset = 32;
constexpr qsizetype kRevisionLength = 4;
constexpr qsizetype kVendorDataOffset = 36;
constexpr qsizetype kMaxInquiryLength = 128;
// inquiryAnswer() lays the fields one after the other; these hold it to the fixed offsets.
static_assert(kVendorOffset + kVendorLength == kProductOffset);
static_assert(kProductOffset + kProductLength == kVersionOffset);
static_assert(kVersionOffset + kVersionLength + 1 == kRevisionOffset, "a blank before the revision");
static_assert(kRevisionOffset + kRevisionLength == kVendorDataOffset);

// Fixed-format sense data, current error.
constexpr qsizetype kSenseLength = 18;
constexpr quint8 kSenseResponseCode = 0x70;
constexpr qsizetype kSenseKeyOffset = 2;
constexpr qsizetype kSenseAdditionalLengthOffset = 7;
constexpr qsizetype kSenseAscOffset = 12;
constexpr qsizetype kSenseAscqOffset = 13;

QByteArray padded(const QByteArray &text, qsizetype length)
{
    return text.left(length).leftJustified(length, ' ');
}

QByteArray fixedSense(quint8 key, quint8 asc, quint8 ascq)
{
    QByteArray sense(kSenseLength, '\0');
    sense[0] = char(kSenseResponseCode);
    sense[kSenseKeyOffset] = char(key);
    sense[kSenseAdditionalLengthOffset] = char(kSenseLength - kSenseAdditionalLengthOffset - 1);
    sense[kSenseAscOffset] = char(asc);
    sense[kSenseAscqOffset] = char(ascq);
    return sense;
}

bool isReadingAccess(OrvoEmulatedArea::Access access)
{
    return access == OrvoEmulatedArea::Access::Read || access == OrvoEmulatedArea::Access::DeviceId ||
           access == OrvoEmulatedArea::Access::ReadyPoll || access == OrvoEmulatedArea::Access::Notice;
}

int unitOf(const OrvoEmulatedArea &area)
{
    return area.unitSize > 0 ? area.unitSize : area.transferSize;
}

bool fits(qint64 offset, qint64 length, qsizetype size)
{
    return offset >= 0 && length >= 0 && offset <= size && length <= size - offset;
}

QByteArray bytesOf(std::span<const quint8> data)
{
    return QByteArray(reinterpret_cast<const char *>(data.data()), qsizetype(data.size()));
}

} // namespace

OrvoEmulatedFlashDevice::OrvoEmulatedFlashDevice(const OrvoEmulatedIdentity &identity)
    : m_identity(identity)
{}

OrvoEmulatedFlashDevice::~OrvoEmulatedFlashDevice() = default;

void OrvoEmulatedFlashDevice::addMemory(const QString &name, qsizetype size, bool eraseBeforeWrite)
{
    QMutexLocker lock(&m_mutex);
    m_memories.insert(name, Memory{QByteArray(size, kErased), eraseBeforeWrite});
}

bool OrvoEmulatedFlashDevice::loadMemory(const QString &name, const QByteArray &bytes)
{
    QMutexLocker lock(&m_mutex);
    auto it = m_memories.find(name);
    if (it == m_memories.end() || bytes.size() > it->bytes.size())
        return false;
    std::memcpy(it->bytes.data(), bytes.constData(), size_t(bytes.size()));
    return true;
}

QByteArray OrvoEmulatedFlashDevice::memory(const QString &name) const
{
    QMutexLocker lock(&m_mutex);
    return m_memories.value(name).bytes;
}

void OrvoEmulatedFlashDevice::addArea(const OrvoEmulatedArea &area)
{
    QMutexLocker lock(&m_mutex);
    const bool reading = isReadingAccess(area.access);
    m_areas.erase(std::remove_if(m_areas.begin(), m_areas.end(),
                                 [&](const OrvoEmulatedArea &a) {
                                     return a.code == area.code && isReadingAccess(a.access) == reading;
                                 }),
                  m_areas.end());
    m_areas.append(area);
}

void OrvoEmulatedFlashDevice::setBusyPolls(int polls)
{
    QMutexLocker lock(&m_mutex);
    m_busyPollsAfterErase = qMax(0, polls);
}

int OrvoEmulatedFlashDevice::busyPolls() const
{
    QMutexLocker lock(&m_mutex);
    return m_busyPollsAfterErase;
}

void OrvoEmulatedFlashDevice::failCommand(int n, Fault fault)
{
    QMutexLocker lock(&m_mutex);
    m_faultCountdown = qMax(0, n);
    m_fault = fault;
}

bool OrvoEmulatedFlashDevice::faultPending() const
{
    QMutexLocker lock(&m_mutex);
    return m_faultCountdown > 0;
}

void OrvoEmulatedFlashDevice::flipOnRead(const QString &memoryName, qsizetype offset, int times)
{
    QMutexLocker lock(&m_mutex);
    m_flips.append(ReadFlip{memoryName, offset, times});
}

QVector<OrvoEmulatedFlashDevice::LoggedCommand> OrvoEmulatedFlashDevice::commandLog() const
{
    QMutexLocker lock(&m_mutex);
    return m_log;
}

void OrvoEmulatedFlashDevice::clearCommandLog()
{
    QMutexLocker lock(&m_mutex);
    m_log.clear();
}

OrvoEmulatedIdentity OrvoEmulatedFlashDevice::identity() const
{
    QMutexLocker lock(&m_mutex);
    return m_identity;
}

bool OrvoEmulatedFlashDevice::isPresent() const
{
    QMutexLocker lock(&m_mutex);
    return m_present;
}

quint64 OrvoEmulatedFlashDevice::generation() const
{
    QMutexLocker lock(&m_mutex);
    return m_generation;
}

void OrvoEmulatedFlashDevice::unplug()
{
    setPresent(false, nullptr);
}

void OrvoEmulatedFlashDevice::plug(const OrvoEmulatedIdentity &identity)
{
    setPresent(true, &identity);
}

void OrvoEmulatedFlashDevice::setPresenceListener(std::function<void()> listener)
{
    QMutexLocker lock(&m_mutex);
    m_presenceListener = std::move(listener);
}

void OrvoEmulatedFlashDevice::setNoticeListener(std::function<void()> listener)
{
    QMutexLocker lock(&m_mutex);
    m_noticeListener = std::move(listener);
}

int OrvoEmulatedFlashDevice::openHandleCount() const
{
    return m_openHandles.load();
}

void OrvoEmulatedFlashDevice::setPresent(bool present, const OrvoEmulatedIdentity *identity)
{
    std::function<void()> listener;
    {
        QMutexLocker lock(&m_mutex);
        if (identity != nullptr)
            m_identity = *identity;
        m_present = present;
        ++m_generation;
        listener = m_presenceListener;
    }
    qCDebug(lcOrvoEmulator) << targetName() << (present ? "plugged" : "unplugged");
    if (listener)
        listener();
}

ScsiTransport::Answer OrvoEmulatedFlashDevice::execute(const Request &request)
{
    return executeIn(generation(), request);
}

ScsiTransport::Answer OrvoEmulatedFlashDevice::executeIn(quint64 generation, const Request &request)
{
    LoggedCommand logged;
    logged.cdb = bytesOf(request.cdb);
    logged.direction = request.direction;
    if (request.direction == Direction::Out)
        logged.dataOut = bytesOf(request.dataOut);
    if (request.direction == Direction::In)
        logged.dataInLength = qsizetype(request.dataIn.size());

    Answer answer;
    bool disconnected = false;
    std::function<void()> listener;
    std::function<void()> noticeListener;
    {
        QMutexLocker lock(&m_mutex);
        if (!m_present || generation != m_generation) {
            answer.osError = ENODEV;
            logged.osError = ENODEV;
        } else if (m_faultCountdown > 0 && --m_faultCountdown == 0) {
            answer = injectFault(logged, m_fault);
            disconnected = m_fault == Fault::Disconnect;
            listener = m_presenceListener;
        } else {
            answer = dispatch(request, logged);
        }
        if (std::exchange(m_noticeRaised, false))
            noticeListener = m_noticeListener;
        record(logged);
    }
    if (disconnected && listener)
        listener();
    if (noticeListener)
        noticeListener();
    return answer;
}

QString OrvoEmulatedFlashDevice::targetName() const
{
    QMutexLocker lock(&m_mutex);
    return QStringLiteral("emulated %1 %2")
        .arg(QString::fromLatin1(m_identity.product.trimmed()), QString::fromLatin1(m_identity.deviceId));
}

ScsiTransport::Answer OrvoEmulatedFlashDevice::injectFault(LoggedCommand &logged, Fault fault)
{
    Answer answer;
    switch (fault) {
    case Fault::CheckCondition:
        answer.status = kStatusCheckCondition;
        answer.sense = fixedSense(kSenseHardwareError, kAscInternalFailure, 0);
        logged.status = answer.status;
        logged.senseKey = kSenseHardwareError;
        logged.asc = kAscInternalFailure;
        break;
    case Fault::Timeout:
        answer.timedOut = true;
        logged.timedOut = true;
        break;
    case Fault::Disconnect:
        m_present = false;
        ++m_generation;
        answer.osError = ENODEV;
        logged.osError = ENODEV;
        break;
    }
    return answer;
}

const QHash<quint8, OrvoEmulatedFlashDevice::Handler> &OrvoEmulatedFlashDevice::handlers()
{
    static const QHash<quint8, Handler> table = {
        {kOpInquiry, &OrvoEmulatedFlashDevice::inquiry},
        {kOpStartStopUnit, &OrvoEmulatedFlashDevice::startStopUnit},
        {kOpRead, &OrvoEmulatedFlashDevice::vendorCommand},
        {kOpWrite, &OrvoEmulatedFlashDevice::vendorCommand},
    };
    return table;
}

ScsiTransport::Answer OrvoEmulatedFlashDevice::dispatch(const Request &request, LoggedCommand &logged)
{
    const Handler handler = request.cdb.empty() ? nullptr : handlers().value(request.cdb[0], nullptr);
    const Outcome outcome =
        handler ? (this->*handler)(request) : checkCondition(kSenseIllegalRequest, kAscInvalidOpcode);
    Answer answer;
    answer.status = outcome.status;
    answer.transferred = outcome.transferred;
    if (outcome.status == kStatusCheckCondition)
        answer.sense = fixedSense(outcome.senseKey, outcome.asc, outcome.ascq);
    logged.status = outcome.status;
    logged.senseKey = outcome.senseKey;
    logged.asc = outcome.asc;
    logged.ascq = outcome.ascq;
    return answer;
}

OrvoEmulatedFlashDevice::Outcome OrvoEmulatedFlashDevice::good(qsizetype transferred)
{
    Outcome outcome;
    outcome.status = kStatusGood;
    outcome.transferred = transferred;
    return outcome;
}

OrvoEmulatedFlashDevice::Outcome OrvoEmulatedFlashDevice::checkCondition(quint8 key, quint8 asc)
{
    Outcome outcome;
    outcome.status = kStatusCheckCondition;
    outcome.senseKey = key;
    outcome.asc = asc;
    return outcome;
}

OrvoEmulatedFlashDevice::Outcome OrvoEmulatedFlashDevice::inquiry(const Request &request)
{
    const auto cdb = request.cdb;
    // Bits 5-7 of byte 1 are the LUN of older hosts and are ignored; EVPD pages are not served.
    if (cdb.size() != size_t(kInquiryCdbLength) || (cdb[1] & 0x01) != 0 || cdb[2] != 0 || cdb[5] != 0 ||
        request.direction != Direction::In)
        return checkCondition(kSenseIllegalRequest, kAscInvalidField);
    const qsizetype allocation = qsizetype(cdb[3]) << 8 | cdb[4];
    const QByteArray answer = inquiryAnswer();
    const qsizetype n = std::min({allocation, answer.size(), qsizetype(request.dataIn.size())});
    if (n > 0)
        std::memcpy(request.dataIn.data(), answer.constData(), size_t(n));
    return good(n);
}

OrvoEmulatedFlashDevice::Outcome OrvoEmulatedFlashDevice::startStopUnit(const Request &request)
{
    const auto cdb = request.cdb;
    // Only START and LOEJ of byte 4 are understood.
    if (cdb.size() != size_t(kInquiryCdbLength) || cdb[1] != 0 || cdb[2] != 0 || cdb[3] != 0 || (cdb[4] & ~0x03) != 0 ||
        cdb[5] != 0 || request.direction != Direction::None)
        return checkCondition(kSenseIllegalRequest, kAscInvalidField);
    return good(0);
}

OrvoEmulatedFlashDevice::Outcome OrvoEmulatedFlashDevice::vendorCommand(const Request &request)
{
    const auto cdb = request.cdb;
    if (cdb.size() != size_t(kVendorCdbLength) || cdb[1] != 0 || cdb[2] != 0 || cdb[3] != 0 || cdb[7] != 0 ||
        cdb[9] != 0)
        return checkCondition(kSenseIllegalRequest, kAscInvalidField);
    const OrvoEmulatedArea *area = findArea(cdb[0], cdb[6]);
    const qsizetype transfer = qsizetype(cdb[8]) * kSectorSize;
    if (area == nullptr || transfer == 0 || transfer != area->transferSize)
        return checkCondition(kSenseIllegalRequest, kAscInvalidField);
    const bool dataPhaseMatches =
        cdb[0] == kOpRead ? request.direction == Direction::In && request.dataIn.size() == size_t(transfer)
                          : request.direction == Direction::Out && request.dataOut.size() == size_t(transfer);
    if (!dataPhaseMatches)
        return checkCondition(kSenseIllegalRequest, kAscInvalidField);
    const quint16 block = quint16(cdb[4] << 8 | cdb[5]);
    switch (area->access) {
    case OrvoEmulatedArea::Access::Read:
        return readArea(*area, block, request);
    case OrvoEmulatedArea::Access::Write:
        return writeArea(*area, block, request);
    case OrvoEmulatedArea::Access::EraseBlock:
    case OrvoEmulatedArea::Access::EraseAll:
        return eraseArea(*area, block);
    case OrvoEmulatedArea::Access::DeviceId:
        return deviceIdArea(block, request);
    case OrvoEmulatedArea::Access::ReadyPoll:
        return readyPoll(block, request);
    case OrvoEmulatedArea::Access::Notice:
        return notice(block, request);
    }
    return checkCondition(kSenseIllegalRequest, kAscInvalidField);
}

OrvoEmulatedFlashDevice::Outcome OrvoEmulatedFlashDevice::readArea(const OrvoEmulatedArea &area, quint16 block,
                                                                   const Request &request)
{
    auto memory = m_memories.find(area.memory);
    if (memory == m_memories.end())
        return checkCondition(kSenseHardwareError, kAscInternalFailure);
    const qint64 offset = qint64(block) * unitOf(area);
    if (!fits(offset, area.transferSize, memory->bytes.size()))
        return checkCondition(kSenseIllegalRequest, kAscBlockOutOfRange);
    std::memcpy(request.dataIn.data(), memory->bytes.constData() + offset, size_t(area.transferSize));
    applyFlips(area.memory, offset, request.dataIn);
    return good(area.transferSize);
}

OrvoEmulatedFlashDevice::Outcome OrvoEmulatedFlashDevice::writeArea(const OrvoEmulatedArea &area, quint16 block,
                                                                    const Request &request)
{
    auto memory = m_memories.find(area.memory);
    if (memory == m_memories.end())
        return checkCondition(kSenseHardwareError, kAscInternalFailure);
    if (m_busyPollsLeft > 0)
        return checkCondition(kSenseNotReady, kAscNotReady);
    const qint64 offset = qint64(block) * unitOf(area);
    if (!fits(offset, area.transferSize, memory->bytes.size()))
        return checkCondition(kSenseIllegalRequest, kAscBlockOutOfRange);
    char *target = memory->bytes.data() + offset;
    if (memory->eraseBeforeWrite &&
        !std::all_of(target, target + area.transferSize, [](char c) { return c == kErased; }))
        return checkCondition(kSenseMediumError, kAscWriteError);
    std::memcpy(target, request.dataOut.data(), size_t(area.transferSize));
    return good(area.transferSize);
}

OrvoEmulatedFlashDevice::Outcome OrvoEmulatedFlashDevice::eraseArea(const OrvoEmulatedArea &area, quint16 block)
{
    auto memory = m_memories.find(area.memory);
    if (memory == m_memories.end())
        return checkCondition(kSenseHardwareError, kAscInternalFailure);
    if (area.access == OrvoEmulatedArea::Access::EraseAll) {
        if (block != 0)
            return checkCondition(kSenseIllegalRequest, kAscBlockOutOfRange);
        memory->bytes.fill(kErased);
        m_busyPollsLeft = m_busyPollsAfterErase;
        return good(area.transferSize);
    }
    const qint64 offset = qint64(block) * unitOf(area);
    if (!fits(offset, unitOf(area), memory->bytes.size()))
        return checkCondition(kSenseIllegalRequest, kAscBlockOutOfRange);
    std::fill_n(memory->bytes.data() + offset, unitOf(area), kErased);
    m_busyPollsLeft = m_busyPollsAfterErase;
    return good(area.transferSize);
}

OrvoEmulatedFlashDevice::Outcome OrvoEmulatedFlashDevice::deviceIdArea(quint16 block, const Request &request)
{
    if (block != 0)
        return checkCondition(kSenseIllegalRequest, kAscBlockOutOfRange);
    std::fill(request.dataIn.begin(), request.dataIn.end(), quint8(0));
    const QByteArray id = m_identity.deviceId.left(kDeviceIdLength);
    const qsizetype start = qsizetype(request.dataIn.size()) - kDeviceIdLength;
    if (start >= 0)
        std::memcpy(request.dataIn.data() + start, id.constData(), size_t(id.size()));
    return good(qsizetype(request.dataIn.size()));
}

OrvoEmulatedFlashDevice::Outcome OrvoEmulatedFlashDevice::readyPoll(quint16 block, const Request &request)
{
    if (block != 0)
        return checkCondition(kSenseIllegalRequest, kAscBlockOutOfRange);
    std::fill(request.dataIn.begin(), request.dataIn.end(), quint8(0));
    if (m_busyPollsLeft > 0) {
        request.dataIn[0] = 1;
        --m_busyPollsLeft;
    }
    return good(qsizetype(request.dataIn.size()));
}

OrvoEmulatedFlashDevice::Outcome OrvoEmulatedFlashDevice::notice(quint16 block, const Request &request)
{
    if (block != 0)
        return checkCondition(kSenseIllegalRequest, kAscBlockOutOfRange);
    std::fill(request.dataIn.begin(), request.dataIn.end(), quint8(0));
    m_noticeRaised = true;
    return good(qsizetype(request.dataIn.size()));
}

const OrvoEmulatedArea *OrvoEmulatedFlashDevice::findArea(quint8 opcode, quint8 code) const
{
    const bool reading = opcode == kOpRead;
    for (const OrvoEmulatedArea &area : m_areas) {
        if (area.code == code && isReadingAccess(area.access) == reading)
            return &area;
    }
    return nullptr;
}

QByteArray OrvoEmulatedFlashDevice::inquiryAnswer() const
{
    QByteArray answer(reinterpret_cast<const char *>(kInquiryHeader), sizeof(kInquiryHeader));
    answer.append(kVendorOffset - answer.size(), '\0');
    answer.append(padded(m_identity.vendor, kVendorLength));
    answer.append(padded(m_identity.product, kProductLength));
    answer.append(padded(m_identity.version, kVersionLength));
    answer.append(' ');
    answer.append(padded(m_identity.revision, kRevisionLength));
    answer.append(m_identity.vendorData);
    answer.truncate(kMaxInquiryLength);
    answer[kAdditionalLengthOffset] = char(answer.size() - kAdditionalLengthOffset - 1);
    return answer;
}

void OrvoEmulatedFlashDevice::applyFlips(const QString &memoryName, qsizetype offset, std::span<quint8> data)
{
    for (ReadFlip &flip : m_flips) {
        const qsizetype index = flip.offset - offset;
        if (flip.memory != memoryName || flip.times <= 0 || index < 0 || index >= qsizetype(data.size()))
            continue;
        data[size_t(index)] ^= 0xFF;
        --flip.times;
    }
    m_flips.erase(std::remove_if(m_flips.begin(), m_flips.end(), [](const ReadFlip &f) { return f.times <= 0; }),
                  m_flips.end());
}

void OrvoEmulatedFlashDevice::record(LoggedCommand logged)
{
    qCDebug(lcOrvoEmulator) << "command" << logged.cdb.toHex(' ') << "status" << logged.status << "sense"
                            << logged.senseKey << logged.asc << logged.ascq << "os error" << logged.osError;
    m_log.append(std::move(logged));
}
