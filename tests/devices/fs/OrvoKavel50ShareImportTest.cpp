#include "FixtureZip.h"
#include "Kavel50TestSupport.h"
#include "OrvoTestSupport.h"
#include "OrvoUserFolderScope.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <ostream>

using namespace Kavel50Test;

namespace {

// A route as other programs write GPX: no share type, so no route the device takes.
const QByteArray kOtherGpxRoute = R"(<?xml version="1.0" encoding="UTF-8"?>
<gpx xmlns="http://www.topografix.com/GPX/1/1" creator="other" version="1.1">
  <rte><name>Elsewhere</name><rtept lat="35.1" lon="139.1"/><rtept lat="35.2" lon="139.2"/></rte>
</gpx>
)";

struct ImportCase
{
    const char *name;
    QList<FixtureZip::Entry> entries;
    bool imported;
    // What the drive gains: the route and the workout of the shared package.
    bool gainsShared;
};

void PrintTo(const ImportCase &c, std::ostream *os)
{
    *os << c.name;
}

const ImportCase kImports[] = {
    {"good items", Kavel50Drive::shareEntries(), true, true},
    {"one bad item among good ones",
     Kavel50Drive::shareEntries() + QList<FixtureZip::Entry>{{"notes.txt", "just text"}}, false, true},
    {"a route of another GPX dialect", {{"elsewhere.gpx", kOtherGpxRoute}}, false, false},
    {"nothing but a text file", {{"readme.txt", "just text"}}, false, false},
    {"no entry at all", {}, false, false},
};

QStringList namesOf(const QVector<OrvoClientData> &items)
{
    QStringList names;
    for (const OrvoClientData &item : items)
        names.append(item.name);
    names.sort();
    return names;
}

class OrvoKavel50ShareImportTest : public ::testing::TestWithParam<ImportCase>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_drive.writeIdentity({}));
        ASSERT_TRUE(m_drive.writeSampleData());
        m_client = makeClient(m_dir.filePath(QStringLiteral("drive")));
        ASSERT_TRUE(m_client->initial());
    }

    const OrvoTest::UserFolderScope m_userFolder;
    OrvoTest::OutputDir m_dir;
    Kavel50Drive m_drive{m_dir.filePath(QStringLiteral("drive"))};
    std::unique_ptr<OrvoKavel50CR> m_client;
};

} // namespace

// The import runs as the page starts it; "done" only when every item of the package is on the
// device, and a package without any is no import at all.
TEST_P(OrvoKavel50ShareImportTest, AnswersDoneOnlyWhenEveryItemIsOnTheDevice)
{
    const ImportCase &c = GetParam();
    const QString package = m_dir.filePath(QStringLiteral("share.zip"));
    ASSERT_TRUE(OrvoTest::writeFile(package, FixtureZip::storedArchive(c.entries)));
    const Lists before = listAll(*m_client);

    ASSERT_TRUE(m_client->importDownloadZip(package));
    m_client->wait();
    QCoreApplication::processEvents();

    EXPECT_EQ(m_client->error(), !c.imported);
    const Lists after = listAll(*m_client);
    QStringList routes = namesOf(before.routes);
    QStringList workouts = namesOf(before.workouts);
    if (c.gainsShared) {
        routes.append(QStringLiteral("Shared loop"));
        workouts.append(QStringLiteral("Shared intervals"));
        routes.sort();
        workouts.sort();
    }
    EXPECT_EQ(namesOf(after.routes), routes);
    EXPECT_EQ(namesOf(after.workouts), workouts);
    EXPECT_TRUE(sameRecords(after.rides, before.rides));
    EXPECT_TRUE(sameRecords(after.pois, before.pois));
}

INSTANTIATE_TEST_SUITE_P(All, OrvoKavel50ShareImportTest, ::testing::ValuesIn(kImports), [](const auto &i) {
    std::string name = i.param.name;
    for (char &ch : name)
        ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return name;
});
