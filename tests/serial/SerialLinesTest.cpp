// The RTS/DTR keyer against a pseudo-terminal made to behave like a serial port by the preloaded
// shim (tests/support/serial_shim.c).
#include "serial/SerialLines.h"
#include "platform/GuiPost.h"
#include "support/EventLoop.h"
#include "support/SerialShim.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

#include <gtest/gtest.h>

#include <QThread>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>

using namespace brindle;
using brindle::test::RunUntil;
using brindle::test::TPty;
using brindle::test::TSerialShim;

namespace {

class Keyer : public ::testing::Test {
protected:
    void SetUp() override {
        if (!Shim.Active()) GTEST_SKIP() << "needs the serial shim (LD_PRELOAD)";
        ASSERT_FALSE(Pty.SlavePath.empty());
        Com.SetPortPath([this](int n) { return n == 5 ? Pty.SlavePath : Other; });
        Com.SetPortNumber(5);
        Com.SetReconnectWait([](int) {});
    }
    // Another keyer on the same port.
    std::unique_ptr<TSerialLines> OnThePty(TMessageSink sink) {
        auto com = std::make_unique<TSerialLines>(std::move(sink), PostToGuiThread);
        com->SetPortPath([this](int) { return Pty.SlavePath; });
        com->SetPortNumber(5);
        return com;
    }
    TMessageSink Sink() {
        return [this](const TMessage& m) { Messages.push_back(m.Text); };
    }
    TSerialShim Shim;
    TPty Pty;
    std::string Other = "/nonexistent/ttyUSB9";
    std::vector<std::string> Messages;
    TSerialLines Com{Sink(), PostToGuiThread};
};

} // namespace

TEST_F(Keyer, ConnectLeavesBothLinesOffAndKeysRtsAndDtr) {
    EXPECT_FALSE(Com.SetRTS(true)); // not connected: nothing happens
    ASSERT_TRUE(Com.Connect()) << (Messages.empty() ? "" : Messages[0]);
    EXPECT_TRUE(Com.Connected());
    const auto lines = [this] { return Shim.Lines(Pty.SlavePath) & (TIOCM_RTS | TIOCM_DTR); };
    EXPECT_EQ(lines(), 0);
    // The shim raised both lines on open, as a serial driver does; they were dropped at once.
    const auto log = Shim.Log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_TRUE(log[0].Rts && log[0].Dtr);
    EXPECT_FALSE(log[1].Rts || log[1].Dtr);
    EXPECT_TRUE(Com.Connect()); // already connected

    EXPECT_TRUE(Com.SetDTR(true));
    EXPECT_TRUE(Com.SetRTS(true));
    EXPECT_EQ(lines(), TIOCM_RTS | TIOCM_DTR);
    EXPECT_TRUE(Com.SetRTS(false));
    EXPECT_EQ(lines(), TIOCM_DTR);
    Com.Disconnect(); // never leaves the transmitter keyed
    EXPECT_EQ(lines(), 0);
    EXPECT_FALSE(Com.IsOpen());
    EXPECT_FALSE(Com.SetDTR(true));
    EXPECT_TRUE(Messages.empty());
}

TEST_F(Keyer, CtsChangeReachesOnCtsOnTheGuiThread) {
    Com.SetMonitorEvents({TCommEventType::evCts, TCommEventType::evDsr});
    ASSERT_TRUE(Com.Connect());
    std::vector<std::pair<std::string, bool>> seen;
    bool onGuiThread = true;
    Com.OnCts = [&](TSerialLines&, bool on) {
        onGuiThread =
            onGuiThread && QThread::currentThread() == QCoreApplication::instance()->thread();
        seen.emplace_back("cts", on);
    };
    Com.OnDsr = [&](TSerialLines&, bool on) { seen.emplace_back("dsr", on); };
    std::this_thread::sleep_for(std::chrono::milliseconds(20)); // let the watcher start waiting
    Shim.SetInputs(Pty.SlavePath, TIOCM_CTS);
    ASSERT_TRUE(RunUntil([&] { return seen.size() >= 1; }, 5000));
    Shim.SetInputs(Pty.SlavePath, TIOCM_CTS | TIOCM_DSR);
    ASSERT_TRUE(RunUntil([&] { return seen.size() >= 2; }, 5000));
    Shim.SetInputs(Pty.SlavePath, 0);
    ASSERT_TRUE(RunUntil([&] { return seen.size() >= 4; }, 5000));
    const std::vector<std::pair<std::string, bool>> expected = {
        {"cts", true}, {"dsr", true}, {"cts", false}, {"dsr", false}};
    EXPECT_EQ(seen, expected);
    EXPECT_TRUE(onGuiThread);
    EXPECT_EQ(Com.ModemStatus(), 0u);
}

TEST_F(Keyer, WatcherStopsPromptlyFromABlockedWait) {
    Com.SetMonitorEvents({TCommEventType::evCts});
    ASSERT_TRUE(Com.Connect());
    std::this_thread::sleep_for(std::chrono::milliseconds(20)); // blocked in its wait now
    Com.Disconnect(); // returns only when the watcher has ended
    EXPECT_FALSE(Com.Connected());
    // An empty set idles without a wait on the port, and stops as well.
    Com.SetMonitorEvents({});
    ASSERT_TRUE(Com.Connect());
    Com.Disconnect();
    EXPECT_FALSE(Com.IsOpen());
}

TEST_F(Keyer, ChangingThePortReconnects) {
    ASSERT_TRUE(Com.Connect());
    Com.SetPortNumber(5); // unchanged: stays connected
    EXPECT_TRUE(Com.Connected());
    Com.SetPortNumber(300);
    EXPECT_EQ(Com.PortNumber(), 256);
    EXPECT_FALSE(Com.Connected());
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(
        Messages[0],
        "Error: cannot open ComPort COM256 (/nonexistent/ttyUSB9: No such file or directory)");
    Com.SetPortNumber(0);
    EXPECT_FALSE(Com.Connect()); // port 0: nothing opened, no message
    EXPECT_EQ(Messages.size(), 1u);
}

TEST_F(Keyer, RegularFileIsRejected) {
    const std::string file =
        (std::filesystem::temp_directory_path() / "brindle-not-a-port").string();
    std::ofstream(file) << "x";
    Other = file;
    Com.SetPortNumber(7);
    EXPECT_FALSE(Com.Connect());
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0], "Wrong file type COM7");
    EXPECT_FALSE(Com.IsOpen());
    std::filesystem::remove(file);
}

TEST_F(Keyer, PortInUseIsRefused) {
    ASSERT_TRUE(Com.Connect());
    EXPECT_FALSE(OnThePty(Sink())->Connect());
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].rfind("Error: cannot open ComPort COM5 (" + Pty.SlavePath + ": ", 0), 0u)
        << Messages[0];
}

TEST_F(Keyer, VanishedPortGivesAMessageAndDisconnects) {
    ASSERT_TRUE(Com.Connect());
    int lost = 0;
    Com.OnPortLost = [&](TSerialLines&) { ++lost; };
    Shim.Fail(Pty.SlavePath, EIO);
    EXPECT_FALSE(Com.SetRTS(true));
    EXPECT_FALSE(Com.Connected());
    EXPECT_EQ(lost, 1);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0], "Error: ComPort COM5 is no longer available (" + Pty.SlavePath +
                               ": Input/output error)");
    EXPECT_FALSE(Com.SetRTS(true)); // no second message
    EXPECT_EQ(Messages.size(), 1u);
    Shim.Fail(Pty.SlavePath, 0);
}

TEST_F(Keyer, FailedConnectReleasesThePort) {
    Shim.FailSettings(Pty.SlavePath, EINVAL);
    try {
        Com.Connect();
        ADD_FAILURE() << "applying the line settings failed, yet Connect did not throw";
    } catch (const ECommError& e) {
        EXPECT_STREQ(e.what(), "Error updating DataControlBlock (Error: 22) ");
        EXPECT_EQ(e.ErrorCode(), EINVAL);
    }
    EXPECT_FALSE(Com.Connected());
    EXPECT_FALSE(Com.IsOpen()); // descriptor closed: no exclusive flag, no lock left behind
    EXPECT_EQ(Shim.Lines(Pty.SlavePath) & (TIOCM_RTS | TIOCM_DTR), 0);
    // Another keyer can take the port at once, so nothing still holds it.
    Shim.FailSettings(Pty.SlavePath, 0);
    EXPECT_TRUE(OnThePty(Sink())->Connect()) << (Messages.empty() ? "" : Messages.back());
    EXPECT_TRUE(Com.Connect()) << (Messages.empty() ? "" : Messages.back());
    EXPECT_TRUE(Messages.empty());
}

TEST_F(Keyer, PortLossWithLineChangesQueued) {
    Com.SetMonitorEvents({TCommEventType::evCts});
    ASSERT_TRUE(Com.Connect());
    std::vector<std::string> seen;
    Com.OnCts = [&](TSerialLines&, bool) { seen.push_back("cts"); };
    Com.OnPortLost = [&](TSerialLines& c) {
        seen.push_back("lost");
        EXPECT_FALSE(c.Connected());
    };
    // Changes and the failure pile up while the GUI thread is busy elsewhere.
    for (int bits : {TIOCM_CTS, 0, TIOCM_CTS}) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        Shim.SetInputs(Pty.SlavePath, bits);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    Shim.Fail(Pty.SlavePath, EIO);
    ASSERT_TRUE(RunUntil([&] { return !Com.Connected(); }, 5000));
    RunUntil([] { return false; }, 50); // whatever else was queued
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), "lost");
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "lost"), 1);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_NE(Messages[0].find("is no longer available"), std::string::npos);
    Shim.Fail(Pty.SlavePath, 0);
    EXPECT_TRUE(Com.Connect()); // the port can be taken again
}

TEST_F(Keyer, QueuedLineChangesOutliveTheKeyer) {
    auto com = OnThePty({});
    com->SetMonitorEvents({TCommEventType::evCts});
    Com.Disconnect();
    ASSERT_TRUE(com->Connect());
    int calls = 0;
    com->OnCts = [&](TSerialLines&, bool) { ++calls; };
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    Shim.SetInputs(Pty.SlavePath, TIOCM_CTS);
    std::this_thread::sleep_for(std::chrono::milliseconds(50)); // posted, not yet run
    com.reset();
    RunUntil([] { return false; }, 50);
    EXPECT_EQ(calls, 0);
}

TEST(KeyerSetUp, PostFunctionIsRequired) {
    EXPECT_THROW(TSerialLines([](const TMessage&) {}, {}), std::invalid_argument);
}

// A port the user may not open: the message says how to get the right (the dialout group).
TEST(KeyerPermissions, APortWithoutPermissionNamesTheDialoutGroup) {
    test::TTempDir dir;
    const std::string port = dir.File("ttyUSB7");
    std::ofstream(port) << "";
    ASSERT_EQ(chmod(port.c_str(), 0600), 0); // root's own as root; below chmod 000 otherwise
    if (geteuid() != 0) {
        ASSERT_EQ(chmod(port.c_str(), 0), 0);
    }
    const int result = test::RunUnprivileged({dir.Path.string()}, [&] {
        std::vector<std::string> seen;
        TSerialLines com([&](const TMessage& m) { seen.push_back(m.Text); }, PostToGuiThread);
        com.SetPortPath([&](int) { return port; });
        com.SetPortNumber(7);
        if (com.Connect()) return 1;
        if (seen.size() != 1) return 2;
        return seen[0].find("add your user to the dialout group") != std::string::npos ? 0 : 3;
    });
    EXPECT_EQ(result, 0) << "1: opened, 2: no single message, 3: dialout not named";
}
