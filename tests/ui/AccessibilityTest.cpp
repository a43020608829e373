// Every window as a screen reader and the keyboard meet it: each control has a name, read through
// the accessibility interface the desktop's screen reader reads, and Tab reaches the controls in
// reading order.
#include "desk/Parameters.h"
#include "support/WindowFixture.h"
#include "ui/buffers/BufferForm.h"
#include "ui/course/KochForm.h"
#include "ui/main/AboutBox.h"
#include "ui/main/CopyEdit.h"
#include "ui/main/SessionDialogBox.h"
#include "ui/main/ShortcutList.h"
#include "ui/params/ParamForm.h"
#include "ui/params/UpDownEdit.h"
#include "ui/progress/ProgressForm.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

using namespace brindle;
using brindle::test::Activate;

namespace {

// Parts of a compound control speak through the control: the line edit of a spin box, the list
// of a combo box, the headers and the corner button of a table (read as its header cells).
bool InsideCompound(const QWidget& w) {
    for (const QWidget* p = w.parentWidget(); p; p = p->parentWidget())
        if (qobject_cast<const QComboBox*>(p) || qobject_cast<const QAbstractSpinBox*>(p) ||
            qobject_cast<const QAbstractItemView*>(p))
            return true;
    return false;
}

// The scroll bars of a scroll area (a text area, a list) are part of it, not controls of their
// own.
bool ScrollAreaBar(const QScrollBar& bar) {
    for (const QWidget* p = bar.parentWidget(); p; p = p->parentWidget())
        if (auto* area = qobject_cast<const QAbstractScrollArea*>(p))
            if (area->verticalScrollBar() == &bar || area->horizontalScrollBar() == &bar)
                return true;
    return false;
}

// What a user operates: buttons of every kind, edits, spin boxes, combo and list boxes, sliders
// and scroll bars that set a value, text areas.
bool IsControl(const QWidget& w) {
    if (InsideCompound(w)) return false;
    // Qt's own extension arrows of the menu bar and the tool bar, shown only where a bar is cut:
    // the main window is never narrower than its tool bar (the tool bar's test), and that is far
    // wider than the four menus.
    if (w.objectName() == "qt_toolbar_ext_button" || w.objectName() == "qt_menubar_ext_button")
        return false;
    if (auto* bar = qobject_cast<const QScrollBar*>(&w)) return !ScrollAreaBar(*bar);
    return qobject_cast<const QAbstractButton*>(&w) || qobject_cast<const QLineEdit*>(&w) ||
           qobject_cast<const QAbstractSpinBox*>(&w) || qobject_cast<const QComboBox*>(&w) ||
           qobject_cast<const QAbstractItemView*>(&w) || qobject_cast<const QAbstractSlider*>(&w) ||
           qobject_cast<const QPlainTextEdit*>(&w) || qobject_cast<const QTextEdit*>(&w);
}

// The name a screen reader reads. Where a control has none of its own, Qt falls back on the
// title of the group box it is in: that names the group, not the control, and counts as none.
QString AccessibleName(QWidget& w) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(&w);
    if (!a) return {};
    // On Linux a combo box's name is its current entry; the screen reader names it by the label
    // that labels it (a buddy beside it).
    if (qobject_cast<QComboBox*>(&w)) {
        for (const auto& [label, relation] : a->relations(QAccessible::Label))
            if (qobject_cast<QLabel*>(label->object()))
                return label->text(QAccessible::Name).trimmed();
        return {};
    }
    const QString name = a->text(QAccessible::Name).trimmed();
    if (auto* box = qobject_cast<QGroupBox*>(w.parentWidget());
        box && w.accessibleName().isEmpty() && name == QString(box->title()).remove('&'))
        return {};
    return name;
}

// How a failure names a widget: its object name, else its class, with the window it is in.
std::string Describe(const QWidget& w) {
    const QString name =
        w.objectName().isEmpty() ? QString(w.metaObject()->className()) : w.objectName();
    return (w.window()->windowTitle() + ": " + name).toStdString();
}

// Walks window and every widget in it; each control without a name is a failure of its own, and
// so is each control named like another one in the same place (four buttons "New" in a row tell
// a listener nothing about which buffer they erase). The number of controls checked.
int CheckNames(QWidget& window) {
    int controls = 0;
    std::map<std::pair<const QWidget*, QString>, const QWidget*> named; // by parent and name
    QList<QWidget*> all = window.findChildren<QWidget*>();
    all.prepend(&window);
    for (QWidget* w : all) {
        // Another window inside this one (the parameters window in the main window) is walked
        // on its own.
        if (w->window() != &window || !IsControl(*w)) continue;
        ++controls;
        const QString name = AccessibleName(*w);
        if (name.isEmpty())
            ADD_FAILURE() << "no accessible name: " << Describe(*w);
        else if (const auto [at, fresh] = named.emplace(std::pair(w->parentWidget(), name), w);
                 !fresh)
            ADD_FAILURE() << Describe(*w) << " has the same accessible name \""
                          << name.toStdString() << "\" as " << Describe(*at->second);
    }
    return controls;
}

// The controls Tab reaches from start, by their names, until it is back at start.
QStringList TabWalk(QWidget& start) {
    QWidget& window = *start.window();
    start.setFocus(Qt::TabFocusReason);
    QStringList names;
    QWidget* at = &start;
    for (int i = 0; i < 200; ++i) {
        QTest::keyClick(at, Qt::Key_Tab);
        at = window.focusWidget();
        if (!at || at == &start) break;
        names << AccessibleName(*at);
    }
    return names;
}

using Accessibility = brindle::test::TWindowTest;

} // namespace

TEST_F(Accessibility, EveryControlOfEveryWindowHasAName) {
    int controls = 0;
    Form->ToggleParameters();
    Form->ToggleBuffers();
    Form->ShowAbout();
    Form->ShowShortCuts();
    for (QWidget* window : QList<QWidget*>{Form.get(), &Form->ParamForm(), &Form->BufferForm(),
                                           &Form->AboutBox(), &Form->ShortcutList()}) {
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        controls += CheckNames(*window);
    }

    // The session dialog, as F3 opens it; it is walked while it is up, Tab goes between OK and
    // Cancel, then it is cancelled.
    QStringList walk;
    EXPECT_TRUE(WithDialog<TSessionDialogBox>(Qt::Key_F3, {}, [&](TSessionDialogBox& d) {
        controls += CheckNames(d);
        walk = TabWalk(d.OKButton());
        QTest::keyClick(&d, Qt::Key_Escape);
    }));
    EXPECT_EQ(walk, QStringList({"Cancel"}));

    // Copy practice: its dialog with the pacing, and the copy field with its Check button.
    EXPECT_TRUE(WithDialog<TSessionDialogBox>(Qt::Key_F11, {}, [&](TSessionDialogBox& d) {
        controls += CheckNames(d);
        QTest::keyClick(&d, Qt::Key_Return);
    }));
    ASSERT_TRUE(Form->CopyEdit().isVisible());
    controls += CheckNames(*Form);
    QTest::keyClick(&Form->CopyEdit(), Qt::Key_Escape);

    Form->ShowKochCourse();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form->KochForm()));
    controls += CheckNames(Form->KochForm());

    // The progress window, on the aborted practice above (no characters: its sentence only) and
    // with each tab shown.
    Form->ShowProgress();
    ASSERT_NE(Form->ProgressForm(), nullptr);
    TProgressForm& progress = *Form->ProgressForm();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&progress));
    for (int t = 0; t < progress.Tabs().count(); ++t) {
        progress.Tabs().setCurrentIndex(t);
        controls += CheckNames(progress);
    }

    // Waiting for a single item to end, the pause button has a blank caption; it keeps its name.
    Activate(*Form);
    EXPECT_EQ(AccessibleName(Form->PauseButton()), "Pause");
    QTest::keyClick(&Form->TextView(), Qt::Key_F9);
    ASSERT_EQ(Form->PauseButton().text(), " ");
    EXPECT_EQ(AccessibleName(Form->PauseButton()), "Pause");
    controls += CheckNames(*Form);

    std::printf("%d controls checked\n", controls);
    EXPECT_GT(controls, 150); // every window was walked
}

// Typing goes to the display also while a button of the main window has the focus.
TEST_F(Accessibility, TabGoesThroughTheMainWindowInReadingOrderAndTypingStillSends) {
    Activate(*Form);
    // The pause button is disabled while nothing is sent; the speed box is named by its label,
    // which says the spacing method.
    EXPECT_EQ(TabWalk(Form->TextView()),
              QStringList({"Open", "Save", "Set Parameters", "Start Random Characters",
                           "Show Text Buffers", "Set Single Mode", "Hide Text", "AutoStart",
                           "Farnsworth"}));
    EXPECT_EQ(AccessibleName(Form->TextView()), "Sent text");
    Form->TXButton().setFocus(Qt::TabFocusReason);
    QTest::keyClicks(&Form->TXButton(), "cq");
    EXPECT_EQ(Shown(), "cq");
}

TEST_F(Accessibility, TabGoesThroughTheParametersWindowInReadingOrder) {
    Form->ToggleParameters();
    TParamForm& params = Form->ParamForm();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&params));
    Activate(params);
    // Shown, the window itself has the focus. A group of items is entered at its checked one;
    // disabled controls (the end speed, the minimum group size, the speed increment, the PTT
    // items without a port) are passed over.
    EXPECT_EQ(TabWalk(params),
              QString("Show first, then sound|Random Characters|Use characters 1|Characters 1|"
                      "Characters 2|All Letters|All Numerals|All Characters|Start Speed|"
                      "Variable Speed On|Number of Items|Variable Group Size|Size of Groups|Repeat|"
                      "Start Text|End Text|on - Characters (Farnsworth)|"
                      "Farnsworth Speed for Characters|Sound Output|Available COM Ports|ON|"
                      "Get Output Mixer|Extended|Frequency Hz|Slope (samples)|"
                      "Optimization for = Key|Output Level|Noise Level|Mute|Noise ON|"
                      "Character Size|All CAPS Display|CpM|Test Sound and Speed")
                  .split('|'));

    // The items follow the choice: after a click on "Words", Tab enters the group there.
    QAbstractButton& words = *params.Group("MorseMode").button(1);
    QTest::mouseClick(&words, Qt::LeftButton, {}, QPoint(8, words.height() / 2));
    const QStringList walk = TabWalk(*params.Group("DispModeGroup").button(0));
    ASSERT_FALSE(walk.isEmpty());
    EXPECT_EQ(walk.front(), "Random Words");

    // The level sliders are controls of their own: Tab reaches them, the keys move them.
    auto* level = params.findChild<QScrollBar*>("LevelBar");
    ASSERT_NE(level, nullptr);
    params.UpDown(TUpDown::Slope).Edit().setFocus();
    QTest::keyClick(&params.UpDown(TUpDown::Slope).Edit(), Qt::Key_Tab);
    QTest::keyClick(params.focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(params.focusWidget(), level);
    const int before = level->value();
    QTest::keyClick(level, Qt::Key_PageDown);
    EXPECT_EQ(level->value(), before + 10);
    EXPECT_EQ(App().Params().View().LevelPosition, before + 10);
    QTest::keyClick(level, Qt::Key_Up);
    EXPECT_EQ(level->value(), before + 9);
}

TEST_F(Accessibility, TabGoesThroughTheBuffersRowByRow) {
    Form->ToggleBuffers();
    TBufferForm& buffers = Form->BufferForm();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&buffers));
    Activate(buffers);
    QStringList expected;
    for (int n : {2, 3, 4, 1}) {
        for (const char* button : {"New", "Load", "Save", "Transmit", "Repeat"})
            expected << QString("%1 buffer %2").arg(button).arg(n);
        if (n != 1) expected << QString("Buffer %1").arg(n);
    }
    EXPECT_EQ(TabWalk(buffers.BufferEdit(0)), expected);
}
