#include "ui/main/CopyEdit.h"

#include <QKeyEvent>
#include <QTextBlock>

namespace brindle {

TCopyEdit::TCopyEdit(QWidget* parent) : QPlainTextEdit(parent) {
    setObjectName("CopyEdit");
    setAccessibleName("Copy");
    setAccessibleDescription("Type what you hear; Return for the next item, Ctrl+Return checks");
    setTabChangesFocus(true);
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (OnChanged) OnChanged(toPlainText().toStdString());
    });
}

void TCopyEdit::keyPressEvent(QKeyEvent* event) {
    const bool ctrl = event->modifiers().testFlag(Qt::ControlModifier);
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (ctrl) {
            if (OnCheck) OnCheck();
            return;
        }
        if (OnReturn && OnReturn(textCursor().block().text().isEmpty())) return;
        break;
    case Qt::Key_Escape:
        if (OnEscape) OnEscape();
        return;
    default:
        if (!event->text().isEmpty() && event->text()[0].isPrint() && !ctrl && OnTyped) OnTyped();
        break;
    }
    QPlainTextEdit::keyPressEvent(event);
}

} // namespace brindle
