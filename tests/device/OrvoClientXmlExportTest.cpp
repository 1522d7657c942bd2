#include "ClientTestDoubles.h"
#include "CommonClient.h"
#include "OrvoMessageCapture.h"
#include "OrvoTestSupport.h"

#include "env/OrvoEnv.h"

#include <QDomDocument>
#include <QFile>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

struct LanguageCase
{
    const char *name;
    QStringList languages;
    QByteArray file;
};

const LanguageCase kLanguageCases[] = {
    {"no languages", {}, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Language>\n</Language>"},
    {"in device order",
     {QStringLiteral("English"), QStringLiteral("Deutsch")},
     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Language>\n<lang>English</lang>\n<lang>Deutsch</lang>\n"
     "</Language>"},
    {"escaped and UTF-8",
     {QStringLiteral("Fran\u00e7ais <FR> & \"co\""), QStringLiteral("\u4e2d\u6587")},
     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Language>\n"
     "<lang>Fran\xc3\xa7"
     "ais &lt;FR&gt; &amp; &quot;co&quot;</lang>\n<lang>\xe4\xb8\xad\xe6\x96\x87</lang>\n"
     "</Language>"},
};

TEST(OrvoClientXmlExport, LanguageListFile)
{
    for (const LanguageCase &c : kLanguageCases) {
        SCOPED_TRACE(c.name);
        OrvoTest::OutputDir out;
        const QString path = out.filePath(QStringLiteral("langs.xml"));
        ASSERT_TRUE(OrvoTest::writeFile(path, QByteArray(4096, 'x')));
        CommonClient client;
        client.languages = c.languages;
        EXPECT_TRUE(client.LanguageListXml(path));
        EXPECT_EQ(OrvoTest::readFile(path), c.file);
        QDomDocument doc;
        EXPECT_TRUE(doc.setContent(OrvoTest::readFile(path)));
        EXPECT_EQ(doc.documentElement().elementsByTagName(QStringLiteral("lang")).size(), c.languages.size());
    }
}

TEST(OrvoClientXmlExport, LanguageListThatCannotBeWrittenAnswersFalse)
{
    OrvoTest::OutputDir out;
    CommonClient client;
    client.languages = {QStringLiteral("English")};
    OrvoMessageCapture capture;
    EXPECT_FALSE(client.LanguageListXml(out.filePath(QStringLiteral("missing/langs.xml"))));
    EXPECT_TRUE(capture.contains(QtWarningMsg, QStringLiteral("can not write")));
}

QString itemsText(const QString &list)
{
    QDomDocument doc;
    QDomElement parent = doc.createElement(QStringLiteral("Components"));
    doc.appendChild(parent);
    OrvoClient::buildItemListXml(doc, parent, QStringLiteral("CYCLEROAD"), list);
    return doc.toString(-1);
}

TEST(OrvoClientXmlExport, ComponentEntriesNeedExactlyOneCaret)
{
    EXPECT_EQ(itemsText(QStringLiteral("a^b|c|d^e^f|g^h")),
              QStringLiteral("<Components><item><name>CYCLEROAD</name><drive>a</drive><version>b</version></item>"
                             "<item><name>CYCLEROAD</name><drive>g</drive><version>h</version></item>"
                             "</Components>"));
    EXPECT_EQ(itemsText(QStringLiteral("not support")), QStringLiteral("<Components/>"));
    EXPECT_EQ(itemsText(QStringLiteral("E:^")),
              QStringLiteral("<Components><item><name>CYCLEROAD</name><drive>E:</drive><version></version></item>"
                             "</Components>"));
}

// Runs the batch action on the client's worker and answers the written file.
QByteArray runBatch(CommonClient &client, const QString &output)
{
    QSignalSpy done(&client, &OrvoClient::batchDone);
    const OrvoClientShareData request{output, QStringLiteral("two"), QStringLiteral("three")};
    EXPECT_TRUE(client.batch(request));
    EXPECT_TRUE(done.wait(ClientTest::kPatienceMs));
    EXPECT_EQ(client.shareDataRequest(), request);
    return OrvoTest::readFile(output);
}

QStringList childNames(const QByteArray &xml)
{
    QDomDocument doc;
    EXPECT_TRUE(doc.setContent(xml));
    QStringList names;
    for (QDomElement e = doc.documentElement().firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
        names.append(e.tagName());
    return names;
}

TEST(OrvoClientXmlExport, BatchWithoutIdsIsAnEmptyOverview)
{
    const ClientTest::UserFolderScope settings;
    OrvoTest::OutputDir out;
    CommonClient client;
    EXPECT_EQ(runBatch(client, out.filePath(QStringLiteral("batch.xml"))), QByteArray("<Overview/>\n"));
    EXPECT_FALSE(client.error());
}

TEST(OrvoClientXmlExport, BatchPartsFollowTheSelectedOrder)
{
    const ClientTest::UserFolderScope settings;
    OrvoTest::OutputDir out;
    CommonClient client;
    client.languages = {QStringLiteral("English")};
    client.addDataId(DataIdLanguages);
    client.addDataId(DataIdDeviceOverview);
    EXPECT_EQ(childNames(runBatch(client, out.filePath(QStringLiteral("batch.xml")))),
              (QStringList{QStringLiteral("Language"), QStringLiteral("Device")}));

    client.clearDataIds();
    client.addDataId(DataIdDeviceOverview);
    client.addDataId(OrvoDataId(9));
    client.addDataId(DataIdLanguages);
    client.addDataId(OrvoDataId(14));
    EXPECT_EQ(childNames(runBatch(client, out.filePath(QStringLiteral("batch.xml")))),
              (QStringList{QStringLiteral("Device"), QStringLiteral("Language")}));
}

TEST(OrvoClientXmlExport, BatchGathersTheDeviceItsComponentsProfileAndLanguages)
{
    const ClientTest::UserFolderScope settings;
    OrvoTest::OutputDir out;
    CommonClient client;
    client.model = QStringLiteral("Kavel50 & co");
    client.uuid = QStringLiteral("1105ABCDEF012345");
    client.launch = QStringLiteral("1.2");
    client.total = QStringLiteral("3.4.5");
    client.ap = QStringLiteral("6.7");
    client.storageTotal = 8000000000;
    client.storageFree = 1500000000;
    client.componentVersions = {{QStringLiteral("CYCLEROAD"), QStringLiteral("D:^2021.3|broken")},
                                {QStringLiteral("GPST_ENGINE"), QStringLiteral("E:^5.1")}};
    // One attribute an element: the DOM writes several in no fixed order.
    client.profileXml = "<?xml version=\"1.0\"?>\n<settings><property name=\"User Sex\">1</property></settings>\n";
    client.languages = {QStringLiteral("English")};
    for (const OrvoDataId id : {DataIdDeviceOverview, DataIdComponents, DataIdProfile, DataIdLanguages})
        client.addDataId(id);

    const QByteArray expected = "<Overview>\n"
                                "    <Device>\n"
                                "        <model>Kavel50 &amp; co</model>\n"
                                "        <uuid>1105ABCDEF012345</uuid>\n"
                                "        <version_launch>1.2</version_launch>\n"
                                "        <version_image>3.4.5</version_image>\n"
                                "        <version_ap>6.7</version_ap>\n"
                                "        <capacity_total>8000000000</capacity_total>\n"
                                "        <capacity_used>6500000000</capacity_used>\n"
                                "        <state>READY</state>\n"
                                "    </Device>\n"
                                "    <Components>\n"
                                "        <item>\n"
                                "            <name>CYCLEROAD</name>\n"
                                "            <drive>D:</drive>\n"
                                "            <version>2021.3</version>\n"
                                "        </item>\n"
                                "        <item>\n"
                                "            <name>GPST_ENGINE</name>\n"
                                "            <drive>E:</drive>\n"
                                "            <version>5.1</version>\n"
                                "        </item>\n"
                                "    </Components>\n"
                                "    <settings>\n"
                                "        <property name=\"User Sex\">1</property>\n"
                                "    </settings>\n"
                                "    <Language>\n"
                                "        <lang>English</lang>\n"
                                "    </Language>\n"
                                "</Overview>\n";
    EXPECT_EQ(runBatch(client, out.filePath(QStringLiteral("batch.xml"))), expected);
    EXPECT_FALSE(client.error());
}

TEST(OrvoClientXmlExport, BatchLeavesOutPartsThatWereNotProduced)
{
    const ClientTest::UserFolderScope settings;
    OrvoTest::OutputDir out;
    const QString tmp = OrvoEnv::instance()->tmpDir();
    // Files of an earlier batch must not be taken for this one's.
    ASSERT_TRUE(OrvoTest::writeFile(tmp + QStringLiteral("/profile.xml"), "<settings/>"));
    ASSERT_TRUE(OrvoTest::writeFile(tmp + QStringLiteral("/datalist.xml"), "<PersonalData/>"));
    CommonClient client;
    client.hasStorage = false;
    client.addDataId(DataIdShareDataList);
    client.addDataId(DataIdProfile);
    client.addDataId(DataIdComponents);
    client.addDataId(DataIdDeviceOverview);

    const QByteArray xml = runBatch(client, out.filePath(QStringLiteral("batch.xml")));
    EXPECT_EQ(childNames(xml),
              (QStringList{QStringLiteral("PersonalData"), QStringLiteral("Components"), QStringLiteral("Device")}));
    // The share-data list of a device without items: its four sections, empty.
    EXPECT_TRUE(xml.contains("<PersonalData>\n        <POI/>\n        <Track/>\n        <PlanTrip/>\n"
                             "        <Workout/>\n    </PersonalData>"))
        << xml.toStdString();
    EXPECT_TRUE(xml.contains("<Components/>"));
    EXPECT_TRUE(xml.contains("<capacity_total>0</capacity_total>"));
    EXPECT_TRUE(xml.contains("<capacity_used>0</capacity_used>"));
    EXPECT_EQ(client.shareDataListRequest(),
              (OrvoClientShareDataList{tmp + QStringLiteral("/datalist.xml"), QString(), QString()}));

    // A profile that is not well-formed contributes nothing.
    client.clearDataIds();
    client.addDataId(DataIdProfile);
    client.profileXml = "<settings><property name=\"x\"></settings>";
    OrvoMessageCapture capture;
    EXPECT_EQ(runBatch(client, out.filePath(QStringLiteral("batch.xml"))), QByteArray("<Overview/>\n"));
    EXPECT_TRUE(capture.contains(QtWarningMsg, QStringLiteral("not well-formed")));
}

TEST(OrvoClientXmlExport, BatchThatCannotBeWrittenFails)
{
    const ClientTest::UserFolderScope settings;
    OrvoTest::OutputDir out;
    CommonClient client;
    client.addDataId(DataIdDeviceOverview);
    const QString output = out.filePath(QStringLiteral("missing/batch.xml"));
    EXPECT_TRUE(runBatch(client, output).isEmpty());
    EXPECT_TRUE(client.error());
}

} // namespace

namespace {

OrvoClientData item(int id, const char *name)
{
    OrvoClientData data;
    data.id = id;
    data.name = QLatin1String(name);
    return data;
}

// Runs the share-data-list action on the client's worker; the ids of the written records by
// section, "Section:id".
QStringList runShareDataList(CommonClient &client, const QString &path)
{
    QSignalSpy done(&client, &OrvoClient::getShareDataListDone);
    EXPECT_TRUE(client.getShareDataList({path, QStringLiteral("two"), QStringLiteral("three")}));
    EXPECT_TRUE(done.wait(ClientTest::kPatienceMs));
    QDomDocument doc;
    if (!doc.setContent(OrvoTest::readFile(path)))
        return {};
    QStringList ids;
    for (QDomElement section = doc.documentElement().firstChildElement(); !section.isNull();
         section = section.nextSiblingElement()) {
        for (QDomElement record = section.firstChildElement(); !record.isNull(); record = record.nextSiblingElement())
            ids << section.tagName() + QLatin1Char(':') + record.attribute(QStringLiteral("id"));
    }
    return ids;
}

} // namespace

TEST(OrvoClientXmlExport, ShareDataListPutsEachListOfTheDeviceInItsSection)
{
    OrvoTest::OutputDir out;
    CommonClient client;
    client.pois = {item(12, "Fountain")};
    client.routes = {item(4, "Lakeside"), item(5, "Hills")};
    client.tracks = {item(1700000000, "Morning ride")};
    client.workouts = {item(0, "Intervals")};
    const QString path = out.filePath(QStringLiteral("list.xml"));
    ASSERT_TRUE(OrvoTest::writeFile(path, "an older list"));
    EXPECT_EQ(
        runShareDataList(client, path),
        (QStringList{QStringLiteral("POI:P12"), QStringLiteral("Track:T1700000000"), QStringLiteral("PlanTrip:R4"),
                     QStringLiteral("PlanTrip:R5"), QStringLiteral("Workout:W0")}));
    EXPECT_FALSE(client.error());
}

TEST(OrvoClientXmlExport, ShareDataListThatCannotBeWrittenFails)
{
    OrvoTest::OutputDir out;
    CommonClient client;
    client.pois = {item(12, "Fountain")};
    const QString path = out.filePath(QStringLiteral("missing/list.xml"));
    EXPECT_TRUE(runShareDataList(client, path).isEmpty());
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(client.error());
}
