#pragma once

#include "OrvoGatedClient.h"
#include "OrvoUserFolderScope.h"

#include "device/OrvoAsyncResultInterface.h"
#include "device/OrvoClient.h"
#include "device/OrvoClientActionListener.h"

#include <QVector>

// Doubles of the device client tests: the gated client of every client test, and recorders for
// the two hand-offs of finished actions.
namespace ClientTest {

using OrvoTest::Gate;
using OrvoTest::kPatienceMs;
using RecordingClient = OrvoTest::GatedClient;
using OrvoTest::UserFolderScope;

// Records the result lists handed to the scripting side; installs itself while it lives.
class ResultRecorder : public OrvoAsyncResultInterface
{
public:
    ResultRecorder() { OrvoClient::setAsyncResultReceiver(this); }
    ~ResultRecorder() override { OrvoClient::setAsyncResultReceiver(nullptr); }
    ResultRecorder(const ResultRecorder &) = delete;
    ResultRecorder &operator=(const ResultRecorder &) = delete;

    void emitAsyncResult(const QVariantList &result) override { results.append(result); }

    QVector<QVariantList> results;
};

// Records the action notices; installs itself while it lives.
class ActionRecorder : public OrvoClientActionListener
{
public:
    struct Notice
    {
        OrvoClient *client;
        int action;
    };

    ActionRecorder() { OrvoClient::setActionListener(this); }
    ~ActionRecorder() override { OrvoClient::setActionListener(nullptr); }
    ActionRecorder(const ActionRecorder &) = delete;
    ActionRecorder &operator=(const ActionRecorder &) = delete;

    void onClientActionDone(OrvoClient *client, int action) override { notices.append(Notice{client, action}); }

    QVector<Notice> notices;
};

} // namespace ClientTest
