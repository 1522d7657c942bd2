#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <chrono>
#include <span>

// One way of delivering SCSI command blocks to a device: the kernel's SG_IO, or an emulated
// device. A transport only carries the command and reports what happened; judging the answer
// is ScsiResult's job.
class ScsiTransport
{
public:
    enum class Direction {
        None,
        In,
        Out,
    };

    struct Request
    {
        std::span<const quint8> cdb;
        Direction direction = Direction::None;
        // The buffer the device fills (In) or reads (Out); empty for Direction::None.
        std::span<quint8> dataIn;
        std::span<const quint8> dataOut;
        std::chrono::milliseconds timeout{10000};
    };

    struct Answer
    {
        // errno of a request the system or the adapter refused; 0 when the device saw the command.
        int osError = 0;
        bool timedOut = false;
        quint8 status = 0;
        QByteArray sense;
        // Bytes the data phase really moved.
        qsizetype transferred = 0;
    };

    ScsiTransport() = default;
    ScsiTransport(const ScsiTransport &) = delete;
    ScsiTransport &operator=(const ScsiTransport &) = delete;
    virtual ~ScsiTransport();

    virtual Answer execute(const Request &request) = 0;
    // Names the target in log lines (a node path, an emulated identity).
    virtual QString targetName() const = 0;
};
