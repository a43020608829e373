// What stands in the display's place while the sent text is hidden: an empty pane of the same
// size that keeps the keyboard focus, so typing, Backspace, Esc, Enter and Space of single mode
// and the function keys go to the display's handler as before. Nothing is drawn on it.
#pragma once

#include <QWidget>

#include <functional>

class QKeyEvent;

namespace brindle {

class THiddenText : public QWidget {
public:
    explicit THiddenText(QWidget* parent = nullptr);

    // Every key press; true when handled (the display's handler).
    std::function<bool(QKeyEvent*)> OnKeyEvent;
    // Ctrl+V: a paste, as in the display.
    std::function<void()> OnPaste;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;
};

} // namespace brindle
