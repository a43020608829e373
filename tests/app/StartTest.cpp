// Two copies of the real program for one user: the first is build/bin/brindle, the second is this
// test program running the same start with the stop box replaced by a line on its output. The
// second touches no file and exits; the first keeps running and closes in order on SIGTERM.
#include "app/Start.h"
#include "platform/desktop/InstanceLock.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QScopeGuard>
#include <QThread>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <signal.h>
#include <sys/file.h>
#include <tuple>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* kSecond = "--second-instance";
constexpr int kLimitMs = 30000; // guards against a hang only

// Every file under root with its size and time of last change.
std::map<std::string, std::pair<std::uintmax_t, fs::file_time_type>> Files(const fs::path& root) {
    std::map<std::string, std::pair<std::uintmax_t, fs::file_time_type>> files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file()) files[e.path().string()] = {e.file_size(), e.last_write_time()};
    return files;
}

class TwoInstances : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(Runtime);
        fs::permissions(Runtime, fs::perms::owner_all);
        Env = QProcessEnvironment::systemEnvironment();
        Env.insert("QT_QPA_PLATFORM", "offscreen");
        Env.insert("HOME", QString::fromStdString(Home.Path.string()));
        Env.insert("XDG_CONFIG_HOME", QString::fromStdString((Home.Path / "config").string()));
        Env.insert("XDG_RUNTIME_DIR", QString::fromStdString(Runtime.string()));
        Env.insert("PULSE_SERVER", "unix:/nonexistent/brindle-test-pulse"); // no sound here
        Env.insert("ASAN_OPTIONS", "detect_leaks=0"); // Qt's caches at exit are not ours
        First.setProcessEnvironment(Env);
        First.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    }
    void TearDown() override {
        if (First.state() != QProcess::NotRunning) {
            First.kill();
            First.waitForFinished(kLimitMs);
        }
    }
    // The number in the lock file's first line once it names the first instance, or what it
    // named when the time ran out. Refused, the instance would sit in its stop box with the
    // lock file as it found it.
    std::string WaitForOwnerFirst() {
        const std::string mine = std::to_string(First.processId());
        std::string owner;
        for (int i = 0; i < kLimitMs / 20 && owner != mine; ++i) {
            QThread::msleep(20);
            std::ifstream lock(Runtime / brindle::TInstanceLock::FileName);
            std::getline(lock, owner);
        }
        return owner;
    }
    // A second start, which must find the lock held, say so and exit touching no file.
    // Compared with the files as they are once none has changed for 200 ms: the first instance
    // opens its history after its window is up.
    void ExpectSecondRefused() {
        auto before = Files(Home.Path);
        for (int i = 0; i < kLimitMs / 200; ++i) {
            QThread::msleep(200);
            auto now = Files(Home.Path);
            if (now == before) break;
            before = std::move(now);
        }
        QProcess second;
        second.setProcessEnvironment(Env);
        second.start(QCoreApplication::applicationFilePath(), {kSecond});
        ASSERT_TRUE(second.waitForFinished(kLimitMs)) << "the second instance did not exit";
        EXPECT_EQ(std::make_tuple(second.exitStatus(), second.exitCode(),
                                  second.readAllStandardOutput().toStdString()),
                  std::make_tuple(QProcess::NormalExit, 0,
                                  "Brindle: Another instance of Brindle is already running.\n"));
        EXPECT_EQ(Files(Home.Path), before) << "the second instance touched a file";
    }

    brindle::test::TTempDir Home;
    fs::path Runtime = Home.Path / "run";
    QProcessEnvironment Env;
    QProcess First;
};

} // namespace

// Killed between making its lock file and writing its number into it, a start leaves an empty
// file behind: it does not block the next start. An empty lock file whose maker is alive (it
// holds the file's flock and has yet to write its number) is not taken from it. The first
// instance then refuses the second and runs on until SIGTERM closes it in order.
TEST_F(TwoInstances, AnEmptyLockFileBlocksOnlyWhileHeldAndTheFirstRefusesTheSecond) {
    const fs::path path = Runtime / brindle::TInstanceLock::FileName;
    {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
        ASSERT_GE(fd, 0);
        const auto closeFd = qScopeGuard([fd] { ::close(fd); });
        ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
        ExpectSecondRefused();
        EXPECT_EQ(fs::file_size(path), 0u);
    }
    ASSERT_EQ(fs::file_size(path), 0u);
    First.start(BRINDLE_PROGRAM, {});
    ASSERT_TRUE(First.waitForStarted(kLimitMs));
    ASSERT_EQ(WaitForOwnerFirst(), std::to_string(First.processId()))
        << "the empty lock file blocked the start";
    ExpectSecondRefused();

    EXPECT_EQ(First.state(), QProcess::Running) << "the first instance was disturbed";
    ::kill(static_cast<pid_t>(First.processId()), SIGTERM);
    ASSERT_TRUE(First.waitForFinished(kLimitMs));
    EXPECT_EQ(std::make_tuple(First.exitStatus(), First.exitCode()),
              std::make_tuple(QProcess::NormalExit, 0));
    EXPECT_TRUE(fs::exists(Home.Path / "config" / "Brindle" / "Brindle.ini"))
        << "the first instance did not save its settings when told to end";
}

// Where no display server can be reached, whatever the session type names, the program says so
// in its own line and exits, before Qt could abort with its own.
TEST_F(TwoInstances, NoReachableDisplayIsSaidInOneLineForX11AndWayland) {
    struct TCase {
        const char* Variable;
        const char* Value;
    };
    for (const TCase c : {TCase{"WAYLAND_DISPLAY", "wayland-brindle-none"},
                          TCase{"WAYLAND_DISPLAY", "/nonexistent/wayland-0"},
                          TCase{"DISPLAY", ":987"}, TCase{nullptr, nullptr}}) {
        SCOPED_TRACE(c.Value ? c.Value : "nothing set");
        QProcessEnvironment env = Env;
        for (const char* v : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(v);
        if (c.Variable) env.insert(c.Variable, c.Value);
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(BRINDLE_PROGRAM, {});
        ASSERT_TRUE(p.waitForFinished(kLimitMs));
        const QString err = QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
        EXPECT_EQ(std::make_tuple(p.exitStatus(), p.exitCode()),
                  std::make_tuple(QProcess::NormalExit, 1));
        EXPECT_TRUE(err.startsWith("brindle: no display found")) << err.toStdString();
        EXPECT_EQ(err.count('\n'), 0) << err.toStdString();
    }
}

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], kSecond) == 0) {
        brindle::TStartHooks hooks;
        hooks.AlreadyRunning = [] {
            std::printf("%s: %s\n", brindle::TInstanceLock::Caption,
                        brindle::TInstanceLock::AlreadyRunningText);
        };
        return brindle::RunBrindle(1, argv, hooks);
    }
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
