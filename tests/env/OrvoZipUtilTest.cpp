#include "OrvoLogCapture.h"
#include "OrvoTestSupport.h"

#include "FixtureZip.h"

#include "env/OrvoZipUtil.h"

#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QMutex>
#include <QProcess>

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

using Tree = QMap<QString, QByteArray>; // relative path -> bytes; a path ending in "/" is a folder

void writeTree(const QString &root, const Tree &tree)
{
    for (auto it = tree.begin(); it != tree.end(); ++it) {
        if (it.key().endsWith(QLatin1Char('/')))
            QDir().mkpath(root + QLatin1Char('/') + it.key());
        else
            ASSERT_TRUE(OrvoTest::writeFile(root + QLatin1Char('/') + it.key(), it.value()));
    }
}

// Everything below root, links included and not followed; an empty tree when root is missing.
Tree readTree(const QString &root)
{
    Tree tree;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        const QString relative = QDir(root).relativeFilePath(info.filePath());
        if (info.isSymLink())
            tree.insert(relative + QStringLiteral("@"), info.symLinkTarget().toUtf8());
        else if (info.isDir())
            tree.insert(relative + QLatin1Char('/'), {});
        else
            tree.insert(relative, OrvoTest::readFile(info.filePath()));
    }
    return tree;
}

QStringList listedByUnzip(const QString &archive)
{
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-Z1"), archive});
    if (!unzip.waitForFinished() || unzip.exitCode() != 0)
        return {QStringLiteral("unzip failed: ") + QString::fromUtf8(unzip.readAllStandardError())};
    return QString::fromUtf8(unzip.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// A text as the Qt debug stream writes it into a log line: quoted, with "\" escaped.
QString asLogged(const QString &text)
{
    QString logged;
    QDebug(&logged) << text;
    return logged.trimmed();
}

QByteArray bigPayload()
{
    QByteArray bytes;
    for (int i = 0; i < 200 * 1024; ++i)
        bytes.append(char((i * 7919) % 251));
    return bytes;
}

class OrvoZipUtilTest : public ::testing::Test
{
protected:
    QString path(const QString &relative) const { return m_dir.filePath(relative); }

    // Writes a fixture archive of the entries and answers its path.
    QString fixtureArchive(const QString &name, const QList<FixtureZip::Entry> &entries) const
    {
        const QString archive = path(name);
        OrvoTest::writeFile(archive, FixtureZip::storedArchive(entries));
        return archive;
    }

    OrvoTest::OutputDir m_dir;
    OrvoZipUtil m_zip;
};

TEST_F(OrvoZipUtilTest, PacksANestedTreeUnderItsRelativeNamesAndUnpacksItAgain)
{
    const Tree tree = {{QStringLiteral("a.txt"), "alpha\n"},
                       {QStringLiteral("sub/b.txt"), "beta\n"},
                       {QStringLiteral("sub/deeper/c.bin"), bigPayload()},
                       {QStringLiteral("sub/empty.txt"), ""}};
    writeTree(path(QStringLiteral("source")), tree);
    const QStringList names = tree.keys();
    const QString archive = path(QStringLiteral("packed.zip"));

    ASSERT_TRUE(m_zip.compress(archive, path(QStringLiteral("source")), names));
    EXPECT_EQ(listedByUnzip(archive), names);

    ASSERT_TRUE(m_zip.decompress(archive, path(QStringLiteral("unpacked"))));
    Tree expected = tree;
    expected.insert(QStringLiteral("sub/"), {});
    expected.insert(QStringLiteral("sub/deeper/"), {});
    EXPECT_EQ(readTree(path(QStringLiteral("unpacked"))), expected);
}

TEST_F(OrvoZipUtilTest, PlainCompressReadsRelativePathsFromTheCurrentFolder)
{
    writeTree(path(QStringLiteral("source")), {{QStringLiteral("one.txt"), "1"}, {QStringLiteral("two/2.txt"), "2"}});
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(path(QStringLiteral("source"))));
    const bool packed = m_zip.compress(path(QStringLiteral("plain.zip")),
                                       QStringList{QStringLiteral("one.txt"), QStringLiteral("two/2.txt")});
    QDir::setCurrent(previous);

    ASSERT_TRUE(packed);
    EXPECT_EQ(listedByUnzip(path(QStringLiteral("plain.zip"))),
              QStringList({QStringLiteral("one.txt"), QStringLiteral("two/2.txt")}));
}

TEST_F(OrvoZipUtilTest, FolderEntryArchiveHoldsOneFolder)
{
    const QString archive = path(QStringLiteral("folder.zip"));
    ASSERT_TRUE(m_zip.compressFolderEntry(archive, QStringLiteral("maps")));
    EXPECT_EQ(listedByUnzip(archive), QStringList{QStringLiteral("maps/")});
    ASSERT_TRUE(m_zip.decompress(archive, path(QStringLiteral("out"))));
    EXPECT_EQ(readTree(path(QStringLiteral("out"))), Tree({{QStringLiteral("maps/"), {}}}));
}

TEST_F(OrvoZipUtilTest, FailedCompressAnswersFalseNamesTheEntryAndKeepsTheOldArchive)
{
    struct Case
    {
        const char *name;
        QString archive;
        QStringList files;
        QString logged;
    };
    writeTree(path(QStringLiteral("source")), {{QStringLiteral("a.txt"), "a"}});
    const std::vector<Case> cases = {
        {"missing file",
         path(QStringLiteral("old.zip")),
         {QStringLiteral("a.txt"), QStringLiteral("missing.txt")},
         QStringLiteral("missing.txt")},
        {"archive folder missing",
         path(QStringLiteral("nowhere/new.zip")),
         {QStringLiteral("a.txt")},
         QStringLiteral("nowhere/new.zip")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        OrvoTest::writeFile(path(QStringLiteral("old.zip")), "old archive");
        OrvoLogCapture log;
        EXPECT_FALSE(m_zip.compress(c.archive, path(QStringLiteral("source")), c.files));
        EXPECT_EQ(log.matching(QtWarningMsg, c.logged).size(), 1);
        EXPECT_EQ(OrvoTest::readFile(path(QStringLiteral("old.zip"))), QByteArray("old archive"));
        EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("nowhere"))));
    }
}

TEST_F(OrvoZipUtilTest, CompressProgressIsTheIndexOverTheCount)
{
    struct Case
    {
        const char *name;
        QStringList files;
        bool answer;
        float progress; // -1: never written
    };
    writeTree(path(QStringLiteral("source")),
              {{QStringLiteral("a"), "a"}, {QStringLiteral("b"), "b"}, {QStringLiteral("c"), "c"}});
    const std::vector<Case> cases = {
        {"all three", {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}, true, 2.0f / 3.0f},
        {"third missing", {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("x")}, false, 1.0f / 3.0f},
        {"first missing", {QStringLiteral("x"), QStringLiteral("b"), QStringLiteral("c")}, false, -1.0f},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QMutex mutex;
        float progress = -1.0f;
        EXPECT_EQ(
            m_zip.compress(path(QStringLiteral("p.zip")), path(QStringLiteral("source")), c.files, &mutex, &progress),
            c.answer);
        EXPECT_FLOAT_EQ(progress, c.progress);
    }

    float untouched = -1.0f;
    EXPECT_FALSE(m_zip.compress(path(QStringLiteral("none.zip")), path(QStringLiteral("source")), {QStringLiteral("a")},
                                nullptr, &untouched));
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("none.zip"))));
}

TEST_F(OrvoZipUtilTest, StoredNamesBecomePathsBelowTheFolder)
{
    const QString archive = fixtureArchive(QStringLiteral("names.zip"), {{"a.txt", "a"},
                                                                         {"sub\\b.txt", "b"},
                                                                         {"./c.txt", "c"},
                                                                         {"d//e.txt", "e"},
                                                                         {"folder/", ""},
                                                                         {"x/y/z.txt", "z"}});
    ASSERT_TRUE(m_zip.decompress(archive, path(QStringLiteral("out/nested"))));
    const Tree expected = {{QStringLiteral("a.txt"), "a"},     {QStringLiteral("sub/"), {}},
                           {QStringLiteral("sub/b.txt"), "b"}, {QStringLiteral("c.txt"), "c"},
                           {QStringLiteral("d/"), {}},         {QStringLiteral("d/e.txt"), "e"},
                           {QStringLiteral("folder/"), {}},    {QStringLiteral("x/"), {}},
                           {QStringLiteral("x/y/"), {}},       {QStringLiteral("x/y/z.txt"), "z"}};
    EXPECT_EQ(readTree(path(QStringLiteral("out/nested"))), expected);
}

TEST_F(OrvoZipUtilTest, HostileNamesRefuseTheArchiveBeforeAnythingIsWritten)
{
    // The target lies two levels down in a sandbox, so that every escape stays inside the
    // sandbox where the test can see it.
    const QString sandbox = path(QStringLiteral("sandbox"));
    const QString target = sandbox + QStringLiteral("/level/target");
    const bool rootAbsExisted = QFileInfo::exists(QStringLiteral("/abs"));
    const std::vector<QByteArray> names = {
        "../x", "/abs",         (sandbox + QStringLiteral("/escaped")).toUtf8(), "a\\..\\..\\b", "sub/../../x",
        "..",   "C:\\evil.txt",
    };
    for (const QByteArray &name : names) {
        SCOPED_TRACE(name.constData());
        const QString archive = fixtureArchive(QStringLiteral("hostile.zip"), {{"good.txt", "good"}, {name, "evil"}});
        QDir().mkpath(sandbox);
        OrvoLogCapture log;
        QMutex mutex;
        float progress = 0.0f;

        EXPECT_FALSE(m_zip.decompress(archive, target));
        EXPECT_FALSE(m_zip.decompress(archive, target, &mutex, &progress, 1.0f));

        EXPECT_EQ(readTree(sandbox), Tree());
        EXPECT_EQ(QFileInfo::exists(QStringLiteral("/abs")), rootAbsExisted);
        EXPECT_EQ(log.matching(QtWarningMsg, asLogged(QString::fromUtf8(name))).size(), 2);
        EXPECT_EQ(progress, 0.0f);
    }
}

TEST_F(OrvoZipUtilTest, SymbolicLinksInTheTargetFolderLeadNowhere)
{
    struct Case
    {
        const char *name;
        QByteArray entry;
    };
    const std::vector<Case> cases = {
        {"folder link on the way", "link/planted.txt"},
        {"file link as the target", "filelink"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString elsewhere = path(QStringLiteral("elsewhere"));
        const QString target = path(QStringLiteral("target"));
        QDir(elsewhere).removeRecursively();
        QDir(target).removeRecursively();
        QDir().mkpath(elsewhere);
        QDir().mkpath(target);
        ASSERT_TRUE(QFile::link(elsewhere, target + QStringLiteral("/link")));
        ASSERT_TRUE(QFile::link(elsewhere + QStringLiteral("/victim"), target + QStringLiteral("/filelink")));
        const QString archive = fixtureArchive(QStringLiteral("links.zip"), {{c.entry, "evil"}, {"ok.txt", "ok"}});

        EXPECT_FALSE(m_zip.decompress(archive, target));
        EXPECT_EQ(readTree(elsewhere), Tree());
        EXPECT_EQ(OrvoTest::readFile(target + QStringLiteral("/ok.txt")), QByteArray("ok"));
    }
}

TEST_F(OrvoZipUtilTest, DamagedOrMissingArchivesAnswerFalse)
{
    struct Case
    {
        const char *name;
        QByteArray bytes; // empty: no archive file at all
        Tree left;        // what the plain form leaves in the target folder
    };
    const QList<FixtureZip::Entry> entries = {{"good.txt", "fine"}, {"bad.txt", "payload"}};
    QByteArray checksumMismatch = FixtureZip::storedArchive(entries);
    checksumMismatch[checksumMismatch.indexOf("payload")] = 'P';

    writeTree(path(QStringLiteral("source")), {{QStringLiteral("big.bin"), bigPayload()}});
    ASSERT_TRUE(m_zip.compress(path(QStringLiteral("deflated.zip")), path(QStringLiteral("source")),
                               {QStringLiteral("big.bin")}));
    QByteArray damagedStream = OrvoTest::readFile(path(QStringLiteral("deflated.zip")));
    damagedStream[30 + 7 + 40] = char(damagedStream.at(30 + 7 + 40) ^ 0x55);

    const QByteArray whole = FixtureZip::storedArchive(entries);
    const std::vector<Case> cases = {
        {"checksum mismatch", checksumMismatch, {{QStringLiteral("good.txt"), "fine"}}},
        {"damaged deflate stream", damagedStream, {}},
        {"truncated", whole.left(whole.size() / 2), {}},
        {"not a zip", "hello, world", {}},
        {"missing", {}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString archive = path(QStringLiteral("damaged.zip"));
        QFile::remove(archive);
        if (!c.bytes.isEmpty())
            OrvoTest::writeFile(archive, c.bytes);
        const QString plainTarget = path(QStringLiteral("plain"));
        const QString progressTarget = path(QStringLiteral("progress"));
        QDir(plainTarget).removeRecursively();
        QDir(progressTarget).removeRecursively();
        QMutex mutex;
        float progress = 0.0f;

        EXPECT_FALSE(m_zip.decompress(archive, plainTarget));
        EXPECT_FALSE(m_zip.decompress(archive, progressTarget, &mutex, &progress, 1.0f));
        EXPECT_EQ(readTree(plainTarget), c.left);
        EXPECT_EQ(readTree(progressTarget), c.left);
    }
}

TEST_F(OrvoZipUtilTest, ChecksumMismatchLogsTheEntryName)
{
    QByteArray bytes = FixtureZip::storedArchive({{"good.txt", "fine"}, {"bad.txt", "payload"}});
    bytes[bytes.indexOf("payload")] = 'P';
    OrvoTest::writeFile(path(QStringLiteral("crc.zip")), bytes);
    OrvoLogCapture log;
    EXPECT_FALSE(m_zip.decompress(path(QStringLiteral("crc.zip")), path(QStringLiteral("out"))));
    EXPECT_EQ(log.matching(QtWarningMsg, QStringLiteral("unzip failed in decompress(QString fname,QString folder)")),
              QStringList{QStringLiteral("unzip failed in decompress(QString fname,QString folder)")});
    EXPECT_EQ(log.matching(QtWarningMsg, QStringLiteral("failed name")).size(), 1);
    EXPECT_TRUE(log.matching(QtWarningMsg, QStringLiteral("failed name")).value(0).contains(QStringLiteral("bad.txt")));
}

TEST_F(OrvoZipUtilTest, ProgressOfAFourEntryDecompressStopsAtTheFirstFailedEntry)
{
    struct Case
    {
        const char *name;
        int failingEntry; // -1: none; a folder in the way makes that entry fail
        bool answer;
        float progress;
    };
    const std::vector<Case> cases = {
        {"all four", -1, true, 0.875f},
        {"fourth fails", 3, false, 0.75f},
        {"third fails", 2, false, 0.625f},
        {"second fails", 1, false, 0.5f},
    };
    const QStringList names = {QStringLiteral("e0"), QStringLiteral("e1"), QStringLiteral("e2"), QStringLiteral("e3")};
    const QString archive =
        fixtureArchive(QStringLiteral("four.zip"), {{"e0", "0"}, {"e1", "1"}, {"e2", "2"}, {"e3", "3"}});
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString target = path(QStringLiteral("four"));
        QDir(target).removeRecursively();
        if (c.failingEntry >= 0)
            QDir().mkpath(target + QLatin1Char('/') + names.at(c.failingEntry) + QStringLiteral("/blocker"));
        OrvoLogCapture log;
        QMutex mutex;
        float progress = 0.5f;

        EXPECT_EQ(m_zip.decompress(archive, target, &mutex, &progress, 0.5f), c.answer);
        EXPECT_FLOAT_EQ(progress, c.progress);
        const int extracted = c.failingEntry < 0 ? 4 : c.failingEntry;
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(QFileInfo(target + QLatin1Char('/') + names.at(i)).isFile(), i < extracted) << i;
        if (c.failingEntry >= 0) {
            EXPECT_EQ(log.matching(QtWarningMsg, QStringLiteral("QMutex *m, float *f)")).size(), 1);
            EXPECT_EQ(log.matching(QtWarningMsg, QStringLiteral("failed name ")).size(), 1);
        }
    }

    float untouched = 0.5f;
    EXPECT_FALSE(m_zip.decompress(archive, path(QStringLiteral("nomutex")), nullptr, &untouched, 0.5f));
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("nomutex"))));
}

TEST_F(OrvoZipUtilTest, ArchiveThatUnpacksBeyondTheLimitLeavesOnlyWhatWasThere)
{
    const QString archive = fixtureArchive(
        QStringLiteral("big.zip"),
        {{"a.bin", QByteArray(600, 'a')}, {"sub/b.bin", QByteArray(600, 'b')}, {"before.txt", "new"}, {"c", "c"}});
    struct Case
    {
        const char *name;
        qint64 limit;
        bool unpacked;
    };
    const Case cases[] = {
        {"within the limit", 1204, true},
        {"one byte beyond", 1203, false},
        {"beyond in the first entry", 100, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        for (const bool withProgress : {false, true}) {
            SCOPED_TRACE(withProgress ? "progress form" : "plain form");
            const QString target = path(QStringLiteral("limit-%1-%2").arg(c.limit).arg(withProgress));
            ASSERT_TRUE(OrvoTest::writeFile(target + QStringLiteral("/before.txt"), "old"));
            OrvoZipUtil zip;
            zip.setUnpackedLimit(c.limit);
            QMutex mutex;
            float progress = 0;
            EXPECT_EQ(withProgress ? zip.decompress(archive, target, &mutex, &progress, 1.0f)
                                   : zip.decompress(archive, target),
                      c.unpacked);
            const Tree expected = c.unpacked ? Tree({{QStringLiteral("a.bin"), QByteArray(600, 'a')},
                                                     {QStringLiteral("before.txt"), "new"},
                                                     {QStringLiteral("c"), "c"},
                                                     {QStringLiteral("sub/"), {}},
                                                     {QStringLiteral("sub/b.bin"), QByteArray(600, 'b')}})
                                             : Tree({{QStringLiteral("before.txt"), "old"}});
            EXPECT_EQ(readTree(target), expected);
        }
    }
}

// Many empty entries unpack to no bytes but to as many files: the count is bounded on its own.
TEST_F(OrvoZipUtilTest, ArchiveOfMoreEntriesThanTheLimitIsRefusedBeforeAnythingIsWritten)
{
    QList<FixtureZip::Entry> many;
    for (qint64 i = 0; i <= OrvoZipUtil::kDefaultEntryLimit; ++i)
        many.append({QByteArray("empty-") + QByteArray::number(i), QByteArray()});
    const QList<FixtureZip::Entry> four = {{"a", "a"}, {"b", "b"}, {"sub/", ""}, {"sub/c", "c"}};
    struct Case
    {
        const char *name;
        QList<FixtureZip::Entry> entries;
        std::optional<qint64> limit;
        bool unpacked;
    };
    const Case cases[] = {
        {"as many entries as the limit", four, 4, true},
        {"one entry beyond the limit", four, 3, false},
        {"one entry beyond the default limit", many, std::nullopt, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString archive = fixtureArchive(QStringLiteral("%1.zip").arg(c.name), c.entries);
        for (const bool withProgress : {false, true}) {
            SCOPED_TRACE(withProgress ? "progress form" : "plain form");
            const QString target = path(QStringLiteral("%1-%2").arg(c.name).arg(withProgress));
            OrvoZipUtil zip;
            if (c.limit)
                zip.setEntryLimit(*c.limit);
            QMutex mutex;
            float progress = 0;
            EXPECT_EQ(withProgress ? zip.decompress(archive, target, &mutex, &progress, 1.0f)
                                   : zip.decompress(archive, target),
                      c.unpacked);
            EXPECT_EQ(readTree(target).size(), c.unpacked ? qsizetype(c.entries.size()) : 0);
        }
    }
}

TEST_F(OrvoZipUtilTest, EntryDeclaringGigabytesIsRefusedUnderTheDefaultLimit)
{
    QByteArray bytes = FixtureZip::storedArchive({{"small.txt", "tiny"}, {"bomb.bin", "x"}});
    // The second central directory record declares 4 GiB unpacked (offset 24 of the record).
    const qsizetype central = bytes.lastIndexOf(QByteArray("PK\x01\x02", 4));
    ASSERT_GT(central, 0);
    bytes.replace(central + 24, 4, QByteArray("\xF0\xFF\xFF\xFF", 4));
    const QString archive = path(QStringLiteral("bomb.zip"));
    ASSERT_TRUE(OrvoTest::writeFile(archive, bytes));
    const QString target = path(QStringLiteral("bomb"));
    EXPECT_FALSE(m_zip.decompress(archive, target));
    EXPECT_EQ(readTree(target), Tree());
}

TEST_F(OrvoZipUtilTest, PlainDecompressGoesOnAfterAFailedEntry)
{
    const QString archive = fixtureArchive(QStringLiteral("three.zip"), {{"e0", "0"}, {"e1", "1"}, {"e2", "2"}});
    const QString target = path(QStringLiteral("three"));
    QDir().mkpath(target + QStringLiteral("/e1/blocker"));
    EXPECT_FALSE(m_zip.decompress(archive, target));
    EXPECT_EQ(readTree(target), Tree({{QStringLiteral("e0"), "0"},
                                      {QStringLiteral("e1/"), {}},
                                      {QStringLiteral("e1/blocker/"), {}},
                                      {QStringLiteral("e2"), "2"}}));
}

} // namespace
