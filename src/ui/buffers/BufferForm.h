// "Brindle Text Buffers": four rows of New, Load, Save, Transmit and Repeat with a one-line field.
// A thin form over TTextBuffers: it forwards clicks, typing and keys and redraws from its view.
// F4 hides it, Esc releases the Repeat buttons, F2 acts as in the main window.
#pragma once

#include "base/Signal.h"
#include "desk/Session.h"

#include <QWidget>

#include <array>
#include <functional>
#include <string>

class QLineEdit;
class QToolButton;

namespace brindle {

class TDesk;

class TBufferForm : public QWidget {
public:
    TBufferForm(TDesk& app, QWidget* parent);

    // The chosen file (UTF-8), empty when cancelled.
    std::function<std::string(const TOpenRequest&)> ChooseOpenFile;
    std::function<std::string(const TOpenRequest&)> ChooseSaveFile;
    std::function<void()> OnToggleParameters; // F2

    void Redraw();
    // Shows the window with the focus at the end of the first buffer.
    void ShowBuffers();

    QLineEdit& BufferEdit(int n) { return *Edits_[static_cast<std::size_t>(n)]; }
    QToolButton& Button(int n, int column) {
        return *Buttons_[static_cast<std::size_t>(n)][static_cast<std::size_t>(column)];
    }
    enum { NewColumn, OpenColumn, SaveColumn, SendColumn, RepeatColumn };

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool WindowKey(QKeyEvent* key);
    int FieldIndex(QObject* watched) const;
    void Load(int n);
    void Save(int n);

    TDesk& App_;
    std::array<QLineEdit*, 4> Edits_{};
    std::array<std::array<QToolButton*, 5>, 4> Buttons_{};
    bool Drawing_ = false;
    TConnection BuffersChanged_; // ends with the window
};

// The six tool-bar symbols from the desktop's icon theme, with the project's own as fallback:
// new, load, save, transmit, repeat, repeat-active.
QIcon BufferIcon(int index);

} // namespace brindle
