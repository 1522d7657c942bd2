#include "AppTestSupport.h"
#include "FileSizeLimit.h"
#include "FixtureZip.h"
#include "OrvoTestSupport.h"

#include "device/OrvoClientData.h"
#include "device/OrvoDeviceIniFile.h"
#include "device/OrvoShareItemLists.h"
#include "env/OrvoEnv.h"
#include "env/OrvoEnvInterface.h"
#include "env/OrvoMessageHandler.h"
#include "env/OrvoZipUtil.h"
#include "profile/OrvoProfileReaderXML.h"
#include "training/ZKTrnWriter.h"
#include "training/ZKTrncrs.h"
#include "util/ZKGpx2.h"
#include "util/ZKGpxWriter.h"

#include <QDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace {

// Every writer here produces well over this many bytes.
constexpr qint64 kFileSizeLimit = 100;
const QByteArray kOldContent = "old content, kept while the new one cannot be written whole";

// A text that takes more than the limit in any of the files below.
QByteArray longText()
{
    return QByteArray(3 * kFileSizeLimit, 'x');
}

class FolderEnvPlatform : public OrvoEnvInterface
{
public:
    explicit FolderEnvPlatform(QString root)
        : m_root(std::move(root))
    {}
    QString resourceDir() const override { return m_root + QStringLiteral("/Resources"); }
    QString dataDir() const override { return m_root + QStringLiteral("/TarvexOrvo"); }
    QString separator() const override { return QStringLiteral("/"); }

private:
    QString m_root;
};

// A writer's case: what it writes into (prepared before the limit, holding kOldContent or the
// case's own text) and how it is driven once the limit is set; its answer, or true for a
// writer that answers nothing.
struct WriterCase
{
    const char *name;
    QString target;
    std::function<bool(const QString &folder)> prepare;
    std::function<bool(const QString &folder)> write;
    bool answers = true;
};

QString in(const QString &folder, const char *name)
{
    return folder + QLatin1Char('/') + QLatin1String(name);
}

std::vector<WriterCase> writerCases()
{
    std::vector<WriterCase> cases;
    cases.push_back({"training course", "course.wrk", nullptr, [](const QString &folder) {
                         ZKTrncrs document;
                         document.workouts().append(ZKTrncrsWorkout());
                         return ZKTrnWriter(QStringLiteral("1.0"), document).write(in(folder, "course.wrk"));
                     }});
    cases.push_back({"GPX", "ride.gpx", nullptr, [](const QString &folder) {
                         ZKGpx2 document;
                         return ZKGpxWriter(QStringLiteral("2.0"), document).write(in(folder, "ride.gpx"));
                     }});
    cases.push_back({"share item lists", "PersonalData.xml", nullptr, [](const QString &folder) {
                         OrvoClientData item;
                         item.name = QString::fromLatin1(longText());
                         OrvoShareItemLists lists;
                         lists.addPOIs({item});
                         return lists.writePersonalDataXml(in(folder, "PersonalData.xml"));
                     }});
    cases.push_back({"device ini file", "device.ini",
                     [](const QString &folder) {
                         return OrvoTest::writeFile(in(folder, "device.ini"),
                                                    "[MODEL]\r\nModel=" + longText() + "\r\n");
                     },
                     [](const QString &folder) {
                         OrvoDeviceIniFile ini(in(folder, "device.ini"));
                         return ini.load() && ini.addMissingKey(QStringLiteral("MODEL"), QStringLiteral("Extra"),
                                                                QStringLiteral("1"));
                     }});
    cases.push_back({"XML profile", "profile.xml", nullptr, [](const QString &folder) {
                         QByteArray path = in(folder, "profile.xml").toUtf8();
                         return OrvoProfileReaderXML().write(path, {{"User Name", QString::fromLatin1(longText())}});
                     }});
    cases.push_back({"zip archive", "up.zip",
                     [](const QString &folder) {
                         return OrvoTest::writeFile(in(folder, "up.zip"), kOldContent) &&
                                OrvoTest::writeFile(in(folder, "entry.txt"), longText());
                     },
                     [](const QString &folder) {
                         return OrvoZipUtil().compress(in(folder, "up.zip"), {in(folder, "entry.txt")});
                     }});
    cases.push_back(
        {"zip extraction", "out/entry.txt",
         [](const QString &folder) {
             return OrvoTest::writeFile(in(folder, "out/entry.txt"), kOldContent) &&
                    OrvoTest::writeFile(in(folder, "in.zip"), FixtureZip::storedArchive({{"entry.txt", longText()}}));
         },
         [](const QString &folder) { return OrvoZipUtil().decompress(in(folder, "in.zip"), in(folder, "out")); }});
    cases.push_back({"settings file", "TarvexOrvo/orvo.ini",
                     [](const QString &folder) {
                         return OrvoTest::writeFile(in(folder, "TarvexOrvo/orvo.ini"), kOldContent) &&
                                OrvoTest::writeFile(in(folder, "Resources/orvo.ini"),
                                                    "[TarvexOrvo]\ntimer=20\ncomment=" + longText() + "\n");
                     },
                     [](const QString &folder) {
                         OrvoEnv env;
                         env.init(QStringLiteral("daemon"), QString(), std::make_unique<FolderEnvPlatform>(folder));
                         env.copyNewIni();
                         env.shutdown();
                         // The process's own log takes the messages again.
                         installOrvoMessageHandler(OrvoEnv::instance());
                         return true;
                     },
                     false});
    return cases;
}

} // namespace

// A full disk shows only when the last buffered bytes go out: every writer answers false then
// and leaves the file it writes as it was, never a cut-off one.
TEST(OrvoSaveFileWriters, AFullDiskFailsEveryWriterAndKeepsTheOldFile)
{
    // The settings case hands the log back to the process's environment afterwards.
    AppTest::initEnvironment();
    for (const WriterCase &c : writerCases()) {
        SCOPED_TRACE(c.name);
        OrvoTest::OutputDir dir;
        const QString target = QDir(dir.path()).filePath(c.target);
        if (c.prepare) {
            ASSERT_TRUE(c.prepare(dir.path()));
        } else {
            ASSERT_TRUE(OrvoTest::writeFile(target, kOldContent));
        }
        const QByteArray before = OrvoTest::readFile(target);
        bool written = true;
        {
            const FileSizeLimit limit(kFileSizeLimit);
            ASSERT_TRUE(limit.ok());
            written = c.write(dir.path());
        }
        EXPECT_EQ(written, !c.answers);
        EXPECT_EQ(OrvoTest::readFile(target), before);
        // Without the limit the same writer succeeds, so the limit was what stopped it.
        EXPECT_TRUE(c.write(dir.path()));
        EXPECT_NE(OrvoTest::readFile(target), before);
    }
}
