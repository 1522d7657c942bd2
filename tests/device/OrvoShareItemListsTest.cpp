#include "OrvoTestSupport.h"

#include "device/OrvoClientData.h"
#include "device/OrvoShareItem.h"
#include "device/OrvoShareItemLists.h"

#include <QBuffer>
#include <QDomDocument>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

OrvoClientData poi()
{
    OrvoClientData item;
    item.id = 12;
    item.name = QStringLiteral("Café & <Gipfel>");
    item.description = QStringLiteral("water \"fountain\"");
    item.type = QStringLiteral("never written");
    item.longitude = 139691706;
    item.latitude = 35689487;
    item.extraText = QStringLiteral("drink");
    item.place = QStringLiteral("Shinjuku");
    return item;
}

// Local times of the test's zone (Asia/Tokyo, 9 hours ahead of UTC) and a time with an offset
// of its own: the file holds both in UTC.
OrvoClientData track()
{
    OrvoClientData item;
    item.id = 1700000000;
    item.name = QStringLiteral("Morning ride");
    item.activityType = 3;
    item.startTime = QDateTime(QDate(2023, 11, 15), QTime(7, 30, 5), Qt::LocalTime);
    item.endTime = QDateTime(QDate(2023, 11, 14), QTime(23, 59, 59), QTimeZone(-3600 * 5));
    item.totalLength = 42195;
    item.kind = OrvoClientData::KindRide;
    item.uploaded = true;
    return item;
}

OrvoClientData route()
{
    OrvoClientData item;
    item.id = 4;
    item.name = QStringLiteral("Lakeside");
    item.extraText = QStringLiteral("tour");
    item.totalLength = 12000;
    item.startPlace = QStringLiteral("A,B");
    item.kind = OrvoClientData::KindRoute;
    return item;
}

OrvoClientData workout()
{
    OrvoClientData item;
    item.id = 0;
    item.name = QStringLiteral("Intervals 4x4");
    item.startTime = QDateTime(QDate(2024, 2, 29), QTime(0, 0, 0), Qt::UTC);
    item.kind = OrvoClientData::KindWorkout;
    item.workoutType = 2;
    item.subType = 7;
    item.itemId = 255;
    item.uploaded = true;
    return item;
}

QDomDocument parse(const QString &path)
{
    QDomDocument doc;
    EXPECT_TRUE(doc.setContent(OrvoTest::readFile(path))) << path.toStdString();
    return doc;
}

QString childText(const QDomElement &record, const char *name)
{
    return record.firstChildElement(QLatin1String(name)).text();
}

class OrvoShareItemListsTest : public ::testing::Test
{
protected:
    QString write(const OrvoShareItemLists &lists)
    {
        const QString path = m_dir.filePath(QStringLiteral("datalist.xml"));
        EXPECT_TRUE(lists.writePersonalDataXml(path));
        return path;
    }

    OrvoTest::OutputDir m_dir;
};

TEST_F(OrvoShareItemListsTest, DocumentOfASmallListEqualsTheGoldenFileAndIsWellFormed)
{
    OrvoShareItemLists lists;
    lists.addPOIs({poi()});
    lists.addPlanTrips({route()});
    lists.addWorkouts({workout()});
    lists.addTracks({track(), OrvoClientData()});
    const QString path = write(lists);
    const QByteArray actual = OrvoTest::readFile(path);

    const QString goldenPath = OrvoTest::dataPath(QStringLiteral("device/share-items.xml"));
    if (qEnvironmentVariable("ORVO_UPDATE_GOLDEN") == QLatin1String("1"))
        OrvoTest::writeFile(goldenPath, actual);
    if (actual != OrvoTest::readFile(goldenPath)) {
        OrvoTest::writeFile(goldenPath + QStringLiteral(".actual"), actual);
        ADD_FAILURE() << "written file differs; see " << goldenPath.toStdString() << ".actual";
    }

    const QString xmllint = QStandardPaths::findExecutable(QStringLiteral("xmllint"));
    ASSERT_FALSE(xmllint.isEmpty()) << "xmllint is not installed";
    QProcess lint;
    lint.start(xmllint, {QStringLiteral("--noout"), path});
    ASSERT_TRUE(lint.waitForFinished(30000));
    EXPECT_EQ(lint.exitCode(), 0) << lint.readAllStandardError().toStdString();
}

TEST_F(OrvoShareItemListsTest, SectionsComeInTheirOrderAndEveryRecordRepeatsCategoryAndConstants)
{
    struct Case
    {
        const char *name;
        bool filled;
        QStringList ids;
    };
    const std::vector<Case> cases = {
        {"all lists empty", false, {}},
        {"one item per list",
         true,
         {QStringLiteral("P12"), QStringLiteral("T1700000000"), QStringLiteral("R4"), QStringLiteral("W0")}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        OrvoShareItemLists lists;
        if (c.filled) {
            lists.addPOIs({poi()});
            lists.addPlanTrips({route()});
            lists.addWorkouts({workout()});
            lists.addTracks({track()});
        }
        const QDomElement root = parse(write(lists)).documentElement();
        EXPECT_EQ(root.tagName(), QStringLiteral("PersonalData"));
        QStringList sections;
        QStringList ids;
        for (QDomElement section = root.firstChildElement(); !section.isNull();
             section = section.nextSiblingElement()) {
            sections << section.tagName();
            for (QDomElement record = section.firstChildElement(); !record.isNull();
                 record = record.nextSiblingElement()) {
                ids << record.attribute(QStringLiteral("id"));
                EXPECT_EQ(childText(record, "activity_type"), childText(record, "category"));
                EXPECT_EQ(childText(record, "filesize"), childText(record, "category"));
                EXPECT_EQ(childText(record, "trkpts"), QStringLiteral("1000"));
                EXPECT_TRUE(childText(record, "difficulty").isEmpty());
            }
        }
        EXPECT_EQ(sections, (QStringList{QStringLiteral("POI"), QStringLiteral("Track"), QStringLiteral("PlanTrip"),
                                         QStringLiteral("Workout")}));
        EXPECT_EQ(ids, c.ids);
    }
}

TEST_F(OrvoShareItemListsTest, AddingAgainReplacesTheList)
{
    OrvoShareItemLists lists;
    lists.addTracks({track(), track()});
    OrvoClientData other = track();
    other.id = 99;
    lists.addTracks({other});
    const QDomElement tracks = parse(write(lists)).documentElement().firstChildElement(QStringLiteral("Track"));
    const QDomNodeList records = tracks.elementsByTagName(QStringLiteral("record"));
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records.at(0).toElement().attribute(QStringLiteral("id")), QStringLiteral("T99"));
}

TEST(OrvoShareItem, TextsThatAreNotWrittenStillCarryTheirFields)
{
    OrvoShareItem item;
    item.fromDeviceItem(poi());
    EXPECT_EQ(item.text(OrvoShareItem::Xyz), QStringLiteral("139691706"));
    EXPECT_EQ(item.text(OrvoShareItem::SecondValue), QStringLiteral("35689487"));
    EXPECT_EQ(item.text(OrvoShareItem::SecondText), QStringLiteral("Shinjuku"));
    item.fromDeviceItem(track());
    EXPECT_EQ(item.text(OrvoShareItem::ThirdValue), QStringLiteral("3"));
    EXPECT_EQ(item.text(OrvoShareItem::Uploaded), QStringLiteral("1"));
    for (int spare : {7, 8, 9, 10, 11, 13, 18, 19})
        EXPECT_TRUE(item.text(OrvoShareItem::Text(spare)).isEmpty()) << spare;
}

TEST(OrvoShareItem, NamePictureIsThePngOfTheNameImageInLowerCaseHex)
{
    QImage image(5, 3, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    image.setPixel(1, 1, qRgba(255, 0, 0, 255));
    image.setPixel(4, 2, qRgba(0, 0, 0, 255));
    OrvoClientData item = route();
    item.nameImage = image;
    OrvoShareItem shareItem;
    shareItem.fromDeviceItem(item);
    const QString hex = shareItem.text(OrvoShareItem::NamePicture);
    EXPECT_EQ(hex, hex.toLower());
    const QByteArray png = QByteArray::fromHex(hex.toLatin1());
    EXPECT_TRUE(png.startsWith("\x89PNG"));
    QImage decoded;
    ASSERT_TRUE(decoded.loadFromData(png, "PNG"));
    EXPECT_EQ(decoded.convertToFormat(QImage::Format_ARGB32), image);

    shareItem.fromDeviceItem(route());
    EXPECT_TRUE(shareItem.text(OrvoShareItem::NamePicture).isEmpty());
}

TEST_F(OrvoShareItemListsTest, UnwritablePathAnswersFalseAndLeavesNoFile)
{
    const QString blocker = m_dir.filePath(QStringLiteral("not-a-folder"));
    ASSERT_TRUE(OrvoTest::writeFile(blocker, "x"));
    OrvoShareItemLists lists;
    lists.addPOIs({poi()});
    EXPECT_FALSE(lists.writePersonalDataXml(blocker + QStringLiteral("/datalist.xml")));
    EXPECT_EQ(OrvoTest::readFile(blocker), QByteArray("x"));
}

} // namespace
