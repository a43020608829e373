// Brindle: one instance per user, then the main window.
#include "platform/desktop/InstanceLock.h"
#include "ui/main/LogoMain.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
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

    brindle::TInstanceLock lock;
    if (lock.TryAcquire() == brindle::TInstanceLock::TResult::HeldByAnother) {
        QMessageBox::critical(nullptr, brindle::TInstanceLock::Caption,
                              brindle::TInstanceLock::AlreadyRunningText);
        return 0;
    }
    brindle::TLogoAppForm form({});
    form.show();
    return app.exec();
}
