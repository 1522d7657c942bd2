#include "OrvoEnvTestFixture.h"
#include "OrvoTestSupport.h"

#include "env/OrvoEnvLogging.h"
#include "env/OrvoFunctionTrace.h"
#include "env/OrvoMessageHandler.h"
#include "env/OrvoZKLogAppender.h"
#include "env/ZKLogger.h"

#include <QDateTime>
#include <QDir>
#include <QRegularExpression>
#include <QSettings>
#include <QThread>

#include <vector>

namespace {

const QString kStamp = QStringLiteral(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d,\d{3})");

void setSetting(const QString &iniPath, const QString &key, const QString &value)
{
    QSettings(iniPath, QSettings::IniFormat).setValue(QStringLiteral("TarvexOrvo/") + key, value);
}

QStringList logLines(const QString &path)
{
    return QString::fromUtf8(OrvoTest::readFile(path)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

TEST(OrvoLogLine, FormatsTimeTagAndMessage)
{
    const QDateTime time(QDate(2026, 3, 4), QTime(5, 6, 7, 89));
    struct Case
    {
        QtMsgType type;
        const char *expected;
    };
    const std::vector<Case> cases = {
        {QtDebugMsg, "2026-03-04 05:06:07,089 [Debug]\tmsg\n"},
        {QtInfoMsg, "2026-03-04 05:06:07,089 [Debug]\tmsg\n"},
        {QtWarningMsg, "2026-03-04 05:06:07,089 [Warning]\tmsg\n"},
        {QtCriticalMsg, "2026-03-04 05:06:07,089 [Critical]\tmsg\n"},
        {QtFatalMsg, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(orvoLogLine(c.type, QStringLiteral("msg"), time), QLatin1String(c.expected));
    }
}

TEST_F(OrvoEnvTest, DebugSettingFiltersLevels)
{
    struct Case
    {
        const char *debug;
        QStringList written;
    };
    const std::vector<Case> cases = {
        // The last debug line is the environment's own goodbye.
        {"0", {"Debug", "Debug", "Warning", "Critical", "Debug"}},
        {"1", {"Debug", "Debug", "Warning", "Critical", "Debug"}},
        {"x", {"Debug", "Debug", "Warning", "Critical", "Debug"}},
        {"2", {"Warning", "Critical"}},
        {"3", {"Critical"}},
        {"4", {}},
        {"5", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.debug);
        QDir(dataDir()).removeRecursively();
        QDir().mkpath(dataDir());
        setSetting(dataDir() + QStringLiteral("/orvo.ini"), QStringLiteral("debug"), QLatin1String(c.debug));
        auto env = makeEnv(QStringLiteral("daemon"));
        qDebug() << "d";
        qInfo() << "i";
        qWarning() << "w";
        qCritical() << "c";
        const QString log = env->logFilePath();
        env->shutdown();
        env.reset();

        QStringList tags;
        for (const QString &line : logLines(log))
            tags << line.section(QLatin1Char('['), 1).section(QLatin1Char(']'), 0, 0);
        EXPECT_EQ(tags, c.written);
    }
}

TEST_F(OrvoEnvTest, ZKLinesReachTheLogAtTheDebugSettingsLevel)
{
    struct Case
    {
        const char *debug;
        QStringList written;
    };
    const std::vector<Case> cases = {
        // The last debug line is the environment's own goodbye.
        {"1", {"Critical", "Warning", "Debug", "Debug"}},
        {"x", {"Critical", "Warning", "Debug", "Debug"}},
        {"2", {"Critical", "Warning"}},
        {"3", {"Critical"}},
        {"4", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.debug);
        QDir(dataDir()).removeRecursively();
        QDir().mkpath(dataDir());
        setSetting(dataDir() + QStringLiteral("/orvo.ini"), QStringLiteral("debug"), QLatin1String(c.debug));
        auto env = makeEnv(QStringLiteral("daemon"));
        ZKLogger::instance().addAppender(std::make_unique<OrvoZKLogAppender>(*env));
        ZK_LOG_ERROR(QStringLiteral("can't open %s"), QStringLiteral("ride.gpx"));
        ZKLogger::instance().log(__FILE__, __LINE__, QStringLiteral("odd point %d"), {7}, ZKLogger::Warning);
        ZKLogger::instance().log(__FILE__, __LINE__, QStringLiteral("field trace"), {}, ZKLogger::Debug);
        ZKLogger::instance().clearAppenders();
        const QString log = env->logFilePath();
        env->shutdown();
        env.reset();

        const QStringList lines = logLines(log);
        QStringList tags;
        for (const QString &line : lines)
            tags << line.section(QLatin1Char('['), 1).section(QLatin1Char(']'), 0, 0);
        EXPECT_EQ(tags, c.written) << lines.join(QLatin1Char('\n')).toStdString();
        if (!lines.isEmpty()) {
            // "<file>(<line>): <ticks>, ERROR, <message>" with the arguments filled in.
            EXPECT_TRUE(lines.first().contains(QStringLiteral("OrvoLogTest.cpp(")));
            EXPECT_TRUE(lines.first().contains(QStringLiteral(", ERROR, ")));
            EXPECT_TRUE(lines.first().endsWith(QStringLiteral(", can't open ride.gpx"))) << lines.first().toStdString();
        }
    }
}

TEST_F(OrvoEnvTest, WarningIsFlushedAtOnceAndDebugWaitsForReset)
{
    auto env = makeEnv(QStringLiteral("daemon"));
    qDebug() << "hidden";
    qWarning() << "seen";
    QStringList lines = logLines(env->logFilePath());
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^") + kStamp + QStringLiteral(R"( \[Warning\]\tseen$)"))
                    .match(lines.first())
                    .hasMatch())
        << lines.first().toStdString();

    env->setValue(QStringLiteral("debug"), QStringLiteral("0"));
    qDebug() << "still cached";
    resetDebugLevelCache();
    qDebug() << "now written";
    const QString log = env->logFilePath();
    env->shutdown();
    env.reset();
    lines = logLines(log);
    ASSERT_EQ(lines.size(), 3) << lines.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(lines.at(1).endsWith(QStringLiteral("\tnow written")));
    EXPECT_TRUE(lines.at(2).endsWith(QStringLiteral("[ OrvoEnv::~OrvoEnv ]\t[ ")) ||
                lines.at(2).contains(QStringLiteral("[ OrvoEnv::~OrvoEnv ]\t")));
    EXPECT_TRUE(lines.at(2).endsWith(QStringLiteral("OrvoEnv destructor")));
}

TEST_F(OrvoEnvTest, TraceLinesNameTheFunctionAndLine)
{
    auto env = makeEnv(QStringLiteral("daemon"));
    OrvoFunctionTrace trace(QStringLiteral("OrvoKavel50::deletePOI"));
    const int line = __LINE__ + 1;
    ORVO_TRACE_WARNING(lcOrvoEnv, "OrvoKavel50::deletePOI") << "deleted" << QStringLiteral("cafe") << 3;

    const QStringList lines = logLines(env->logFilePath());
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines.first().section(QStringLiteral(" [Warning]\t"), 1),
              QStringLiteral("[ OrvoKavel50::deletePOI ]\t[ %1 ]\t deleted \"cafe\" 3").arg(line));
    EXPECT_EQ(trace.functionName(), QStringLiteral("OrvoKavel50::deletePOI"));
}

TEST_F(OrvoEnvTest, LogRotatesAtExactlyMaxLogSize)
{
    struct Case
    {
        const char *name;
        const char *role;
        const char *maxLogSize; // nullptr: the default 5242880
        qint64 size;
        bool rotated;
    };
    const std::vector<Case> cases = {
        {"default size reached", "daemon", nullptr, 5242880, true},
        {"one byte below", "daemon", nullptr, 5242879, false},
        {"zero rotates every start", "daemon", "0", 0, true},
        {"user log", "user", "10", 10, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QDir(dataDir()).removeRecursively();
        QDir().mkpath(dataDir());
        const QString ini =
            dataDir() + (QLatin1String(c.role) == QLatin1String("user") ? QStringLiteral("/orvouser.ini")
                                                                        : QStringLiteral("/orvo.ini"));
        if (c.maxLogSize)
            setSetting(ini, QStringLiteral("maxlogsize"), QLatin1String(c.maxLogSize));
        setSetting(ini, QStringLiteral("debug"), QStringLiteral("4"));
        const QString logName = QLatin1String(c.role) == QLatin1String("user") ? QStringLiteral("orvouser.log")
                                                                               : QStringLiteral("orvo.log");
        const QByteArray content(c.size, 'x');
        if (c.size > 0) {
            ASSERT_TRUE(OrvoTest::writeFile(dataDir() + QLatin1Char('/') + logName, content));
        }
        ASSERT_TRUE(OrvoTest::writeFile(dataDir() + QStringLiteral("/orvo.old"), "older"));

        auto env = makeEnv(QLatin1String(c.role));
        EXPECT_EQ(env->logFilePath(), dataDir() + QLatin1Char('/') + logName);
        env->shutdown();
        env.reset();

        const QByteArray log = OrvoTest::readFile(dataDir() + QLatin1Char('/') + logName);
        const QByteArray old = OrvoTest::readFile(dataDir() + QStringLiteral("/orvo.old"));
        if (c.rotated) {
            EXPECT_TRUE(log.isEmpty());
            EXPECT_EQ(old, content);
        } else {
            EXPECT_EQ(log, content);
            EXPECT_EQ(old, QByteArray("older"));
        }
    }
}

TEST_F(OrvoEnvTest, LinesFromManyThreadsStayWhole)
{
    auto env = makeEnv(QStringLiteral("daemon"));
    constexpr int kThreads = 4;
    constexpr int kLines = 200;
    std::vector<std::unique_ptr<QThread>> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back(QThread::create([t] {
            for (int i = 0; i < kLines; ++i)
                qWarning().noquote() << QStringLiteral("thread-%1-line-%2-").arg(t).arg(i) +
                                            QString(40, QLatin1Char('y'));
        }));
        threads.back()->start();
    }
    for (auto &thread : threads)
        thread->wait();

    const QStringList lines = logLines(env->logFilePath());
    ASSERT_EQ(lines.size(), kThreads * kLines);
    const QRegularExpression whole(QStringLiteral("^") + kStamp +
                                   QStringLiteral(R"( \[Warning\]\tthread-\d-line-\d+-y{40}$)"));
    for (const QString &line : lines)
        ASSERT_TRUE(whole.match(line).hasMatch()) << line.toStdString();
}
