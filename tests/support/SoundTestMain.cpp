// GoogleTest main for the sound tests: the private PulseAudio address is set before Qt's audio
// back end starts, then one application object for the process.
#include "PulseServer.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    brindle::test::TPulseServer::Instance();
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
