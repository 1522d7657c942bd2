#include "Kavel50TestSupport.h"
#include "OrvoTestSupport.h"
#include "OrvoUserFolderScope.h"

#include "devices/fs/OrvoKavel50Profile.h"
#include "profile/OrvoProfileData.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace Kavel50Test;

namespace {

const QString kTrainingUser = QStringLiteral("/morvia/applications/training/user_settings.xml");
const QString kTrainingDefaults = QStringLiteral("/morvia/applications/training/default_settings.xml");
const QString kCoreUser = QStringLiteral("/morvia/applications/core/user_settings.xml");
const QString kCoreDefaults = QStringLiteral("/morvia/applications/core/default_settings.xml");

QMap<QString, QString> readXml(const QString &path)
{
    OrvoProfileData data(path.toUtf8(), OrvoProfileData::XmlFile);
    EXPECT_TRUE(data.parse()) << path.toStdString();
    return data.values();
}

class OrvoKavel50ProfileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_drive.writeIdentity({}));
        ASSERT_TRUE(m_drive.writeSettings(kTrainingUser, {{QStringLiteral("User Name"), QStringLiteral("aiko")},
                                                          {QStringLiteral("User MHR"), QString()}}));
        ASSERT_TRUE(m_drive.writeSettings(kTrainingDefaults, {{QStringLiteral("User Name"), QStringLiteral("rider")},
                                                              {QStringLiteral("User MHR"), QStringLiteral("185")},
                                                              {QStringLiteral("User FTP"), QStringLiteral("200")}}));
        ASSERT_TRUE(m_drive.writeSettings(kCoreUser, {{QStringLiteral("unit system"), QStringLiteral("1")},
                                                      {QStringLiteral("System Language"), QStringLiteral("fra")}}));
        ASSERT_TRUE(m_drive.writeSettings(kCoreDefaults, {{QStringLiteral("unit system"), QStringLiteral("0")},
                                                          {QStringLiteral("System Language"), QStringLiteral("eng")}}));
    }

    QString file(const QString &relative) const { return m_dir.path() + relative; }

    const OrvoTest::UserFolderScope m_userFolder;
    OrvoTest::OutputDir m_dir;
    Kavel50Drive m_drive{m_dir.path()};
    std::unique_ptr<OrvoKavel50CR> m_client = makeClient(m_dir.path());
};

} // namespace

TEST_F(OrvoKavel50ProfileTest, UserValuesLieOverTheDefaults)
{
    QMap<QString, QString> profile;
    ASSERT_TRUE(m_client->getProfile(profile));
    EXPECT_EQ(profile.value(QStringLiteral("User Name")), QStringLiteral("aiko"));
    EXPECT_EQ(profile.value(QStringLiteral("User MHR")), QStringLiteral("185"));
    EXPECT_EQ(profile.value(QStringLiteral("User FTP")), QStringLiteral("200"));
    EXPECT_EQ(profile.value(QStringLiteral("Dst Unit")), QStringLiteral("Imperial"));
    EXPECT_EQ(profile.value(QStringLiteral("System Language")), QStringLiteral("fra"));
}

TEST_F(OrvoKavel50ProfileTest, MissingFilesFallBackToTheDefaults)
{
    ASSERT_TRUE(QFile::remove(file(kTrainingUser)));
    ASSERT_TRUE(QFile::remove(file(kCoreUser)));
    QMap<QString, QString> profile;
    ASSERT_TRUE(m_client->getProfile(profile));
    EXPECT_EQ(profile.value(QStringLiteral("User Name")), QStringLiteral("rider"));
    EXPECT_EQ(profile.value(QStringLiteral("Dst Unit")), QStringLiteral("Metric"));
    EXPECT_EQ(profile.value(QStringLiteral("System Language")), QStringLiteral("eng"));

    ASSERT_TRUE(QFile::remove(file(kTrainingDefaults)));
    EXPECT_FALSE(m_client->getProfile(profile));
    EXPECT_FALSE(m_client->prepareUploadProfile(file(QStringLiteral("/upload.xml"))));
}

TEST_F(OrvoKavel50ProfileTest, WithoutDefaultsTheUsersValuesStay)
{
    ASSERT_TRUE(QFile::remove(file(kTrainingDefaults)));
    QMap<QString, QString> profile;
    ASSERT_TRUE(m_client->getProfile(profile));
    EXPECT_EQ(profile.value(QStringLiteral("User Name")), QStringLiteral("aiko"));
    EXPECT_FALSE(profile.contains(QStringLiteral("User MHR")));
    EXPECT_EQ(profile.value(QStringLiteral("Dst Unit")), QStringLiteral("Imperial"));
}

TEST_F(OrvoKavel50ProfileTest, SaveProfileTakesOnlyProfileKeysAndSetsTheUnitSystem)
{
    struct Case
    {
        const char *name;
        QMap<QString, QString> values;
        QString unitSystem;
    };
    const Case cases[] = {
        {"metric", {{QStringLiteral("Dst Unit"), QStringLiteral("Metric")}}, QStringLiteral("0")},
        {"without unit",
         {{QStringLiteral("User Name"), QStringLiteral("kenji")},
          {QStringLiteral("System Language"), QStringLiteral("deu")},
          {QStringLiteral("Colour"), QStringLiteral("red")}},
         QStringLiteral("1")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(m_client->saveProfile(c.values));
        const QMap<QString, QString> core = readXml(file(kCoreUser));
        EXPECT_EQ(core.value(QStringLiteral("unit system")), c.unitSystem);
        EXPECT_EQ(core.value(QStringLiteral("System Language")), QStringLiteral("fra"));
        EXPECT_FALSE(readXml(file(kTrainingUser)).contains(QStringLiteral("Colour")));
    }
    QMap<QString, QString> profile;
    ASSERT_TRUE(m_client->getProfile(profile));
    EXPECT_EQ(profile.value(QStringLiteral("User Name")), QStringLiteral("kenji"));
    EXPECT_EQ(profile.value(QStringLiteral("System Language")), QStringLiteral("fra"));
}

TEST_F(OrvoKavel50ProfileTest, SaveWithOnlyTheCoreDefaultsKeepsTheirValues)
{
    ASSERT_TRUE(QFile::remove(file(kCoreUser)));
    ASSERT_TRUE(m_client->saveProfile({{QStringLiteral("Dst Unit"), QStringLiteral("Imperial")}}));
    const QMap<QString, QString> core = readXml(file(kCoreUser));
    EXPECT_EQ(core.value(QStringLiteral("unit system")), QStringLiteral("1"));
    EXPECT_EQ(core.value(QStringLiteral("System Language")), QStringLiteral("eng"));
    // The defaults stay as the device shipped them.
    EXPECT_EQ(readXml(file(kCoreDefaults)).value(QStringLiteral("unit system")), QStringLiteral("0"));
    QMap<QString, QString> profile;
    ASSERT_TRUE(m_client->getProfile(profile));
    EXPECT_EQ(profile.value(QStringLiteral("System Language")), QStringLiteral("eng"));
    EXPECT_EQ(profile.value(QStringLiteral("Dst Unit")), QStringLiteral("Imperial"));
}

TEST_F(OrvoKavel50ProfileTest, UploadProfileHoldsTheKnownKeysWithAlignedZones)
{
    ASSERT_TRUE(m_drive.writeSettings(kTrainingUser, {{QStringLiteral("User Name"), QStringLiteral("aiko")},
                                                      {QStringLiteral("User MHR.zone2.low"), QStringLiteral("120")},
                                                      {QStringLiteral("User MHR.zone1.high"), QStringLiteral("99")}}));
    const QString upload = file(QStringLiteral("/upload.xml"));
    ASSERT_TRUE(m_client->prepareUploadProfile(upload));
    const QMap<QString, QString> written = readXml(upload);
    EXPECT_EQ(written.size(), OrvoKavel50Profile::keys().size());
    EXPECT_EQ(OrvoKavel50Profile::keys().size(), 68);
    EXPECT_EQ(written.value(QStringLiteral("User Name")), QStringLiteral("aiko"));
    EXPECT_EQ(written.value(QStringLiteral("Dst Unit")), QStringLiteral("Imperial"));
    EXPECT_EQ(written.value(QStringLiteral("User MHR.zone1.high")), QStringLiteral("120"));
    EXPECT_FALSE(written.contains(QStringLiteral("System Language")));
}
