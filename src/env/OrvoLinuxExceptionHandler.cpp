#include "env/OrvoLinuxExceptionHandler.h"

#include "env/OrvoExceptionTask.h"

#include <cxxabi.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <csignal>
#include <memory>
#include <mutex>

namespace {

constexpr std::array<int, 4> kFaultSignals = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};
constexpr long kMinAltStackSize = 64 * 1024;

// One guarded call on the stack of its thread; guards nest.
struct GuardFrame
{
    sigjmp_buf jump;
    GuardFrame *outer = nullptr;
};

// The fault handler reads this, so it must not need an allocation on first touch.
__attribute__((tls_model("initial-exec"))) thread_local GuardFrame *t_innermost = nullptr;

std::array<struct sigaction, kFaultSignals.size()> g_previous{};
std::once_flag g_installed;

// Hands a signal that no guard takes to what was installed before us. Without a handler of
// its own the default action is put back: a fault then happens again on return and ends the
// process as it would have without the guard, and a signal sent by kill is sent once more.
void passOn(int signal, siginfo_t *info, void *context)
{
    const auto slot = std::find(kFaultSignals.begin(), kFaultSignals.end(), signal) - kFaultSignals.begin();
    const struct sigaction &previous = g_previous[std::size_t(slot)];
    const bool sent = info == nullptr || info->si_code <= 0;
    if ((previous.sa_flags & SA_SIGINFO) != 0 && previous.sa_sigaction != nullptr) {
        previous.sa_sigaction(signal, info, context);
        return;
    }
    if ((previous.sa_flags & SA_SIGINFO) == 0 && previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
        previous.sa_handler(signal);
        return;
    }
    if (previous.sa_handler == SIG_IGN && sent)
        return;
    struct sigaction fallback = {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, &fallback, nullptr);
    if (sent)
        raise(signal);
}

// A positive si_code means the processor (through the kernel) raised the signal for the
// instruction this thread was running; only such faults belong to the thread's guard.
void onFault(int signal, siginfo_t *info, void *context)
{
    GuardFrame *frame = t_innermost;
    if (frame != nullptr && info != nullptr && info->si_code > 0)
        siglongjmp(frame->jump, signal);
    passOn(signal, info, context);
}

void installFaultHandlers()
{
    std::call_once(g_installed, [] {
        // What came before is read first, so that passOn never sees a half-filled slot.
        for (std::size_t i = 0; i < kFaultSignals.size(); ++i)
            sigaction(kFaultSignals[i], nullptr, &g_previous[i]);
        struct sigaction action = {};
        action.sa_sigaction = onFault;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        for (const int signal : kFaultSignals)
            sigaction(signal, &action, nullptr);
    });
}

// A fault from a stack overflow can only be handled on a stack of its own. The outermost guard
// of a thread without an alternate signal stack lends it one for the time of the call.
class AltStackScope
{
public:
    AltStackScope()
    {
        stack_t current = {};
        if (sigaltstack(nullptr, &current) != 0 || (current.ss_flags & SS_DISABLE) == 0)
            return;
        const std::size_t size = std::size_t(std::max(kMinAltStackSize, sysconf(_SC_SIGSTKSZ)));
        auto memory = std::make_unique<char[]>(size);
        stack_t stack = {};
        stack.ss_sp = memory.get();
        stack.ss_size = size;
        if (sigaltstack(&stack, nullptr) == 0)
            m_memory = std::move(memory);
    }

    ~AltStackScope()
    {
        if (!m_memory)
            return;
        stack_t off = {};
        off.ss_flags = SS_DISABLE;
        sigaltstack(&off, nullptr);
    }

    AltStackScope(const AltStackScope &) = delete;
    AltStackScope &operator=(const AltStackScope &) = delete;

private:
    std::unique_ptr<char[]> m_memory;
};

// True when execute returned (its answer in answer); false after an exception or a fault.
// Kept apart from runTask so that nothing but the frame lives across the jump point.
bool executeGuarded(OrvoExceptionTask &task, bool &answer)
{
    GuardFrame frame;
    frame.outer = t_innermost;
    if (sigsetjmp(frame.jump, 1) != 0) {
        t_innermost = frame.outer;
        return false;
    }
    t_innermost = &frame;
    try {
        answer = task.execute();
    } catch (abi::__forced_unwind &) {
        t_innermost = frame.outer;
        throw;
    } catch (...) {
        t_innermost = frame.outer;
        return false;
    }
    t_innermost = frame.outer;
    return true;
}

} // namespace

bool OrvoLinuxExceptionHandler::runTask(OrvoExceptionTask *task)
{
    if (task == nullptr)
        return false;
    installFaultHandlers();
    const AltStackScope altStack;
    bool answer = false;
    if (executeGuarded(*task, answer))
        return answer;
    task->handleException();
    return false;
}
