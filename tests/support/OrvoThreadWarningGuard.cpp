#include "OrvoThreadWarningGuard.h"

#include <gtest/gtest.h>

#include <QList>
#include <QMutex>
#include <QMutexLocker>

#include <atomic>

// The test programs link with --wrap for Qt's qInstallMessageHandler (see the CMakeLists.txt
// beside): every call in the program's and the tests' code comes to the wrapper below, which
// keeps the guard installed and makes the new handler the one the guard passes messages to.
#define ORVO_INSTALL_HANDLER_SYMBOL _Z22qInstallMessageHandlerPFv9QtMsgTypeRK18QMessageLogContextRK7QStringE
#define ORVO_WRAPPED(prefix, symbol) ORVO_JOIN(prefix, symbol)
#define ORVO_JOIN(prefix, symbol) prefix##symbol

extern "C" QtMessageHandler ORVO_WRAPPED(__real_, ORVO_INSTALL_HANDLER_SYMBOL)(QtMessageHandler handler);

namespace {

const char *const kMisuseTexts[] = {
    "Cannot create children for a parent that is in a different thread",
    "Cannot set parent, new parent is in a different thread",
    "Timers cannot be started from another thread",
    "Timers cannot be stopped from another thread",
    "Cannot send events to objects owned by a different thread",
    "Socket notifiers cannot be enabled or disabled from another thread",
    "Cannot move objects with a parent",
};

std::atomic_bool g_installed{false};
QtMessageHandler g_qtDefault = nullptr;
std::atomic<QtMessageHandler> g_next{nullptr};

QMutex g_expectedMutex;
QList<OrvoThreadWarningGuard *> g_expected;

} // namespace

extern "C" QtMessageHandler ORVO_WRAPPED(__wrap_, ORVO_INSTALL_HANDLER_SYMBOL)(QtMessageHandler handler)
{
    if (!g_installed.load())
        return ORVO_WRAPPED(__real_, ORVO_INSTALL_HANDLER_SYMBOL)(handler);
    return g_next.exchange(handler != nullptr ? handler : g_qtDefault);
}

OrvoThreadWarningGuard::OrvoThreadWarningGuard(const QString &expected)
    : m_expected(expected)
{
    const QMutexLocker lock(&g_expectedMutex);
    g_expected.append(this);
}

OrvoThreadWarningGuard::~OrvoThreadWarningGuard()
{
    const QMutexLocker lock(&g_expectedMutex);
    g_expected.removeOne(this);
}

int OrvoThreadWarningGuard::seen() const
{
    const QMutexLocker lock(&g_expectedMutex);
    return m_seen;
}

void OrvoThreadWarningGuard::install()
{
    // Qt answers with its own default handler when none was installed before.
    g_qtDefault = ORVO_WRAPPED(__real_, ORVO_INSTALL_HANDLER_SYMBOL)(&OrvoThreadWarningGuard::handle);
    g_next.store(g_qtDefault);
    g_installed.store(true);
}

bool OrvoThreadWarningGuard::isThreadMisuse(const QString &message)
{
    for (const char *text : kMisuseTexts) {
        if (message.contains(QLatin1String(text)))
            return true;
    }
    return false;
}

void OrvoThreadWarningGuard::handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const bool warning = type == QtWarningMsg || type == QtCriticalMsg;
    if (warning && isThreadMisuse(message) && !takeExpected(message))
        ADD_FAILURE() << "Qt's warning of an object used from the wrong thread: " << message.toStdString();
    if (const QtMessageHandler next = g_next.load())
        next(type, context, message);
}

bool OrvoThreadWarningGuard::takeExpected(const QString &message)
{
    const QMutexLocker lock(&g_expectedMutex);
    for (OrvoThreadWarningGuard *guard : std::as_const(g_expected)) {
        if (message.contains(guard->m_expected)) {
            ++guard->m_seen;
            return true;
        }
    }
    return false;
}
