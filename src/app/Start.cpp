#include "app/Start.h"

#include "platform/desktop/InstanceLock.h"
#include "ui/main/MainWindow.h"

#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>

#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace brindle {

namespace {

// The signal handler only writes a byte; the event loop reads it and closes the window.
int gSignalPipe[2] = {-1, -1};

void OnTerminate(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = write(gSignalPipe[1], &byte, 1);
}

// Routes SIGTERM and SIGINT into the event loop for as long as it lives.
class TTerminateSignals {
public:
    explicit TTerminateSignals(std::function<void()> onSignal) {
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, gSignalPipe) != 0) return;
        Notifier_ = std::make_unique<QSocketNotifier>(gSignalPipe[0], QSocketNotifier::Read);
        QObject::connect(Notifier_.get(), &QSocketNotifier::activated, [onSignal] {
            char byte = 0;
            [[maybe_unused]] const auto n = read(gSignalPipe[0], &byte, 1);
            onSignal();
        });
        struct sigaction action {};
        action.sa_handler = OnTerminate;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &action, &OldTerm_);
        sigaction(SIGINT, &action, &OldInt_);
    }
    ~TTerminateSignals() {
        if (!Notifier_) return;
        sigaction(SIGTERM, &OldTerm_, nullptr);
        sigaction(SIGINT, &OldInt_, nullptr);
        Notifier_.reset();
        for (int& fd : gSignalPipe) {
            close(fd);
            fd = -1;
        }
    }
    TTerminateSignals(const TTerminateSignals&) = delete;
    TTerminateSignals& operator=(const TTerminateSignals&) = delete;

private:
    std::unique_ptr<QSocketNotifier> Notifier_;
    struct sigaction OldTerm_ {};
    struct sigaction OldInt_ {};
};

// Whether a display server can be reached: an X display named by DISPLAY (a local one by its
// socket), a Wayland compositor's socket named by WAYLAND_DISPLAY (in XDG_RUNTIME_DIR unless it is
// a path), or a platform chosen with QT_QPA_PLATFORM. Qt aborts with a page of warnings when
// none can; this says it in one line first.
bool DisplayReachable() {
    if (std::getenv("QT_QPA_PLATFORM")) return true;
    namespace fs = std::filesystem;
    std::error_code ec;
    if (const char* wayland = std::getenv("WAYLAND_DISPLAY"); wayland && *wayland) {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        const fs::path socket =
            wayland[0] == '/' ? fs::path(wayland) : fs::path(runtime ? runtime : "") / wayland;
        if ((wayland[0] == '/' || runtime) && fs::exists(socket, ec)) return true;
    }
    const char* x = std::getenv("DISPLAY");
    if (!x || !*x) return false;
    const std::string display = x;
    if (display[0] != ':') return true; // a display on another host: only Qt can tell
    const std::string number = display.substr(1, display.find('.') - 1);
    return fs::exists("/tmp/.X11-unix/X" + number, ec);
}

} // namespace

int RunBrindle(int argc, char** argv, const TStartHooks& hooks) {
    // Without a display Qt would print a page of warnings and abort: say it in one line.
    if (!DisplayReachable()) {
        const bool named = std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
        std::fprintf(stderr,
                     "brindle: no display found (%s); run it on a desktop, under xvfb-run, or use "
                     "build/bin/brindle-render to make a WAV file\n",
                     named ? "neither DISPLAY nor WAYLAND_DISPLAY leads to a running display server"
                           : "DISPLAY is not set");
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("Brindle");
    QApplication::setApplicationDisplayName("Brindle");

    TInstanceLock lock;
    if (lock.TryAcquire() == TInstanceLock::TResult::HeldByAnother) {
        if (hooks.AlreadyRunning)
            hooks.AlreadyRunning();
        else
            QMessageBox::critical(nullptr, TInstanceLock::Caption,
                                  TInstanceLock::AlreadyRunningText);
        return 0;
    }
    TMainWindow form({});
    TTerminateSignals onTerminate([&form] { form.CloseWithoutQuestion(); });
    form.show();
    return app.exec();
}

} // namespace brindle
