#include "util/ZKGpxReader.h"
#include "OrvoTestSupport.h"
#include "ZKGpxRecordingTarget.h"
#include "ZKGpxTestDocument.h"
#include "env/ZKLogger.h"
#include "util/ZKGpx2.h"

#include <gtest/gtest.h>

#include <vector>

using ZKGpxTestDocument::gpxFile;

namespace {

struct ReadResult
{
    bool ok = false;
    QString error;
    int majorVersion = 0;
};

ReadResult readBytes(const QByteArray &bytes, ZKGpxImportable &target)
{
    OrvoTest::OutputDir dir;
    const QString path = dir.filePath(QStringLiteral("in.gpx"));
    if (!OrvoTest::writeFile(path, bytes))
        return {};
    ZKGpxReader reader(target);
    ReadResult result;
    result.ok = reader.readFile(path);
    result.error = reader.errorString();
    result.majorVersion = reader.majorVersion();
    return result;
}

QStringList calls(std::initializer_list<const char *> list)
{
    QStringList out;
    for (const char *call : list)
        out.append(QString::fromUtf8(call));
    return out;
}

struct RootCase
{
    const char *name;
    QByteArray creator;
    QByteArray version;
    int acceptedAs;
};

const std::vector<RootCase> kRootCases = {
    {"OwnDialect", "tarvex", "2.2.0.3", 2},
    {"UpperCaseCreator", "TARVEX", "2.0", 2},
    {"MixedCaseCreator", "Tarvex", "2.", 2},
    {"FirstDialect", "tarvex", "1.1", 1},
    {"FirstDialectBarePrefix", "tarvex", "1.", 1},
    {"CreatorWithSuffix", "tarvex2", "2.2.0.3", 0},
    {"CreatorWithBlank", "tarvex ", "2.2.0.3", 0},
    {"OtherCreator", "GPSBabel", "1.1", 0},
    {"VersionThree", "tarvex", "3.0", 0},
    {"VersionWithoutDot", "tarvex", "2", 0},
    {"VersionWithLetter", "tarvex", "v2.0", 0},
    {"VersionWithBlank", "tarvex", " 2.0", 0},
    {"VersionEmpty", "tarvex", "", 0},
};

void PrintTo(const RootCase &c, std::ostream *os)
{
    *os << c.name;
}

class ZKGpxReaderRootTest : public ::testing::TestWithParam<RootCase>
{};

} // namespace

TEST_P(ZKGpxReaderRootTest, AcceptsOnlyOurCreatorInVersionOneOrTwo)
{
    const RootCase &c = GetParam();
    const QByteArray withChild = gpxFile("<rte><name>r</name></rte>", c.version, c.creator);
    ZKGpxRecordingTarget target;
    const ReadResult result = readBytes(withChild, target);
    if (c.acceptedAs) {
        EXPECT_TRUE(result.ok) << result.error.toStdString();
        EXPECT_EQ(result.majorVersion, c.acceptedAs);
        EXPECT_EQ(target.calls, QStringList({QStringLiteral("setVersion(%1)").arg(c.acceptedAs),
                                             QStringLiteral("newRoute"), QStringLiteral("setRoute{name=r}")}));
    } else {
        EXPECT_FALSE(result.ok);
        EXPECT_TRUE(result.error.startsWith(QStringLiteral("error reading <gpx>"))) << result.error.toStdString();
        EXPECT_EQ(result.majorVersion, 0);
        EXPECT_TRUE(target.calls.isEmpty()) << target.calls.join(QLatin1Char(' ')).toStdString();

        // A refused root without children is no error: there was nothing to refuse.
        ZKGpxRecordingTarget childless;
        EXPECT_TRUE(readBytes(gpxFile("", c.version, c.creator), childless).ok);
        EXPECT_TRUE(childless.calls.isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(Roots, ZKGpxReaderRootTest, ::testing::ValuesIn(kRootCases),
                         [](const auto &param) { return std::string(param.param.name); });

TEST(ZKGpxReaderTest, RefusesEveryOtherTopLevelElement)
{
    struct Case
    {
        const char *name;
        QByteArray file;
    };
    const std::vector<Case> cases = {
        {"UpperCaseRoot", "<?xml version=\"1.0\"?><GPX creator=\"tarvex\" version=\"2.2.0.3\"><rte/></GPX>"},
        {"EmptyUpperCaseRoot", "<GPX creator=\"tarvex\" version=\"2.2.0.3\"/>"},
        {"OtherRoot", "<trncrs creator=\"tarvex\" version=\"1.3.0.9\"/>"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ZKGpxRecordingTarget target;
        const ReadResult result = readBytes(c.file, target);
        EXPECT_FALSE(result.ok);
        EXPECT_TRUE(result.error.startsWith(QStringLiteral("error reading <gpx>"))) << result.error.toStdString();
        EXPECT_TRUE(target.calls.isEmpty());
    }
}

TEST(ZKGpxReaderTest, HandsEveryElementItsKeys)
{
    const QByteArray file = gpxFile(R"(
<metadata>
  <name>Ride<extensions><shtname>R</shtname></extensions></name>
  <desc>d</desc>
  <author><name>a</name><email>e</email><link>l</link></author>
  <time>t</time>
  <bounds minlat="1" minlon="2" maxlat="3" maxlon="4"/>
  <extensions>
    <user><name>dropped</name><bike><name>dropped too</name></bike></user>
    <sys version="1.2">  K50  <apps><app name="a1" version="1"/><app name="a2" version="2"/></apps></sys>
    <sharetype>s</sharetype><sctry>sc</sctry><ectry>ec</ectry><splace>sp</splace><eplace>ep</eplace>
    <acttype subtype="road">cycling</acttype>
    <stime>st</stime><etime>et</etime><trvTime>tt</trvTime><trvDist>td</trvDist><poollen>25</poollen>
    <rtetype>rt</rtetype>
  </extensions>
</metadata>
<rte>
  <name>n</name><cmt>c</cmt><desc>d</desc><src>s</src><number>99</number><type>t</type>
  <rtept lat="1" lon="2"><name>p</name><cmt>pc</cmt><desc>pd</desc><type>pt</type><sym>ignored</sym></rtept>
</rte>
<trk>
  <name>ignored</name>
  <trkseg>
    <extensions><itvSeg start="s" end="e"/><order>3</order><acttype subtype="mtb">cycling</acttype>
      <breaktype>b</breaktype></extensions>
    <trkpt lat="5" lon="6"><ele>1</ele><cmt>c</cmt><time>t</time><type>y</type><magvar>m</magvar>
      <extensions><speed>7.5</speed></extensions></trkpt>
    <trkpt lat="7" lon="8"><speed>8.5</speed><hdop>ignored</hdop></trkpt>
  </trkseg>
</trk>
<wpt lat="9" lon="10"><name>n</name><cmt>c</cmt><desc>d</desc><sym>s</sym><ele>e</ele><time>t</time>
  <type isCal="1">y</type><tel>1</tel><ctry>JP</ctry><place>p</place><road>r</road><hnum>h</hnum></wpt>
<extensions>
  <ssrlog><logseg><breaktype>b</breaktype>
    <logpt time="t1"><hrm>1</hrm><cad>2</cad><spd>3</spd><tmp>4</tmp><pwr>5</pwr><brm>6</brm><pdm>7</pdm><cps>8</cps></logpt>
  </logseg></ssrlog>
  <wrklog id="7" type="i" subtype="2"><interval order="1"><start>s</start><end>e</end></interval>
    <lthr>1</lthr><mhr>2</mhr><ftp>3</ftp><map>4</map></wrklog>
  <laps>
    <lap order="1" start="s" end="e"><distance>1</distance><calorie>2</calorie><step>3</step><altloss>4</altloss>
      <altgain>5</altgain><speed max="6" avg="7"/><hrm max="8" avg="9"/><cad max="10" avg="11"/><pwr max="12" avg="13"/>
      <rtime>14</rtime><gainaltlen>15</gainaltlen><lostaltlen>16</lostaltlen><gainalttime>17</gainalttime>
      <lostalttime>18</lostalttime></lap>
    <summary start="s" end="e"><distance>1</distance></summary>
  </laps>
  <training><logpt time="ignored"/></training>
  <wrk id="1"/>
</extensions>
)");
    ZKGpxRecordingTarget target;
    const ReadResult result = readBytes(file, target);
    EXPECT_TRUE(result.ok) << result.error.toStdString();
    const QStringList expected = calls({
        "setVersion(2)",
        "newMetadata",
        "setMetadataExtensions{acttype=cycling;acttype_subtype=road;app_name=a2;app_version=2;ectry=ec;eplace=ep;"
        "etime=et;poollen=25;rtetype=rt;sctry=sc;sharetype=s;splace=sp;stime=st;sys=K50;sys_version=1.2;trvdist=td;"
        "trvtime=tt}",
        "setMetadata{author_email=e;author_link=l;author_name=a;bounds_maxlat=3;bounds_maxlon=4;"
        "bounds_minlat=1;bounds_minlon=2;desc=d;name=Ride;name_shtname=R;time=t}",
        "newRoute",
        "addRoutePoint{cmt=pc;desc=pd;name=p;rtept_lat=1;rtept_lon=2;type=pt}",
        "setRoute{cmt=c;desc=d;name=n;number=99;src=s;type=t}",
        "newTrackList",
        "newTrack",
        "addTrackPoint{cmt=c;ele=1;magvar=m;speed=7.5;time=t;trkpt_lat=5;trkpt_lon=6;type=y}",
        "addTrackPoint{speed=8.5;trkpt_lat=7;trkpt_lon=8}",
        "setIntervalSegment{acttype=cycling;acttype_subtype=mtb;itvSeg_end=e;itvSeg_start=s;order=3}",
        "addWaypoint{cmt=c;ctry=JP;desc=d;ele=e;hnum=h;name=n;place=p;road=r;sym=s;tel=1;time=t;type=y;"
        "type_isCal=1;wpt_lat=9;wpt_lon=10}",
        "newLogSegmentList",
        "newLogSegment",
        "addLogPoint{brm=6;cad=2;hrm=1;logpt_time=t1;pwr=5;spd=3;tmp=4}",
        "newWorkoutLog",
        "addWorkoutInterval{end=e;interval_order=1;start=s}",
        "setWorkoutLog{ftp=3;lthr=1;map=4;mhr=2;wrklog_id=7;wrklog_subtype=2;wrklog_type=i}",
        "newLapList",
        "addLap{altgain=5;altloss=4;cad_avg=11;cad_max=10;calorie=2;distance=1;gainaltlen=15;gainalttime=17;"
        "hrm_avg=9;hrm_max=8;lap_end=e;lap_order=1;lap_start=s;lostaltlen=16;lostalttime=18;pwr_avg=13;pwr_max=12;"
        "rtime=14;speed_avg=7;speed_max=6;step=3}",
        "setSummary{distance=1;summary_end=e;summary_start=s}",
    });
    EXPECT_EQ(target.calls, expected) << target.calls.join(QLatin1Char('\n')).toStdString();
}

TEST(ZKGpxReaderTest, FirstDialectTakesItsOwnElements)
{
    const QByteArray file = gpxFile(R"(
<metadata><extensions>
  <sys version="1">K30</sys><user><name>u</name></user>
  <acttype subtype="road">cycling</acttype><rtetype>loop</rtetype>
</extensions></metadata>
<trk><trkseg><extensions><order>1</order></extensions><order>2</order><trkpt lat="1" lon="2"/></trkseg></trk>
<extensions>
  <ssrlog><logseg><logpt time="skipped"/></logseg></ssrlog>
  <training><logpt time="t"><hrm>1</hrm><pwr>2</pwr><pdm>3</pdm><cps>4</cps><brm>5</brm></logpt></training>
  <laps><lap order="1"/></laps>
</extensions>)",
                                    "1.1");
    ZKGpxRecordingTarget target;
    const ReadResult result = readBytes(file, target);
    EXPECT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(target.calls, calls({
                                "setVersion(1)",
                                "newMetadata",
                                "setMetadataExtensions{acttype=cycling;rtetype=loop}",
                                "setMetadata{}",
                                "newTrackList",
                                "newTrack",
                                "addTrackPoint{trkpt_lat=1;trkpt_lon=2}",
                                "setIntervalSegment{}",
                                "newTrainingLog",
                                "addLogPoint{brm=5;cps=4;hrm=1;logpt_time=t;pdm=3}",
                            }))
        << target.calls.join(QLatin1Char('\n')).toStdString();
}

TEST(ZKGpxReaderTest, MetadataKeysFollowTheirParents)
{
    struct Case
    {
        const char *name;
        QByteArray metadata;
        const char *expected;
    };
    const std::vector<Case> cases = {
        {"NameHoldsItsTrimmedText", "<name>\n  Ride  \n</name>", "setMetadata{name=Ride}"},
        {"LinkDirectlyInMetadataStoresNothing", "<link>l</link><email>e</email>", "setMetadata{}"},
        {"GpxLinkInsideAuthorKeepsItsText", "<author><link href=\"h\">l</link></author>", "setMetadata{author_link=l}"},
        {"ShortNameOnlyInsideNameExtensions",
         "<name>n<shtname>no</shtname><extensions><shtname>s</shtname></extensions></name><shtname>no</shtname>",
         "setMetadata{name=n;name_shtname=s}"},
        {"AuthorExtensionsGiveAuthorShortName", "<author><extensions><shtname>a</shtname></extensions></author>",
         "setMetadata{author_shtname=a}"},
        {"TimeAndBoundsAtAnyDepth", "<author><name>a</name><time>t</time><bounds minlat=\"1\" extra=\"x\"/></author>",
         "setMetadata{author_name=a;bounds_extra=x;bounds_minlat=1;time=t}"},
        {"LaterNameWins", "<name>a</name><name>b</name><name>  </name>", "setMetadata{name=b}"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ZKGpxRecordingTarget target;
        ASSERT_TRUE(readBytes(gpxFile("<metadata>" + c.metadata + "</metadata>"), target).ok);
        EXPECT_EQ(target.calls, calls({"setVersion(2)", "newMetadata", c.expected}));
    }
}

TEST(ZKGpxReaderTest, SecondElementOfAKindReplacesTheFirst)
{
    const QByteArray file = gpxFile("<rte><name>first</name><rtept lat=\"1\" lon=\"1\"/></rte>"
                                    "<rte><name>second</name><rtept lat=\"2\" lon=\"2\"/></rte>"
                                    "<metadata><name>m1</name></metadata><metadata><desc>m2</desc></metadata>"
                                    "<trk><trkseg><trkpt lat=\"3\" lon=\"3\"/></trkseg></trk>"
                                    "<trk><trkseg><trkpt lat=\"4\" lon=\"4\"/></trkseg></trk>"
                                    "<wpt lat=\"5\" lon=\"5\"/><wpt lat=\"6\" lon=\"6\"/>");
    ZKGpx2 doc;
    ASSERT_TRUE(readBytes(file, doc).ok);
    ASSERT_TRUE(doc.route);
    EXPECT_EQ(doc.route->name, QStringLiteral("second"));
    ASSERT_EQ(doc.route->points.size(), 1);
    EXPECT_EQ(doc.route->points.at(0).lat, QStringLiteral("2"));
    ASSERT_TRUE(doc.metadata);
    EXPECT_EQ(doc.metadata->name, QString());
    EXPECT_EQ(doc.metadata->desc, QStringLiteral("m2"));
    ASSERT_TRUE(doc.trackList);
    ASSERT_EQ(doc.trackList->tracks.size(), 1);
    EXPECT_EQ(doc.trackList->tracks.at(0).points.at(0).lat, QStringLiteral("4"));
    EXPECT_EQ(doc.waypoints.size(), 2) << "waypoints always append";
}

TEST(ZKGpxReaderTest, SkippedElementsLeaveTheirSiblingsReadable)
{
    // No white space between elements, as other programs write: the element after a skipped one
    // and the end tag after it must still be seen.
    const QByteArray file = gpxFile("<wpt lat=\"1\" lon=\"2\"><foo><bar/></foo><name>A</name></wpt>"
                                    "<wpt lat=\"3\" lon=\"4\"><unknown/></wpt>"
                                    "<rte><unknown>x</unknown></rte><rte><name>B</name></rte>");
    ZKGpxRecordingTarget target;
    const ReadResult result = readBytes(file, target);
    EXPECT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(target.calls,
              calls({"setVersion(2)", "addWaypoint{name=A;wpt_lat=1;wpt_lon=2}", "addWaypoint{wpt_lat=3;wpt_lon=4}",
                     "newRoute", "setRoute{}", "newRoute", "setRoute{name=B}"}))
        << target.calls.join(QLatin1Char('\n')).toStdString();
}

TEST(ZKGpxReaderTest, LeafTextJoinsEveryPieceAndSkipsChildElements)
{
    struct Case
    {
        const char *name;
        const char *content;
        const char *text;
    };
    const Case cases[] = {
        {"plain", "Alpha", "Alpha"},
        {"empty", "", ""},
        {"entities", "a &amp; b &lt;c&gt; &#x41;&#66;", "a & b <c> AB"},
        {"character data section", "<![CDATA[x<y]]>z", "x<yz"},
        {"comment between pieces", "a<!-- note -->b", "ab"},
        {"processing instruction between pieces", "a<?tool run?>b", "ab"},
        {"child element skipped whole", "a<sub>ignored<deeper>too</deeper></sub>c", "ac"},
        {"white space kept", "  spaced  ", "  spaced  "},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray file =
            gpxFile(QByteArray("<wpt lat=\"1\" lon=\"2\"><name>") + c.content + "</name><sym>s</sym></wpt>");
        ZKGpxRecordingTarget target;
        const ReadResult result = readBytes(file, target);
        EXPECT_TRUE(result.ok) << result.error.toStdString();
        EXPECT_EQ(
            target.calls,
            QStringList(
                {QStringLiteral("setVersion(2)"),
                 QStringLiteral("addWaypoint{name=%1;sym=s;wpt_lat=1;wpt_lon=2}").arg(QString::fromUtf8(c.text))}))
            << target.calls.join(QLatin1Char('\n')).toStdString();
    }
}

TEST(ZKGpxReaderTest, EveryAttributeKeyArrivesHoweverManyNamesAFileUses)
{
    // More attribute names than the reader keeps built keys for, on two kinds of element, twice
    // over: every key carries its own element's prefix each time.
    constexpr int kNames = 80;
    QByteArray attributes;
    for (int i = 0; i < kNames; ++i)
        attributes += " a" + QByteArray::number(i) + "=\"" + QByteArray::number(i) + "\"";
    const auto keys = [](const char *prefix) {
        // The map hands its keys on in their sort order.
        QMap<QString, int> sorted;
        for (int i = 0; i < kNames; ++i)
            sorted.insert(QStringLiteral("%1_a%2").arg(QLatin1String(prefix)).arg(i), i);
        QStringList pairs;
        for (auto it = sorted.cbegin(); it != sorted.cend(); ++it)
            pairs.append(it.key() + QLatin1Char('=') + QString::number(it.value()));
        return pairs.join(QLatin1Char(';'));
    };
    const QByteArray points = "<wpt" + attributes + "/><rte><rtept" + attributes + "/></rte>";
    ZKGpxRecordingTarget target;
    const ReadResult result = readBytes(gpxFile(points + points), target);
    EXPECT_TRUE(result.ok) << result.error.toStdString();
    const QStringList once = {QStringLiteral("addWaypoint{%1}").arg(keys("wpt")), QStringLiteral("newRoute"),
                              QStringLiteral("addRoutePoint{%1}").arg(keys("rtept")), QStringLiteral("setRoute{}")};
    EXPECT_EQ(target.calls, QStringList{QStringLiteral("setVersion(2)")} + once + once);
}

TEST(ZKGpxReaderTest, ElementsOfAnotherNamespaceAreSkipped)
{
    // Another program's extensions may reuse our element names: only the document's own namespace
    // counts, whatever prefix it is written with.
    const QByteArray file = gpxFile(R"(
<metadata xmlns:o="http://example.com/other">
  <name>Ride</name><o:name>Shadow name</o:name><o:time>1999-01-01T00:00:00Z</o:time>
  <extensions><o:stime>shadow</o:stime><stime>st</stime></extensions>
</metadata>
<wpt lat="1" lon="2" xmlns:g="http://www.tarvex.com/xmlschemas/KRM/2/2">
  <g:name>Own name</g:name>
  <extensions><name xmlns="http://example.com/b">Shadow name</name></extensions>
</wpt>
<trk><trkseg><trkpt lat="5" lon="6"><ele>1</ele><time>t</time>
  <extensions><ele xmlns="http://example.com/b">9999</ele><b:time xmlns:b="http://example.com/b">x</b:time>
    <speed>7.5</speed></extensions></trkpt></trkseg></trk>
<o:rte xmlns:o="http://example.com/other"><o:name>Shadow route</o:name></o:rte>
<extensions><laps xmlns="http://example.com/other"><lap order="1"/></laps></extensions>
)");
    ZKGpxRecordingTarget target;
    const ReadResult result = readBytes(file, target);
    EXPECT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(target.calls, calls({
                                "setVersion(2)",
                                "newMetadata",
                                "setMetadataExtensions{stime=st}",
                                "setMetadata{name=Ride}",
                                "addWaypoint{name=Own name;wpt_lat=1;wpt_lon=2}",
                                "newTrackList",
                                "newTrack",
                                "addTrackPoint{ele=1;speed=7.5;time=t;trkpt_lat=5;trkpt_lon=6}",
                                "setIntervalSegment{}",
                            }))
        << target.calls.join(QLatin1Char('\n')).toStdString();
}

TEST(ZKGpxReaderTest, MalformedFileKeepsWhatWasReadBeforeTheError)
{
    const QByteArray file = gpxFile("<wpt lat=\"1\" lon=\"2\"><name>A</name></wpt>"
                                    "<rte><name>r</name><rtept lat=\"1\" lon=\"1\"></rte>");
    ZKGpx2 doc;
    const ReadResult result = readBytes(file, doc);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error.contains(QStringLiteral("line"))) << result.error.toStdString();
    ASSERT_EQ(doc.waypoints.size(), 1);
    EXPECT_EQ(doc.waypoints.at(0).name, QStringLiteral("A"));
    ASSERT_TRUE(doc.route) << "the route was opened before the error";
    EXPECT_TRUE(doc.route->points.isEmpty()) << "an element cut off by the error hands nothing on";
    EXPECT_EQ(doc.route->name, QString());
}

TEST(ZKGpxReaderTest, MissingFileIsLoggedAndRefused)
{
    struct Appender : ZKLogAppender
    {
        explicit Appender(QStringList &lines)
            : ZKLogAppender(ZKLogger::Error)
            , sink(lines)
        {}
        void write(const QString &line, const QVariantList &arguments, int) override
        {
            sink.append(applyArguments(line, arguments));
        }
        QStringList &sink;
    };
    QStringList lines;
    ZKLogger::instance().addAppender(std::make_unique<Appender>(lines));
    OrvoTest::OutputDir dir;
    const QString path = dir.filePath(QStringLiteral("absent.gpx"));
    ZKGpxRecordingTarget target;
    ZKGpxReader reader(target);
    EXPECT_FALSE(reader.readFile(path));
    ZKLogger::instance().clearAppenders();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines.at(0).contains(QStringLiteral(", ERROR, can't open ") + path)) << lines.at(0).toStdString();
    EXPECT_TRUE(target.calls.isEmpty());
}

TEST(ZKGpxReaderTest, MajorVersionStaysUntilAnotherRootIsAccepted)
{
    OrvoTest::OutputDir dir;
    const QString first = dir.filePath(QStringLiteral("v1.gpx"));
    const QString other = dir.filePath(QStringLiteral("other.gpx"));
    const QString second = dir.filePath(QStringLiteral("v2.gpx"));
    ASSERT_TRUE(OrvoTest::writeFile(first, gpxFile("", "1.0")));
    ASSERT_TRUE(OrvoTest::writeFile(other, gpxFile("", "2.0", "someone")));
    ASSERT_TRUE(OrvoTest::writeFile(second, gpxFile("", "2.0")));
    ZKGpxRecordingTarget target;
    ZKGpxReader reader(target);
    ASSERT_TRUE(reader.readFile(first));
    EXPECT_EQ(reader.majorVersion(), 1);
    ASSERT_TRUE(reader.readFile(other));
    EXPECT_EQ(reader.majorVersion(), 1);
    ASSERT_TRUE(reader.readFile(second));
    EXPECT_EQ(reader.majorVersion(), 2);
    EXPECT_EQ(target.calls, calls({"setVersion(1)", "setVersion(2)"}));
}
