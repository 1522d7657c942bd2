#include "OrvoMessageCapture.h"
#include "OrvoTestGate.h"
#include "OrvoTestSupport.h"

#include "device/OrvoDeviceDetector.h"
#include "device/OrvoDeviceDetectorHost.h"
#include "device/OrvoDeviceDetectorListener.h"
#include "device/OrvoPlatform.h"
#include "device/OrvoVirtualDeviceWaits.h"
#include "emulator/OrvoEmulatedPlatform.h"
#include "emulator/OrvoEmulatedPlugControl.h"
#include "emulator/OrvoPlatformSelection.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

namespace {

const OrvoDeviceInfo kKavel40{QStringLiteral("1105"), QStringLiteral("Kavel40"), QStringLiteral("KOSMIR"), {}};
const OrvoDeviceInfo kKavel35{QStringLiteral("1302"), QStringLiteral("Kavel35"), QStringLiteral("VORNIC"), {}};
const QString kKavel40Id = QStringLiteral("1105000000000040");
const QString kKavel35Id = QStringLiteral("1302000000000035");

QByteArray description(const char *product, const QString &deviceId)
{
    return QByteArray(R"({"vendor": "TARVEX", "product": ")") + product + R"(", "version": "0207",
        "revision": "1.00", "deviceId": ")" +
           deviceId.toLatin1() + R"(", "memories": [],
        "areas": [{"code": 3, "access": "deviceId", "transferSize": 2048}]})";
}

// A drive as the manager would list it, known by its folder's name.
class DriveService : public OrvoDeviceService
{
public:
    explicit DriveService(const QString &name)
        : m_name(name)
    {}
    bool readDeviceId(QString &id) override
    {
        id = m_name;
        return true;
    }
    OrvoDeviceInfo *deviceInfo() override { return &m_info; }
    int serviceType() const override { return FileSystemService; }

private:
    QString m_name;
    OrvoDeviceInfo m_info;
};

// The device manager in miniature: it keeps the one device plugged, as the attached client,
// and writes down what detection tells it.
class Attachment : public OrvoDeviceDetectorHost, public OrvoDeviceDetectorListener
{
public:
    AttachedClient attachedClient() override
    {
        if (!m_service)
            return {};
        return {m_service.get(), 0, m_service->serviceType()};
    }
    QString attachedClientUuid() override { return m_id; }
    QVector<OrvoDeviceInfo> deviceTypes() const override { return {kKavel40, kKavel35}; }
    OrvoPlatformInterface::DeviceServices listDeviceServices() override
    {
        OrvoPlatformInterface::DeviceServices services;
        for (const QString &drive : OrvoPlatform().getRemovableDrives(QString()))
            services.push_back(std::make_unique<DriveService>(QFileInfo(drive).fileName()));
        return services;
    }

    void onDevicePlugin(std::unique_ptr<OrvoDeviceService> &service) override
    {
        // The id as a client reads it at its start: a device that left answers none.
        m_id.clear();
        service->readDeviceId(m_id);
        events.append(QStringLiteral("plug ") + m_id);
        m_service = std::move(service);
    }
    void onDeviceUnplug() override
    {
        events.append(QStringLiteral("unplug ") + m_id);
        m_service.reset();
        m_id.clear();
    }
    void onDeviceChanged() override {}

    // The events since the last call.
    QStringList takeEvents() { return std::exchange(events, {}); }

    QStringList events;

private:
    std::unique_ptr<OrvoDeviceService> m_service;
    QString m_id;
};

// A demo folder of two drives and two flash devices.
class OrvoEmulatedPlugControlTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        OrvoDeviceWaits::install(&m_waits);
        auto platform = m_platform;
        OrvoPlatform::setImplementationFactory([platform] { return platform; });
        const QDir folder(m_dir.path());
        ASSERT_TRUE(folder.mkpath(QStringLiteral("KAVEL50")));
        ASSERT_TRUE(folder.mkpath(QStringLiteral("KAVEL21")));
        write(QStringLiteral("KAVEL50.vendor"), "TARVEXKavel50\n");
        write(QStringLiteral("kavel40.scsi"), description("KOSMIR", kKavel40Id));
        write(QStringLiteral("kavel35.scsi"), description("VORNIC", kKavel35Id));
    }
    void TearDown() override
    {
        OrvoPlatform::setImplementationFactory({});
        OrvoDeviceWaits::install(nullptr);
    }

    void write(const QString &name, const QByteArray &bytes)
    {
        ASSERT_TRUE(OrvoTest::writeFile(m_dir.filePath(name), bytes));
    }
    void choose(const QByteArray &entry) { write(QStringLiteral("plugged"), entry + '\n'); }

    // Detection as the manager starts it, fed by the platform from now on.
    void startDetection()
    {
        m_detector = m_platform->createDeviceDetector(m_attachment, {});
        ASSERT_TRUE(m_detector);
        m_detector->addListener(&m_attachment);
        ASSERT_TRUE(m_detector->start());
    }

    OrvoVirtualDeviceWaits m_waits;
    std::shared_ptr<OrvoEmulatedPlatform> m_platform = std::make_shared<OrvoEmulatedPlatform>();
    OrvoTest::OutputDir m_dir;
    Attachment m_attachment;
    std::unique_ptr<OrvoDeviceDetector> m_detector;
};

} // namespace

// Every swap, between drives and flash devices alike and at once on the clock of the real
// world, reaches detection as the unplug of the old device and the plug of the named one.
TEST_F(OrvoEmulatedPlugControlTest, EachSwapUnplugsTheOldDeviceAndPlugsTheNamedOne)
{
    choose("KAVEL50");
    startDetection();
    OrvoEmulatedPlugControl control(*m_platform, m_dir.path(), m_waits);
    ASSERT_TRUE(control.start());
    EXPECT_EQ(control.pluggedEntries(), QStringList{QStringLiteral("KAVEL50")});
    EXPECT_EQ(m_attachment.takeEvents(), QStringList{QStringLiteral("plug KAVEL50")});

    struct Step
    {
        QByteArray entry;
        QStringList events;
        QStringList drives;
        QString scsiId;
    };
    const QString kavel21 = QDir(m_dir.path()).absoluteFilePath(QStringLiteral("KAVEL21"));
    const QString kavel50 = QDir(m_dir.path()).absoluteFilePath(QStringLiteral("KAVEL50"));
    const std::vector<Step> steps = {
        {"kavel40", {"unplug KAVEL50", "plug " + kKavel40Id}, {}, kKavel40Id},
        {"kavel35", {"unplug " + kKavel40Id, "plug " + kKavel35Id}, {}, kKavel35Id},
        {"KAVEL21", {"unplug " + kKavel35Id, "plug KAVEL21"}, {kavel21}, QString()},
        {"KAVEL50", {"unplug KAVEL21", "plug KAVEL50"}, {kavel50}, QString()},
        {"kavel35", {"unplug KAVEL50", "plug " + kKavel35Id}, {}, kKavel35Id},
        {"KAVEL50", {"unplug " + kKavel35Id, "plug KAVEL50"}, {kavel50}, QString()},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.entry.toStdString());
        choose(step.entry);
        control.refresh();
        EXPECT_EQ(m_attachment.takeEvents(), step.events);
        EXPECT_EQ(control.pluggedEntries(), QStringList{QString::fromLatin1(step.entry)});
        EXPECT_EQ(m_platform->getRemovableDrives(QString()), step.drives);
        OrvoPlatformInterface::DeviceServices services = m_platform->findSCSIDevices({kKavel40, kKavel35});
        QString id;
        if (!services.empty())
            services.front()->readDeviceId(id);
        EXPECT_EQ(id, step.scsiId);
    }
    EXPECT_GE(m_waits.sleptMilliseconds(), qint64(steps.size()) * 2 * OrvoEmulatedPlugControl::kHandlingMs)
        << "each swap took a person's time on the virtual clock";

    control.refresh();
    EXPECT_TRUE(m_attachment.takeEvents().isEmpty()) << "the same choice read again changes nothing";
}

TEST_F(OrvoEmulatedPlugControlTest, AChoiceOfNothingKnownLeavesNothingPlugged)
{
    struct Case
    {
        const char *name;
        std::optional<QByteArray> plugged;
        bool warned;
    };
    const std::vector<Case> cases = {
        {"unknown name", QByteArray("kavel99\n"), true},
        {"name of a description file", QByteArray("kavel40.scsi\n"), true},
        {"a path out of the folder", QByteArray("../KAVEL50\n"), true},
        {"a vendor file", QByteArray("KAVEL50.vendor\n"), true},
        {"empty file", QByteArray(), false},
        {"file removed", std::nullopt, false},
    };
    startDetection();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        choose("kavel40");
        OrvoEmulatedPlugControl control(*m_platform, m_dir.path(), m_waits);
        ASSERT_TRUE(control.start());
        ASSERT_EQ(m_attachment.takeEvents(), QStringList{"plug " + kKavel40Id});

        if (c.plugged)
            write(QStringLiteral("plugged"), *c.plugged);
        else
            ASSERT_TRUE(QFile::remove(m_dir.filePath(QStringLiteral("plugged"))));
        OrvoMessageCapture log;
        control.refresh();
        EXPECT_EQ(m_attachment.takeEvents(), QStringList{"unplug " + kKavel40Id});
        EXPECT_TRUE(control.pluggedEntries().isEmpty());
        EXPECT_TRUE(m_platform->getRemovableDrives(QString()).isEmpty());
        EXPECT_TRUE(m_platform->findSCSIDevices({kKavel40, kKavel35}).empty());
        EXPECT_EQ(log.contains(QtWarningMsg, QStringLiteral("nothing plugged")), c.warned);
    }
}

TEST_F(OrvoEmulatedPlugControlTest, WithoutTheFileEveryEntryIsPluggedUntilTheFileChoosesOne)
{
    write(QStringLiteral("broken.scsi"), "{");
    OrvoEmulatedPlugControl control(*m_platform, m_dir.path(), m_waits);
    ASSERT_TRUE(control.start());
    EXPECT_EQ(control.pluggedEntries(), QStringList({"KAVEL21", "KAVEL50", "kavel35", "kavel40"}))
        << "drives, then flash devices, each in name order; a broken description is left out";
    EXPECT_EQ(m_platform->getRemovableDrives(QString()).size(), 2);

    choose("kavel35");
    control.refresh();
    EXPECT_EQ(control.pluggedEntries(), QStringList{QStringLiteral("kavel35")});
    EXPECT_TRUE(m_platform->getRemovableDrives(QString()).isEmpty());
    OrvoPlatformInterface::DeviceServices services = m_platform->findSCSIDevices({kKavel40, kKavel35});
    ASSERT_EQ(services.size(), 1u);
    QString id;
    services.front()->readDeviceId(id);
    EXPECT_EQ(id, kKavel35Id);

    OrvoEmulatedPlatform elsewhere;
    EXPECT_FALSE(OrvoEmulatedPlugControl(elsewhere, m_dir.filePath(QStringLiteral("none")), m_waits).start());
}

// The folder is followed by itself: a file replaced by a rename, as editors and QSaveFile
// write, and a file removed.
TEST_F(OrvoEmulatedPlugControlTest, TheSelectedPlatformFollowsTheFileAsItIsReplacedAndRemoved)
{
    choose("KAVEL50");
    OrvoPlatformSelection selection(QStringLiteral("emulator:") + m_dir.path());
    ASSERT_NE(selection.emulatedPlatform(), nullptr);
    const QString kavel50 = QDir(m_dir.path()).absoluteFilePath(QStringLiteral("KAVEL50"));
    EXPECT_EQ(OrvoPlatform().getRemovableDrives(QString()), QStringList{kavel50});

    for (const QByteArray &entry : {QByteArray("kavel40"), QByteArray("KAVEL21"), QByteArray("kavel35")}) {
        SCOPED_TRACE(entry.toStdString());
        QSaveFile file(m_dir.filePath(QStringLiteral("plugged")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(entry + '\n'), entry.size() + 1);
        ASSERT_TRUE(file.commit());
        const bool drive = entry == "KAVEL21";
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                return OrvoPlatform().getRemovableDrives(QString()).size() == (drive ? 1 : 0) &&
                       OrvoPlatform().findSCSIDevices({kKavel40, kKavel35}).size() == (drive ? 0u : 1u);
            },
            OrvoTest::kPatienceMs));
    }
    ASSERT_TRUE(QFile::remove(m_dir.filePath(QStringLiteral("plugged"))));
    EXPECT_TRUE(QTest::qWaitFor(
        [] {
            return OrvoPlatform().findSCSIDevices({kKavel40, kKavel35}).empty();
        },
        OrvoTest::kPatienceMs));
    EXPECT_TRUE(OrvoPlatform().getRemovableDrives(QString()).isEmpty());
}
