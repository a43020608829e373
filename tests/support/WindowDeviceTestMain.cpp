// GoogleTest main for the window against real devices: the private PulseAudio address is set
// before any sound client starts, then one QApplication on the offscreen platform.
#include "PulseServer.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    brindle::test::TPulseServer::Instance();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
