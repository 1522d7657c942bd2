#include "OrvoThreadWarningGuard.h"

#include <gmock/gmock.h>

#include <QTemporaryDir>

#ifdef ORVO_TEST_GUI
#include <QApplication>
using OrvoTestApplication = QApplication;
#else
#include <QCoreApplication>
using OrvoTestApplication = QCoreApplication;
#endif

int main(int argc, char **argv)
{
    // Every test process works in a data folder of its own, so parallel runs never meet.
    QTemporaryDir dataDir;
    if (qEnvironmentVariableIsEmpty("ORVO_DATA_DIR"))
        qputenv("ORVO_DATA_DIR", dataDir.path().toLocal8Bit());

    OrvoThreadWarningGuard::install();
    OrvoTestApplication app(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
