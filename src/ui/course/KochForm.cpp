#include "ui/course/KochForm.h"

#include "base/Speed.h"
#include "base/Text1252.h"
#include "desk/Desk.h"
#include "learn/KochCourse.h"
#include "practice/TextFilters.h"
#include "settings/Choices.h"
#include "settings/SettingsTable.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace brindle {

namespace {

QString Q1252(const std::string& text) {
    return QString::fromStdString(Cp1252ToUtf8(text));
}

constexpr TRange kSpeeds = SettingOf<&TSettings::Koch, &TKochSettings::CharCpm>().Range;

// The size the "fixed" choice offers: the one set, or the setting's default after random sizes.
int FixedGroupSize(const TKochSettings& k) {
    return k.GroupSize > 0 ? k.GroupSize
                           : SettingOf<&TSettings::Koch, &TKochSettings::GroupSize>().Default;
}

} // namespace

TKochForm::TKochForm(TDesk& app, QWidget* parent) : QWidget(parent, Qt::Window), App_(app) {
    setWindowTitle("Brindle Koch Course");
    setObjectName("KochForm");
    auto* column = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    column->addLayout(form);

    Order_ = new QComboBox(this);
    Order_->setObjectName("KochOrder");
    for (const char* name : choices::KochOrder)
        Order_->addItem(name);
    form->addRow("&Order:", Order_);
    Custom_ = new QLineEdit(this);
    Custom_->setObjectName("KochCustom");
    Custom_->setPlaceholderText("the characters in the order you learn them, e.g. kmrsu");
    form->addRow("C&ustom order:", Custom_);
    Lesson_ = new QSpinBox(this);
    Lesson_->setObjectName("KochLesson");
    form->addRow("&Lesson:", Lesson_);
    Chars_ = new QLabel(this);
    Chars_->setObjectName("KochChars");
    Chars_->setWordWrap(true);
    Chars_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    form->addRow("Characters:", Chars_);
    Minutes_ = new QSpinBox(this);
    Minutes_->setObjectName("KochMinutes");
    constexpr TRange minutes = SettingOf<&TSettings::Koch, &TKochSettings::Minutes>().Range;
    Minutes_->setRange(minutes.Min, minutes.Max);
    Minutes_->setSuffix(" min");
    form->addRow("Practice &length:", Minutes_);
    auto speedRow = [&](const char* caption, QSpinBox*& box, QLabel*& unit, const char* name) {
        auto* row = new QHBoxLayout;
        box = new QSpinBox(this);
        box->setObjectName(name);
        unit = new QLabel(this);
        row->addWidget(box);
        row->addWidget(unit);
        row->addStretch(1);
        form->addRow(caption, row);
        if (auto* label = qobject_cast<QLabel*>(form->labelForField(row))) label->setBuddy(box);
    };
    speedRow("C&haracter speed:", CharSpeed_, CharUnit_, "KochCharSpeed");
    speedRow("&Effective speed:", EffSpeed_, EffUnit_, "KochEffSpeed");
    auto* sizes = new QHBoxLayout;
    Fixed_ = new QRadioButton(this);
    Fixed_->setObjectName("KochFixedSize");
    Random_ = new QRadioButton(
        QString("&random, %1 to %2 characters").arg(RandomGroupSizes.Min).arg(RandomGroupSizes.Max),
        this);
    Random_->setObjectName("KochRandomSize");
    sizes->addWidget(Fixed_);
    sizes->addWidget(Random_);
    sizes->addStretch(1);
    form->addRow("Groups:", sizes);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    Start_ = new QPushButton("&Start Lesson", this);
    Start_->setObjectName("KochStart");
    Start_->setToolTip("Start the lesson as copy practice (Shift+F11)");
    Start_->setDefault(true);
    auto* close = new QPushButton("Close", this);
    buttons->addWidget(Start_);
    buttons->addWidget(close);
    column->addLayout(buttons);

    auto& course = App_.Course();
    connect(Order_, &QComboBox::activated, this, [&course](int i) { course.SetOrder(i); });
    connect(Custom_, &QLineEdit::editingFinished, this, [this, &course] {
        if (!Drawing_) course.SetCustom(Utf8To1252(Custom_->text().toStdString()));
    });
    connect(Lesson_, &QSpinBox::valueChanged, this, [this, &course](int v) {
        if (!Drawing_) course.SetLesson(v);
    });
    connect(Minutes_, &QSpinBox::valueChanged, this, [this, &course](int v) {
        if (!Drawing_) course.SetMinutes(v);
    });
    connect(CharSpeed_, &QSpinBox::valueChanged, this, [this, &course](int v) {
        if (!Drawing_) course.SetCharCpm(FromShown(v));
    });
    connect(EffSpeed_, &QSpinBox::valueChanged, this, [this, &course](int v) {
        if (!Drawing_) course.SetEffCpm(FromShown(v));
    });
    connect(Fixed_, &QRadioButton::toggled, this, [this, &course](bool on) {
        if (!Drawing_ && on) course.SetGroupSize(FixedGroupSize(course.Settings()));
    });
    connect(Random_, &QRadioButton::toggled, this, [this, &course](bool on) {
        if (!Drawing_ && on) course.SetGroupSize(0);
    });
    connect(Start_, &QPushButton::clicked, this, [this] { App_.StartKochLesson(); });
    connect(close, &QPushButton::clicked, this, &QWidget::hide);
    CourseChanged_ = course.OnChanged.Connect([this] { Redraw(); });
    // The Start button follows the main window's state (a session starting or ending).
    ViewChanged_ = App_.OnViewChanged.Connect([this] {
        if (isVisible()) Redraw();
    });
    Redraw();
}

int TKochForm::ToShown(int cpm) const {
    return App_.Settings().Main.ShowWpM ? WholeWpm(cpm) : cpm;
}

int TKochForm::FromShown(int value) const {
    return App_.Settings().Main.ShowWpM ? WpmToCpm(value) : value;
}

void TKochForm::Redraw() {
    Drawing_ = true;
    const TCourse& course = App_.Course();
    const auto& k = course.Settings();
    Order_->setCurrentIndex(static_cast<int>(course.Order()));
    const bool custom = course.Order() == TCourseOrder::Custom;
    Custom_->setEnabled(custom);
    if (!Custom_->hasFocus()) Custom_->setText(Q1252(k.Custom));
    const int lessons = course.LessonCount();
    Lesson_->setRange(1, std::max(1, lessons));
    Lesson_->setSuffix(" of " + QString::number(lessons));
    Lesson_->setValue(course.Lesson());
    std::string named;
    for (const char c : course.LessonChars())
        named += (named.empty() ? "" : " ") + CodesToProsignNames(std::string(1, c));
    Chars_->setText(lessons == 0 ? QString("a custom order needs at least 2 characters")
                                 : Q1252(named) + "   (newest: " +
                                       Q1252(CodesToProsignNames(std::string(
                                           1, static_cast<char>(course.NewestChar())))) +
                                       ")");
    Minutes_->setValue(k.Minutes);
    const bool wpm = App_.Settings().Main.ShowWpM;
    for (QSpinBox* box : {CharSpeed_, EffSpeed_})
        box->setRange(ToShown(kSpeeds.Min), ToShown(kSpeeds.Max));
    CharSpeed_->setValue(ToShown(k.CharCpm));
    EffSpeed_->setValue(ToShown(k.EffCpm));
    CharUnit_->setText(wpm ? "WpM" : "CpM");
    EffUnit_->setText(wpm ? "WpM (spacing stretched when lower)"
                          : "CpM (spacing stretched when lower)");
    Fixed_->setText(QString("&fixed, %1 characters").arg(FixedGroupSize(k)));
    (k.GroupSize > 0 ? Fixed_ : Random_)->setChecked(true);
    Start_->setEnabled(lessons > 0 && App_.View().StartEnabled && !App_.Copy().Running());
    // A lesson under way keeps its settings: the fields wait until it is checked or aborted.
    const bool locked = course.Locked();
    for (QWidget* w : std::initializer_list<QWidget*>{Order_, Lesson_, Minutes_, CharSpeed_,
                                                      EffSpeed_, Fixed_, Random_})
        w->setEnabled(!locked);
    Custom_->setEnabled(custom && !locked);
    Drawing_ = false;
}

void TKochForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape)
        hide();
    else
        QWidget::keyPressEvent(event);
}

} // namespace brindle
