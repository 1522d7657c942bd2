#include "training/ZKTrnWriter.h"

#include "training/ZKTrncrs.h"

#include "OrvoTestSupport.h"
#include "TrainingSamples.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

namespace {

const QByteArray kDeclarationAndRootStart =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<trncrs xmlns=\"http://www.tarvex.com/xmlschemas/WRK/1/3\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xsi:schemaLocation=\"http://www.tarvex.com/xmlschemas/WRK/1/3 http://www.tarvex.com/xmlschemas/WRK/1/3/WRK.xsd\" "
    "creator=\"tarvex\" version=\"1.3.0.9\"";

QByteArray writeToBytes(ZKTrnExportable &source, const QString &version = QStringLiteral("1.3.0.9"))
{
    OrvoTest::OutputDir out;
    const QString path = out.filePath(QStringLiteral("course.wrk"));
    ZKTrnWriter writer(version, source);
    EXPECT_TRUE(writer.write(path));
    return OrvoTest::readFile(path);
}

// The "itv" element of a document with one workout holding only this interval.
QByteArray intervalXml(const ZKTrncrsInterval &interval)
{
    ZKTrncrs doc;
    doc.workouts().append(ZKTrncrsWorkout{});
    doc.workouts()[0].intervals.append(interval);
    const QByteArray bytes = writeToBytes(doc);
    const qsizetype start = bytes.indexOf("    <itv");
    const qsizetype end = bytes.indexOf("</itv>\n");
    if (start < 0 || end < 0)
        return bytes;
    return bytes.mid(start, end + 7 - start);
}

} // namespace

TEST(ZKTrnWriterTest, EmptyDocumentIsTheRootWithItsFiveAttributes)
{
    ZKTrncrs doc;
    EXPECT_EQ(writeToBytes(doc), kDeclarationAndRootStart + "/>\n");
}

TEST(ZKTrnWriterTest, FullDocumentInElementOrder)
{
    ZKTrncrs doc = TrainingSamples::fullDocument();
    const QByteArray expected =
        kDeclarationAndRootStart + ">\n" +
        "  <metadata>\n"
        "    <name>Spring plan<shtname>Spring</shtname>\n"
        "    </name>\n"
        "    <desc>Base &amp; tempo &lt;weeks 1-4&gt;</desc>\n"
        "    <author>J\xc3\xbcrgen<shtname>JG</shtname>\n"
        "    </author>\n"
        "    <time>2013-01-01T00:00:00Z</time>\n"
        "    <sys major=\"1\" minor=\"3\" buildmajor=\"0\" buildminor=\"9\">Kavel50</sys>\n"
        "  </metadata>\n"
        "  <wrk id=\"7\" orgid=\"3\" daily=\"1\" repeat=\"2\" type=\"1\" subtype=\"4\" "
        "listOrder=\"0\">\n"
        "    <acttype>2</acttype>\n"
        "    <name>\\ENG Hills\\DEU Berge<shtname>\\ENG H\\DEU B</shtname>\n"
        "    </name>\n"
        "    <desc>\\ENG Hill repeats\\DEU Bergwiederholungen</desc>\n"
        "    <time>2013-01-02T06:30:00Z</time>\n"
        "    <route id=\"1357000000\">Ridge loop</route>\n"
        "    <itv id=\"1\" needLap=\"true\">\n"
        "      <name>Warmup</name>\n"
        "      <target type=\"hr\" low=\"120\" high=\"140\" ishardcon=\"true\"/>\n"
        "      <duration type=\"time\" value=\"600\" ismanual=\"false\">\n"
        "        <segidx start=\"2\" end=\"9\"/>\n"
        "        <location lat=\"35.689487\" lon=\"139.691706\"/>\n"
        "      </duration>\n"
        "      <goto repeat=\"3\">1</goto>\n"
        "      <logreso>5</logreso>\n"
        "    </itv>\n"
        "    <itv id=\"2\" needLap=\"false\">\n"
        "      <name></name>\n"
        "      <duration type=\"distance\" value=\"1000\" ismanual=\"true\"/>\n"
        "    </itv>\n"
        "  </wrk>\n"
        "  <wrk id=\"8\" orgid=\"\" daily=\"\" repeat=\"\" type=\"\" subtype=\"\" listOrder=\"\">\n"
        "    <name>Easy</name>\n"
        "  </wrk>\n"
        "</trncrs>\n";
    EXPECT_EQ(writeToBytes(doc), expected);
}

TEST(ZKTrnWriterTest, EmptyWorkoutHasItsSevenAttributesAndOnlyItsIntervals)
{
    ZKTrncrs doc;
    ZKTrncrsWorkout workout;
    workout.nameShtname = QStringLiteral("only a short name");
    workout.routeId = QStringLiteral("5");
    workout.intervals.append(ZKTrncrsInterval{});
    doc.workouts().append(workout);
    EXPECT_EQ(writeToBytes(doc), kDeclarationAndRootStart + ">\n" +
                                     "  <wrk id=\"\" orgid=\"\" daily=\"\" repeat=\"\" type=\"\" subtype=\"\" "
                                     "listOrder=\"\">\n"
                                     "    <itv id=\"\" needLap=\"false\">\n"
                                     "      <name></name>\n"
                                     "    </itv>\n"
                                     "  </wrk>\n"
                                     "</trncrs>\n");
}

TEST(ZKTrnWriterTest, MetadataWithoutTextsIsAnEmptyElement)
{
    ZKTrncrs doc;
    doc.metadata().emplace();
    doc.metadata()->nameShtname = QStringLiteral("no name, so no short name");
    doc.metadata()->sysMajor = QStringLiteral("1");
    EXPECT_EQ(writeToBytes(doc), kDeclarationAndRootStart + ">\n  <metadata/>\n</trncrs>\n");
}

TEST(ZKTrnWriterTest, IntervalTable)
{
    const auto duration = [](const char *start, const char *end, const char *lat, const char *lon) {
        return ZKTrncrsDuration{QStringLiteral("time"),     QStringLiteral("60"),     QStringLiteral("false"),
                                QString::fromLatin1(start), QString::fromLatin1(end), QString::fromLatin1(lat),
                                QString::fromLatin1(lon)};
    };
    const auto interval = [](const char *needLap, std::optional<ZKTrncrsDuration> d = std::nullopt) {
        ZKTrncrsInterval i;
        i.needLap = QString::fromLatin1(needLap);
        i.duration = d;
        return i;
    };
    ZKTrncrsInterval gotoWithoutRepeat;
    gotoWithoutRepeat.gotoText = QStringLiteral("3");
    ZKTrncrsInterval repeatWithoutGoto;
    repeatWithoutGoto.gotoRepeat = QStringLiteral("4");

    const struct
    {
        const char *name;
        ZKTrncrsInterval interval;
        QByteArray xml;
    } cases[] = {
        {"needLapEmpty", interval(""), "    <itv id=\"\" needLap=\"false\">\n      <name></name>\n    </itv>\n"},
        {"needLapFalse", interval("false"), "    <itv id=\"\" needLap=\"false\">\n      <name></name>\n    </itv>\n"},
        {"needLapTrue", interval("true"), "    <itv id=\"\" needLap=\"true\">\n      <name></name>\n    </itv>\n"},
        {"needLapOther", interval("1"), "    <itv id=\"\" needLap=\"true\">\n      <name></name>\n    </itv>\n"},
        {"segidxStartOnly", interval("", duration("4", "", "", "")),
         "    <itv id=\"\" needLap=\"false\">\n      <name></name>\n"
         "      <duration type=\"time\" value=\"60\" ismanual=\"false\">\n"
         "        <segidx start=\"4\" end=\"\"/>\n      </duration>\n    </itv>\n"},
        {"segidxEndOnly", interval("", duration("", "5", "", "")),
         "    <itv id=\"\" needLap=\"false\">\n      <name></name>\n"
         "      <duration type=\"time\" value=\"60\" ismanual=\"false\">\n"
         "        <segidx start=\"\" end=\"5\"/>\n      </duration>\n    </itv>\n"},
        {"latitudeOnlyGivesNoLocation", interval("", duration("", "", "35.1", "")),
         "    <itv id=\"\" needLap=\"false\">\n      <name></name>\n"
         "      <duration type=\"time\" value=\"60\" ismanual=\"false\"/>\n    </itv>\n"},
        {"longitudeOnlyGivesNoLocation", interval("", duration("", "", "", "139.2")),
         "    <itv id=\"\" needLap=\"false\">\n      <name></name>\n"
         "      <duration type=\"time\" value=\"60\" ismanual=\"false\"/>\n    </itv>\n"},
        {"gotoWithEmptyRepeat", gotoWithoutRepeat,
         "    <itv id=\"\" needLap=\"false\">\n      <name></name>\n      <goto repeat=\"\">3</goto>\n    </itv>\n"},
        {"repeatWithoutGoto", repeatWithoutGoto,
         "    <itv id=\"\" needLap=\"false\">\n      <name></name>\n    </itv>\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(intervalXml(c.interval), c.xml);
    }
}

TEST(ZKTrnWriterTest, UnwritableTargetAnswersFalseAndKeepsWhatWasThere)
{
    OrvoTest::OutputDir out;
    ZKTrncrs doc = TrainingSamples::fullDocument();
    ZKTrnWriter writer(QStringLiteral("1.3.0.9"), doc);
    EXPECT_FALSE(writer.write(out.filePath(QStringLiteral("missing/course.wrk"))));
    EXPECT_FALSE(QFileInfo::exists(out.filePath(QStringLiteral("missing"))));

    // A folder in the way of the file: nothing can replace it.
    const QString blocked = out.filePath(QStringLiteral("blocked.wrk"));
    ASSERT_TRUE(QDir().mkpath(blocked));
    EXPECT_FALSE(writer.write(blocked));
    EXPECT_TRUE(QFileInfo(blocked).isDir());
}
