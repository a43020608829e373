#include "ui/main/ShortcutList.h"

#include <QAbstractTextDocumentLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStyle>
#include <QTextBlock>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace brindle {

QString ShortCutLines() {
    static const char* const lines[] = {
        "F1\tdisplay Help information in your browser",
        "Ctrl+F1\tshow this list of short cut keys, close with ESC",
        "F2\topens and closes the Set Parameters window",
        "F3\tstarts the selected Morse training",
        "F4\topens and closes the Brindle Buffers window",
        "F5\tputs the text in Brindle Buffer 1 into the main window",
        "F6\tputs the text in Brindle Buffer 2 into the main window",
        "F7\tputs the text in Brindle Buffer 3 into the main window",
        "F8\tputs the text in Brindle Buffer 4 into the main window",
        "",
        "F9\tstarts Single Mode",
        "Shift+F9\tstops Single Mode ",
        "RTN\tresumes single item processing",
        "SPACEBAR\talso resumes single item processing",
        "Ctrl+F9\trepeats the last single Group, Word, Q-Code, or Phrase in Single Mode",
        "BACKSPACE\talso repeats the last item in Single Mode",
        "",
        "PAUSE\tpauses and resumes sending, like the Pause button",
        "\tin Single Mode it sends the next item (or first shows the one heard), like the button",
        "",
        "F10\taccess the menu bar (standard command)",
        "F11\tstarts copy practice: type what you hear, Ctrl+RTN checks it",
        "Shift+F11\tstarts the Koch course's lesson as copy practice",
        "F12\topens the progress window",
        "",
        "DEL\tclears the text in the main window",
        "CTRL+Z\talso clears the text in the main window",
        "",
        "CTRL+L\tlets you load text from a file to the main window, like typing the text",
        "CTRL+S\tlets you save the text displayed in the main window to a file",
        "",
        "CTRL+W\tlets you load words from a file into memory, to be used for Random Words",
        "CTRL+P\tlets you load phrases from a file into memory, to be used for Random Phrases",
        "CTRL+T\tlets you load text from a file into memory, to be sent -as is- with F3",
        "CTRL+E\texports the practice or the Koch lesson to an audio file",
        "",
        "CTRL+C\tlets you copy selected text to the clipboard",
        "CTRL+V\tlets you insert text from the clipboard into the main window ",
        "",
        "ESC\tstops training sessions and closes the Set Parameters window",
        "\tIt further stops any Morse output for characters typed on the keyboard",
    };
    QStringList list;
    for (const char* l : lines)
        list << QString::fromUtf8(l);
    return list.join('\n');
}

TShortcutList::TShortcutList(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle("Short Cuts");
    setObjectName("ShortcutList");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    Memo_ = new QPlainTextEdit(this);
    Memo_->setReadOnly(true);
    Memo_->setAccessibleName("Short cut keys");
    // A caret the arrow keys move, so that a screen reader reads the list line by line.
    Memo_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    QFont f = Memo_->font();
    f.setBold(true);
    f.setPixelSize(16);
    Memo_->setFont(f);
    // The texts line up one gap after the widest key.
    const QFontMetricsF keys(f);
    qreal widestKey = 0;
    for (const QString& line : ShortCutLines().split('\n'))
        if (line.contains('\t'))
            widestKey = std::max(widestKey, keys.horizontalAdvance(line.section('\t', 0, 0)));
    Memo_->setTabStopDistance(widestKey + 32);
    Memo_->setPlainText(ShortCutLines());
    Memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo_->document()->setDocumentMargin(12);
    column->addWidget(Memo_);
    // The whole list, unless the screen is smaller; then it scrolls.
    QSize size = sizeHint();
    if (const QScreen* s = QGuiApplication::primaryScreen()) {
        size = size.boundedTo(s->availableGeometry().size());
        resize(size);
        move(s->availableGeometry().center() - rect().center());
    } else {
        resize(size);
    }
}

QSize TShortcutList::sizeHint() const {
    // The list laid out as the editor lays it out: its widest line and the height of every line,
    // with the document's margins and the editor's frame, so that nothing wraps or scrolls.
    QTextDocument& doc = *Memo_->document();
    QAbstractTextDocumentLayout& layout = *doc.documentLayout();
    qreal widest = 0;
    qreal height = 0; // each block's rectangle, the last one with the margin below
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        height += std::ceil(layout.blockBoundingRect(b).height());
        for (int i = 0; i < b.layout()->lineCount(); ++i)
            widest = std::max(widest, b.layout()->lineAt(i).naturalTextWidth());
    }
    const qreal margin = doc.documentMargin();
    // The editor decides on its scroll bars before it is shown, when it cannot yet tell that the
    // lines fit; room for them lets it take them away again once it is.
    const int bar = Memo_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, Memo_);
    const int frame = 2 * Memo_->frameWidth() + bar;
    return {static_cast<int>(std::ceil(widest + 2 * margin)) + Memo_->cursorWidth() + frame,
            static_cast<int>(std::ceil(height + margin)) + 1 + frame};
}

void TShortcutList::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape)
        hide();
    else
        QWidget::keyPressEvent(event);
}

} // namespace brindle
