"""Prints a port of 127.0.0.1 that nothing held a moment ago.

It lies below the kernel's range of ephemeral ports, so that the outgoing connections of tests
running beside this one cannot take it before the server binds it; tests that pick at the same
time draw at random from thousands of ports.
"""

import random
import socket
import sys

LOWEST_PORT = 10000


def ephemeral_start():
    try:
        with open("/proc/sys/net/ipv4/ip_local_port_range", encoding="ascii") as ports:
            return int(ports.read(64).split()[0])
    except (OSError, ValueError, IndexError):
        return 32768


def can_bind(port):
    with socket.socket() as server:
        try:
            server.bind(("127.0.0.1", port))
        except OSError:
            return False
    return True


def main():
    end = min(ephemeral_start(), 32768)
    if end > LOWEST_PORT + 1000:
        for _ in range(200):
            port = random.randrange(LOWEST_PORT, end)
            if can_bind(port):
                print(port)
                return 0
    print("no free port below the ephemeral range", file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())
