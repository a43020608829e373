// Tells a window when a part of it has settled on new sizes (its texts, its fonts or its style
// changed), for windows that size themselves from a part their own layout does not measure: the
// controls inside a scroll area, a tool bar that would rather hide buttons than grow.
#pragma once

#include <QEvent>
#include <QObject>
#include <QWidget>

#include <functional>
#include <utility>

namespace brindle {

class TLayoutWatch : public QObject {
public:
    // Owned by watched; changed runs after watched's layout has taken its new sizes.
    TLayoutWatch(QWidget& watched, std::function<void()> changed)
        : QObject(&watched), Changed_(std::move(changed)) {
        watched.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::LayoutRequest && Changed_) Changed_();
        return false;
    }

private:
    std::function<void()> Changed_;
};

} // namespace brindle
