#include "ui/params/UpDownEdit.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

namespace brindle {

TUpDownEdit::TUpDownEdit(const QString& name, int maxLength, QWidget* parent) : QWidget(parent) {
    setObjectName(name + "Pair");
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(1);
    Edit_ = new QLineEdit(this);
    Edit_->setObjectName(name);
    Edit_->setMaxLength(maxLength);
    Edit_->setFixedWidth(Edit_->fontMetrics().horizontalAdvance(QString(maxLength + 1, '0')) + 14);
    Edit_->installEventFilter(this);
    auto* arrows = new QWidget(this);
    auto* column = new QVBoxLayout(arrows);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    Up_ = new QToolButton(arrows);
    Up_->setArrowType(Qt::UpArrow);
    Down_ = new QToolButton(arrows);
    Down_->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {Up_, Down_}) {
        b->setFocusPolicy(Qt::NoFocus); // Up and Down in the field step as they do
        b->setFixedSize(18, Edit_->sizeHint().height() / 2);
        b->setAutoRepeat(true);
        b->installEventFilter(this);
        column->addWidget(b);
    }
    row->addWidget(Edit_);
    row->addWidget(arrows);
    row->addStretch(1);
    connect(Up_, &QToolButton::clicked, this, [this] { Step(1, PressMods_); });
    connect(Down_, &QToolButton::clicked, this, [this] { Step(-1, PressMods_); });
}

void TUpDownEdit::SetText(const QString& text) {
    if (Edit_->text() != text) Edit_->setText(text);
}

void TUpDownEdit::SetAccessibleName(const QString& name) {
    if (Edit_->accessibleName() == name) return;
    Edit_->setAccessibleName(name);
    Up_->setAccessibleName(name + " up");
    Down_->setAccessibleName(name + " down");
}

void TUpDownEdit::SetFieldEnabled(bool on) {
    Edit_->setEnabled(on);
    Up_->setEnabled(on);
    Down_->setEnabled(on);
}

void TUpDownEdit::Step(int direction, Qt::KeyboardModifiers mods) {
    if (OnStep)
        OnStep(direction, mods.testFlag(Qt::ShiftModifier), mods.testFlag(Qt::ControlModifier));
    Edit_->setFocus();
    Edit_->end(false);
}

bool TUpDownEdit::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Up_ || watched == Down_) {
        if (event->type() == QEvent::MouseButtonPress)
            PressMods_ = static_cast<QMouseEvent*>(event)->modifiers();
        return false;
    }
    if (watched != Edit_) return false;
    if (event->type() == QEvent::FocusOut) {
        if (OnApply) OnApply(Edit_->text());
        return false;
    }
    if (event->type() != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    switch (key->key()) {
    case Qt::Key_Up: Step(1, key->modifiers()); return true;
    case Qt::Key_Down: Step(-1, key->modifiers()); return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (OnApply) OnApply(Edit_->text());
        Edit_->end(false);
        return true;
    case Qt::Key_Escape: return true;
    default: return false;
    }
}

} // namespace brindle
