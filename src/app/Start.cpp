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

} // namespace

int RunBrindle(int argc, char** argv, const TStartHooks& hooks) {
    // Without a display Qt would print a page of warnings and abort: say it in one line.
    const bool display =
        std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") || std::getenv("QT_QPA_PLATFORM");
    if (!display) {
        std::fprintf(stderr,
                     "brindle: no display found (DISPLAY is not set); run it on a desktop, under "
                     "xvfb-run, or use build/bin/brindle-render to make a WAV file\n");
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
