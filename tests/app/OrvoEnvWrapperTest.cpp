#include "AppTestSupport.h"

#include "app/OrvoControllerHooks.h"
#include "app/OrvoEnvWrapper.h"
#include "app/OrvoPythonConsole.h"
#include "env/OrvoEnv.h"
#include "env/OrvoEnvLogging.h"
#include "env/OrvoMessageHandler.h"

#include <QApplication>
#include <QDesktopServices>
#include <QEventLoop>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <vector>

using namespace AppTest;

namespace {

class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl &url) { urls << url; }
};

OrvoPythonConsole *findConsole()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *console = qobject_cast<OrvoPythonConsole *>(widget))
            return console;
    }
    return nullptr;
}

// Runs the application's event loop with the call in it; answers the loop's exit code, or
// 7 when the call did not end it.
int exitCodeAround(const std::function<void()> &call)
{
    QTimer::singleShot(0, qApp, [&call] {
        call();
        // A loop refuses to start once the application was asked to exit.
        QEventLoop probe;
        QTimer::singleShot(0, &probe, [&probe] { probe.exit(0); });
        if (probe.exec() != -1)
            QCoreApplication::exit(7);
    });
    return QCoreApplication::exec();
}

class OrvoEnvWrapperTest : public ::testing::Test
{
protected:
    void SetUp() override { initEnvironment(); }
    void TearDown() override
    {
        OrvoControllerHooks::setExportLogHook({});
        OrvoControllerHooks::setDisconnectDeviceHook({});
    }

    OrvoEnvWrapper wrapper;
    OrvoEnv *env = OrvoEnv::instance();
};

TEST_F(OrvoEnvWrapperTest, SetDebugLevelTakesEffectOnTheNextMessage)
{
    wrapper.setDebugLevel(env, QStringLiteral("2"));
    LogWatch log;
    qCDebug(lcOrvoEnv) << "filtered probe";
    wrapper.setDebugLevel(env, QStringLiteral("0"));
    qCDebug(lcOrvoEnv) << "written probe";
    EXPECT_EQ(env->getValue(QStringLiteral("debug"), QString()), QStringLiteral("0"));
    const QString logged = log.text();
    EXPECT_FALSE(logged.contains(QStringLiteral("filtered probe")));
    EXPECT_TRUE(logged.contains(QStringLiteral("written probe")));
}

TEST_F(OrvoEnvWrapperTest, UpdateOrvoEndsTheProgramOnlyWhenTheInstallerStarted)
{
    struct Case
    {
        const char *installer;
        int exitCode;
    };
    const std::vector<Case> cases = {{"/bin/true", 0}, {"/nonexistent/orvo-setup", 7}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.installer);
        LogWatch log;
        EXPECT_EQ(exitCodeAround([&] { wrapper.updateOrvo(env, QLatin1String(c.installer)); }), c.exitCode);
        EXPECT_EQ(log.contains(QStringLiteral("installer not started")), c.exitCode != 0);
    }
}

TEST_F(OrvoEnvWrapperTest, OpenFolderHandsTheDesktopAFileUrl)
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
    const QStringList paths = {QStringLiteral("/tmp/orvo user/data"), QStringLiteral("/tmp/rides#2"),
                               QStringLiteral("/tmp/100%done"), QStringLiteral("/tmp/Übersicht?")};
    for (const QString &path : paths)
        wrapper.openFolder(env, path);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ASSERT_EQ(catcher.urls.size(), paths.size());
    for (qsizetype i = 0; i < paths.size(); ++i) {
        SCOPED_TRACE(paths.at(i).toStdString());
        EXPECT_TRUE(catcher.urls.at(i).isLocalFile());
        EXPECT_EQ(catcher.urls.at(i).toLocalFile(), paths.at(i));
    }
}

TEST_F(OrvoEnvWrapperTest, ControllerCommandsWaitForTheController)
{
    LogWatch log;
    wrapper.exportOrvoLog(env, QStringLiteral("/tmp/orvoexport.zip"));
    wrapper.disconnectDevice(env);
    EXPECT_TRUE(log.contains(QStringLiteral("no device controller")));

    QStringList exported;
    int disconnects = 0;
    OrvoControllerHooks::setExportLogHook([&exported](const QString &dest, QString &) {
        exported << dest;
        return true;
    });
    OrvoControllerHooks::setDisconnectDeviceHook([&disconnects] { ++disconnects; });
    wrapper.exportOrvoLog(env, QStringLiteral("/tmp/orvoexport.zip"));
    wrapper.disconnectDevice(env);
    EXPECT_EQ(exported, QStringList{QStringLiteral("/tmp/orvoexport.zip")});
    EXPECT_EQ(disconnects, 1);
}

// The slots that let go of the interpreter lock are called from Python; a hook that calls back
// into Python must find the lock free to take.
TEST_F(OrvoEnvWrapperTest, ControllerHooksCalledFromPythonMayEnterPython)
{
    startPython();
    QString answer;
    OrvoControllerHooks::setExportLogHook([&answer](const QString &, QString &) {
        answer = evalPython(QStringLiteral("6 * 7"));
        return true;
    });
    runPython(QStringLiteral("import orvo\norvo.OrvoEnv().exportOrvoLog('/tmp/orvoexport.zip')"));
    EXPECT_EQ(answer, QStringLiteral("42"));
}

TEST_F(OrvoEnvWrapperTest, ConsoleOpensOnlyWithItsAccessCode)
{
    startPython();
    struct Case
    {
        const char *user;
        int port;
    };
    const std::vector<Case> refused = {{"QelnorWistak", 8363}, {"qelnorwistak", 8362}, {"", 8362}};
    for (const Case &c : refused) {
        SCOPED_TRACE(c.user);
        wrapper.enableDebug(env, QLatin1String(c.user), QStringLiteral("127.0.0.1"), c.port);
        EXPECT_EQ(findConsole(), nullptr);
    }
    wrapper.enableDebug(env, QStringLiteral("QelnorWistak"), QString(), 8362);
    OrvoPythonConsole *console = findConsole();
    ASSERT_NE(console, nullptr);
    EXPECT_TRUE(console->isVisible());
    console->hide();
    wrapper.enableDebug(env, QStringLiteral("someone"), QString(), 1);
    EXPECT_EQ(findConsole(), console);
    EXPECT_TRUE(console->isVisible());

    console->run(QStringLiteral("6 * 7"));
    console->run(QStringLiteral("print('from print')"));
    console->run(QStringLiteral("raise SystemExit(4)"));
    console->run(QStringLiteral("import orvo; orvo.OrvoEnv().getVersion()"));
    const QString transcript = console->transcript();
    EXPECT_TRUE(transcript.contains(QStringLiteral(">>> 6 * 7\n42\n"))) << transcript.toStdString();
    EXPECT_TRUE(transcript.contains(QStringLiteral("from print")));
    EXPECT_TRUE(transcript.contains(QStringLiteral("SystemExit: 4")));
    EXPECT_TRUE(transcript.contains(QStringLiteral("'2.8.0.20'")));
}

} // namespace

#include "OrvoEnvWrapperTest.moc"
