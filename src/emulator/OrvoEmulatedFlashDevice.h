#pragma once

#include "device/ScsiTransport.h"
#include "emulator/OrvoEmulatedArea.h"
#include "emulator/OrvoEmulatedIdentity.h"

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QString>
#include <QVector>

#include <atomic>
#include <functional>

// A USB flash device of this family in memory: it answers INQUIRY, START STOP UNIT and the
// vendor READ and WRITE commands of the areas it was given, and refuses everything else with
// CHECK CONDITION, as the real devices do. Every command block is logged. Tests can make the
// n-th command fail, corrupt a read-back, and unplug it and plug it back with another identity.
class OrvoEmulatedFlashDevice : public ScsiTransport
{
public:
    enum class Fault {
        // CHECK CONDITION with HARDWARE ERROR sense.
        CheckCondition,
        Timeout,
        // The device drops off the bus during the command.
        Disconnect,
    };

    struct LoggedCommand
    {
        QByteArray cdb;
        Direction direction = Direction::None;
        QByteArray dataOut;
        qsizetype dataInLength = 0;
        int osError = 0;
        bool timedOut = false;
        quint8 status = 0;
        quint8 senseKey = 0;
        quint8 asc = 0;
        quint8 ascq = 0;
    };

    static constexpr quint8 kSenseHardwareError = 0x04;
    static constexpr quint8 kSenseIllegalRequest = 0x05;
    static constexpr quint8 kSenseMediumError = 0x03;
    static constexpr quint8 kSenseNotReady = 0x02;
    static constexpr quint8 kAscNotReady = 0x04;
    static constexpr quint8 kAscInvalidOpcode = 0x20;
    static constexpr quint8 kAscBlockOutOfRange = 0x21;
    static constexpr quint8 kAscInvalidField = 0x24;
    static constexpr quint8 kAscWriteError = 0x0C;
    static constexpr quint8 kAscInternalFailure = 0x44;

    explicit OrvoEmulatedFlashDevice(const OrvoEmulatedIdentity &identity);
    ~OrvoEmulatedFlashDevice() override;

    // A memory of size bytes, erased (0xFF). With eraseBeforeWrite a write into bytes that are
    // not erased is refused, as NOR flash cannot set bits that a write cleared.
    void addMemory(const QString &name, qsizetype size, bool eraseBeforeWrite);
    // Places bytes at the start of a memory; false when the memory is missing or too small.
    bool loadMemory(const QString &name, const QByteArray &bytes);
    QByteArray memory(const QString &name) const;
    // A later row with the same code and command replaces an earlier one.
    void addArea(const OrvoEmulatedArea &area);

    // After every erase the ready poll answers busy this many times (0 unless set); while it
    // does, every write is refused with NOT READY, as a flash that still erases takes none.
    void setBusyPolls(int polls);
    int busyPolls() const;

    // The n-th command from now on (1 = the next one) fails with the fault.
    void failCommand(int n, Fault fault = Fault::CheckCondition);
    bool faultPending() const;
    // The next reads that return the byte at offset of the memory return it inverted, times times.
    void flipOnRead(const QString &memoryName, qsizetype offset, int times = 1);

    QVector<LoggedCommand> commandLog() const;
    void clearCommandLog();

    OrvoEmulatedIdentity identity() const;
    bool isPresent() const;
    // Every plug and unplug starts a new generation; a handle opened in an older one is dead.
    quint64 generation() const;
    void unplug();
    void plug(const OrvoEmulatedIdentity &identity);
    // Told after every plug and unplug, outside the device's lock.
    void setPresenceListener(std::function<void()> listener);
    // Told after every answered READ of a Notice area, outside the device's lock and on the
    // thread that sent the command.
    void setNoticeListener(std::function<void()> listener);
    // Nodes of this device that are open now; a search must close the ones it does not keep.
    int openHandleCount() const;

    // Carries out the command when the device is present and still in the given generation.
    Answer executeIn(quint64 generation, const Request &request);
    Answer execute(const Request &request) override;
    QString targetName() const override;

private:
    friend class OrvoEmulatedScsiHandle;

    struct Memory
    {
        QByteArray bytes;
        bool eraseBeforeWrite = false;
    };
    struct ReadFlip
    {
        QString memory;
        qsizetype offset = 0;
        int times = 0;
    };
    struct Outcome
    {
        quint8 status = 0;
        quint8 senseKey = 0;
        quint8 asc = 0;
        quint8 ascq = 0;
        qsizetype transferred = 0;
    };
    using Handler = Outcome (OrvoEmulatedFlashDevice::*)(const Request &);

    static Outcome good(qsizetype transferred);
    static Outcome checkCondition(quint8 key, quint8 asc);
    static const QHash<quint8, Handler> &handlers();

    Answer dispatch(const Request &request, LoggedCommand &logged);
    Answer injectFault(LoggedCommand &logged, Fault fault);
    Outcome inquiry(const Request &request);
    Outcome startStopUnit(const Request &request);
    Outcome vendorCommand(const Request &request);
    Outcome readArea(const OrvoEmulatedArea &area, quint16 block, const Request &request);
    Outcome writeArea(const OrvoEmulatedArea &area, quint16 block, const Request &request);
    Outcome eraseArea(const OrvoEmulatedArea &area, quint16 block);
    Outcome deviceIdArea(quint16 block, const Request &request);
    Outcome readyPoll(quint16 block, const Request &request);
    Outcome notice(quint16 block, const Request &request);
    const OrvoEmulatedArea *findArea(quint8 opcode, quint8 code) const;
    QByteArray inquiryAnswer() const;
    void applyFlips(const QString &memoryName, qsizetype offset, std::span<quint8> data);
    void record(LoggedCommand logged);
    void setPresent(bool present, const OrvoEmulatedIdentity *identity);

    mutable QMutex m_mutex;
    OrvoEmulatedIdentity m_identity;
    bool m_present = true;
    quint64 m_generation = 1;
    QHash<QString, Memory> m_memories;
    QVector<OrvoEmulatedArea> m_areas;
    QVector<ReadFlip> m_flips;
    QVector<LoggedCommand> m_log;
    int m_busyPollsAfterErase = 0;
    int m_busyPollsLeft = 0;
    int m_faultCountdown = 0;
    Fault m_fault = Fault::CheckCondition;
    std::function<void()> m_presenceListener;
    std::function<void()> m_noticeListener;
    // Set by a Notice command under the lock, taken by executeIn once the lock is released.
    bool m_noticeRaised = false;
    std::atomic<int> m_openHandles{0};
};
