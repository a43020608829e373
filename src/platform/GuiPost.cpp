#include "platform/GuiPost.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace brindle {

void PostToGuiThread(std::function<void()> fn) {
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
}

} // namespace brindle
