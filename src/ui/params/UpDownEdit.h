// An edit field with up and down arrows beside it, as the parameters window has eight of them.
// It holds no rule: a click on an arrow, or Up and Down in the field, reports the direction and
// the keys held (OnStep); Enter and leaving the field report the text (OnApply). Esc is
// swallowed. The owner draws the text it gets back. The arrows stay out of the Tab order, as a
// spin box's do: Up and Down in the field do what they do.
#pragma once

#include <QWidget>

#include <functional>

class QLineEdit;
class QToolButton;

namespace brindle {

class TUpDownEdit : public QWidget {
public:
    TUpDownEdit(const QString& name, int maxLength, QWidget* parent);

    QLineEdit& Edit() { return *Edit_; }
    QToolButton& UpButton() { return *Up_; }
    QToolButton& DownButton() { return *Down_; }
    // Puts text in the field unless it already holds it (the caret stays where it is then).
    void SetText(const QString& text);
    void SetFieldEnabled(bool on);
    // The name a screen reader reads for the field, and "<name> up" and "<name> down" for the
    // arrows. The caption beside the pair is not the field's sibling, so it cannot name it as a
    // buddy does.
    void SetAccessibleName(const QString& name);

    std::function<void(int direction, bool shift, bool ctrl)> OnStep;
    std::function<void(const QString& text)> OnApply;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Step(int direction, Qt::KeyboardModifiers mods);

    QLineEdit* Edit_ = nullptr;
    QToolButton* Up_ = nullptr;
    QToolButton* Down_ = nullptr;
    Qt::KeyboardModifiers PressMods_;
};

} // namespace brindle
