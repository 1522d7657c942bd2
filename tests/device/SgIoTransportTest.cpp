#include "OrvoMessageCapture.h"
#include "OrvoTestSupport.h"

#include "device/OrvoDeviceInfo.h"
#include "device/OrvoLinuxSCSIService.h"
#include "device/ScsiResult.h"
#include "device/SgIoTransport.h"

#include <QFile>

#include <gtest/gtest.h>

// The machine has no SCSI generic node to talk to; these tests go as far as it allows: the open
// and the SG_IO request itself, against nodes that are not SCSI generic ones.
TEST(SgIoTransport, AMissingNodeDoesNotOpen)
{
    OrvoTest::OutputDir dir;
    OrvoMessageCapture capture;
    EXPECT_EQ(SgIoTransport::openNode(dir.filePath(QStringLiteral("sg9"))), nullptr);
    EXPECT_TRUE(capture.contains(QtWarningMsg, QStringLiteral("Open SCSI device failed")));
}

TEST(SgIoTransport, ANodeThatIsNotScsiGenericFailsEveryCommandCleanly)
{
    if (!QFile::exists(QStringLiteral("/dev/null")))
        GTEST_SKIP() << "no /dev/null";
    std::unique_ptr<SgIoTransport> transport = SgIoTransport::openNode(QStringLiteral("/dev/null"));
    ASSERT_NE(transport, nullptr);
    EXPECT_EQ(transport->targetName(), QStringLiteral("/dev/null"));

    const quint8 cdb[] = {0x12, 0x80, 0x00, 0x00, 0x80, 0x00};
    quint8 answer[128] = {};
    ScsiTransport::Request request;
    request.cdb = cdb;
    request.direction = ScsiTransport::Direction::In;
    request.dataIn = answer;
    const ScsiTransport::Answer result = transport->execute(request);
    EXPECT_NE(result.osError, 0);
    EXPECT_EQ(ScsiResult::check(result, 0).category(), ScsiResult::Category::OsError);

    OrvoMessageCapture capture;
    const QVector<OrvoDeviceInfo> anyDevice = {{QStringLiteral("0000"), QStringLiteral("Any"), QString(), {}}};
    EXPECT_EQ(OrvoLinuxSCSIService::probe(std::move(transport), anyDevice), nullptr)
        << "a failed INQUIRY matches nothing, not even an empty match string";
    EXPECT_TRUE(capture.contains(QtWarningMsg, QStringLiteral("INQUIRY failed")));
}

TEST(SgIoTransport, ARequestThatCannotBeExpressedIsRefused)
{
    std::unique_ptr<SgIoTransport> transport = SgIoTransport::openNode(QStringLiteral("/dev/null"));
    ASSERT_NE(transport, nullptr);
    ScsiTransport::Request request;
    EXPECT_NE(transport->execute(request).osError, 0) << "no command block";
}
