#include "Kavel40Emulator.h"
#include "Kavel40SampleRide.h"
#include "OrvoMessageCapture.h"
#include "OrvoTestSupport.h"
#include "OrvoUserFolderScope.h"
#include "ProfileFixtures.h"
#include "PsfImage15Builder.h"

#include "device/OrvoVirtualDeviceWaits.h"
#include "devices/psf15/OrvoPSFFlashImage.h"
#include "env/OrvoEnv.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <gtest/gtest.h>

#include <functional>

using namespace Kavel40;

namespace {

constexpr quint8 kWrite = 0x2A;
constexpr quint8 kEraseArea = 14;
constexpr quint8 kImageWriteArea = 15;
const OrvoEmulatedIdentity kIdentity{"TARVEX", "KOSMIR", "0207", "1.00", QByteArray(), "1105D3E40000C0DE"};
const QMap<QString, QString> kHeavier = {{QStringLiteral("User Weight.Metric"), QStringLiteral("83")}};

// Two planned routes, the sample ride and its workouts, and the rides named; the profile holds
// the weight 70.5.
QByteArray deviceImage(const QVector<const char *> &rides = {"Morning"})
{
    PsfImage15Builder builder;
    const PsfImage15Builder::Segment segment = Kavel40SampleRide::segment();
    for (const char *name : {"Home", "Lake"}) {
        PsfImage15Builder::Route planned;
        planned.names = {{"eng", name}};
        planned.segments = {segment};
        builder.addRoute(planned);
    }
    int first = -1;
    for (const char *ride : rides) {
        const int index = Kavel40SampleRide::addRide(builder, segment, {{"eng", ride}});
        first = first < 0 ? index : first;
    }
    Kavel40SampleRide::addWorkouts(builder, first);
    builder.setProfileEntries({ProfileFixtures::listEntry(9, 7, QByteArray::fromHex("00 00 8D 42"))});
    return builder.build().bytes;
}

// A client over a service that asked the device's INQUIRY, so that it knows the firmware text.
std::unique_ptr<OrvoPSFDevice> probedClient(const std::shared_ptr<OrvoEmulatedFlashDevice> &device)
{
    auto client = std::make_unique<OrvoPSFDevice>();
    const OrvoDeviceInfo row{QStringLiteral("1105"), QStringLiteral("Kavel40"), QStringLiteral("KOSMIR"), {}};
    client->setDeviceService(OrvoLinuxSCSIService::probe(OrvoEmulatedScsiHandle::open(device), {row}));
    return client;
}

// Where the commands of a save fall, counted from 1 as failCommand counts.
struct SaveCommands
{
    int erase = 0;
    // The block writes of the image, from the header's on.
    QVector<int> writes;
};

SaveCommands saveCommands(const QVector<OrvoEmulatedFlashDevice::LoggedCommand> &log)
{
    SaveCommands at;
    for (int k = 1; k <= int(log.size()); ++k) {
        const auto &command = log.at(k - 1);
        if (quint8(command.cdb[0]) != kWrite)
            continue;
        if (quint8(command.cdb[6]) == kEraseArea && at.erase == 0)
            at.erase = k;
        if (quint8(command.cdb[6]) == kImageWriteArea)
            at.writes.append(k);
    }
    return at;
}

class OrvoPSFDeviceRecoveryCopyTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        OrvoDeviceWaits::install(&m_waits);
        auto reference = makeDevice(m_image);
        auto client = probedClient(reference);
        ASSERT_TRUE(client->initial());
        ASSERT_TRUE(client->saveProfile(kHeavier));
        reference->clearCommandLog();
        ASSERT_TRUE(client->save());
        m_at = saveCommands(reference->commandLog());
        ASSERT_GT(m_at.erase, 0);
        ASSERT_GT(m_at.writes.size(), 4);
    }
    void TearDown() override { OrvoDeviceWaits::install(nullptr); }

    // Starts a save of a heavier profile that fails at command k (none when k is 0); answers
    // what the save answered.
    bool cutSave(const std::shared_ptr<OrvoEmulatedFlashDevice> &device, int k)
    {
        auto client = probedClient(device);
        if (!client->initial() || !client->saveProfile(kHeavier))
            return true;
        if (k > 0)
            device->failCommand(k);
        return client->save();
    }

    QStringList keptCopies() const
    {
        return QDir(OrvoEnv::instance()->userFolder())
            .entryList({QStringLiteral("kavel40-*.restore.kept-*")}, QDir::Files);
    }

    static QString pendingCopy()
    {
        const QString hex = QString::fromLatin1(kIdentity.deviceId.toHex());
        return OrvoEnv::instance()->userFolder() + QStringLiteral("/kavel40-") + hex + QStringLiteral(".restore");
    }

    const OrvoTest::UserFolderScope m_userFolder;
    OrvoVirtualDeviceWaits m_waits{QDateTime(QDate(2024, 5, 1), QTime(8, 0), Qt::UTC)};
    QByteArray m_image = deviceImage();
    SaveCommands m_at;
};

enum class Cut { BeforeErase, AfterErase, None };
enum class Copy { Gone, KeptAside };

struct RecoveryCase
{
    const char *name;
    Cut cut;
    // What happens before the device is plugged in again; answers what the flash must hold
    // after the plug.
    std::function<QByteArray(const std::shared_ptr<OrvoEmulatedFlashDevice> &, OrvoEmulatedIdentity &)> between;
    Copy copy;
    const char *logged;
};

} // namespace

// Each row cuts a save off (or lets it end), changes the device or the copy the way the user's
// world can, and plugs the device in again: the copy is written back only over what the cut
// save left, and is otherwise kept aside with the device opened as it is.
TEST_F(OrvoPSFDeviceRecoveryCopyTest, ACopyIsWrittenBackOnlyOverWhatItsSaveLeft)
{
    using Device = std::shared_ptr<OrvoEmulatedFlashDevice>;
    const QByteArray withEveningRide = deviceImage({"Morning", "Evening"});
    const QByteArray otherContent = deviceImage({"Other"});
    const std::vector<RecoveryCase> cases = {
        {"cut before the erase, then the device records a ride", Cut::BeforeErase,
         [&](const Device &device, OrvoEmulatedIdentity &) {
             device->loadMemory(kFlash, withEveningRide);
             return withEveningRide;
         },
         Copy::Gone, nullptr},
        {"cut after the erase", Cut::AfterErase, [&](const Device &, OrvoEmulatedIdentity &) { return m_image; },
         Copy::Gone, "written back"},
        {"cut after the erase, then a device of the same id with other content", Cut::AfterErase,
         [&](const Device &device, OrvoEmulatedIdentity &) {
             device->loadMemory(kFlash, otherContent);
             return otherContent;
         },
         Copy::KeptAside, "kept in"},
        {"a cut copy", Cut::AfterErase,
         [&](const Device &device, OrvoEmulatedIdentity &) {
             QFile file(pendingCopy());
             EXPECT_TRUE(file.resize(file.size() / 2));
             return device->memory(kFlash);
         },
         Copy::KeptAside, "kept in"},
        {"a damaged copy", Cut::AfterErase,
         [&](const Device &device, OrvoEmulatedIdentity &) {
             QByteArray bytes = OrvoTest::readFile(pendingCopy());
             bytes[bytes.size() - 100000] = char(bytes.at(bytes.size() - 100000) ^ 0x10);
             EXPECT_TRUE(OrvoTest::writeFile(pendingCopy(), bytes));
             return device->memory(kFlash);
         },
         Copy::KeptAside, "kept in"},
        {"a copy made under other firmware", Cut::AfterErase,
         [&](const Device &device, OrvoEmulatedIdentity &identity) {
             identity.version = "0301";
             return device->memory(kFlash);
         },
         Copy::KeptAside, "firmware"},
        {"the save wrote its whole image but left its copy", Cut::None,
         [&](const Device &device, OrvoEmulatedIdentity &) {
             const QByteArray written = device->memory(kFlash);
             auto other = makeDevice(m_image);
             EXPECT_FALSE(cutSave(other, m_at.writes.last()));
             EXPECT_TRUE(QFile::exists(pendingCopy())) << "a save cut at its last write leaves its copy";
             return written;
         },
         Copy::Gone, "whole image of the last save"},
    };
    for (const RecoveryCase &c : cases) {
        SCOPED_TRACE(c.name);
        auto device = makeDevice(m_image);
        const int k = c.cut == Cut::BeforeErase  ? m_at.erase
                      : c.cut == Cut::AfterErase ? m_at.writes.at(m_at.writes.size() / 2)
                                                 : 0;
        EXPECT_EQ(cutSave(device, k), c.cut == Cut::None);
        EXPECT_EQ(QFile::exists(pendingCopy()), c.cut == Cut::AfterErase)
            << "the copy is there only while the flash may hold neither image";
        device->unplug();
        OrvoEmulatedIdentity identity = kIdentity;
        const QByteArray expected = c.between(device, identity);
        device->plug(identity);

        OrvoMessageCapture capture;
        auto client = probedClient(device);
        EXPECT_TRUE(client->initial()) << "the device opens";
        EXPECT_EQ(device->memory(kFlash), expected);
        EXPECT_FALSE(QFile::exists(pendingCopy()));
        EXPECT_EQ(keptCopies().size(), c.copy == Copy::KeptAside ? 1 : 0)
            << keptCopies().join(QLatin1Char(' ')).toStdString();
        if (c.copy == Copy::KeptAside) {
            EXPECT_TRUE(client->notice().contains(keptCopies().value(0)) && !keptCopies().isEmpty())
                << "the device's page names the copy kept aside: " << client->notice().toStdString();
        } else {
            EXPECT_TRUE(client->notice().isEmpty()) << client->notice().toStdString();
        }
        const auto logged = [&capture](const QString &text) {
            return capture.contains(QtWarningMsg, text) || capture.contains(QtCriticalMsg, text);
        };
        QStringList texts;
        for (const OrvoMessageCapture::Message &message : capture.messages())
            texts << message.text;
        if (c.logged)
            EXPECT_TRUE(logged(QString::fromLatin1(c.logged))) << texts.join(QLatin1Char('\n')).toStdString();
        else
            EXPECT_FALSE(logged(QStringLiteral("recovery copy")) || logged(QStringLiteral("written back")));
        for (const QString &kept : keptCopies())
            QFile::remove(OrvoEnv::instance()->userFolder() + QLatin1Char('/') + kept);
    }
}

// Ids that differ only in punctuation or case name copies of their own.
TEST_F(OrvoPSFDeviceRecoveryCopyTest, IdsThatDifferInAnyCharacterKeepTheirOwnCopies)
{
    const QStringList ids = {QStringLiteral("AB-12"), QStringLiteral("AB_12"), QStringLiteral("AB 12"),
                             QStringLiteral("ab-12"), QStringLiteral("AB/12")};
    QSet<QString> paths;
    for (const QString &id : ids) {
        const QString path = OrvoPSFRestoreImage(id).path();
        EXPECT_TRUE(path.startsWith(OrvoEnv::instance()->userFolder() + QLatin1Char('/'))) << path.toStdString();
        paths.insert(path);
    }
    EXPECT_EQ(paths.size(), ids.size());
}
