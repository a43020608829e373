#include "ui/main/CWRichEdit.h"

#include "base/Text1252.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

namespace brindle {

namespace {

QString FromCp1252(const std::string& text) {
    return QString::fromStdString(Cp1252ToUtf8(text));
}

QTextCharFormat Coloured(TRgb colour) {
    QTextCharFormat f;
    f.setForeground(QColor(static_cast<QRgb>(0xFF000000u | colour)));
    return f;
}

} // namespace

TCWRichEdit::TCWRichEdit(QWidget* parent) : QPlainTextEdit(parent), Model_(this) {
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFrameShape(QFrame::NoFrame);
    setUndoRedoEnabled(false);
    QFont font = QFontDatabase::families().contains("Consolas")
                     ? QFont("Consolas")
                     : QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(13);
    setFont(font);
    QPalette p = palette();
    p.setColor(QPalette::Base, Qt::white);
    p.setColor(QPalette::Text, Qt::black);
    setPalette(p);
    Model_.SetFontColor(0x000000);
    Model_.SetColorInText(0xFF0000);
    Model_.SetColorInfoText(0x008000);
}

void TCWRichEdit::AppendText(const std::string& text1252, TRgb colour) {
    QTextCursor c(document());
    c.movePosition(QTextCursor::End);
    c.insertText(FromCp1252(text1252), Coloured(colour));
    ScrollToEnd();
}

void TCWRichEdit::RemoveLast(int docChars) {
    QTextCursor c(document());
    c.movePosition(QTextCursor::End);
    c.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor, docChars);
    c.removeSelectedText();
}

void TCWRichEdit::SetColour(int docStart, int docLength, TRgb colour) {
    QTextCursor c(document());
    c.setPosition(docStart);
    c.setPosition(docStart + docLength, QTextCursor::KeepAnchor);
    c.mergeCharFormat(Coloured(colour));
}

void TCWRichEdit::ClearText() {
    clear();
}

void TCWRichEdit::ReplaceText(const std::string& text1252, TRgb colour) {
    setPlainText(FromCp1252(text1252));
    QTextCursor c(document());
    c.select(QTextCursor::Document);
    c.mergeCharFormat(Coloured(colour));
    ScrollToEnd();
}

void TCWRichEdit::ScrollLineUp() {
    verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
}
void TCWRichEdit::ScrollLineDown() {
    verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
}
void TCWRichEdit::ScrollPageUp() {
    verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepSub);
}
void TCWRichEdit::ScrollPageDown() {
    verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
}
void TCWRichEdit::ScrollToStart() {
    verticalScrollBar()->setValue(verticalScrollBar()->minimum());
}
void TCWRichEdit::ScrollToEnd() {
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void TCWRichEdit::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Paste)) {
        if (OnPaste) OnPaste();
        return;
    }
    if (event->matches(QKeySequence::Copy)) {
        copy();
        return;
    }
    if (OnKeyEvent && !OnKeyEvent(event)) {
        event->ignore(); // F10 and the like go on to the window
        return;
    }
    event->accept();
}

bool TCWRichEdit::canInsertFromMimeData(const QMimeData*) const {
    return true;
}

void TCWRichEdit::insertFromMimeData(const QMimeData*) {
    if (OnPaste) OnPaste();
}

} // namespace brindle
