// "Short Cuts": the list of the program's shortcut keys, one per line with a tab between key and
// text; Esc hides it.
#pragma once

#include <QWidget>

class QPlainTextEdit;

namespace brindle {

// The list's lines, key and text separated by a tab.
QString ShortCutLines();

class TShortcutList : public QWidget {
public:
    explicit TShortcutList(QWidget* parent);
    QPlainTextEdit& Memo() { return *Memo_; }
    // Room for every line without wrapping or scrolling.
    QSize sizeHint() const override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QPlainTextEdit* Memo_ = nullptr;
};

} // namespace brindle
