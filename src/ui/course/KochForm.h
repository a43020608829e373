// "Brindle Koch Course": the course's settings (order, custom order, lesson, practice length,
// speeds, group size), the lesson's characters, and the button that starts the lesson. A thin
// form over TCourse: it forwards every change and redraws from the course's state.
#pragma once

#include "base/Signal.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace brindle {

class TDesk;

class TKochForm : public QWidget {
public:
    TKochForm(TDesk& app, QWidget* parent);

    void Redraw();
    QComboBox& OrderBox() { return *Order_; }
    QSpinBox& LessonBox() { return *Lesson_; }
    QPushButton& StartButton() { return *Start_; }
    QLabel& CharsLabel() { return *Chars_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    int ToShown(int cpm) const; // the user's unit: CpM, or WpM
    int FromShown(int value) const;

    TDesk& App_;
    QComboBox* Order_ = nullptr;
    QLineEdit* Custom_ = nullptr;
    QSpinBox* Lesson_ = nullptr;
    QLabel* Chars_ = nullptr;
    QSpinBox* Minutes_ = nullptr;
    QSpinBox* CharSpeed_ = nullptr;
    QSpinBox* EffSpeed_ = nullptr;
    QLabel* CharUnit_ = nullptr;
    QLabel* EffUnit_ = nullptr;
    QRadioButton* Fixed_ = nullptr;
    QRadioButton* Random_ = nullptr;
    QPushButton* Start_ = nullptr;
    bool Drawing_ = false;
    TConnection CourseChanged_; // ends with the window
    TConnection ViewChanged_;   // ends with the window
};

} // namespace brindle
