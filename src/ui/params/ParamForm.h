// The window "Set Brindle Parameters": builds the three groups of controls, forwards every change
// to TParameters and redraws from its view and the settings in one place (Redraw). It sees keys
// before the focused control (Esc and F2 hide it, Enter toggles a check box). Made once by the
// main window, then shown and hidden.
#pragma once

#include "base/Signal.h"
#include "desk/Parameters.h"

#include <QWidget>

#include <array>
#include <functional>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QScrollBar;

namespace brindle {

class TDesk;
class TUpDownEdit;

class TParamForm : public QWidget {
public:
    // Neither side of the window goes below this; its controls scroll.
    static constexpr int MinimumSide = 150;

    TParamForm(TDesk& app, QWidget* owner);
    ~TParamForm() override;

    // Room for every control without scrolling.
    QSize sizeHint() const override;

    // After the logic's creation: places the window at its settings' position inside the work
    // area and draws every control.
    void Place();
    void Redraw();
    // Commits every field with what it holds, as deactivating the window does.
    void CommitFields();
    // Starts the desktop's sound mixer; without one, Status tells which to install.
    void StartMixer();
    // Where the main window wants a line in its status bar.
    std::function<void(const QString&)> OnStatus;

    TUpDownEdit& UpDown(TUpDown which) { return *UpDowns_[static_cast<std::size_t>(which)]; }
    QLineEdit& TextEdit(TCharField which) { return *Texts_[static_cast<std::size_t>(which)]; }
    QButtonGroup& Group(const char* name); // by the control's name, "MorseMode" etc.
    QScrollArea& Scroller() { return *Scroll_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    int ScrollBarWidth() const;
    void FitToContent();
    void SetTabOrder();
    void SetTabStop(QButtonGroup& group);
    QWidget* BuildTutor(QWidget* parent);
    QWidget* BuildOutput(QWidget* parent);
    QWidget* BuildDisplay(QWidget* parent);
    QButtonGroup* Radios(QGroupBox* box, const char* name, const std::vector<const char*>& items,
                         int columns, std::function<void(int)> chosen);
    QCheckBox* Check(QWidget* parent, const char* name, const char* caption,
                     std::function<void(bool)> changed);
    TUpDownEdit* Pair(QWidget* parent, TUpDown which, const char* name);
    QLineEdit* CharEdit(QWidget* parent, TCharField which, const char* name);
    bool WindowKey(QObject* watched, QKeyEvent* key);
    bool TextFieldKey(TCharField which, QLineEdit& edit, QKeyEvent* key);
    std::string FieldText(TCharField which) const;
    void DrawText(TCharField which);
    void Commit(TCharField which);
    void SetLabelEnabled(QLabel* label, bool on);

    TDesk& App_;
    TParameters& P_;
    TConnection ParamsChanged_;
    bool Drawing_ = false;
    QScrollArea* Scroll_ = nullptr;
    std::array<TUpDownEdit*, UpDownCount> UpDowns_{};
    std::array<QLabel*, UpDownCount> Captions_{};
    std::array<QLabel*, 3> Units_{};
    std::array<QLineEdit*, CharFieldCount> Texts_{};
    std::array<std::string, CharFieldCount> DrawnTexts_;
    std::array<std::string, UpDownCount> DrawnNumbers_;
    std::vector<std::pair<const char*, QButtonGroup*>> Groups_;
    std::vector<QCheckBox*> Checks_;
    QCheckBox* VariSpeed_ = nullptr;
    QCheckBox* VariSize_ = nullptr;
    QCheckBox* Blip_ = nullptr;
    QCheckBox* Mute_ = nullptr;
    QCheckBox* Noise_ = nullptr;
    QCheckBox* AllCaps_ = nullptr;
    QCheckBox* EqKeyOpt_ = nullptr;
    QComboBox* RepeatBox_ = nullptr;
    QComboBox* FasterBox_ = nullptr;
    QComboBox* CharSizeBox_ = nullptr;
    QComboBox* ComPortBox_ = nullptr;
    QComboBox* SoundBox_ = nullptr; // the sound outputs, the system's default first
    QLabel* FasterLabel_ = nullptr;
    QLabel* RepeatLabel_ = nullptr;
    QLabel* StartTextLabel_ = nullptr;
    QLabel* StopTextLabel_ = nullptr;
    QLabel* LevelLabel_ = nullptr;
    QLabel* NoiseLabel_ = nullptr;
    QLabel* LevelsCaption_ = nullptr;
    QLabel* SoundMuted_ = nullptr;
    QScrollBar* LevelBar_ = nullptr;
    QScrollBar* NoiseBar_ = nullptr;
    QPushButton* TestButton_ = nullptr;
    std::array<QPushButton*, 3> AllButtons_{};
    std::array<QRadioButton*, 3> CharItems_{};
    QGroupBox* CharGroup_ = nullptr;
    std::vector<std::string> DrawnPorts_;
    std::vector<std::string> DrawnSoundEntries_;
};

// True where the window system lets a program place its windows (not under Wayland).
bool CanPlaceWindows();
// The work areas of the screens, for FitOnScreens.
std::vector<TRect> ScreenAreas();
// FitFramedOnScreens with the frame that the window manager draws around `shown`, a window on the
// screen with the same decorations (no frame when it is not shown).
TRect FitOnScreensFramedAs(TRect window, const QWidget& shown);

} // namespace brindle
