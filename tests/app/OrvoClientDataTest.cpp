#include "AppTestSupport.h"

#include "app/OrvoClientDataWrapper.h"
#include "app/OrvoCppFactory.h"
#include "app/OrvoPython.h"
#include "device/OrvoClientData.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace py = pybind11;
using namespace AppTest;

namespace {

QImage patternImage()
{
    QImage image(7, 3, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.fillRect(0, 0, 3, 3, Qt::black);
    painter.fillRect(4, 1, 2, 1, QColor(200, 10, 30));
    return image;
}

TEST(OrvoClientDataTest, NewRecordIsEmptyAndCopiesCarryEveryField)
{
    const OrvoClientData empty;
    EXPECT_EQ(empty.id, 0);
    EXPECT_TRUE(empty.name.isEmpty());
    EXPECT_TRUE(empty.nameImage.isNull());
    EXPECT_FALSE(empty.startTime.isValid());
    EXPECT_EQ(empty.kind, OrvoClientData::KindPoi);
    EXPECT_FALSE(empty.uploaded);

    OrvoClientData full;
    full.id = 7;
    full.name = QStringLiteral("Morning ride");
    full.nameImage = patternImage();
    full.description = QStringLiteral("info");
    full.type = QStringLiteral("type");
    full.longitude = 139691706;
    full.latitude = 35689487;
    full.extraText = QStringLiteral("extra");
    full.place = QStringLiteral("Tokyo");
    full.activityType = 3;
    full.startTime = QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC);
    full.endTime = QDateTime::fromSecsSinceEpoch(1700003600, Qt::UTC);
    full.thirdTime = QDateTime::fromSecsSinceEpoch(1, Qt::UTC);
    full.totalLength = 42195;
    full.fourthTime = QDateTime::fromSecsSinceEpoch(2, Qt::UTC);
    full.startPlace = QStringLiteral("a,b");
    full.endPlace = QStringLiteral("c,d");
    full.kind = OrvoClientData::KindRide;
    full.workoutType = 200;
    full.subType = 255;
    full.itemId = 9;
    full.uploaded = true;

    OrvoClientData assigned;
    assigned = full;
    for (const OrvoClientData &copy : {OrvoClientData(full), assigned}) {
        EXPECT_EQ(copy.id, full.id);
        EXPECT_EQ(copy.name, full.name);
        EXPECT_EQ(copy.nameImage, full.nameImage);
        EXPECT_EQ(copy.description, full.description);
        EXPECT_EQ(copy.type, full.type);
        EXPECT_EQ(copy.longitude, full.longitude);
        EXPECT_EQ(copy.latitude, full.latitude);
        EXPECT_EQ(copy.extraText, full.extraText);
        EXPECT_EQ(copy.place, full.place);
        EXPECT_EQ(copy.activityType, full.activityType);
        EXPECT_EQ(copy.startTime, full.startTime);
        EXPECT_EQ(copy.endTime, full.endTime);
        EXPECT_EQ(copy.thirdTime, full.thirdTime);
        EXPECT_EQ(copy.totalLength, full.totalLength);
        EXPECT_EQ(copy.fourthTime, full.fourthTime);
        EXPECT_EQ(copy.startPlace, full.startPlace);
        EXPECT_EQ(copy.endPlace, full.endPlace);
        EXPECT_EQ(copy.kind, full.kind);
        EXPECT_EQ(copy.workoutType, full.workoutType);
        EXPECT_EQ(copy.subType, full.subType);
        EXPECT_EQ(copy.itemId, full.itemId);
        EXPECT_EQ(copy.uploaded, full.uploaded);
    }
}

TEST(OrvoCppFactoryTest, WrapsOnlyRecordsOfExactlyThatClass)
{
    const OrvoCppFactory factory;
    OrvoClientData record;
    for (const char *name : {"OrvoClientDataWrapper", "OrvoClientDat", "orvoclientdata", "ORVOCLIENTDATA", ""}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(factory.create(name, &record), nullptr);
    }
    EXPECT_EQ(factory.create("OrvoClientData", nullptr), nullptr);

    auto *owned = new OrvoClientData;
    owned->id = 5;
    std::unique_ptr<QObject> wrapper(factory.create("OrvoClientData", owned));
    auto *dataWrapper = qobject_cast<OrvoClientDataWrapper *>(wrapper.get());
    ASSERT_NE(dataWrapper, nullptr);
    EXPECT_EQ(dataWrapper->data(), owned);
    EXPECT_EQ(dataWrapper->getID(), 5);
}

TEST(OrvoClientDataWrapperTest, PixmapRoundTripKeepsSizeAndContent)
{
    OrvoClientDataWrapper wrapper(new OrvoClientData);
    EXPECT_TRUE(wrapper.getPixmap().isNull());
    const QImage image = patternImage();
    wrapper.setPixmap(QPixmap::fromImage(image));
    const QImage back = wrapper.getPixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(back.size(), image.size());
    EXPECT_EQ(back, image);
}

TEST(OrvoClientDataWrapperTest, PythonOwnsTheRecordsItIsHanded)
{
    startPython();
    auto *ride = new OrvoClientData;
    ride->id = 12;
    ride->name = QStringLiteral("Evening ride");
    ride->nameImage = patternImage();
    bool deleted = false;
    {
        py::gil_scoped_acquire gil;
        py::object wrapped = wrapCppObject("OrvoClientData", ride);
        ASSERT_FALSE(wrapped.is_none());
        QObject::connect(wrapped.cast<OrvoClientDataWrapper *>(), &QObject::destroyed, [&deleted] { deleted = true; });
        py::dict scope;
        scope["item"] = wrapped;
        py::exec("item.setName('Renamed'); item.setType('race'); item.setDescription('hilly')\n"
                 "png = item.getPixmap()\n"
                 "item.setPixmap(png)\n"
                 "seen = (item.getID(), item.getName(), item.getType(), item.getDescription(), png[:4])\n",
                 scope);
        EXPECT_EQ(py::repr(scope["seen"]).cast<QString>(),
                  QStringLiteral("(12, 'Renamed', 'race', 'hilly', b'\\x89PNG')"));
        EXPECT_EQ(ride->name, QStringLiteral("Renamed"));
        EXPECT_EQ(ride->nameImage.convertToFormat(QImage::Format_ARGB32), patternImage());

        OrvoClientData other;
        EXPECT_TRUE(wrapCppObject("OrvoClientDataX", &other).is_none());

        wrapped = py::none();
        scope.clear();
        py::module_::import("gc").attr("collect")();
    }
    EXPECT_TRUE(deleted);
}

} // namespace
