#include "device/SgIoTransport.h"

#include "device/OrvoDeviceLogging.h"
#include "env/OrvoFunctionTrace.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// Sense data beyond 32 bytes carries nothing this program looks at.
constexpr int kSenseLength = 32;
// Adapter codes of the SCSI mid-layer: the command was aborted for its time-out.
constexpr unsigned kHostTimeOut = 0x03;
constexpr unsigned kDriverTimeOut = 0x06;
// The driver byte's low half is a code; DRIVER_SENSE only says that sense data came back.
constexpr unsigned kDriverStatusMask = 0x0F;
constexpr unsigned kDriverSense = 0x08;

int sgDirection(ScsiTransport::Direction direction)
{
    switch (direction) {
    case ScsiTransport::Direction::In:
        return SG_DXFER_FROM_DEV;
    case ScsiTransport::Direction::Out:
        return SG_DXFER_TO_DEV;
    case ScsiTransport::Direction::None:
        break;
    }
    return SG_DXFER_NONE;
}

} // namespace

std::unique_ptr<SgIoTransport> SgIoTransport::openNode(const QString &nodePath)
{
    const QByteArray path = QFile::encodeName(nodePath);
    const int fd = ::open(path.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        ORVO_TRACE_WARNING(lcOrvoScsi, "SgIoTransport::openNode")
            << "Open SCSI device failed" << nodePath << ":" << std::strerror(error);
        return nullptr;
    }
    return std::unique_ptr<SgIoTransport>(new SgIoTransport(nodePath, fd));
}

SgIoTransport::SgIoTransport(QString nodePath, int fd)
    : m_nodePath(std::move(nodePath))
    , m_fd(fd)
{}

SgIoTransport::~SgIoTransport()
{
    ::close(m_fd);
}

ScsiTransport::Answer SgIoTransport::execute(const Request &request)
{
    Answer answer;
    const std::span<const quint8> data =
        request.direction == Direction::In ? std::span<const quint8>(request.dataIn) : request.dataOut;
    if (request.cdb.empty() || request.cdb.size() > std::numeric_limits<unsigned char>::max() ||
        data.size() > std::numeric_limits<unsigned int>::max()) {
        answer.osError = EINVAL;
        return answer;
    }
    unsigned char sense[kSenseLength] = {};
    sg_io_hdr_t io{};
    io.interface_id = 'S';
    io.dxfer_direction = sgDirection(request.direction);
    io.cmd_len = static_cast<unsigned char>(request.cdb.size());
    io.cmdp = const_cast<unsigned char *>(request.cdb.data());
    io.mx_sb_len = kSenseLength;
    io.sbp = sense;
    io.dxfer_len = static_cast<unsigned int>(request.direction == Direction::None ? 0 : data.size());
    // SG_IO only reads a data-out buffer; the interface has one pointer for both directions.
    io.dxferp = io.dxfer_len == 0 ? nullptr : const_cast<quint8 *>(data.data());
    io.timeout = static_cast<unsigned int>(request.timeout.count());
    if (::ioctl(m_fd, SG_IO, &io) < 0) {
        answer.osError = errno;
        return answer;
    }
    answer.status = io.status;
    answer.sense = QByteArray(reinterpret_cast<const char *>(sense), qMin<int>(io.sb_len_wr, kSenseLength));
    answer.transferred = qsizetype(io.dxfer_len) - qMax(0, io.resid);
    const unsigned driverStatus = io.driver_status & kDriverStatusMask;
    if (io.host_status == kHostTimeOut || driverStatus == kDriverTimeOut) {
        answer.timedOut = true;
    } else if (io.host_status != 0 || (driverStatus != 0 && driverStatus != kDriverSense)) {
        ORVO_TRACE_DEBUG(lcOrvoScsi, "SgIoTransport::execute")
            << "adapter error on" << m_nodePath << ": host" << io.host_status << "driver" << io.driver_status;
        answer.osError = EIO;
    }
    return answer;
}

QString SgIoTransport::targetName() const
{
    return m_nodePath;
}
