#include "ui/main/CopyEdit.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QSignalBlocker>
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
        const QString text = toPlainText();
        if (!OnChanged || OnChanged(text.toStdString())) {
            Accepted_ = text;
            return;
        }
        // Refused (a paste beyond what the practice can use): what was there before comes back.
        const QSignalBlocker quiet(this);
        setPlainText(Accepted_);
        moveCursor(QTextCursor::End);
    });
}

void TCopyEdit::insertFromMimeData(const QMimeData* source) {
    if (!source || !source->hasText() || !OnChanged || isReadOnly()) {
        QPlainTextEdit::insertFromMimeData(source);
        return;
    }
    const QTextCursor cursor = textCursor();
    const QString text = toPlainText();
    const QString after =
        text.left(cursor.selectionStart()) + source->text() + text.mid(cursor.selectionEnd());
    if (!OnChanged(after.toStdString())) return; // refused, and said so
    QPlainTextEdit::insertFromMimeData(source);
}

void TCopyEdit::keyPressEvent(QKeyEvent* event) {
    const bool ctrl = event->modifiers().testFlag(Qt::ControlModifier);
    // The copy of a practice checked: keys that type (and Return) stay here and do nothing, so
    // that a learner who types on never sends them; the others go on as usual.
    const bool types = !event->text().isEmpty() && event->text()[0].isPrint() && !ctrl;
    if (isReadOnly() && event->key() != Qt::Key_Escape &&
        (types || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        event->accept();
        return;
    }
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
        if (types && OnTyped) OnTyped();
        break;
    }
    QPlainTextEdit::keyPressEvent(event);
}

} // namespace brindle
