#include "OrvoFreePort.h"

#include <QFile>

#include <netinet/in.h>
#include <random>
#include <sys/socket.h>
#include <unistd.h>

namespace OrvoTest {

namespace {

constexpr int kLowestPort = 10000;
constexpr int kTries = 200;

// The first port the kernel hands to outgoing connections.
int ephemeralStart()
{
    QFile range(QStringLiteral("/proc/sys/net/ipv4/ip_local_port_range"));
    if (!range.open(QIODevice::ReadOnly))
        return 32768;
    bool ok = false;
    const int start = QString::fromLatin1(range.read(64)).simplified().section(QLatin1Char(' '), 0, 0).toInt(&ok);
    return ok ? start : 32768;
}

bool canBind(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool bound = ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

} // namespace

int freePort()
{
    const int end = qMin(ephemeralStart(), 32768);
    if (end <= kLowestPort + 1000)
        return 0;
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> pick(kLowestPort, end - 1);
    for (int i = 0; i < kTries; ++i) {
        const int port = pick(random);
        if (canBind(port))
            return port;
    }
    return 0;
}

} // namespace OrvoTest
