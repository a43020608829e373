#include "ui/main/Shorts.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

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

TShorts::TShorts(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle("Short Cuts");
    setObjectName("Shorts");
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
    setMinimumSize(740, 725);
    // Wide enough that no line wraps or scrolls.
    const QFontMetrics metrics(f);
    int widest = 0;
    for (const QString& line : ShortCutLines().split('\n')) {
        const auto tab = line.indexOf('\t');
        const int w = tab < 0 ? metrics.horizontalAdvance(line)
                              : static_cast<int>(Memo_->tabStopDistance()) +
                                    metrics.horizontalAdvance(line.mid(tab + 1));
        widest = std::max(widest, w);
    }
    resize(std::max(740, widest + 90), 725 + 40);
    if (const QScreen* s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
}

void TShorts::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape)
        hide();
    else
        QWidget::keyPressEvent(event);
}

} // namespace brindle
