#include "ui/main/AboutBox.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace brindle {

TAboutBox::TAboutBox(const QString& version, QWidget* parent) : QDialog(parent) {
    setWindowTitle("About");
    setObjectName("AboutBox");
    setModal(false);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 20, 24, 16);
    auto* row = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon::fromTheme("brindle", QIcon(":/icons/brindle.png")).pixmap(64, 64));
    row->addWidget(icon);
    row->addSpacing(16);
    auto* text = new QVBoxLayout;
    auto* name = new QLabel("Brindle", this);
    QFont f = name->font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.6);
    name->setFont(f);
    Version_ = new QLabel("Version " + version, this);
    Version_->setObjectName("Version");
    text->addWidget(name);
    text->addWidget(Version_);
    text->addWidget(new QLabel("A Morse-code (CW) tutor", this));
    row->addLayout(text);
    row->addSpacing(48);
    column->addLayout(row);
    column->addSpacing(3 * fontMetrics().lineSpacing());
    auto* ok = new QPushButton("OK", this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::hide);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addStretch();
    column->addLayout(buttons);
    // As large as its text and symbol need, whatever the font.
    column->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace brindle
