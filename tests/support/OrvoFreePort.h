#pragma once

// A loopback port for a server a test starts.
namespace OrvoTest {

// A port of 127.0.0.1 that nothing held a moment ago, 0 when none could be had. It lies below
// the kernel's range of ephemeral ports, so that the outgoing connections of tests running
// beside this one cannot take it before the server binds it; tests that pick at the same time
// draw at random from thousands of ports.
int freePort();

} // namespace OrvoTest
