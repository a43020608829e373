#include "platform/GuiPost.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>

#include <memory>

// QtCore hands a posted function over through its own futex-based mutex, which ThreadSanitizer
// does not see. Under it, the hand-over is announced by hand so that everything the posting
// thread wrote before posting (the function and what it captured) counts as seen by the GUI
// thread that calls it.
#if defined(__SANITIZE_THREAD__)
#define BRINDLE_ANNOTATE_POSTS 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define BRINDLE_ANNOTATE_POSTS 1
#endif
#endif

#ifdef BRINDLE_ANNOTATE_POSTS
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
#endif

namespace brindle {

void PostToGuiThread(std::function<void()> fn) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
#ifdef BRINDLE_ANNOTATE_POSTS
    auto posted = std::make_shared<std::function<void()>>(std::move(fn));
    __tsan_release(posted.get());
    QMetaObject::invokeMethod(
        app,
        [posted] {
            __tsan_acquire(posted.get());
            (*posted)();
        },
        Qt::QueuedConnection);
#else
    QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
#endif
}

void RunLaterOnGuiThread(int ms, std::function<void()> fn) {
    if (QCoreApplication* app = QCoreApplication::instance())
        QTimer::singleShot(ms < 0 ? 0 : ms, Qt::PreciseTimer, app, std::move(fn));
}

} // namespace brindle
