// The about box: the program's symbol, its name and "Version " with the program's version, and
// OK. Not modal; OK or Esc hides it.
#pragma once

#include <QDialog>

class QLabel;

namespace brindle {

class TAboutBox : public QDialog {
public:
    TAboutBox(const QString& version, QWidget* parent);
    QLabel& VersionLabel() { return *Version_; }

private:
    QLabel* Version_ = nullptr;
};

} // namespace brindle
