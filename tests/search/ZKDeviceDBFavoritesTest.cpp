#include "DeviceDbTestSupport.h"

#include <QFile>

namespace {

class ZKDeviceDBFavoritesTest : public DeviceDbTestBase
{
protected:
    void SetUp() override
    {
        DeviceDbTestBase::SetUp();
        ASSERT_TRUE(m_tree.writeDatabase(
            QStringLiteral("/data/poi/favorite.dat"),
            {QStringLiteral("INSERT INTO MyFavorite (idMyFavorite, Name, Tel, Place, Info, Longitude, Latitude, "
                            "Country, RecordTime, RoadName, HouseNumber) VALUES (7, 'Bakery', '123', 'Kyoto', "
                            "'Bread', 135768029, 35011636, 'JPN', 1357000000, 'Sanjo', '12')"),
             QStringLiteral("INSERT INTO MyFavorite (idMyFavorite, Name, Longitude, Latitude) "
                            "VALUES (8, 'Anvil', -1, -2)")}));
    }
};

TEST_F(ZKDeviceDBFavoritesTest, ListsByName)
{
    QMap<qint64, QString> favorites;
    ZKDeviceDB::listFavorites(favorites);
    EXPECT_EQ(favorites,
              (QMap<qint64, QString>{
                  {1, QStringLiteral("Tarvex Service")}, {7, QStringLiteral("Bakery")}, {8, QStringLiteral("Anvil")}}));
}

TEST_F(ZKDeviceDBFavoritesTest, ReadsEveryFieldWithTheRecordTimeInUtc)
{
    ZKFavoriteRecord record;
    ASSERT_TRUE(ZKDeviceDB::readFavorite((qint64(1) << 32) | 7, record));
    const ZKFavoriteRecord expected{7,
                                    QStringLiteral("Bakery"),
                                    QStringLiteral("123"),
                                    QStringLiteral("Kyoto"),
                                    QStringLiteral("Bread"),
                                    135768029,
                                    35011636,
                                    QStringLiteral("JPN"),
                                    QStringLiteral("2013-01-01T00:26:40Z"),
                                    QStringLiteral("Sanjo"),
                                    QStringLiteral("12")};
    EXPECT_EQ(record, expected);

    ZKFavoriteRecord empty;
    ASSERT_TRUE(ZKDeviceDB::readFavorite(8, empty));
    EXPECT_EQ(empty.recordTime, QStringLiteral("1970-01-01T00:00:00Z"));
    EXPECT_EQ(empty.longitude, -1);
    EXPECT_EQ(empty.latitude, -2);
}

TEST_F(ZKDeviceDBFavoritesTest, MissingFavouriteLeavesTheRecordAlone)
{
    ZKFavoriteRecord record;
    record.name = QStringLiteral("before");
    EXPECT_FALSE(ZKDeviceDB::readFavorite(9, record));
    EXPECT_EQ(record.name, QStringLiteral("before"));
    EXPECT_EQ(record.id, 0);
}

TEST_F(ZKDeviceDBFavoritesTest, DeletesByIdAndHasNothingToDeleteWithoutTheFile)
{
    EXPECT_TRUE(ZKDeviceDB::deleteFavorite((qint64(1) << 32) | 7));
    closeDeviceDatabases();
    EXPECT_EQ(sqliteAnswer(favoriteDb(),
                           QStringLiteral("select group_concat(idMyFavorite) from (select idMyFavorite from MyFavorite "
                                          "order by idMyFavorite)")),
              QStringLiteral("1,8"));

    ASSERT_TRUE(QFile::remove(favoriteDb()));
    EXPECT_TRUE(ZKDeviceDB::deleteFavorite(8));
    ZKFavoriteRecord record;
    EXPECT_FALSE(ZKDeviceDB::readFavorite(8, record));
    QMap<qint64, QString> favorites;
    ZKDeviceDB::listFavorites(favorites);
    EXPECT_TRUE(favorites.isEmpty());
}

} // namespace
