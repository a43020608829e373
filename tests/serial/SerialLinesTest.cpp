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
#include <cerrno>
#include <chrono>
#include <fstream>
#include <memory>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>

using namespace brindle;
using brindle::test::RunFor;
using brindle::test::RunUntil;
using brindle::test::TPty;
using brindle::test::TSerialShim;

namespace {

class Keyer : public ::testing::Test {
protected:
    void SetUp() override {
        if (!Shim.Active()) GTEST_SKIP() << "needs the serial shim (LD_PRELOAD)";
        ASSERT_FALSE(Pty.SlavePath.empty());
        Shim.SetInputs(Pty.SlavePath, 0); // a new pty may have the path of an earlier one
        Shim.ClearLog();
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

// A connect whose line settings fail throws and gives the port back at once (lines off, no
// exclusive flag or lock left); a good one leaves both lines off (the shim raises them on open, as
// a serial driver does) and keys RTS and DTR; a disconnect never leaves the transmitter keyed.
TEST_F(Keyer, ConnectLeavesBothLinesOffAndKeysRtsAndDtrAndAFailedOneReleasesThePort) {
    EXPECT_THROW(TSerialLines([](const TMessage&) {}, {}), std::invalid_argument); // needs a post
    EXPECT_FALSE(Com.SetRTS(true)); // not connected: nothing happens
    Shim.FailSettings(Pty.SlavePath, EINVAL);
    try {
        Com.Connect();
        ADD_FAILURE() << "applying the line settings failed, yet Connect did not throw";
    } catch (const ECommError& e) {
        EXPECT_STREQ(e.what(), "Error updating DataControlBlock (Error: 22) ");
        EXPECT_EQ(e.ErrorCode(), EINVAL);
    }
    EXPECT_FALSE(Com.Connected());
    EXPECT_FALSE(Com.IsOpen());
    const auto lines = [this] { return Shim.Lines(Pty.SlavePath) & (TIOCM_RTS | TIOCM_DTR); };
    std::vector<int> states{lines()};
    Shim.FailSettings(Pty.SlavePath, 0);
    EXPECT_TRUE(OnThePty(Sink())->Connect()) << (Messages.empty() ? "" : Messages.back());
    Shim.ClearLog();
    ASSERT_TRUE(Com.Connect()) << (Messages.empty() ? "" : Messages.back());
    EXPECT_TRUE(Com.Connected());
    EXPECT_TRUE(Com.Connect()); // already connected
    const auto log = Shim.Log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_TRUE(log[0].Rts && log[0].Dtr);  // raised on open
    EXPECT_FALSE(log[1].Rts || log[1].Dtr); // and dropped at once
    states.push_back(lines());
    EXPECT_TRUE(Com.SetDTR(true));
    EXPECT_TRUE(Com.SetRTS(true));
    states.push_back(lines());
    EXPECT_TRUE(Com.SetRTS(false));
    states.push_back(lines());
    Com.Disconnect();
    states.push_back(lines());
    EXPECT_EQ(states, (std::vector<int>{0, 0, TIOCM_RTS | TIOCM_DTR, TIOCM_DTR, 0}));
    EXPECT_FALSE(Com.IsOpen());
    EXPECT_FALSE(Com.SetDTR(true));
    EXPECT_TRUE(Messages.empty());
}

TEST_F(Keyer, LineChangesReachTheGuiThreadAndTheWatcherStopsFromABlockedWait) {
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
    std::this_thread::sleep_for(std::chrono::milliseconds(20)); // blocked in its wait again
    Com.Disconnect(); // returns only when the watcher has ended
    EXPECT_FALSE(Com.Connected());
    // An empty set idles without a wait on the port, and stops as well.
    Com.SetMonitorEvents({});
    ASSERT_TRUE(Com.Connect());
    Com.Disconnect();
    EXPECT_FALSE(Com.IsOpen());
}

// A connected keyer moved to another port reconnects there; each port that cannot be had gives one
// message and leaves the keyer closed.
TEST_F(Keyer, PortsThatCannotBeHadGiveOneMessageEach) {
    test::TTempDir dir;
    const std::string file = dir.File("ttyS6");
    std::ofstream(file) << "x";
    Com.SetPortPath([&](int n) {
        return n == 5 ? Pty.SlavePath : n == 7 ? file : n == 9 ? std::string() : Other;
    });
    ASSERT_TRUE(Com.Connect());
    Shim.ClearLog();
    Com.SetPortNumber(5); // unchanged: stays connected, not even reopened
    EXPECT_TRUE(Com.Connected() && Shim.Log().empty());
    Com.SetPortNumber(300);
    EXPECT_EQ(Com.PortNumber(), 256);
    EXPECT_FALSE(Com.Connected());
    Com.SetPortNumber(0);
    EXPECT_FALSE(Com.Connect()); // port 0: nothing opened, no message
    for (const int port : {7, 9}) {
        Com.SetPortNumber(port);
        EXPECT_FALSE(Com.Connect());
    }
    auto holder = OnThePty({});
    ASSERT_TRUE(holder->Connect());
    Com.SetPortNumber(5);
    EXPECT_FALSE(Com.Connect());
    EXPECT_FALSE(Com.IsOpen());
    const std::vector<std::string> expected = {
        "Error: cannot open ComPort COM256 (/nonexistent/ttyUSB9: No such file or directory)",
        "Wrong file type COM7",
        "Error: cannot open ComPort COM9 (no serial device has this number)",
        "Error: cannot open ComPort COM5 (" + Pty.SlavePath + ": Device or resource busy)"};
    EXPECT_EQ(Messages, expected);
}

// The port vanishes: found by the watcher with line changes still queued for the GUI thread, and,
// connected again, by keying. Each time one message and one OnPortLost, after every queued change,
// with the keyer disconnected.
TEST_F(Keyer, VanishedPortGivesOneMessageAndDisconnectsAndQueuedChangesOutliveTheKeyer) {
    Com.SetMonitorEvents({TCommEventType::evCts});
    ASSERT_TRUE(Com.Connect());
    std::vector<std::string> seen;
    Com.OnCts = [&](TSerialLines&, bool) { seen.push_back("cts"); };
    Com.OnPortLost = [&](TSerialLines& c) { seen.push_back(c.Connected() ? "connected" : "lost"); };
    // Changes and the failure pile up while the GUI thread is busy elsewhere.
    for (int bits : {TIOCM_CTS, 0, TIOCM_CTS}) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        Shim.SetInputs(Pty.SlavePath, bits);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    Shim.Fail(Pty.SlavePath, EIO);
    ASSERT_TRUE(RunUntil([&] { return !Com.Connected(); }, 5000));
    RunFor(50); // whatever else was queued
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), "lost");
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "lost"), 1);
    Shim.Fail(Pty.SlavePath, 0);
    Com.SetMonitorEvents({});
    ASSERT_TRUE(Com.Connect()); // the port can be taken again
    seen.clear();
    Shim.Fail(Pty.SlavePath, EIO);
    EXPECT_FALSE(Com.SetRTS(true));
    EXPECT_FALSE(Com.Connected());
    EXPECT_FALSE(Com.SetRTS(true)); // no second message
    Shim.Fail(Pty.SlavePath, 0);
    EXPECT_EQ(seen, std::vector<std::string>{"lost"});
    const std::string lost =
        "Error: ComPort COM5 is no longer available (" + Pty.SlavePath + ": Input/output error)";
    EXPECT_EQ(Messages, (std::vector<std::string>{lost, lost}));

    // Line changes queued for the GUI thread when their keyer goes are dropped.
    Shim.SetInputs(Pty.SlavePath, 0);
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
    RunFor(50);
    EXPECT_EQ(calls, 0);
}

// A port the user may not open: the message says how to get the right (the dialout group).
TEST(KeyerPermissions, APortWithoutPermissionNamesTheDialoutGroup) {
    test::TTempDir dir;
    const std::string port = dir.File("ttyUSB7");
    std::ofstream(port) << "";
    // As root the port is root's own (600) when handed below; otherwise chmod 000.
    ASSERT_EQ(chmod(port.c_str(), geteuid() == 0 ? 0600 : 0), 0);
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
