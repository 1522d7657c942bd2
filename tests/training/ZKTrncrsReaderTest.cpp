#include "training/ZKTrncrsReader.h"

#include "training/ZKTrnWriter.h"
#include "training/ZKTrncrs.h"

#include "OrvoTestSupport.h"
#include "TrainingSamples.h"
#include "ZKLogCapture.h"

#include <gtest/gtest.h>

namespace {

// Notes every call in order, with the keys and texts of set operations.
class RecordingImportable : public ZKTrnImportable
{
public:
    QStringList calls;

    void newMetadata() override { calls << QStringLiteral("newMetadata"); }
    void setMetadata(const ZKTrnMap &values) override { record("setMetadata", values); }
    void newWorkout() override { calls << QStringLiteral("newWorkout"); }
    void setWorkout(const ZKTrnMap &values) override { record("setWorkout", values); }
    void newInterval() override { calls << QStringLiteral("newInterval"); }
    void newTarget() override { calls << QStringLiteral("newTarget"); }
    void setTarget(const ZKTrnMap &values) override { record("setTarget", values); }
    void newDuration() override { calls << QStringLiteral("newDuration"); }
    void setDuration(const ZKTrnMap &values) override { record("setDuration", values); }
    void setInterval(const ZKTrnMap &values) override { record("setInterval", values); }

private:
    void record(const char *operation, const ZKTrnMap &values)
    {
        QStringList pairs;
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            pairs << it.key() + QLatin1Char('=') + it.value();
        calls << QString::fromLatin1(operation) + QLatin1Char(' ') + pairs.join(QLatin1Char('|'));
    }
};

const char kRoot[] =
    "<trncrs xmlns=\"http://www.tarvex.com/xmlschemas/WRK/1/3\" creator=\"tarvex\" version=\"1.3.0.9\">";

QByteArray document(const QByteArray &body)
{
    return QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n") + kRoot + body + "</trncrs>\n";
}

class ZKTrncrsReaderTest : public ::testing::Test
{
protected:
    QString write(const QByteArray &bytes)
    {
        const QString path = m_out.filePath(QStringLiteral("course%1.wrk").arg(m_files++));
        EXPECT_TRUE(OrvoTest::writeFile(path, bytes));
        return path;
    }
    bool read(const QByteArray &bytes, ZKTrnImportable &target)
    {
        ZKTrncrsReader reader(&target);
        return reader.readFile(write(bytes));
    }

    OrvoTest::OutputDir m_out;
    int m_files = 0;
};

} // namespace

TEST_F(ZKTrncrsReaderTest, CallsTheTargetInDocumentOrderWithFlattenedKeys)
{
    const QByteArray body = "<metadata><name>Plan<shtname>P</shtname></name><desc>d</desc>"
                            "<author>Ann<shtname>A</shtname></author><time>t</time>"
                            "<sys major=\"1\" minor=\"2\" extra=\"x\">Kavel50</sys></metadata>"
                            "<wrk id=\"7\" listOrder=\"0\"><acttype>2</acttype><time>t2</time>"
                            "<route id=\"5\">Loop</route>"
                            "<itv id=\"1\" needLap=\"true\"><name>Warm</name><logreso>5</logreso>"
                            "<target type=\"hr\" low=\"1\" high=\"2\"><ignored/></target>"
                            "<duration type=\"time\" value=\"60\"><segidx start=\"2\" end=\"9\"/>"
                            "<location lat=\"35.1\" lon=\"139.2\"/></duration>"
                            "<goto repeat=\"3\">1</goto></itv>"
                            "<itv id=\"2\"/></wrk>";
    RecordingImportable target;
    ASSERT_TRUE(read(document(body), target));
    const QStringList expected = {
        QStringLiteral("newMetadata"),
        QStringLiteral("setMetadata author=Ann|author_shtname=A|desc=d|name=Plan|name_shtname=P|sys=Kavel50|"
                       "sys_extra=x|sys_major=1|sys_minor=2|time=t"),
        QStringLiteral("newWorkout"),
        QStringLiteral("newInterval"),
        QStringLiteral("newTarget"),
        QStringLiteral("setTarget target_high=2|target_low=1|target_type=hr"),
        QStringLiteral("newDuration"),
        QStringLiteral("setDuration duration_type=time|duration_value=60|location_lat=35.1|location_lon=139.2|"
                       "segidx_end=9|segidx_start=2"),
        QStringLiteral("setInterval goto=1|goto_repeat=3|itv_id=1|itv_needLap=true|logreso=5|name=Warm"),
        QStringLiteral("newInterval"),
        QStringLiteral("setInterval itv_id=2"),
        QStringLiteral("setWorkout acttype=2|route=Loop|route_id=5|time=t2|wrk_id=7|wrk_listOrder=0"),
    };
    EXPECT_EQ(target.calls, expected);
}

TEST_F(ZKTrncrsReaderTest, LanguagesAreJoinedIntoOneText)
{
    const struct
    {
        const char *name;
        QByteArray wrk;
        QString key;
        QString text;
    } cases[] = {
        {"twoDescriptions", "<desc lang=\"eng\">Hill repeats</desc><desc lang=\"deu\">Bergwiederholungen</desc>",
         QStringLiteral("desc"), QStringLiteral("\\ENG Hill repeats\\DEU Bergwiederholungen")},
        {"descWithoutLanguageReplaces", "<desc lang=\"eng\">Hill</desc><desc>plain</desc>", QStringLiteral("desc"),
         QStringLiteral("plain")},
        {"languageAfterPlainAppends", "<desc>plain</desc><desc lang=\"fra\">c\xc3\xb4te</desc>", QStringLiteral("desc"),
         QStringLiteral("plain\\FRA c\u00f4te")},
        {"mixedCaseLanguage", "<desc lang=\"Eng\">a</desc>", QStringLiteral("desc"), QStringLiteral("\\ENG a")},
        {"names", "<name lang=\"eng\">Hills</name>\n  <name lang=\"deu\">Berge</name>", QStringLiteral("name"),
         QStringLiteral("\\ENG Hills\\DEU Berge")},
        {"shortNamesTakeTheNameLanguage",
         "<name lang=\"eng\">Hills<shtname>H</shtname>\n  </name><name lang=\"deu\">Berge<shtname>B</shtname></name>",
         QStringLiteral("name_shtname"), QStringLiteral("\\ENG H\\DEU B")},
        {"nameTextAroundItsShortName", "<name lang=\"eng\">Hill<shtname>H</shtname> climbs\n</name>",
         QStringLiteral("name"), QStringLiteral("\\ENG Hill climbs\n")},
        {"nameWithoutLanguage", "<name>Hills<shtname>H</shtname>\n    </name>", QStringLiteral("name"),
         QStringLiteral("Hills")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ZKTrncrs doc;
        ASSERT_TRUE(read(document("<wrk>" + c.wrk + "</wrk>"), doc));
        ASSERT_EQ(doc.workouts().size(), 1);
        const ZKTrncrsWorkout &w = doc.workouts()[0];
        const QString actual = c.key == QLatin1String("desc")   ? w.desc
                               : c.key == QLatin1String("name") ? w.name
                                                                : w.nameShtname;
        EXPECT_EQ(actual, c.text);
    }
}

TEST_F(ZKTrncrsReaderTest, MetadataTextsIgnoreLanguages)
{
    ZKTrncrs doc;
    ASSERT_TRUE(read(document("<metadata><name lang=\"eng\">A</name><name lang=\"deu\">B</name>"
                              "<desc lang=\"eng\">x</desc></metadata>"),
                     doc));
    ASSERT_TRUE(doc.metadata());
    EXPECT_EQ(doc.metadata()->name, QStringLiteral("B"));
    EXPECT_EQ(doc.metadata()->desc, QStringLiteral("x"));
}

TEST_F(ZKTrncrsReaderTest, AcceptanceTable)
{
    const struct
    {
        const char *name;
        QByteArray bytes;
        bool accepted;
        QStringList calls;
        QStringList messages;
    } cases[] = {
        {"rootWithoutChildren", document(""), true, {}, {}},
        {"unknownElementsSkippedWithTheirContent",
         document("<extra><wrk id=\"9\"/></extra><wrk id=\"1\"><other><name>no</name></other>"
                  "<itv><unknown><target type=\"x\"/></unknown></itv></wrk>"),
         true,
         {QStringLiteral("newWorkout"), QStringLiteral("newInterval"), QStringLiteral("setInterval "),
          QStringLiteral("setWorkout wrk_id=1")},
         {}},
        {"creatorInCapitalsWithChildren",
         "<trncrs creator=\"TARVEX\"><wrk id=\"1\"/></trncrs>",
         false,
         {},
         {QStringLiteral("Error: failed to parse file")}},
        {"creatorInCapitalsWithoutChildren", "<trncrs creator=\"TARVEX\"/>", true, {}, {}},
        {"noCreator", "<trncrs><metadata/></trncrs>", false, {}, {QStringLiteral("Error: failed to parse file")}},
        {"otherRoot",
         "<gpx creator=\"tarvex\"><wrk/></gpx>",
         false,
         {},
         {QStringLiteral("Error: failed to parse file")}},
        {"upperCaseRoot", "<TRNCRS creator=\"tarvex\"/>", false, {}, {QStringLiteral("Error: failed to parse file")}},
        {"malformedKeepsCompletedRecords",
         document("<wrk id=\"1\"/><wrk id=\"2\"><itv id=\"1\"><name>x</nme></itv></wrk>"),
         false,
         {QStringLiteral("newWorkout"), QStringLiteral("setWorkout wrk_id=1"), QStringLiteral("newWorkout"),
          QStringLiteral("newInterval")},
         {QStringLiteral("Error: failed to parse file")}},
        {"truncated",
         QByteArray(kRoot) + "<wrk id=\"1\">",
         false,
         {QStringLiteral("newWorkout")},
         {QStringLiteral("Error: failed to parse file")}},
        {"empty", "", false, {}, {QStringLiteral("Error: failed to parse file")}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ZKLogCapture log;
        RecordingImportable target;
        EXPECT_EQ(read(c.bytes, target), c.accepted);
        EXPECT_EQ(target.calls, c.calls);
        EXPECT_EQ(log.messages(), c.messages);
    }
}

TEST_F(ZKTrncrsReaderTest, MissingFileOrTargetReadsNothing)
{
    RecordingImportable target;
    ZKTrncrsReader reader(&target);
    EXPECT_FALSE(reader.readFile(m_out.filePath(QStringLiteral("missing.wrk"))));
    ZKTrncrsReader withoutTarget(nullptr);
    EXPECT_FALSE(withoutTarget.readFile(write(document(""))));
    EXPECT_TRUE(target.calls.isEmpty());
}

TEST_F(ZKTrncrsReaderTest, ReaderCanBeUsedForSeveralFiles)
{
    ZKTrncrs doc;
    ZKTrncrsReader reader(&doc);
    EXPECT_FALSE(reader.readFile(write("<broken")));
    EXPECT_TRUE(reader.readFile(write(document("<wrk id=\"1\"/>"))));
    EXPECT_TRUE(reader.readFile(write(document("<wrk id=\"2\"/>"))));
    ASSERT_EQ(doc.workouts().size(), 2);
    EXPECT_EQ(doc.workouts()[1].id, QStringLiteral("2"));
}

TEST_F(ZKTrncrsReaderTest, TextBeyondAsciiAndAByteOrderMark)
{
    ZKTrncrs doc;
    ASSERT_TRUE(read("\xef\xbb\xbf" + document("<wrk><name lang=\"jpn\">\xe5\x9d\x82</name></wrk>"), doc));
    ASSERT_EQ(doc.workouts().size(), 1);
    EXPECT_EQ(doc.workouts()[0].name, QStringLiteral("\\JPN \u5742"));
}

TEST_F(ZKTrncrsReaderTest, WrittenReadAndWrittenAgainIsByteIdentical)
{
    ZKTrncrs original = TrainingSamples::fullDocument();
    const QString first = m_out.filePath(QStringLiteral("first.wrk"));
    ASSERT_TRUE(ZKTrnWriter(QStringLiteral("1.3.0.9"), original).write(first));

    ZKTrncrs read;
    ASSERT_TRUE(ZKTrncrsReader(&read).readFile(first));
    const QString second = m_out.filePath(QStringLiteral("second.wrk"));
    ASSERT_TRUE(ZKTrnWriter(QStringLiteral("1.3.0.9"), read).write(second));

    EXPECT_EQ(OrvoTest::readFile(second), OrvoTest::readFile(first));
    ASSERT_EQ(read.workouts().size(), 2);
    EXPECT_EQ(read.workouts()[0].name, QStringLiteral("\\ENG Hills\\DEU Berge"));
    EXPECT_EQ(read.metadata()->desc, QStringLiteral("Base & tempo <weeks 1-4>"));
}

TEST_F(ZKTrncrsReaderTest, LanguageTaggedFileSettlesAfterOneRewrite)
{
    const QByteArray body = "<wrk id=\"3\"><name lang=\"eng\">Hills<shtname>H</shtname></name>"
                            "<name lang=\"deu\">Berge<shtname>B</shtname></name>"
                            "<desc lang=\"eng\">Hill repeats</desc><desc lang=\"deu\">Bergwiederholungen</desc>"
                            "<itv id=\"1\"><name>Warm</name></itv></wrk>";
    ZKTrncrs fromTags;
    ASSERT_TRUE(read(document(body), fromTags));
    const QString first = m_out.filePath(QStringLiteral("joined.wrk"));
    ASSERT_TRUE(ZKTrnWriter(QStringLiteral("1.3.0.9"), fromTags).write(first));

    ZKTrncrs fromJoined;
    ASSERT_TRUE(ZKTrncrsReader(&fromJoined).readFile(first));
    const QString second = m_out.filePath(QStringLiteral("again.wrk"));
    ASSERT_TRUE(ZKTrnWriter(QStringLiteral("1.3.0.9"), fromJoined).write(second));

    EXPECT_EQ(OrvoTest::readFile(second), OrvoTest::readFile(first));
    EXPECT_EQ(fromJoined.workouts()[0].nameShtname, QStringLiteral("\\ENG H\\DEU B"));
    EXPECT_EQ(fromJoined.workouts()[0].desc, QStringLiteral("\\ENG Hill repeats\\DEU Bergwiederholungen"));
    EXPECT_EQ(fromJoined.workouts()[0].intervals[0].needLap, QStringLiteral("false"));
}
