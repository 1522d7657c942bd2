#include "env/ZKLogger.h"
#include "OrvoTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

struct Recorded
{
    QString line;
    QVariantList arguments;
    int level;
};

class RecordingAppender : public ZKLogAppender
{
public:
    RecordingAppender(int level, std::vector<Recorded> &sink)
        : ZKLogAppender(level)
        , m_sink(sink)
    {}
    void write(const QString &line, const QVariantList &arguments, int level) override
    {
        m_sink.push_back({line, arguments, level});
    }

private:
    std::vector<Recorded> &m_sink;
};

class ZKLoggerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_logger.setTickSource([] { return quint64(123456); });
    }

    ZKLogger m_logger;
    std::vector<Recorded> m_records;
};

} // namespace

TEST_F(ZKLoggerTest, WithoutAppendersNothingHappens)
{
    m_logger.logError(".\\src\\util\\ZKGpx2", 1001, QStringLiteral("can't open %s"), {QStringLiteral("a.gpx")});
    EXPECT_TRUE(m_records.empty());
    EXPECT_EQ(ZKLogger::level(), ZKLogger::Error);
}

TEST_F(ZKLoggerTest, ComposesThePatternLineForTheAppender)
{
    m_logger.addAppender(std::make_unique<RecordingAppender>(ZKLogger::Error, m_records));
    m_logger.logError(".\\src\\util\\ZKGpx2", 1001, QStringLiteral("can't open %s"), {QStringLiteral("a.gpx")});

    ASSERT_EQ(m_records.size(), 1u);
    EXPECT_EQ(m_records[0].line, QStringLiteral(".\\src\\util\\ZKGpx2(1001): 123456, ERROR, can't open %s\n"));
    EXPECT_EQ(m_records[0].arguments, QVariantList{QStringLiteral("a.gpx")});
    EXPECT_EQ(m_records[0].level, ZKLogger::Error);
    EXPECT_EQ(ZKLogAppender::applyArguments(m_records[0].line, m_records[0].arguments),
              QStringLiteral(".\\src\\util\\ZKGpx2(1001): 123456, ERROR, can't open a.gpx\n"));
}

TEST_F(ZKLoggerTest, AppendersSkipMessagesAboveTheirLevel)
{
    std::vector<Recorded> debugSink;
    std::vector<Recorded> traceSink;
    m_logger.addAppender(std::make_unique<RecordingAppender>(ZKLogger::Error, m_records));
    m_logger.addAppender(std::make_unique<RecordingAppender>(ZKLogger::Debug, debugSink));
    m_logger.addAppender(std::make_unique<RecordingAppender>(ZKLogger::Trace, traceSink));

    m_logger.logDebug("f.cpp", 7, QStringLiteral("point %d"), {5});

    EXPECT_TRUE(m_records.empty());
    ASSERT_EQ(debugSink.size(), 1u);
    ASSERT_EQ(traceSink.size(), 1u);
    EXPECT_EQ(debugSink[0].line, QStringLiteral("f.cpp(7): 123456, DEBUG, point %d\n"));
}

TEST_F(ZKLoggerTest, PatternFieldsAreRenamedAndLongLinesCut)
{
    m_logger.setPattern(QStringLiteral("%p|%m|%F:%L@%t"));
    m_logger.addAppender(std::make_unique<RecordingAppender>(ZKLogger::Trace, m_records));
    m_logger.logError("%2file", 3, QStringLiteral("100% %1"));
    m_logger.logError("f", 1, QString(600, QLatin1Char('m')));

    ASSERT_EQ(m_records.size(), 2u);
    EXPECT_EQ(m_records[0].line, QStringLiteral("ERROR|100% %1|%2file:3@123456"));
    EXPECT_EQ(m_records[1].line.size(), 511);
}

TEST(ZKLogAppenderTest, AppliesPrintfConversionsInOrder)
{
    struct Case
    {
        const char *line;
        QVariantList arguments;
        const char *expected;
    };
    const std::vector<Case> cases = {
        {"open %s at %d", {QStringLiteral("x"), 4}, "open x at 4"},
        {"wide %ls, %5.2f%%", {QStringLiteral("w"), 1.5}, "wide w, 1.5%"},
        {"missing %s", {}, "missing %s"},
        {"trailing %", {}, "trailing %"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(ZKLogAppender::applyArguments(QLatin1String(c.line), c.arguments), QLatin1String(c.expected));
    }
}
