// The copy field of copy practice: where the learner types what they hear. Typing sends nothing;
// it hands the text to the logic as it changes, and Return, Ctrl+Return and Esc to their
// handlers. Prosign names are typed as everywhere ("<ar>"); case does not matter.
#pragma once

#include <QPlainTextEdit>

#include <functional>
#include <string>

namespace brindle {

class TCopyEdit : public QPlainTextEdit {
public:
    explicit TCopyEdit(QWidget* parent = nullptr);

    // Return: true when it was taken (an item checked, or the copy); onEmptyLine when the line
    // of the caret is empty. A Return not taken starts a new line.
    std::function<bool(bool onEmptyLine)> OnReturn;
    std::function<void()> OnCheck;  // Ctrl+Return
    std::function<void()> OnEscape; // Esc
    std::function<void()> OnTyped;  // a key that types, before it changes the text
    std::function<void(const std::string& utf8)> OnChanged;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace brindle
