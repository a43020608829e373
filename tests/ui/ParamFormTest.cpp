// The parameters window with real key events and clicks, beside the main window, on a sound
// backend in memory; and the settings it writes, read back at the next start.
#include "ui/params/ParamForm.h"
#include "desk/Parameters.h"
#include "support/DeskFixture.h"
#include "support/WindowFixture.h"
#include "ui/params/UpDownEdit.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>

#include <stdexcept>

using namespace brindle;
using brindle::test::ReadWhole;
using brindle::test::Values;

namespace {

class ParamWindow : public brindle::test::TWindowTest {
protected:
    void SetUp() override {
        TWindowTest::SetUp();
        ShowParams();
    }
    void TearDown() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        if (Form) Shot(Params(), ("params-" + std::string(info->name())).c_str());
        TWindowTest::TearDown();
    }
    void ShowParams() {
        Form->ToggleParameters();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&Params()));
        // Focus moves only inside the active window (on a real X server as well).
        brindle::test::Activate(Params());
        if (!QTest::qWaitForWindowActive(&Params(), 2000)) qWarning("parameters window not active");
        QApplication::processEvents();
    }
    TParamForm& Params() { return Form->ParamForm(); }
    TParameters& Logic() { return App().Params(); }
    QLineEdit& Field(TUpDown u) { return Params().UpDown(u).Edit(); }
    template <class W> W& Find(const char* name) {
        auto* w = Params().findChild<W*>(name);
        if (!w) throw std::logic_error(std::string("no control ") + name); // fails the test
        return *w;
    }
    // Types text into a field that has the focus and presses Enter.
    void Enter(QLineEdit& edit, const QString& text) {
        edit.setFocus();
        edit.selectAll();
        QTest::keyClicks(&edit, text);
        QTest::keyClick(&edit, Qt::Key_Return);
    }
    void Click(QButtonGroup& group, int id) {
        // On the indicator: a radio button takes clicks on its circle and caption only.
        QAbstractButton* b = group.button(id);
        QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(8, b->height() / 2));
        QApplication::processEvents();
    }
    // Nested layouts take their new sizes one level in each turn of the event loop.
    static void Settle() {
        for (int level = 0; level < 10; ++level)
            QApplication::processEvents();
    }
    // Resizes the parameters window (within its limits) and lets its layout settle.
    void ShowAt(QSize size) {
        Params().resize(size);
        Settle();
    }
    bool Scrolls(Qt::Orientation o) {
        QScrollArea& scroller = Params().Scroller();
        return (o == Qt::Vertical ? scroller.verticalScrollBar() : scroller.horizontalScrollBar())
            ->isVisible();
    }
    // The controls that do not get the room their text needs, or that lie outside what the window
    // shows or scrolls to, one per line; empty when every control can be read.
    std::string Clipped() {
        QScrollArea& scroller = Params().Scroller();
        QWidget& content = *scroller.widget();
        std::string clipped;
        if (content.width() > scroller.viewport()->width() && !Scrolls(Qt::Horizontal))
            clipped += "the controls are cut on the right\n";
        for (QWidget* w : content.findChildren<QWidget*>()) {
            if (!w->isVisibleTo(&content) || w->minimumSize() == w->maximumSize()) continue;
            QSize need;
            if (qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w))
                need = w->sizeHint(); // a caption on one line, in full
            else if (qobject_cast<QComboBox*>(w) || qobject_cast<QGroupBox*>(w))
                need = w->minimumSizeHint();
            else
                continue;
            const QRect place(w->mapTo(&content, QPoint(0, 0)), w->size());
            if (w->width() < need.width() || w->height() < need.height() ||
                !content.rect().contains(place)) {
                QString text;
                if (auto* l = qobject_cast<QLabel*>(w)) text = l->text();
                if (auto* b = qobject_cast<QAbstractButton*>(w)) text = b->text();
                if (auto* g = qobject_cast<QGroupBox*>(w)) text = g->title();
                clipped += (w->objectName() + " \"" + text + "\" ").toStdString() +
                           std::to_string(w->width()) + "x" + std::to_string(w->height()) +
                           " needs " + std::to_string(need.width()) + "x" +
                           std::to_string(need.height()) + "\n";
            }
        }
        return clipped;
    }
};

// Enter and leaving a field apply it, and the field shows the value taken, in the unit chosen;
// Shift and Ctrl reach the steps of the keys and the arrows; the variable size box follows the
// size. The rules behind them are Params.SpeedFieldsInWpmAndNumbersFallBackAndClamp,
// Params.StepRuleWithShiftAndCtrlAndCharacterFields and Params.GroupSizesKeepTheirOrder.
TEST_F(ParamWindow, FieldsArrowsAndTheVariableBox) {
    Click(Params().Group("SpeedDisplayGroup"), 1);
    Enter(Field(TUpDown::StartSpeed), "12.5");
    EXPECT_EQ(Values(Form->SpeedLabel().text().toStdString(),
                     Field(TUpDown::StartSpeed).text().toStdString(), Logic().WorkStartSpeed),
              "WpM | 12.4 | 62");
    Field(TUpDown::NumGroups).setFocus();
    Field(TUpDown::NumGroups).setText("77");
    Field(TUpDown::StartSpeed).setFocus();
    QApplication::processEvents();
    EXPECT_EQ(Logic().WorkGroupCount, 77);

    QLineEdit& freq = Field(TUpDown::Freq);
    freq.setFocus();
    QTest::keyClick(&freq, Qt::Key_Up, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_EQ(Values(App().Engine().Frequency(), freq.text().toStdString()), "900 | 900");
    QTest::mouseClick(&Params().UpDown(TUpDown::Freq).DownButton(), Qt::LeftButton,
                      Qt::ShiftModifier);
    QTest::mouseClick(&Params().UpDown(TUpDown::Freq).UpButton(), Qt::LeftButton);
    EXPECT_EQ(Values(App().Engine().Frequency(), freq.text().toStdString(), freq.hasFocus()),
              "891 | 891 | 1");

    auto& vari = Find<QCheckBox>("VariGroupSizeCheckBox");
    QTest::mouseClick(&vari, Qt::LeftButton);
    EXPECT_EQ(Values(vari.isChecked(), Field(TUpDown::SizeMin).isEnabled()), "1 | 1");
    Enter(Field(TUpDown::SizeGroups), "1");
    EXPECT_EQ(Values(vari.isChecked(), vari.isEnabled(), Field(TUpDown::SizeMin).isEnabled()),
              "0 | 0 | 0");
}

TEST_F(ParamWindow, CharacterFieldsButtonsCapsAndTheStandardSet) {
    QLineEdit& chars2 = Params().TextEdit(TCharField::Chars2);
    QTest::mouseClick(&chars2, Qt::LeftButton);
    EXPECT_EQ(Logic().View().CharSelected, 2);
    Params().Group("MCharacters").button(0)->click(); // the hidden item
    EXPECT_TRUE(Params().Group("MCharacters").button(2)->isChecked());
    QTest::mouseClick(&Find<QCheckBox>("AllCapsCheckBox"), Qt::LeftButton);
    QTest::mouseClick(&Find<QPushButton>("AllCharactersButton"), Qt::LeftButton);
    EXPECT_EQ(chars2.text(), "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.,/?<BT>");
    EXPECT_TRUE(chars2.hasFocus());
    // Typed letters are capitals; Backspace behind ">" takes the whole prosign.
    QTest::keyClick(&chars2, Qt::Key_Backspace);
    EXPECT_EQ(chars2.text(), "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.,/?");
    chars2.setText("");
    QTest::keyClicks(&chars2, "ab<kx>");
    EXPECT_EQ(chars2.text(), "AB<KX>");
    QTest::keyClick(&chars2, Qt::Key_Return);
    EXPECT_EQ(chars2.text(), "AB");
    EXPECT_EQ(Logic().CharSet2, "ab");
    EXPECT_EQ(Params().TextEdit(TCharField::Chars1).text(), "ABCDEFGHIJKLMNOPQRSTUVWXYZ");

    // The standard set clears the extended characters from every field it shows.
    QTest::mouseClick(&Find<QCheckBox>("AllCapsCheckBox"), Qt::LeftButton);
    for (const auto& [field, text] :
         {std::pair(TCharField::Chars1, "abä"), {TCharField::StopText, "öe"}}) {
        Params().TextEdit(field).setText(QString::fromUtf8(text));
        QTest::keyClick(&Params().TextEdit(field), Qt::Key_Return);
    }
    EXPECT_EQ(Params().TextEdit(TCharField::Chars1).text(), QString::fromUtf8("abä"));
    Click(Params().Group("TXCharGroup"), 0);
    EXPECT_EQ(Params().TextEdit(TCharField::Chars1).text(), "ab");
    EXPECT_EQ(Params().TextEdit(TCharField::StopText).text(), "e");
}

TEST_F(ParamWindow, MuteNoiseAndFarnsworth) {
    auto& noise = Find<QCheckBox>("NoiseCheckBox");
    QTest::mouseClick(&noise, Qt::LeftButton);
    EXPECT_TRUE(App().NoiseAdded());
    auto& mute = Find<QCheckBox>("MuteCheckBox");
    mute.setFocus();
    // Muted, the volume, the noise box enabled, noise added.
    const auto muted = [&] {
        return Values(mute.isChecked(), Sound.Volume, noise.isEnabled(), App().NoiseAdded());
    };
    QTest::keyClick(&mute, Qt::Key_Return); // Enter toggles a check box
    EXPECT_EQ(muted(), "1 | 0 | 0 | 0");
    QTest::mouseClick(&mute, Qt::LeftButton);
    EXPECT_EQ(muted(), "0 | 1 | 1 | 1");

    Click(Params().Group("FarnsworthGroup"), 0);
    EXPECT_EQ(Values(App().Engine().Spacing() == TSpacing::Plain,
                     Field(TUpDown::FarnswSpeed).isEnabled(),
                     Field(TUpDown::FarnswSpeed).text().toStdString()),
              "1 | 0 | 60");
    Click(Params().Group("FarnsworthGroup"), 2);
    EXPECT_EQ(Values(App().Engine().Spacing() == TSpacing::Wordsworth, App().Engine().FWSpeed()),
              "1 | 60");

    Find<QScrollBar>("LevelBar").setValue(30);
    EXPECT_EQ(
        Values(App().Engine().LogAmplitude(), Find<QLabel>("LevelLabel").text().toStdString()),
        "-30 | -30 dB");
}

TEST_F(ParamWindow, F2ShowsHidesAndShowsAndEscHides) {
    ASSERT_TRUE(Params().isVisible());
    QApplication::setActiveWindow(Form.get());
    Form->TextView().setFocus();
    for (const bool shown : {false, true, false}) {
        QTest::keyClick(&Form->TextView(), Qt::Key_F2);
        EXPECT_EQ(Params().isVisible(), shown);
    }
    Form->ToggleParameters();
    ASSERT_TRUE(Params().isVisible());
    QTest::keyClick(&Field(TUpDown::Freq), Qt::Key_Escape);
    EXPECT_FALSE(Params().isVisible());
    Form->ToggleParameters();
}

// A port is listed with its adapter (Bluetooth links are not); one that cannot be opened is
// reported, and the sound output stays.
TEST_F(ParamWindow, PortsShowTheirAdapterAndOneThatCannotBeOpenedLeavesTheSound) {
    Ports.resize(256);
    Ports[64] = {"FT232R USB UART", "ttyUSB0", "/dev/ttyUSB0"};
    Ports[6] = {"Bluetooth link", "rfcomm0", "/dev/rfcomm0"};
    App().SerialPortsChanged();
    QApplication::processEvents();
    auto& box = Find<QComboBox>("ComPortBox");
    ASSERT_EQ(box.count(), 1);
    EXPECT_EQ(box.itemText(0), "COM65 (ttyUSB0: FT232R USB UART)");
    EXPECT_EQ(PortNumberOfEntry(box.itemText(0).toStdString()), 65);
    box.setFocus();
    QTest::keyClicks(&box, "n");
    EXPECT_EQ(box.currentIndex(), 0);

    ASSERT_TRUE(Params().Group("OutputGroup").button(1)->isEnabled());
    Messages.clear();
    Click(Params().Group("OutputGroup"), 1);
    QApplication::processEvents();
    ASSERT_FALSE(Messages.empty()); // the port's own reason reaches the user
    EXPECT_EQ(App().Output().Device(), TOutputDevice::Sound);
    EXPECT_TRUE(Params().Group("OutputGroup").button(0)->isChecked());
    EXPECT_TRUE(Find<QScrollBar>("LevelBar").isEnabled());
}

// Whatever the fonts (the desktop's, or a larger one set while the window is open, which makes the
// window larger): every control with the room its caption needs, inside what the window shows or
// scrolls to, and a scroll bar only when the window is smaller than its controls.
TEST_F(ParamWindow, AShorterWindowScrollsAndStaysReadableAtEveryFontSize) {
    QWidget& content = *Params().Scroller().widget();
    const QFont normal = QApplication::font();
    const auto restore = qScopeGuard([&] {
        QApplication::setFont(normal);
        Settle();
    });
    QSize before;
    for (const double scale : {1.0, 1.5}) {
        SCOPED_TRACE(scale);
        QFont font = normal;
        if (normal.pixelSize() > 0)
            font.setPixelSize(static_cast<int>(normal.pixelSize() * scale));
        else
            font.setPointSizeF(normal.pointSizeF() * scale);
        QApplication::setFont(font);
        Settle();
        const QSize full = content.sizeHint();
        EXPECT_TRUE(!before.isValid() ||
                    (full.width() > before.width() && full.height() > before.height()));
        before = full;
        EXPECT_EQ(Values(Params().sizeHint().height(), Params().maximumHeight(),
                         Params().minimumHeight(), Params().sizeHint().width() >= full.width()),
                  Values(full.height(), full.height(), TParamForm::MinimumSide, true));
        ShowAt(Params().sizeHint());
        EXPECT_EQ(Values(Scrolls(Qt::Vertical), Scrolls(Qt::Horizontal), Clipped()), "0 | 0 | ");
        ShowAt({Params().sizeHint().width(), full.height() - 1}); // scrolled, not squeezed
        EXPECT_EQ(Values(Scrolls(Qt::Vertical), content.height() == full.height(), Clipped()),
                  "1 | 1 | ");
        ShowAt({Params().sizeHint().width(), TParamForm::MinimumSide});
        EXPECT_EQ(Values(Scrolls(Qt::Vertical), Clipped()), "1 | ");
    }
    // As small as it goes, it scrolls both ways; the controls keep the room they need.
    ShowAt({1, 1});
    EXPECT_EQ(Params().size(), QSize(TParamForm::MinimumSide, TParamForm::MinimumSide));
    EXPECT_EQ(Values(Scrolls(Qt::Horizontal), content.width() == content.minimumSizeHint().width(),
                     Clipped()),
              "1 | 1 | ");
}

TEST_F(ParamWindow, EverySettingReadsBackTheSameAtTheNextStart) {
    Click(Params().Group("MorseMode"), 3);
    Click(Params().Group("DispModeGroup"), 1);
    Enter(Field(TUpDown::Freq), "655");
    Enter(Field(TUpDown::NumGroups), "12");
    Enter(Params().TextEdit(TCharField::StartText), "cq<ka>");
    QTest::mouseClick(&Find<QCheckBox>("BlipBox"), Qt::LeftButton);
    Find<QScrollBar>("NoiseBar").setValue(33);
    Find<QComboBox>("RepeatBox").setCurrentIndex(2);
    Logic().SetRepeat(2);
    Restart();
    ShowParams();
    const std::string first = ReadWhole(SettingsPath(Folder.Path.string() + "/"));
    EXPECT_EQ(Values(Params().Group("MorseMode").button(3)->isChecked(), App().Engine().Frequency(),
                     Field(TUpDown::NumGroups).text().toStdString(),
                     Params().TextEdit(TCharField::StartText).text().toStdString(),
                     Find<QCheckBox>("BlipBox").isChecked(), App().Noise().LeveldB(),
                     Find<QComboBox>("FasterBox").isEnabled()),
              "1 | 655 | 12 | cq<ka> | 1 | -33 | 1");
    Restart(); // a file written by this program reads back to the same file
    EXPECT_EQ(ReadWhole(SettingsPath(Folder.Path.string() + "/")), first);
}

} // namespace
