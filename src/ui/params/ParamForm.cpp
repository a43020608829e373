#include "ui/params/ParamForm.h"

#include "base/Text1252.h"
#include "desk/Desk.h"
#include "desk/OutputSwitch.h"
#include "desk/Session.h"
#include "ui/LayoutWatch.h"
#include "ui/params/UpDownEdit.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardPaths>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace brindle {

namespace {

QString Q(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

QString From1252(const std::string& text) {
    return Q(Cp1252ToUtf8(text));
}

std::string To1252(const QString& text) {
    return Utf8To1252(text.toStdString());
}

void SetRedBold(QLabel& label) {
    QPalette p = label.palette();
    p.setColor(QPalette::WindowText, Qt::red);
    label.setPalette(p);
    QFont f = label.font();
    f.setBold(true);
    label.setFont(f);
}

} // namespace

std::vector<TRect> ScreenAreas() {
    std::vector<TRect> areas;
    for (const QScreen* s : QGuiApplication::screens()) {
        const QRect a = s->availableGeometry();
        areas.push_back({a.left(), a.top(), a.width(), a.height()});
    }
    return areas;
}

TRect FitOnScreensFramedAs(TRect window, const QWidget& shown) {
    const QRect inner = shown.geometry();
    const QRect outer = shown.frameGeometry();
    const bool framed = shown.isVisible() && outer.contains(inner);
    return FitFramedOnScreens(window, framed ? outer.width() - inner.width() : 0,
                              framed ? outer.height() - inner.height() : 0, ScreenAreas());
}

bool CanPlaceWindows() {
    return !QGuiApplication::platformName().startsWith("wayland");
}

TParamForm::TParamForm(TDesk& app, QWidget* owner)
    : QWidget(owner, Qt::Window), App_(app), P_(app.Params()) {
    setObjectName("ParamForm");
    setWindowTitle("Set Brindle Parameters");
    setFocusPolicy(Qt::StrongFocus);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    Scroll_ = new QScrollArea(this);
    Scroll_->setWidgetResizable(true);
    Scroll_->setFrameShape(QFrame::NoFrame);
    outer->addWidget(Scroll_);
    auto* content = new QWidget(Scroll_);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(8, 8, 8, 8);
    column->addWidget(BuildTutor(content));
    auto* lower = new QHBoxLayout;
    lower->addWidget(BuildOutput(content), 3);
    auto* right = new QVBoxLayout;
    right->addWidget(BuildDisplay(content));
    TestButton_ = new QPushButton("Test Sound and Speed", content);
    TestButton_->setObjectName("TestButton");
    connect(TestButton_, &QPushButton::clicked, this, [this] { P_.TestButtonClick(); });
    right->addWidget(TestButton_);
    right->addStretch(1);
    lower->addLayout(right, 1);
    column->addLayout(lower, 1);
    Scroll_->setWidget(content);
    // The window's size follows its controls', also when their texts or the fonts change.
    new TLayoutWatch(*content, [this] { FitToContent(); });
    FitToContent();
    resize(sizeHint());

    // The window sees keys before its controls.
    for (QWidget* w : content->findChildren<QWidget*>())
        if (w->focusPolicy() != Qt::NoFocus) w->installEventFilter(this);
    ParamsChanged_ = P_.OnChanged.Connect([this] { Redraw(); });
    SetTabOrder();
}

TParamForm::~TParamForm() {
    // The children go after this object: nothing they report may reach it any more.
    ParamsChanged_.Disconnect();
    for (TUpDownEdit* pair : UpDowns_) {
        pair->OnStep = nullptr;
        pair->OnApply = nullptr;
    }
    for (QWidget* w : findChildren<QWidget*>())
        w->removeEventFilter(this);
}

// --- Size ----------------------------------------------------------------------------------------

QSize TParamForm::sizeHint() const {
    return Scroll_->widget()->sizeHint() + QSize(ScrollBarWidth(), 0);
}

int TParamForm::ScrollBarWidth() const {
    return Scroll_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, Scroll_);
}

void TParamForm::FitToContent() {
    QWidget& content = *Scroll_->widget();
    const QSize full = content.sizeHint();
    // Shorter than its controls need, the window scrolls rather than squeezing them, and it is
    // never taller than they need. Narrower, they share the room down to what their captions
    // need, then it scrolls sideways too (on a small screen or with large fonts).
    content.setMinimumHeight(full.height());
    setMinimumSize(std::min(full.width(), MinimumSide), std::min(full.height(), MinimumSide));
    setMaximumHeight(full.height());
}

// --- Building ------------------------------------------------------------------------------------

QButtonGroup* TParamForm::Radios(QGroupBox* box, const char* name,
                                 const std::vector<const char*>& items, int columns,
                                 std::function<void(int)> chosen) {
    box->setObjectName(name);
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(8, 4, 8, 4);
    grid->setVerticalSpacing(2);
    auto* group = new QButtonGroup(box);
    group->setObjectName(name);
    for (int i = 0; i < static_cast<int>(items.size()); ++i) {
        auto* b = new QRadioButton(items[static_cast<std::size_t>(i)], box);
        group->addButton(b, i);
        grid->addWidget(b, i / columns, i % columns);
    }
    connect(group, &QButtonGroup::idClicked, this, [this, chosen](int id) {
        if (!Drawing_) chosen(id);
    });
    Groups_.emplace_back(name, group);
    return group;
}

QButtonGroup& TParamForm::Group(const char* name) {
    for (auto& [n, g] : Groups_)
        if (std::string(n) == name) return *g;
    return *Groups_.front().second;
}

QCheckBox* TParamForm::Check(QWidget* parent, const char* name, const char* caption,
                             std::function<void(bool)> changed) {
    auto* c = new QCheckBox(caption, parent);
    c->setObjectName(name);
    connect(c, &QCheckBox::toggled, this, [this, changed](bool on) {
        if (!Drawing_) changed(on);
    });
    Checks_.push_back(c);
    return c;
}

TUpDownEdit* TParamForm::Pair(QWidget* parent, TUpDown which, const char* name) {
    const auto& n = P_.Number(which);
    auto* pair = new TUpDownEdit(name, n.MaxLength, parent);
    pair->OnStep = [this, which, pair](int direction, bool shift, bool ctrl) {
        P_.StepUpDown(which, direction, shift, ctrl);
        pair->SetText(Q(P_.Number(which).Text));
    };
    pair->OnApply = [this, which, pair](const QString& text) {
        if (Drawing_) return;
        P_.ApplyEditField(which, text.toStdString());
        pair->SetText(Q(P_.Number(which).Text)); // also when the logic's text stayed the same
    };
    UpDowns_[static_cast<std::size_t>(which)] = pair;
    auto* caption = new QLabel(Q(n.Caption), parent);
    caption->setBuddy(&pair->Edit());
    pair->SetAccessibleName(Q(n.Caption));
    Captions_[static_cast<std::size_t>(which)] = caption;
    return pair;
}

QLineEdit* TParamForm::CharEdit(QWidget* parent, TCharField which, const char* name) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setMaxLength(P_.Text(which).MaxLength);
    if (which == TCharField::Chars1 || which == TCharField::Chars2) {
        QFont fixed("Monospace");
        fixed.setStyleHint(QFont::TypeWriter);
        e->setFont(fixed);
    }
    Texts_[static_cast<std::size_t>(which)] = e;
    return e;
}

QWidget* TParamForm::BuildTutor(QWidget* parent) {
    auto* box = new QGroupBox("Tutor Parameters", parent);
    auto* grid = new QGridLayout(box);
    grid->setHorizontalSpacing(12);

    auto* disp = new QGroupBox("Training and Display Mode", box);
    Radios(disp, "DispModeGroup", {choices::DispMode.begin(), choices::DispMode.end()}, 1,
           [this](int i) { P_.SetDispMode(choices::DisplayModeOf(i)); });
    auto* mode = new QGroupBox("Morse Training Mode", box);
    Radios(mode, "MorseMode", {choices::Mode.begin(), choices::Mode.end()}, 2,
           [this](int i) { P_.SetMorseMode(choices::TrainingModeOf(i)); });
    grid->addWidget(disp, 0, 0);
    grid->addWidget(mode, 0, 1, 1, 2);

    // The character fields with their selection; item 0 has no place of its own.
    CharGroup_ = new QGroupBox("Selected Morse Characters", box);
    CharGroup_->setObjectName("MCharacters");
    auto* chars = new QGridLayout(CharGroup_);
    auto* charGroup = new QButtonGroup(CharGroup_);
    charGroup->setObjectName("MCharacters");
    // The items have no captions: each stands before its field, and names it for a screen reader.
    const char* itemNames[] = {"No characters", "Use characters 1", "Use characters 2"};
    for (int i = 0; i < 3; ++i) {
        CharItems_[static_cast<std::size_t>(i)] = new QRadioButton(CharGroup_);
        CharItems_[static_cast<std::size_t>(i)]->setAccessibleName(itemNames[i]);
        charGroup->addButton(CharItems_[static_cast<std::size_t>(i)], i);
    }
    CharItems_[0]->hide();
    connect(charGroup, &QButtonGroup::idClicked, this, [this](int id) {
        if (Drawing_) return;
        P_.ChooseCharField(id);
        if (isVisible())
            TextEdit(P_.View().CharSelected == 2 ? TCharField::Chars2 : TCharField::Chars1)
                .setFocus();
    });
    Groups_.emplace_back("MCharacters", charGroup);
    chars->addWidget(CharItems_[1], 0, 0);
    chars->addWidget(CharEdit(CharGroup_, TCharField::Chars1, "EditChars1"), 0, 1, 1, 3);
    chars->addWidget(CharItems_[2], 1, 0);
    chars->addWidget(CharEdit(CharGroup_, TCharField::Chars2, "EditChars2"), 1, 1, 1, 3);
    const char* names[] = {"AllLettersButton", "AllNumeralsButton", "AllCharactersButton"};
    const char* captions[] = {"All Letters", "All Numerals", "All Characters"};
    for (int i = 0; i < 3; ++i) {
        auto* b = new QPushButton(captions[i], CharGroup_);
        b->setObjectName(names[i]);
        // Reached with Tab, but a click leaves the focus where the button puts it: in the field.
        b->setFocusPolicy(Qt::TabFocus);
        AllButtons_[static_cast<std::size_t>(i)] = b;
        chars->addWidget(b, 2, 1 + i);
        connect(b, &QPushButton::clicked, this, [this, i] {
            if (i == 0) P_.AllLetters();
            if (i == 1) P_.AllNumerals();
            if (i == 2) P_.AllCharacters();
            const int f = P_.View().CharSelected;
            if (f == 1 || f == 2) {
                QLineEdit& e = TextEdit(f == 1 ? TCharField::Chars1 : TCharField::Chars2);
                e.setFocus();
                e.end(false);
            }
        });
    }
    chars->setColumnStretch(1, 1);
    chars->setColumnStretch(2, 1);
    chars->setColumnStretch(3, 1);
    grid->addWidget(CharGroup_, 2, 0, 1, 3);
    for (TCharField f : {TCharField::Chars1, TCharField::Chars2}) {
        QLineEdit* e = Texts_[static_cast<std::size_t>(f)];
        e->installEventFilter(this);
    }
    Texts_[static_cast<std::size_t>(TCharField::Chars1)]->setAccessibleName("Characters 1");
    Texts_[static_cast<std::size_t>(TCharField::Chars2)]->setAccessibleName("Characters 2");

    // Speeds, counts and sizes.
    auto* numbers = new QGridLayout;
    numbers->setHorizontalSpacing(8);
    auto place = [&](TUpDown u, const char* name, int row, int col, bool unit) {
        TUpDownEdit* pair = Pair(box, u, name);
        numbers->addWidget(Captions_[static_cast<std::size_t>(u)], row, col);
        if (unit) {
            auto* cell = new QWidget(box);
            auto* h = new QHBoxLayout(cell);
            h->setContentsMargins(0, 0, 0, 0);
            h->addWidget(pair);
            auto* label = new QLabel("CpM", cell);
            h->addWidget(label);
            h->addStretch(1);
            Units_[static_cast<std::size_t>(u == TUpDown::StartSpeed ? 0
                                            : u == TUpDown::EndSpeed ? 1
                                                                     : 2)] = label;
            numbers->addWidget(cell, row, col + 1);
        } else {
            numbers->addWidget(pair, row, col + 1);
        }
    };
    place(TUpDown::StartSpeed, "StartSpeedEd", 0, 0, true);
    VariSpeed_ = Check(box, "VariSpeedCheckBox", "Variable Speed On",
                       [this](bool on) { P_.SetVariSpeed(on); });
    numbers->addWidget(VariSpeed_, 0, 2);
    place(TUpDown::EndSpeed, "EndSpeedEd", 0, 3, true);
    place(TUpDown::NumGroups, "NumGroupsEd", 1, 0, false);
    VariSize_ = Check(box, "VariGroupSizeCheckBox", "Variable Group Size",
                      [this](bool on) { P_.SetVariSize(on); });
    numbers->addWidget(VariSize_, 1, 2);
    place(TUpDown::SizeGroups, "SizeGroupsEd", 1, 3, false);
    place(TUpDown::SizeMin, "SizeMinGroupsEd", 1, 5, false);

    RepeatLabel_ = new QLabel("Repeat", box);
    RepeatBox_ = new QComboBox(box);
    RepeatBox_->setObjectName("RepeatBox");
    for (const char* entry : choices::Repeat)
        RepeatBox_->addItem(entry);
    connect(RepeatBox_, &QComboBox::activated, this, [this](int i) { P_.SetRepeat(i); });
    FasterLabel_ = new QLabel("Increment Speed", box);
    FasterBox_ = new QComboBox(box);
    FasterBox_->setObjectName("FasterBox");
    for (const char* entry : choices::Faster)
        FasterBox_->addItem(entry);
    connect(FasterBox_, &QComboBox::activated, this, [this](int i) { P_.SetFaster(i); });
    RepeatLabel_->setBuddy(RepeatBox_);
    FasterLabel_->setBuddy(FasterBox_);
    numbers->addWidget(RepeatLabel_, 2, 0);
    numbers->addWidget(RepeatBox_, 2, 1);
    numbers->addWidget(FasterLabel_, 2, 3);
    numbers->addWidget(FasterBox_, 2, 4);

    StartTextLabel_ = new QLabel("Start Text", box);
    StopTextLabel_ = new QLabel("End Text", box);
    numbers->addWidget(StartTextLabel_, 3, 0);
    numbers->addWidget(CharEdit(box, TCharField::StartText, "StartText"), 3, 1);
    numbers->addWidget(StopTextLabel_, 3, 3);
    numbers->addWidget(CharEdit(box, TCharField::StopText, "StopText"), 3, 4);
    StartTextLabel_->setBuddy(Texts_[static_cast<std::size_t>(TCharField::StartText)]);
    StopTextLabel_->setBuddy(Texts_[static_cast<std::size_t>(TCharField::StopText)]);
    Blip_ = Check(box, "BlipBox", "'Blip' after Phrase", [this](bool on) { P_.SetBlip(on); });
    numbers->addWidget(Blip_, 3, 5, 1, 2);
    for (TCharField f : {TCharField::StartText, TCharField::StopText})
        Texts_[static_cast<std::size_t>(f)]->installEventFilter(this);
    numbers->setColumnStretch(6, 1);
    grid->addLayout(numbers, 3, 0, 1, 3);

    auto* spacing = new QGroupBox("Farnsworth/Wordsworth Method", box);
    Radios(spacing, "FarnsworthGroup", {choices::Farnsworth.begin(), choices::Farnsworth.end()}, 3,
           [this](int i) { P_.SetFarnsworth(choices::SpacingOf(i)); });
    auto* fw = new QHBoxLayout;
    TUpDownEdit* fwPair = Pair(box, TUpDown::FarnswSpeed, "FarnswSpeedEd");
    fw->addWidget(spacing, 1);
    fw->addSpacing(12);
    fw->addWidget(Captions_[static_cast<std::size_t>(TUpDown::FarnswSpeed)]);
    fw->addSpacing(4);
    fw->addWidget(fwPair);
    Units_[2] = new QLabel("CpM", box);
    fw->addWidget(Units_[2]);
    grid->addLayout(fw, 4, 0, 1, 3);
    return box;
}

QWidget* TParamForm::BuildOutput(QWidget* parent) {
    auto* box = new QGroupBox("Output Parameters", parent);
    auto* grid = new QGridLayout(box);
    grid->setHorizontalSpacing(10);

    auto* output = new QGroupBox("Output", box);
    // The radio items are the two devices; the list's first entry is "none".
    Radios(output, "OutputGroup", {choices::Output[1], choices::Output[2]}, 1, [this](int i) {
        App_.ChooseOutput(i);
        // The switch failed: no control is focused.
        if (ChoiceItemOf(App_.Output().Device()) != i && !App_.Output().Switching()) setFocus();
    });
    auto* autoStart = new QGroupBox("AutoStart", box);
    Radios(autoStart, "AutoStartGroup", {"OFF", "ON"}, 2, [this](int i) { P_.SetAutoStart(i); });
    auto* mixer = new QPushButton("Get Output Mixer", box);
    mixer->setObjectName("MixerButton");
    connect(mixer, &QPushButton::clicked, this, [this] { StartMixer(); });

    // A list under its caption, which is its name for a screen reader; picked with the mouse or
    // the keys, it tells the desk.
    auto list = [box, this](const char* caption, const char* name, auto choose) {
        auto* label = new QLabel(caption, box);
        auto* combo = new QComboBox(box);
        combo->setObjectName(name);
        label->setBuddy(combo);
        combo->setMinimumContentsLength(28);
        combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        connect(combo, &QComboBox::activated, this, choose);
        return std::pair{label, combo};
    };
    auto [portLabel, comPorts] =
        list("Available COM Ports", "ComPortBox", [this](int i) { App_.ChoosePort(i); });
    auto [soundLabel, sounds] =
        list("Sound Output Device", "SoundOutputBox", [this](int i) { App_.ChooseSoundOutput(i); });
    ComPortBox_ = comPorts;
    SoundBox_ = sounds;
    auto* ptt = new QGroupBox("PTT Signal (COM)", box);
    Radios(ptt, "PttGroup", {"OFF", "ON"}, 2, [this](int i) { P_.SetPtt(i == 1); });
    auto* charSet = new QGroupBox("Morse Character Set", box);
    Radios(charSet, "TXCharGroup", {choices::Extended.begin(), choices::Extended.end()}, 2,
           [this](int i) { P_.SetExtended(i == 1); });

    grid->addWidget(output, 0, 0);
    grid->addWidget(autoStart, 1, 0);
    grid->addWidget(mixer, 2, 0);
    auto* ports = new QVBoxLayout;
    ports->addWidget(portLabel);
    ports->addWidget(ComPortBox_);
    ports->addSpacing(6);
    ports->addWidget(soundLabel);
    ports->addWidget(SoundBox_);
    ports->addStretch(1);
    grid->addLayout(ports, 0, 1);
    grid->addWidget(ptt, 1, 1);
    grid->addWidget(charSet, 2, 1);

    auto* toneRow = new QGridLayout;
    toneRow->setHorizontalSpacing(8);
    TUpDownEdit* freq = Pair(box, TUpDown::Freq, "TXFreq");
    TUpDownEdit* slope = Pair(box, TUpDown::Slope, "TXSlope");
    toneRow->addWidget(Captions_[static_cast<std::size_t>(TUpDown::Freq)], 0, 0);
    toneRow->addWidget(freq, 0, 1);
    toneRow->addWidget(Captions_[static_cast<std::size_t>(TUpDown::Slope)], 1, 0);
    toneRow->addWidget(slope, 1, 1);
    EqKeyOpt_ = Check(box, "CheckBoxEqKeyOpt", "Optimization for = Key",
                      [this](bool on) { P_.SetEqKeyOpt(on); });
    toneRow->addWidget(EqKeyOpt_, 2, 0, 1, 2);
    // The check box's caption goes on in a second line, under its first.
    auto* qwertz = new QLabel("QWERTZ-Keyboard", box);
    qwertz->setIndent(
        EqKeyOpt_->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, EqKeyOpt_) +
        EqKeyOpt_->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, EqKeyOpt_));
    toneRow->addWidget(qwertz, 3, 0, 1, 2);
    toneRow->setRowStretch(4, 1);
    grid->addLayout(toneRow, 3, 0, 1, 2);

    // The two level bars with their labels, the mute and the noise.
    auto* levels = new QGridLayout;
    LevelsCaption_ = new QLabel("Output Level   Noise Level", box);
    levels->addWidget(LevelsCaption_, 0, 0, 1, 2);
    auto bar = [&](const char* name, std::function<void(int)> moved) {
        auto* b = new QScrollBar(Qt::Vertical, box);
        b->setObjectName(name);
        b->setRange(0, 60);
        b->setPageStep(10);
        b->setMinimumHeight(110);
        b->setFocusPolicy(Qt::StrongFocus); // a control of its own: Up, Down and the page keys
        connect(b, &QScrollBar::valueChanged, this, [this, moved](int v) {
            if (!Drawing_) moved(v);
        });
        return b;
    };
    LevelBar_ = bar("LevelBar", [this](int v) { P_.SetLevel(v); });
    NoiseBar_ = bar("NoiseBar", [this](int v) { P_.SetNoiseLevel(v); });
    LevelBar_->setAccessibleName("Output Level"); // one caption over both
    NoiseBar_->setAccessibleName("Noise Level");
    LevelLabel_ = new QLabel("-10 dB", box);
    NoiseLabel_ = new QLabel("-20 dB", box);
    LevelLabel_->setObjectName("LevelLabel");
    NoiseLabel_->setObjectName("NoiseLabel");
    levels->addWidget(LevelBar_, 1, 0, Qt::AlignHCenter);
    levels->addWidget(NoiseBar_, 1, 1, Qt::AlignHCenter);
    levels->addWidget(LevelLabel_, 2, 0, Qt::AlignHCenter);
    levels->addWidget(NoiseLabel_, 2, 1, Qt::AlignHCenter);
    Mute_ = Check(box, "MuteCheckBox", "Mute", [this](bool on) { P_.SetMute(on); });
    Noise_ = Check(box, "NoiseCheckBox", "Noise ON", [this](bool on) { P_.SetNoise(on); });
    SoundMuted_ = new QLabel("Sound muted", box);
    SetRedBold(*SoundMuted_);
    // Shown and hidden with the settings; their room stays, so the window keeps its height.
    for (QWidget* w : {SoundMuted_, LevelLabel_, NoiseLabel_}) {
        QSizePolicy policy = w->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        w->setSizePolicy(policy);
    }
    levels->addWidget(Mute_, 3, 0);
    levels->addWidget(Noise_, 3, 1);
    levels->addWidget(SoundMuted_, 4, 0, 1, 2);
    grid->addLayout(levels, 0, 2, 4, 1);
    grid->setColumnStretch(1, 1);
    return box;
}

QWidget* TParamForm::BuildDisplay(QWidget* parent) {
    auto* box = new QGroupBox("Display Parameters", parent);
    auto* column = new QVBoxLayout(box);
    auto* sizeRow = new QHBoxLayout;
    auto* sizeLabel = new QLabel("Character Size", box);
    sizeRow->addWidget(sizeLabel);
    CharSizeBox_ = new QComboBox(box);
    CharSizeBox_->setObjectName("CharSizeBox");
    sizeLabel->setBuddy(CharSizeBox_);
    for (int points : choices::FontPoints)
        CharSizeBox_->addItem(QString::number(points));
    connect(CharSizeBox_, &QComboBox::activated, this, [this](int i) { P_.SetCharSize(i); });
    sizeRow->addWidget(CharSizeBox_);
    sizeRow->addStretch(1);
    column->addLayout(sizeRow);
    AllCaps_ =
        Check(box, "AllCapsCheckBox", "All CAPS Display", [this](bool on) { P_.SetAllCaps(on); });
    column->addWidget(AllCaps_);
    auto* speed = new QGroupBox("Speed Display", box);
    Radios(speed, "SpeedDisplayGroup", {"CpM", "WpM"}, 2, [this](int i) { P_.SetShowWpM(i == 1); });
    column->addWidget(speed);
    return box;
}

// The Tab order is the reading order: the groups from top to bottom, side by side ones from left
// to right, and within a group row by row.
void TParamForm::SetTabOrder() {
    std::vector<QWidget*> order;
    auto add = [&order](std::initializer_list<QWidget*> widgets) {
        order.insert(order.end(), widgets.begin(), widgets.end());
    };
    auto group = [&order, this](const char* name) {
        for (QAbstractButton* b : Group(name).buttons())
            order.push_back(b);
    };
    auto field = [this](TUpDown u) { return &UpDown(u).Edit(); };
    auto text = [this](TCharField f) { return &TextEdit(f); };
    group("DispModeGroup");
    group("MorseMode");
    add({CharItems_[1], text(TCharField::Chars1), CharItems_[2], text(TCharField::Chars2),
         AllButtons_[0], AllButtons_[1], AllButtons_[2]});
    add({field(TUpDown::StartSpeed), VariSpeed_, field(TUpDown::EndSpeed)});
    add({field(TUpDown::NumGroups), VariSize_, field(TUpDown::SizeGroups),
         field(TUpDown::SizeMin)});
    add({RepeatBox_, FasterBox_, text(TCharField::StartText), text(TCharField::StopText), Blip_});
    group("FarnsworthGroup");
    add({field(TUpDown::FarnswSpeed)});
    group("OutputGroup");
    add({ComPortBox_, SoundBox_});
    group("AutoStartGroup");
    group("PttGroup");
    add({findChild<QPushButton*>("MixerButton")});
    group("TXCharGroup");
    add({field(TUpDown::Freq), field(TUpDown::Slope), EqKeyOpt_});
    add({LevelBar_, NoiseBar_, Mute_, Noise_});
    add({CharSizeBox_, AllCaps_});
    group("SpeedDisplayGroup");
    add({TestButton_});
    for (std::size_t i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    // The scroll area is no stop of its own: Tab scrolls the control it reaches into view.
    Scroll_->setFocusPolicy(Qt::NoFocus);
}

// Tab enters a group of items at its checked one, so that a screen reader hears the choice and the
// arrows move it; at the first enabled one when none is checked and enabled.
void TParamForm::SetTabStop(QButtonGroup& group) {
    QAbstractButton* stop = group.checkedButton();
    if (!stop || !stop->isEnabled()) {
        stop = nullptr;
        for (QAbstractButton* b : group.buttons())
            if (b->isEnabled() && !b->isHidden()) {
                stop = b;
                break;
            }
    }
    if (!stop) return;
    for (QAbstractButton* b : group.buttons())
        b->setFocusPolicy(b == stop ? Qt::StrongFocus : Qt::ClickFocus);
}

// --- Placing and drawing
// ---------------------------------------------------------------------------

void TParamForm::Place() {
    Redraw(); // first: the captions it sets count for the size
    const auto& form = App_.Settings().Form;
    const QSize full = sizeHint();
    TRect r{form.ParaLeft, form.ParaTop, full.width(), full.height()};
    if (CanPlaceWindows()) r = FitOnScreens(r, ScreenAreas());
    resize(r.Width, r.Height);
    move(r.Left, r.Top);
}

void TParamForm::SetLabelEnabled(QLabel* label, bool on) {
    if (label) label->setEnabled(on);
}

void TParamForm::Redraw() {
    Drawing_ = true;
    const TParamView& v = P_.View();
    const TSettings& s = App_.Settings();
    auto check = [](QButtonGroup& g, int id) {
        if (QAbstractButton* b = g.button(id)) {
            b->setChecked(true);
        } else if (QAbstractButton* on = g.checkedButton()) {
            g.setExclusive(false);
            on->setChecked(false);
            g.setExclusive(true);
        }
    };
    check(Group("DispModeGroup"), s.Tutor.DispMode);
    check(Group("MorseMode"), s.Tutor.Mode);
    check(Group("MCharacters"), v.CharSelected);
    check(Group("FarnsworthGroup"), s.Tutor.Farnsworth);
    check(Group("SpeedDisplayGroup"), s.Main.ShowWpM ? 1 : 0);
    check(Group("TXCharGroup"), s.TX.Extended);
    check(Group("PttGroup"), s.TX.PTT ? 1 : 0);
    check(Group("AutoStartGroup"), s.TX.AutoStart ? 1 : 0);
    const TOutputChoice& choice = App_.OutputChoice();
    check(Group("OutputGroup"), choice.Chosen);

    for (int i = 0; i < UpDownCount; ++i) {
        const TNumberField& n = v.Numbers[static_cast<std::size_t>(i)];
        TUpDownEdit* pair = UpDowns_[static_cast<std::size_t>(i)];
        // Redrawn when the logic's text changed, never under the user's typing.
        if (n.Text != DrawnNumbers_[static_cast<std::size_t>(i)]) {
            pair->SetText(Q(n.Text));
            DrawnNumbers_[static_cast<std::size_t>(i)] = n.Text;
        }
        pair->SetFieldEnabled(n.Enabled);
        pair->SetAccessibleName(Q(n.Caption));
        Captions_[static_cast<std::size_t>(i)]->setText(Q(n.Caption));
        Captions_[static_cast<std::size_t>(i)]->setEnabled(n.CaptionEnabled);
    }
    for (QLabel* u : Units_)
        u->setText(Q(v.Unit));
    Units_[0]->setEnabled(P_.Number(TUpDown::StartSpeed).Enabled);
    Units_[1]->setEnabled(P_.Number(TUpDown::EndSpeed).Enabled);
    Units_[2]->setEnabled(P_.Number(TUpDown::FarnswSpeed).Enabled);
    for (int i = 0; i < CharFieldCount; ++i) {
        const auto& f = v.Texts[static_cast<std::size_t>(i)];
        QLineEdit* e = Texts_[static_cast<std::size_t>(i)];
        if (f.Text != DrawnTexts_[static_cast<std::size_t>(i)])
            DrawText(static_cast<TCharField>(i));
        e->setEnabled(f.Enabled);
    }
    SetLabelEnabled(StartTextLabel_, v.Texts[2].Enabled);
    SetLabelEnabled(StopTextLabel_, v.Texts[3].Enabled);

    VariSpeed_->setChecked(s.Tutor.Varispeed);
    VariSpeed_->setEnabled(v.VariSpeedEnabled);
    VariSize_->setChecked(s.Tutor.VariSize);
    VariSize_->setEnabled(v.VariSizeEnabled);
    Blip_->setChecked(s.Tutor.Blip);
    Blip_->setEnabled(v.BlipEnabled);
    Mute_->setChecked(s.TX.Muted);
    Noise_->setChecked(s.TX.Noise);
    AllCaps_->setChecked(s.Main.AllCaps);
    EqKeyOpt_->setChecked(s.TX.EqKeyOpt);
    RepeatBox_->setCurrentIndex(s.Tutor.Repeat);
    RepeatBox_->setEnabled(v.RepeatEnabled);
    RepeatLabel_->setEnabled(v.RepeatEnabled);
    FasterBox_->setCurrentIndex(s.Tutor.Faster);
    FasterBox_->setEnabled(v.FasterEnabled);
    FasterLabel_->setEnabled(v.FasterEnabled);
    CharSizeBox_->setCurrentIndex(s.Main.CharSizeItem);

    CharGroup_->setEnabled(v.CharsEnabled);
    for (auto* b : Group("DispModeGroup").buttons())
        b->setEnabled(v.DispModeEnabled);
    for (auto* b : Group("MorseMode").buttons())
        b->setEnabled(v.MorseModeEnabled);
    for (auto* b : Group("TXCharGroup").buttons())
        b->setEnabled(v.TXCharEnabled);
    for (auto* b : Group("PttGroup").buttons())
        b->setEnabled(v.PttEnabled);
    for (auto* b : Group("AutoStartGroup").buttons())
        b->setEnabled(v.AutoStartEnabled);
    Group("OutputGroup").button(0)->setEnabled(v.OutputSoundEnabled);
    Group("OutputGroup").button(1)->setEnabled(v.OutputComEnabled);
    ComPortBox_->setEnabled(v.PortBoxEnabled);

    std::vector<std::string> ports;
    for (std::size_t i = 0; i < choice.PortEntries.size(); ++i) {
        std::string entry = choice.PortEntries[i];
        if (i < choice.PortDevices.size() && !choice.PortDevices[i].empty())
            entry += " (" + choice.PortDevices[i] + ")";
        ports.push_back(entry);
    }
    if (ports != DrawnPorts_) {
        ComPortBox_->clear();
        for (const auto& p : ports)
            ComPortBox_->addItem(Q(p));
        DrawnPorts_ = ports;
    }
    ComPortBox_->setCurrentIndex(choice.PortSelected);
    if (choice.SoundEntries != DrawnSoundEntries_) {
        SoundBox_->clear();
        for (const auto& e : choice.SoundEntries)
            SoundBox_->addItem(Q(e));
        DrawnSoundEntries_ = choice.SoundEntries;
    }
    SoundBox_->setCurrentIndex(choice.SoundSelected);
    SoundBox_->setEnabled(!choice.SoundEntries.empty());

    LevelBar_->setValue(v.LevelPosition);
    NoiseBar_->setValue(v.NoisePosition);
    LevelLabel_->setText(Q(v.LevelLabel));
    NoiseLabel_->setText(Q(v.NoiseLabel));
    for (QWidget* w : {static_cast<QWidget*>(LevelBar_), static_cast<QWidget*>(NoiseBar_),
                       static_cast<QWidget*>(Mute_), static_cast<QWidget*>(LevelsCaption_)})
        w->setEnabled(v.SoundControlsEnabled);
    LevelLabel_->setVisible(v.SoundControlsEnabled);
    NoiseLabel_->setVisible(v.SoundControlsEnabled);
    Noise_->setEnabled(v.NoiseEnabled);
    SoundMuted_->setVisible(v.SoundMutedShown);
    TestButton_->setEnabled(v.TestEnabled);
    TestButton_->setText(Q(v.TestCaption));
    for (auto* b : Group("FarnsworthGroup").buttons())
        b->setEnabled(v.FarnsworthEnabled);
    for (auto& [name, group] : Groups_)
        SetTabStop(*group);
    Drawing_ = false;
}

// --- Fields and keys
// -------------------------------------------------------------------------------

void TParamForm::DrawText(TCharField which) {
    const auto i = static_cast<std::size_t>(which);
    const std::string& text = P_.Text(which).Text;
    if (To1252(Texts_[i]->text()) != text) Texts_[i]->setText(From1252(text));
    Texts_[i]->end(false);
    DrawnTexts_[i] = text;
}

void TParamForm::Commit(TCharField which) {
    P_.CommitText(which, FieldText(which));
    DrawText(which); // also when the logic's text stayed the same
}

std::string TParamForm::FieldText(TCharField which) const {
    return To1252(Texts_[static_cast<std::size_t>(which)]->text());
}

void TParamForm::CommitFields() {
    std::array<std::string, UpDownCount> numbers;
    for (int i = 0; i < UpDownCount; ++i)
        numbers[static_cast<std::size_t>(i)] =
            UpDowns_[static_cast<std::size_t>(i)]->Edit().text().toStdString();
    std::array<std::string, CharFieldCount> texts;
    for (int i = 0; i < CharFieldCount; ++i)
        texts[static_cast<std::size_t>(i)] = FieldText(static_cast<TCharField>(i));
    P_.Deactivate(numbers, texts);
    for (int i = 0; i < UpDownCount; ++i)
        UpDowns_[static_cast<std::size_t>(i)]->SetText(Q(P_.Number(static_cast<TUpDown>(i)).Text));
    for (int i = 0; i < CharFieldCount; ++i)
        DrawText(static_cast<TCharField>(i));
}

void TParamForm::StartMixer() {
    for (const TMixerCommand& c : MixerCommands()) {
        const QString program = QStandardPaths::findExecutable(Q(c.Program));
        if (program.isEmpty()) continue;
        QStringList arguments;
        for (const auto& a : c.Arguments)
            arguments << Q(a);
        if (QProcess::startDetached(program, arguments)) return;
    }
    if (OnStatus) OnStatus("No sound mixer found: install pavucontrol to set the output volume.");
}

bool TParamForm::TextFieldKey(TCharField which, QLineEdit& edit, QKeyEvent* key) {
    const bool chars = which == TCharField::Chars1 || which == TCharField::Chars2;
    switch (key->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Escape: return true;
    case Qt::Key_Return:
    case Qt::Key_Enter: Commit(which); return true;
    case Qt::Key_Delete:
        if (edit.hasSelectedText()) {
            edit.del();
            return true;
        }
        return !chars; // in the texts Delete acts on a selection only
    case Qt::Key_Backspace: {
        if (key->modifiers().testFlag(Qt::AltModifier)) return !chars;
        if (edit.hasSelectedText()) return false;
        std::string text = To1252(edit.text());
        int caret = static_cast<int>(To1252(edit.text().left(edit.cursorPosition())).size());
        if (!ProsignBackspace(text, caret)) return false;
        edit.setText(From1252(text));
        edit.setCursorPosition(static_cast<int>(From1252(text.substr(0, caret)).size()));
        return true;
    }
    default: break;
    }
    // Typed letters appear in capitals while all caps is on, by the program's one case rule.
    const std::string typed = To1252(key->text());
    if (App_.Settings().Main.AllCaps && typed.size() == 1 && Upper1252(typed) != typed) {
        edit.insert(From1252(Upper1252(typed)));
        return true;
    }
    return false;
}

bool TParamForm::WindowKey(QObject* watched, QKeyEvent* key) {
    if (key->key() == Qt::Key_Escape || key->key() == Qt::Key_F2) {
        if (key->key() == Qt::Key_Escape && App_.Session().State() == TSessionState::SoundTest)
            P_.TestButtonClick();
        else
            hide();
        return true;
    }
    if (auto* box = qobject_cast<QCheckBox*>(watched);
        box && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
        box->click();
        return true;
    }
    if ((watched == CharSizeBox_ || watched == ComPortBox_) && !key->text().isEmpty() &&
        key->text()[0].isPrint())
        return true;
    if ((watched == LevelBar_ || watched == NoiseBar_) &&
        (key->key() == Qt::Key_Left || key->key() == Qt::Key_Right))
        return true;
    for (int i = 0; i < CharFieldCount; ++i)
        if (watched == Texts_[static_cast<std::size_t>(i)])
            return TextFieldKey(static_cast<TCharField>(i), *Texts_[static_cast<std::size_t>(i)],
                                key);
    return false;
}

bool TParamForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress)
        return WindowKey(watched, static_cast<QKeyEvent*>(event));
    if (event->type() == QEvent::FocusIn) {
        if (watched == Texts_[0]) P_.EnterCharField(1);
        if (watched == Texts_[1]) P_.EnterCharField(2);
    }
    if (event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        for (int i = 0; i < CharFieldCount; ++i)
            if (watched == Texts_[static_cast<std::size_t>(i)] &&
                reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
                Commit(static_cast<TCharField>(i));
    }
    return false;
}

void TParamForm::keyPressEvent(QKeyEvent* event) {
    if (!WindowKey(this, event)) QWidget::keyPressEvent(event);
}

void TParamForm::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::ActivationChange) return;
    if (!isActiveWindow() && isVisible()) {
        CommitFields();
    } else if (isActiveWindow() && QGuiApplication::mouseButtons() == Qt::NoButton) {
        setFocus(); // activating the window leaves no control focused
    }
}

void TParamForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    P_.Refresh(); // what changed while it was hidden
    setFocus();
}

} // namespace brindle
