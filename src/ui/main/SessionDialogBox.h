// The session dialog: what a practice session or the speed test will send, in six lines, with OK
// and Cancel (Esc is Cancel); for copy practice also a line saying so and the pacing. A thin form
// over TSessionDialog, which the session composes.
#pragma once

#include "desk/Session.h"

#include <QDialog>

#include <array>

class QLabel;
class QPushButton;
class QRadioButton;

namespace brindle {

class TSessionDialogBox : public QDialog {
public:
    explicit TSessionDialogBox(const TSessionDialog& content, QWidget* parent = nullptr);

    // Shows the dialog modally, centred on parent; true when OK was chosen.
    static bool Ask(TSessionDialog& content, QWidget* parent);

    // The six lines from the top: Line1 to Line6.
    QLabel& Line(int index) { return *Lines_[static_cast<std::size_t>(index)]; }
    QPushButton& OKButton() { return *OK_; }
    QPushButton& CancelButton() { return *Cancel_; }
    // Copy practice: the pacing chosen.
    TCopyPacing Pacing() const;

private:
    std::array<QLabel*, 6> Lines_{};
    QPushButton* OK_ = nullptr;
    QPushButton* Cancel_ = nullptr;
    QRadioButton* Continuous_ = nullptr; // copy practice only
    QRadioButton* ItemByItem_ = nullptr;
};

} // namespace brindle
