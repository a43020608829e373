#include "platform/GuiPost.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>

namespace brindle {

void PostToGuiThread(std::function<void()> fn) {
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
}

void RunLaterOnGuiThread(int ms, std::function<void()> fn) {
    if (QCoreApplication* app = QCoreApplication::instance())
        QTimer::singleShot(ms < 0 ? 0 : ms, Qt::PreciseTimer, app, std::move(fn));
}

} // namespace brindle
