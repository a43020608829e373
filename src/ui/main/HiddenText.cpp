#include "ui/main/HiddenText.h"

#include <QKeyEvent>

namespace brindle {

THiddenText::THiddenText(QWidget* parent) : QWidget(parent) {
    setObjectName("HiddenText");
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName("Sent text (hidden)");
    setAccessibleDescription("The sent text is hidden; what you type is sent");
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
}

void THiddenText::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Paste)) {
        if (OnPaste) OnPaste();
        return;
    }
    if (OnKeyEvent && OnKeyEvent(event)) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event); // F10 and the like go on to the window
}

bool THiddenText::focusNextPrevChild(bool) {
    return false; // Tab is not typed into a hidden text, but it never leaves it either
}

} // namespace brindle
