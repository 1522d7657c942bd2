#include "app/OrvoTerminationWatcher.h"

#include "app/OrvoAppLogging.h"
#include "env/OrvoFunctionTrace.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <array>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// [0] is written by the signal handler, [1] read by the event loop.
std::array<int, 2> g_pipe{-1, -1};
constexpr std::array<int, 2> kSignals{SIGTERM, SIGINT};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[0], &byte, 1);
}

void setHandler(void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : kSignals)
        sigaction(number, &action, nullptr);
}

} // namespace

OrvoTerminationWatcher::OrvoTerminationWatcher(QObject *parent)
    : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pipe.data()) != 0) {
        ORVO_TRACE_WARNING(lcOrvoApp, "OrvoTerminationWatcher") << "no pipe for termination requests";
        g_pipe = {-1, -1};
        return;
    }
    m_notifier = new QSocketNotifier(g_pipe[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &OrvoTerminationWatcher::onRequest);
    setHandler(onSignal);
}

OrvoTerminationWatcher::~OrvoTerminationWatcher()
{
    if (!m_notifier)
        return;
    setHandler(SIG_DFL);
    delete m_notifier;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe = {-1, -1};
}

void OrvoTerminationWatcher::onRequest()
{
    char byte = 0;
    [[maybe_unused]] const ssize_t read = ::read(g_pipe[1], &byte, 1);
    ORVO_TRACE_DEBUG(lcOrvoApp, "OrvoTerminationWatcher::onRequest") << "termination requested";
    // exit, not quit: quit is ignored outside the main loop, and a request may come while a
    // modal box runs during start-up.
    QCoreApplication::exit(0);
}
