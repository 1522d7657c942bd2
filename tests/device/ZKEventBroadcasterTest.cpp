#include "device/ZKEventBroadcaster.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace {

struct Listener
{
    QString name;
    QStringList *calls = nullptr;
    ZKEventBroadcaster<Listener> *owner = nullptr;
    Listener *removeOnCall = nullptr;

    void ping() { calls->append(name); }
    void pair(const QString &text, int number)
    {
        calls->append(name + ':' + text + ':' + QString::number(number));
        if (removeOnCall != nullptr)
            owner->removeListener(removeOnCall);
    }
};

} // namespace

TEST(ZKEventBroadcaster, CallsEachListenerOnceInRegistrationOrder)
{
    QStringList calls;
    ZKEventBroadcaster<Listener> broadcaster;
    Listener a{"a", &calls};
    Listener b{"b", &calls};
    broadcaster.addListener(&b);
    broadcaster.addListener(&a);
    broadcaster.addListener(&b);
    broadcaster.addListener(nullptr);
    broadcaster.broadcast(&Listener::ping);
    EXPECT_EQ(calls, QStringList({"b", "a"}));

    EXPECT_TRUE(broadcaster.removeListener(&b));
    EXPECT_FALSE(broadcaster.removeListener(&b));
    calls.clear();
    broadcaster.broadcast(&Listener::pair, QStringLiteral("x"), 7);
    EXPECT_EQ(calls, QStringList({"a:x:7"}));
}

TEST(ZKEventBroadcaster, ListenerRemovedDuringTheCallIsNotCalledAfterwards)
{
    QStringList calls;
    ZKEventBroadcaster<Listener> broadcaster;
    Listener c{"c", &calls};
    Listener a{"a", &calls, &broadcaster, &c};
    Listener b{"b", &calls};
    broadcaster.addListener(&a);
    broadcaster.addListener(&b);
    broadcaster.addListener(&c);
    broadcaster.broadcast(&Listener::pair, QStringLiteral("y"), 1);
    EXPECT_EQ(calls, QStringList({"a:y:1", "b:y:1"}));
    EXPECT_EQ(broadcaster.listeners().size(), 2);
}
