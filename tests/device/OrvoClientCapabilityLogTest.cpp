#include "CommonClient.h"
#include "OrvoMessageCapture.h"
#include "device/OrvoCapabilityInterface.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A device library whose capability call answers as the test says.
class ScriptedCapabilityLibrary : public OrvoCapabilityInterface
{
public:
    ScriptedCapabilityLibrary() { OrvoClient::setCapabilitySource(this); }
    ~ScriptedCapabilityLibrary() override { OrvoClient::setCapabilitySource(nullptr); }
    ScriptedCapabilityLibrary(const ScriptedCapabilityLibrary &) = delete;
    ScriptedCapabilityLibrary &operator=(const ScriptedCapabilityLibrary &) = delete;

    bool projSwCapability(const QByteArray &, QString &capability) override
    {
        capability = succeeds ? QStringLiteral("route=1") : QString();
        return succeeds;
    }

    bool succeeds = false;
};

// The page asks for the capability on every render: a device the library has no answer for
// fills the log with one line per render unless each client says it once.
TEST(OrvoClientCapabilityLog, AFailingCapabilityIsLoggedOncePerClientUntilAnAnswerComes)
{
    struct Case
    {
        const char *name;
        // Whether the library answers, call by call on one client.
        std::vector<bool> answers;
        int criticalLines;
    };
    const std::vector<Case> cases = {
        {"every render fails", {false, false, false, false, false}, 1},
        {"an answer in between", {false, false, true, false, false}, 2},
        {"answers first, then fails", {true, true, false, false}, 1},
        {"always answers", {true, true, true}, 0},
    };
    ScriptedCapabilityLibrary library;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CommonClient client;
        OrvoMessageCapture capture;
        for (bool answers : c.answers) {
            library.succeeds = answers;
            EXPECT_EQ(client.getCapability(), answers ? QStringLiteral("route=1") : QString());
        }
        EXPECT_EQ(capture.count(QtCriticalMsg, QStringLiteral("call ProjSwCapability failed")), c.criticalLines);
    }
}

TEST(OrvoClientCapabilityLog, EachClientLogsItsOwnFailure)
{
    ScriptedCapabilityLibrary library;
    CommonClient first;
    CommonClient second;
    OrvoMessageCapture capture;
    for (int render = 0; render < 3; ++render) {
        first.getCapability();
        second.getCapability();
    }
    EXPECT_EQ(capture.count(QtCriticalMsg, QStringLiteral("call ProjSwCapability failed")), 2);
}

} // namespace
