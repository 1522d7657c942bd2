#include "device/OrvoLinuxSCSIService.h"

#include "device/OrvoDeviceLogging.h"
#include "device/ScsiCommand.h"
#include "device/ScsiResult.h"
#include "env/OrvoFunctionTrace.h"
#include "env/OrvoUtility.h"

#include <QByteArray>

#include <cstring>

namespace {

// SG_IO carries command blocks of up to 16 bytes.
constexpr int kMaxCdbLength = 16;
const QByteArray kBootLoaderMarker = QByteArrayLiteral("IAP I");
// The launch text starts at the marker's fifth character; without the marker, at byte 3.
constexpr qsizetype kLaunchTextSkip = 4;
constexpr qsizetype kLaunchTextFallback = 3;
constexpr qsizetype kFirmwareVersionOffset = 27;
constexpr qsizetype kShortTextLength = 4;

QString latin1UpToZero(const QByteArray &bytes)
{
    const qsizetype end = bytes.indexOf('\0');
    return QString::fromLatin1(end < 0 ? bytes : bytes.left(end));
}

QString hex(const quint8 *bytes, qsizetype length)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(bytes), length).toHex(' '));
}

bool acceptableCommand(const char *function, const quint8 *cdb, int cdbLength, const void *buffer, qsizetype length)
{
    if (cdb == nullptr || cdbLength <= 0 || cdbLength > kMaxCdbLength || buffer == nullptr || length <= 0) {
        ORVO_TRACE_WARNING(lcOrvoScsi, function)
            << "refused command: cdb length" << cdbLength << "buffer length" << length;
        return false;
    }
    return true;
}

const OrvoDeviceInfo *registeredType(const QByteArray &answer, const QVector<OrvoDeviceInfo> &types)
{
    QStringList matchStrings;
    matchStrings.reserve(types.size());
    for (const OrvoDeviceInfo &type : types)
        matchStrings.append(type.matchString);
    const int row = OrvoUtility::getRegistryDevice(answer, matchStrings);
    return row < 0 ? nullptr : &types.at(row);
}

} // namespace

OrvoLinuxSCSIService::OrvoLinuxSCSIService(std::unique_ptr<ScsiTransport> transport, const OrvoDeviceInfo &info)
    : m_transport(std::move(transport))
    , m_info(info)
{}

OrvoLinuxSCSIService::~OrvoLinuxSCSIService() = default;

std::unique_ptr<OrvoLinuxSCSIService> OrvoLinuxSCSIService::probe(std::unique_ptr<ScsiTransport> transport,
                                                                  const QVector<OrvoDeviceInfo> &types)
{
    if (!transport)
        return nullptr;
    const auto cdb = ScsiCommand::inquiry();
    QByteArray answer(ScsiCommand::kInquiryLength, '\0');
    ScsiTransport::Request request;
    request.cdb = cdb;
    request.direction = ScsiTransport::Direction::In;
    request.dataIn = std::span<quint8>(reinterpret_cast<quint8 *>(answer.data()), size_t(answer.size()));
    request.timeout = kCommandTimeout;
    // Devices answer fewer bytes than allocated; the rest of the buffer stays zero.
    const ScsiResult result = ScsiResult::check(transport->execute(request), 0);
    if (!result.ok()) {
        ORVO_TRACE_WARNING(lcOrvoDevice, "OrvoLinuxSCSIService::probe")
            << "INQUIRY failed on" << transport->targetName() << ":" << result.describe();
        return nullptr;
    }
    const OrvoDeviceInfo *type = registeredType(answer, types);
    if (type == nullptr) {
        ORVO_TRACE_DEBUG(lcOrvoDevice, "OrvoLinuxSCSIService::probe")
            << "no registered device type answers on" << transport->targetName();
        return nullptr;
    }
    auto service = std::make_unique<OrvoLinuxSCSIService>(std::move(transport), *type);
    const qsizetype marker = answer.indexOf(kBootLoaderMarker);
    const qsizetype launchText = marker >= 0 ? marker + kLaunchTextSkip : kLaunchTextFallback;
    service->setFirstText(latin1UpToZero(answer.mid(launchText, kShortTextLength)));
    service->setSecondText(latin1UpToZero(answer.mid(kFirmwareVersionOffset, kShortTextLength)));
    return service;
}

bool OrvoLinuxSCSIService::readDeviceId(QString &id)
{
    const auto cdb = ScsiCommand::vendorRead(0, ScsiCommand::kDeviceIdArea, ScsiCommand::kDeviceIdSectors);
    QByteArray answer(ScsiCommand::kDeviceIdLength, '\0');
    if (readClient(cdb.data(), int(cdb.size()), answer.data(), answer.size()))
        id = latin1UpToZero(answer.right(ScsiCommand::kDeviceIdTextLength));
    else
        id.clear();
    return !id.isEmpty();
}

OrvoDeviceInfo *OrvoLinuxSCSIService::deviceInfo()
{
    return &m_info;
}

int OrvoLinuxSCSIService::serviceType() const
{
    return ScsiPassThroughService;
}

bool OrvoLinuxSCSIService::openClient()
{
    return m_transport != nullptr;
}

bool OrvoLinuxSCSIService::closeClient()
{
    return true;
}

bool OrvoLinuxSCSIService::writeClient(const quint8 *cdb, int cdbLength, const char *data, qsizetype length)
{
    const char *function = "OrvoLinuxSCSIService::writeClient";
    if (!acceptableCommand(function, cdb, cdbLength, data, length))
        return false;
    if (!m_transport) {
        ORVO_TRACE_CRITICAL(lcOrvoScsi, function) << "invalid handle";
        return false;
    }
    ScsiTransport::Request request;
    request.cdb = std::span<const quint8>(cdb, size_t(cdbLength));
    request.direction = ScsiTransport::Direction::Out;
    request.dataOut = std::span<const quint8>(reinterpret_cast<const quint8 *>(data), size_t(length));
    request.timeout = kCommandTimeout;
    return send(function, request, length);
}

bool OrvoLinuxSCSIService::readClient(const quint8 *cdb, int cdbLength, char *buffer, qsizetype length)
{
    const char *function = "OrvoLinuxSCSIService::readClient";
    if (!acceptableCommand(function, cdb, cdbLength, buffer, length))
        return false;
    if (!m_transport) {
        ORVO_TRACE_CRITICAL(lcOrvoScsi, function) << "invalid handle";
        return false;
    }
    std::memset(buffer, 0, size_t(length));
    ScsiTransport::Request request;
    request.cdb = std::span<const quint8>(cdb, size_t(cdbLength));
    request.direction = ScsiTransport::Direction::In;
    request.dataIn = std::span<quint8>(reinterpret_cast<quint8 *>(buffer), size_t(length));
    request.timeout = kCommandTimeout;
    return send(function, request, length);
}

bool OrvoLinuxSCSIService::send(const char *function, const ScsiTransport::Request &request, qsizetype expected)
{
    const QString cdbHex = hex(request.cdb.data(), qsizetype(request.cdb.size()));
    ORVO_TRACE_DEBUG(lcOrvoScsi, function) << "cdb" << cdbHex << "to" << m_transport->targetName();
    const ScsiTransport::Answer answer = m_transport->execute(request);
    const ScsiResult result = ScsiResult::check(answer, expected);
    if (!result.ok()) {
        ORVO_TRACE_WARNING(lcOrvoScsi, function)
            << "command" << cdbHex << "failed on" << m_transport->targetName() << ":" << result.describe();
        if (!answer.sense.isEmpty())
            ORVO_TRACE_DEBUG(lcOrvoScsi, function) << "sense" << answer.sense.toHex(' ');
        return false;
    }
    return true;
}
