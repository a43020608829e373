#include "ui/main/CWRichEdit.h"

#include "base/Text1252.h"

#include <algorithm>
#include <memory>

#include <QFontDatabase>
#include <QKeyEvent>
#include <QMimeData>
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
    Flusher_.setSingleShot(true);
    Flusher_.setInterval(0);
    connect(&Flusher_, &QTimer::timeout, this, &TCWRichEdit::Flush);
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
    Gather({TEdit::TKind::Append, FromCp1252(text1252), 0, 0, colour});
}

void TCWRichEdit::RemoveLast(int docChars) {
    Gather({TEdit::TKind::Remove, {}, 0, docChars, 0});
}

void TCWRichEdit::SetColour(int docStart, int docLength, TRgb colour) {
    Gather({TEdit::TKind::Colour, {}, docStart, docLength, colour});
}

void TCWRichEdit::ClearText() {
    Gather({TEdit::TKind::Clear, {}, 0, 0, 0});
}

void TCWRichEdit::ReplaceText(const std::string& text1252, TRgb colour) {
    Gather({TEdit::TKind::Replace, FromCp1252(text1252), 0, 0, colour});
}

// Joins an edit to the one before where they make one: text appended in the same colour,
// adjacent ranges coloured alike, characters removed that were only just appended.
void TCWRichEdit::Gather(TEdit edit) {
    using K = TEdit::TKind;
    if (edit.Kind == K::Clear || edit.Kind == K::Replace) Pending_.clear(); // all before is gone
    if (!Pending_.empty()) {
        TEdit& last = Pending_.back();
        if (edit.Kind == K::Append && last.Kind == K::Append && last.Colour == edit.Colour) {
            last.Text += edit.Text;
            return;
        }
        if (edit.Kind == K::Colour && last.Kind == K::Colour && last.Colour == edit.Colour &&
            last.Start + last.Length == edit.Start) {
            last.Length += edit.Length;
            return;
        }
        if (edit.Kind == K::Remove && last.Kind == K::Append) {
            const int cut = std::min<int>(edit.Length, static_cast<int>(last.Text.size()));
            last.Text.chop(cut);
            edit.Length -= cut;
            if (last.Text.isEmpty()) Pending_.pop_back();
            if (edit.Length == 0) return;
            Gather(edit);
            return;
        }
    }
    Pending_.push_back(std::move(edit));
    if (!Flusher_.isActive()) Flusher_.start();
}

void TCWRichEdit::Flush() {
    Flusher_.stop();
    if (Pending_.empty()) return;
    std::vector<TEdit> edits;
    edits.swap(Pending_);
    using K = TEdit::TKind;
    bool appended = false;
    // Where the sent mark was drawn last: the model is already ahead of the widget.
    const bool markWasShown = Shown(DrawnMark_);
    QTextCursor c(document());
    c.beginEditBlock(); // one layout for all of them
    for (const TEdit& e : edits) {
        switch (e.Kind) {
        case K::Append:
            c.movePosition(QTextCursor::End);
            Insert(c, e.Text, e.Colour);
            appended = true;
            break;
        case K::Remove: {
            // Soft breaks before removed characters go with them.
            const int newEnd = ModelEnd_ - e.Length;
            const auto from = std::lower_bound(SoftBreaks_.begin(), SoftBreaks_.end(), newEnd);
            const int breaks = static_cast<int>(SoftBreaks_.end() - from);
            SoftBreaks_.erase(from, SoftBreaks_.end());
            c.movePosition(QTextCursor::End);
            c.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor,
                           e.Length + breaks);
            c.removeSelectedText();
            ModelEnd_ = newEnd;
            ParagraphLength_ = document()->lastBlock().length() - 1;
            break;
        }
        case K::Colour:
            c.setPosition(ToWidget(e.Start, false));
            c.setPosition(ToWidget(e.Start + e.Length, true), QTextCursor::KeepAnchor);
            c.mergeCharFormat(Coloured(e.Colour));
            c.clearSelection();
            break;
        case K::Clear:
        case K::Replace:
            c.select(QTextCursor::Document);
            c.removeSelectedText();
            c.setCharFormat(QTextCharFormat());
            SoftBreaks_.clear();
            ModelEnd_ = ParagraphLength_ = 0;
            if (e.Kind == K::Replace) {
                Insert(c, e.Text, e.Colour);
                appended = true;
            }
            break;
        }
    }
    c.endEditBlock();
    ShowSentPart(appended, markWasShown);
}

QTextCursor TCWRichEdit::CursorAt(int widgetPos) const {
    QTextCursor at(document());
    at.setPosition(std::clamp(widgetPos, 0, document()->characterCount() - 1));
    return at;
}

bool TCWRichEdit::Shown(int widgetPos) const {
    const QRect r = cursorRect(CursorAt(widgetPos));
    return r.bottom() >= 0 && r.top() <= viewport()->height();
}

// New text shows the end, unless the part still to be sent would leave the view (a long text
// loaded at once): that part stays in view, and the view follows it down as it is sent. A view
// the user has scrolled away from the part being sent is left where it is.
void TCWRichEdit::ShowSentPart(bool appended, bool markWasShown) {
    DrawnMark_ = ToWidget(Model_.DocPos(Model_.SentMark()), false);
    if (textCursor().hasSelection()) {
        if (appended) ScrollToEnd();
        return;
    }
    if (appended) {
        ScrollToEnd();
        markWasShown = true;
    }
    if (!markWasShown || Shown(DrawnMark_)) return;
    setTextCursor(CursorAt(DrawnMark_));
    ensureCursorVisible();
}

// Inserts text at the cursor, breaking a paragraph that grows past kSoftBreakAfter characters
// after its next space (past kHardBreakAfter anywhere): the layout of a paragraph costs its whole
// length at every edit, so paragraphs are kept short. The block after a soft break is marked, and
// copying leaves the break out.
void TCWRichEdit::Insert(QTextCursor& c, const QString& text, TRgb colour) {
    const QTextCharFormat format = Coloured(colour);
    qsizetype from = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text[i];
        if (ch == '\n') {
            ParagraphLength_ = 0;
            continue;
        }
        ++ParagraphLength_;
        if ((ParagraphLength_ >= kSoftBreakAfter && ch == ' ') ||
            ParagraphLength_ >= kHardBreakAfter) {
            c.insertText(text.mid(from, i + 1 - from), format);
            from = i + 1;
            SoftBreaks_.push_back(ModelEnd_ + static_cast<int>(from));
            c.insertBlock(QTextBlockFormat(), format);
            c.block().setUserState(kSoftBlock);
            ParagraphLength_ = 0;
        }
    }
    c.insertText(text.mid(from), format);
    ModelEnd_ += static_cast<int>(text.size());
}

// A position of the model's document in the widget's, which also holds the soft breaks: those
// before it, and for the end of a range not one that directly precedes it.
int TCWRichEdit::ToWidget(int modelPos, bool rangeEnd) const {
    const auto n = rangeEnd ? std::lower_bound(SoftBreaks_.begin(), SoftBreaks_.end(), modelPos)
                            : std::upper_bound(SoftBreaks_.begin(), SoftBreaks_.end(), modelPos);
    return modelPos + static_cast<int>(n - SoftBreaks_.begin());
}

QMimeData* TCWRichEdit::createMimeDataFromSelection() const {
    const QTextCursor selection = textCursor();
    const int from = selection.selectionStart();
    const int to = selection.selectionEnd();
    QString text;
    for (QTextBlock b = document()->findBlock(from); b.isValid() && b.position() <= to;
         b = b.next()) {
        if (b.position() > from && b.userState() != kSoftBlock) text += '\n';
        const int start = std::max(from, b.position()) - b.position();
        const int end = std::min(to, b.position() + b.length() - 1) - b.position();
        if (end > start) text += b.text().mid(start, end - start);
    }
    auto data = std::make_unique<QMimeData>();
    data->setText(text);
    return data.release(); // the caller owns it
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
    Flush(); // what is still gathered would scroll the view again
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
        Flush();
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
