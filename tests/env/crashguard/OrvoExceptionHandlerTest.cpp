#include "env/OrvoExceptionHandler.h"
#include "env/OrvoExceptionTask.h"
#include "env/OrvoLinuxExceptionHandler.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <sys/resource.h>

#include <atomic>
#include <barrier>
#include <csignal>
#include <functional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

// Read through volatile objects, so that the compiler cannot see the fault coming and replace
// it with a trap of its own.
volatile int *volatile g_nowhere = nullptr;
volatile int g_one = 1;
volatile int g_zero = 0;
volatile int g_depthLimit = 1 << 30;

bool writeThroughNull()
{
    *g_nowhere = 1;
    return true;
}

bool divideByZero()
{
    volatile int quotient = g_one / g_zero;
    return quotient != 0;
}

// Each frame keeps a buffer alive across the call, so the recursion cannot become a loop.
int recurseUntilTheStackEnds(int depth)
{
    volatile char frame[1024];
    frame[0] = char(depth);
    if (depth >= g_depthLimit)
        return frame[0];
    return recurseUntilTheStackEnds(depth + 1) + frame[0];
}

class FunctionTask : public OrvoExceptionTask
{
public:
    explicit FunctionTask(std::function<bool()> work)
        : m_work(std::move(work))
    {}
    bool execute() override { return m_work(); }
    void handleException() override { ++m_handled; }
    int handled() const { return m_handled; }

private:
    std::function<bool()> m_work;
    int m_handled = 0;
};

struct Outcome
{
    bool answer;
    int handled;
};

Outcome runGuarded(const std::function<bool()> &work)
{
    FunctionTask task(work);
    OrvoExceptionHandler guard;
    const bool answer = guard.runTask(&task);
    return {answer, task.handled()};
}

struct GuardCase
{
    const char *name;
    std::function<bool()> work;
    bool answer;
    int handled;
};

const std::vector<GuardCase> &guardCases()
{
    static const std::vector<GuardCase> cases = {
        {"ReturnsTrue", [] { return true; }, true, 0},
        {"ReturnsFalse", [] { return false; }, false, 0},
        {"ThrowsStdException", []() -> bool { throw std::runtime_error("bad record"); }, false, 1},
        {"ThrowsInt", []() -> bool { throw 42; }, false, 1},
        {"WritesThroughNull", writeThroughNull, false, 1},
        {"DividesIntegerByZero", divideByZero, false, 1},
        {"OverflowsTheStack", [] { return recurseUntilTheStackEnds(0) != 0; }, false, 1},
        // The inner guard takes the fault; the outer task goes on and answers for itself.
        {"NestedGuardTakesTheInnerFault",
         [] {
             const Outcome inner = runGuarded(writeThroughNull);
             return !inner.answer && inner.handled == 1;
         },
         true, 0},
        // Once a nested guard has returned, a fault belongs to the outer guard again.
        {"FaultAfterNestedGuardReachesTheOuterGuard",
         [] {
             runGuarded([] { return true; });
             return writeThroughNull();
         },
         false, 1},
    };
    return cases;
}

void PrintTo(const GuardCase &row, std::ostream *os)
{
    *os << row.name;
}

class OrvoCrashGuardTable : public ::testing::TestWithParam<GuardCase>
{};

TEST_P(OrvoCrashGuardTable, AnswersExecuteOrFalseAfterOneHandleException)
{
    const Outcome outcome = runGuarded(GetParam().work);
    EXPECT_EQ(outcome.answer, GetParam().answer);
    EXPECT_EQ(outcome.handled, GetParam().handled);
}

INSTANTIATE_TEST_SUITE_P(All, OrvoCrashGuardTable, ::testing::ValuesIn(guardCases()),
                         [](const auto &row) { return std::string(row.param.name); });

TEST(OrvoCrashGuard, TwoFaultsOnOneThreadAreBothCaught)
{
    // The signal stays blocked after a jump out of its handler unless the guard restores the
    // mask; the second fault would then end the process.
    const Outcome first = runGuarded(writeThroughNull);
    const Outcome second = runGuarded(writeThroughNull);
    const Outcome third = runGuarded(divideByZero);
    EXPECT_FALSE(first.answer);
    EXPECT_FALSE(second.answer);
    EXPECT_FALSE(third.answer);
    EXPECT_EQ(first.handled + second.handled + third.handled, 3);
}

TEST(OrvoCrashGuard, FourThreadsFaultAtOnce)
{
    constexpr int kThreads = 4;
    std::barrier start(kThreads);
    std::vector<Outcome> outcomes(kThreads, Outcome{true, 0});
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            outcomes[std::size_t(i)] = runGuarded([&, i] {
                start.arrive_and_wait();
                return i % 2 == 0 ? writeThroughNull() : divideByZero();
            });
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    for (int i = 0; i < kThreads; ++i) {
        SCOPED_TRACE(i);
        EXPECT_FALSE(outcomes[std::size_t(i)].answer);
        EXPECT_EQ(outcomes[std::size_t(i)].handled, 1);
    }
}

struct CancelRun
{
    FunctionTask *task;
    std::atomic_bool unwound{false};
    std::atomic_bool returned{false};
};

struct UnwindMarker
{
    std::atomic_bool &unwound;
    ~UnwindMarker() { unwound = true; }
};

void *runCancelledTask(void *argument)
{
    auto *run = static_cast<CancelRun *>(argument);
    OrvoLinuxExceptionHandler guard;
    guard.runTask(run->task);
    run->returned = true;
    return nullptr;
}

TEST(OrvoCrashGuard, ThreadCancellationUnwindsThroughTheGuard)
{
    CancelRun run;
    FunctionTask task([&run] {
        UnwindMarker marker{run.unwound};
        pthread_cancel(pthread_self());
        pthread_testcancel();
        return true;
    });
    run.task = &task;
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, nullptr, runCancelledTask, &run), 0);
    void *result = nullptr;
    ASSERT_EQ(pthread_join(thread, &result), 0);
    EXPECT_EQ(result, PTHREAD_CANCELED);
    EXPECT_TRUE(run.unwound);
    EXPECT_FALSE(run.returned);
    EXPECT_EQ(task.handled(), 0);
}

// The guard's handlers are in place once a guarded task has run; no core file is left behind.
void faultOutsideAGuard()
{
    const rlimit noCore = {0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    runGuarded([] { return true; });
    writeThroughNull();
}

void sendFaultSignalInsideAGuard()
{
    const rlimit noCore = {0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    runGuarded([] {
        raise(SIGSEGV);
        return true;
    });
}

TEST(OrvoCrashGuardDeathTest, FaultOutsideAGuardStillEndsTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(faultOutsideAGuard(), ::testing::KilledBySignal(SIGSEGV), "");
}

TEST(OrvoCrashGuardDeathTest, SignalSentByRaiseIsNotTakenForAFault)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(sendFaultSignalInsideAGuard(), ::testing::KilledBySignal(SIGSEGV), "");
}

TEST(OrvoCrashGuard, NoTaskIsFalse)
{
    EXPECT_FALSE(OrvoExceptionHandler().runTask(nullptr));
}

} // namespace
