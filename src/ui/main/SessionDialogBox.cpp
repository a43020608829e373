#include "ui/main/SessionDialogBox.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace brindle {

TSessionDialogBox::TSessionDialogBox(const TSessionDialog& content, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QString::fromStdString(content.Caption));
    setModal(true);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 20, 24, 16);
    column->setSpacing(6);
    static const char* const names[] = {"Line1", "Line2", "Line3", "Line4", "Line5", "Line6"};
    for (std::size_t i = 0; i < Lines_.size(); ++i) {
        auto* label = new QLabel(QString::fromStdString(content.Lines[i]), this);
        label->setObjectName(names[i]);
        label->setTextFormat(Qt::PlainText);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        // An empty line keeps its height, so the layout does not jump between modes.
        label->setMinimumHeight(label->fontMetrics().height());
        if (i == 0) {
            QFont f = label->font();
            f.setBold(true);
            label->setFont(f);
        }
        column->addWidget(label);
        Lines_[i] = label;
    }
    if (content.CopyPractice) {
        // Copy practice: what it is, and how it is paced.
        column->addSpacing(8);
        auto* line = new QLabel(QString::fromStdString(content.CopyLine), this);
        line->setObjectName("CopyLine");
        line->setWordWrap(true);
        column->addWidget(line);
        auto* pacing = new QGroupBox("Pacing", this);
        auto* rows = new QVBoxLayout(pacing);
        Continuous_ = new QRadioButton("&Continuous: the items go on while you type", pacing);
        Continuous_->setObjectName("Continuous");
        ItemByItem_ =
            new QRadioButton("&Item by item: each item waits for Return (reaction times)", pacing);
        ItemByItem_->setObjectName("ItemByItem");
        rows->addWidget(Continuous_);
        rows->addWidget(ItemByItem_);
        (content.Pacing == TCopyPacing::ItemByItem ? ItemByItem_ : Continuous_)->setChecked(true);
        column->addWidget(pacing);
    }
    column->addSpacing(12);
    auto* row = new QHBoxLayout;
    row->addStretch();
    OK_ = new QPushButton("OK", this);
    OK_->setObjectName("OKButton");
    OK_->setDefault(true);
    Cancel_ = new QPushButton("Cancel", this);
    Cancel_->setObjectName("CancelButton");
    row->addWidget(OK_);
    row->addWidget(Cancel_);
    row->addStretch();
    column->addLayout(row);
    connect(OK_, &QPushButton::clicked, this, &QDialog::accept);
    connect(Cancel_, &QPushButton::clicked, this, &QDialog::reject);
    // Wide enough that the box does not change width between modes; wider when a line needs it.
    setMinimumWidth(fontMetrics().averageCharWidth() * 76);
}

TCopyPacing TSessionDialogBox::Pacing() const {
    return ItemByItem_ && ItemByItem_->isChecked() ? TCopyPacing::ItemByItem
                                                   : TCopyPacing::Continuous;
}

bool TSessionDialogBox::Ask(TSessionDialog& content, QWidget* parent) {
    TSessionDialogBox dialog(content, parent);
    dialog.adjustSize();
    if (parent) {
        const QRect frame = parent->frameGeometry();
        dialog.move(frame.center() - dialog.rect().center());
    }
    const bool ok = dialog.exec() == QDialog::Accepted;
    if (ok) content.Pacing = dialog.Pacing();
    return ok;
}

} // namespace brindle
