#include "OrvoThreadWarningGuard.h"
#include "OrvoMessageCapture.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <QObject>
#include <QThread>

#include <memory>

namespace {

// What Qt does when a thread makes a child of an object another thread owns: it warns and
// leaves the child without its parent.
void makeAChildOnAnotherThread()
{
    QObject parent;
    std::unique_ptr<QObject> child;
    std::unique_ptr<QThread> thread(QThread::create([&parent, &child] { child = std::make_unique<QObject>(&parent); }));
    thread->start();
    thread->wait();
}

void warnThatAParentWasRefused()
{
    qWarning("QObject::setParent: Cannot set parent, new parent is in a different thread");
}

void warnThatATimerWasStartedElsewhere()
{
    qWarning("QObject::startTimer: Timers cannot be started from another thread");
}

} // namespace

TEST(OrvoThreadWarningGuardTest, AMisuseOnAnyThreadFailsTheTestBehindAHandlerInstalledLater)
{
    EXPECT_NONFATAL_FAILURE_ON_ALL_THREADS(makeAChildOnAnotherThread(),
                                           "Cannot create children for a parent that is in a different thread");
    {
        const OrvoMessageCapture capture;
        EXPECT_NONFATAL_FAILURE(warnThatAParentWasRefused(), "Cannot set parent");
        EXPECT_TRUE(capture.contains(QtWarningMsg, QStringLiteral("Cannot set parent")))
            << "the handler installed later still gets the message";
    }
    EXPECT_NONFATAL_FAILURE(warnThatATimerWasStartedElsewhere(), "Timers cannot be started from another thread");
}

TEST(OrvoThreadWarningGuardTest, AnExpectedMisuseIsCountedAndOtherMessagesPass)
{
    const OrvoThreadWarningGuard expected(QStringLiteral("Timers cannot be started from another thread"));
    const OrvoMessageCapture capture;
    warnThatATimerWasStartedElsewhere();
    qWarning("a warning about something else");
    EXPECT_EQ(expected.seen(), 1);
    EXPECT_EQ(capture.count(QtWarningMsg, QStringLiteral("Timers cannot be started")), 1);
    EXPECT_NONFATAL_FAILURE(warnThatAParentWasRefused(), "Cannot set parent");
}

TEST(OrvoThreadWarningGuardTest, EveryListedTextIsAMisuse)
{
    const char *const misuses[] = {
        "QObject: Cannot create children for a parent that is in a different thread.",
        "QObject::setParent: Cannot set parent, new parent is in a different thread",
        "QObject::startTimer: Timers cannot be started from another thread",
        "QObject::killTimer: Timers cannot be stopped from another thread",
        "QCoreApplication::sendEvent: Cannot send events to objects owned by a different thread.",
        "QSocketNotifier: Socket notifiers cannot be enabled or disabled from another thread",
        "QObject::moveToThread: Cannot move objects with a parent",
    };
    for (const char *text : misuses) {
        SCOPED_TRACE(text);
        EXPECT_TRUE(OrvoThreadWarningGuard::isThreadMisuse(QLatin1String(text)));
    }
    EXPECT_FALSE(OrvoThreadWarningGuard::isThreadMisuse(QStringLiteral("QObject::connect: No such signal")));
}
