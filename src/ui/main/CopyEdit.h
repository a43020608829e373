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
    // The text as changed; false: refused, and the field goes back to what it had.
    std::function<bool(const std::string& utf8)> OnChanged;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // A paste is offered to the logic before it is laid out: a refused flood never costs the
    // window (and the sound it feeds) the layout of a huge line.
    void insertFromMimeData(const QMimeData* source) override;

private:
    QString Accepted_; // the text as the logic last took it
};

} // namespace brindle
