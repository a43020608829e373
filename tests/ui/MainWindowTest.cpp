// The windows with real key events and clicks, on a sound backend in memory. The main window:
// typing, editing and the tool bar; the text buffers window, the screen text files, help, the
// shortcut list and the about box; practice sessions: the session dialog's six lines for each mode
// and its request lines, the loaders of the File menu, the start button, the speed and sound
// tests, copy practice and the Koch course. Every window as a screen reader and the keyboard meet
// it. The parameters window beside the main window, and the settings it writes, read back at the
// next start.
#include "ui/main/MainWindow.h"
#include "desk/Buffers.h"
#include "desk/Parameters.h"
#include "desk/SoundAbsence.h"
#include "desk/TextChecks.h"
#include "support/DeskFixture.h"
#include "support/EventLoop.h"
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
#include <QAbstractTextDocumentLayout>
#include <QAccessible>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

using namespace brindle;
using brindle::test::Activate;
using brindle::test::Has;
using brindle::test::ReadWhole;
using brindle::test::Values;
namespace fs = std::filesystem;

namespace {

using Window = brindle::test::TWindowTest;

// Writes text to the file at path; returns path.
std::string Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

class BufferWindow : public Window {
protected:
    TBufferForm& Buffers() { return Form->BufferForm(); }
};

using TLines = std::array<std::string, 6>;

class SessionWindow : public Window {
protected:
    // Presses key on the display; the session dialog that opens is read and answered with reply.
    // Returns its caption and lines as drawn (empty caption: no dialog came).
    std::pair<std::string, TLines> Dialog(Qt::Key key, Qt::Key reply) {
        std::pair<std::string, TLines> seen;
        WithDialog<TSessionDialogBox>(key, {}, [&](TSessionDialogBox& d) {
            seen.first = d.windowTitle().toStdString();
            for (int i = 0; i < 6; ++i)
                seen.second[static_cast<std::size_t>(i)] = d.Line(i).text().toStdString();
            const std::string test = testing::UnitTest::GetInstance()->current_test_info()->name();
            Shot(d, ("dialog-" + test + "-" + seen.first).c_str());
            QTest::keyClick(&d, reply);
        });
        return seen;
    }
    // Answers the next dialog with OK.
    static void AnswerOk() {
        QTimer::singleShot(0, [] {
            if (auto* d = QApplication::activeModalWidget()) QTest::keyClick(d, Qt::Key_Return);
        });
    }
    void Load(Qt::Key key, const std::string& path) {
        NextFile = path;
        Key(key, Qt::ControlModifier);
    }
    // Plays until done() or for at most limitMs.
    template <class F> void PlayUntil(F done, int limitMs = 60000) {
        for (int ms = 0; ms < limitMs && !done(); ms += 100)
            Play(100);
    }
    std::string State() { return NameOf(App().Session().State()); }
    brindle::test::TTempDir Lists; // where the user keeps word, phrase and text lists
};

// --- Accessibility ---------------------------------------------------------------------------

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

// --- The parameters window ---------------------------------------------------------------------

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
                !content.rect().contains(place))
                clipped += QString("%1 (%2) %3x%4 needs %5x%6\n")
                               .arg(w->objectName(), w->metaObject()->className())
                               .arg(w->width())
                               .arg(w->height())
                               .arg(need.width())
                               .arg(need.height())
                               .toStdString();
        }
        return clipped;
    }
};

} // namespace

TEST_F(Window, TypingShowsTheTextRedThenBlackAndTheTXButtonFollowsThePtt) {
    // The TX button's state and caption.
    const auto tx = [&] {
        return Values(Form->TXButton().isChecked(), Form->TXButton().text().toStdString());
    };
    EXPECT_EQ(tx(), "0 | AutoStart");
    QTest::keyClicks(&Form->TextView(), "paris");
    EXPECT_EQ(Shown(), "paris");
    EXPECT_EQ(ColourAt(0), QColor(Qt::red));
    Play(300);
    EXPECT_EQ(
        Values(tx(), Form->PauseButton().isEnabled(), Form->PauseButton().text().toStdString()),
        "1 | Stop | 1 | Pause");
    Play(8000); // the text and the PTT hold time
    EXPECT_EQ(Values(ColourAt(0) == Qt::black, ColourAt(4) == Qt::black, Sound.Written.empty()),
              "1 | 1 | 0");
    EXPECT_EQ(tx(), "0 | AutoStart");
}

// The sound server goes: the status bar says so, and only when it stays away a notice comes,
// which leaves the keys to the display and goes by itself when the sound is back.
TEST_F(Window, ASoundServerThatStaysAwayGetsANoticeThatLeavesTheKeys) {
    const auto status = [&] { return Form->statusBar()->currentMessage().toStdString(); };
    const auto notice = [&] {
        auto* box = Form->findChild<QMessageBox*>("SoundNotice");
        return box && box->isVisible();
    };
    Sound.Outputs.clear();
    App().SoundOutputsChanged();
    QApplication::processEvents();
    EXPECT_EQ(Values(status(), notice()), Values(TSoundAbsence::RestartingText, 0));
    ASSERT_TRUE(test::RunUntil(notice, TSoundAbsence::GraceMs + 30000)); // the grace runs out
    EXPECT_EQ(Values(status(), notice(), QApplication::activeModalWidget() == nullptr),
              Values(TSoundAbsence::NoOutputText, 1, 1));
    QTest::keyClicks(&Form->TextView(), "ee");
    EXPECT_EQ(Shown(), "ee");
    Sound.Outputs = {{"null", "Null Output"}};
    App().SoundOutputsChanged();
    QApplication::processEvents();
    EXPECT_EQ(Values(status(), notice()), Values("", 0));
    Play(6000);
    EXPECT_EQ(Values(ColourAt(0) == Qt::black, ColourAt(1) == Qt::black), "1 | 1");
}

// Backspace, Esc, Ctrl+Z, Delete and Ctrl+V on the display reach the sending logic (the rules, and
// a paste larger than the buffer: Desk.TypingProsignsBackspaceAndMappedCharacters and
// Desk.PastingRunsTheFilterChainAndAFullBufferGivesOneMessage).
TEST_F(Window, EditingKeysAndPastingOnTheDisplay) {
    auto* display = &Form->TextView();
    const std::tuple<const char*, Qt::Key, Qt::KeyboardModifiers> edits[] = {
        {"<ar", Qt::Key_Backspace, {}},
        {"cq cq", Qt::Key_Escape, {}},
        {"abc", Qt::Key_Z, Qt::ControlModifier},
        {"abc", Qt::Key_Delete, {}}};
    for (const auto& [typed, key, mods] : edits) {
        QTest::keyClicks(display, typed);
        ASSERT_FALSE(Shown().isEmpty()) << typed;
        QTest::keyClick(display, key, mods);
        EXPECT_EQ(Values(Shown().toStdString(), key == Qt::Key_Z && App().Engine().HasChars()),
                  " | 0")
            << typed; // Ctrl+Z leaves nothing queued
    }

    QGuiApplication::clipboard()->setText("cq <ar>");
    QTest::keyClick(display, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Shown(), "cq <ar>");
    QTest::keyClick(display, Qt::Key_Z, Qt::ControlModifier);
    // NUL bytes, control characters and bytes that are no UTF-8: only sendable characters come
    // through.
    auto junk = std::make_unique<QMimeData>();
    junk->setData("text/plain", QByteArray("e\0\x01\xff\xfe\xc3(t\x1b", 9));
    QGuiApplication::clipboard()->setMimeData(junk.release());
    QTest::keyClick(display, Qt::Key_V, Qt::ControlModifier);
    for (const QChar c : Shown())
        EXPECT_TRUE(c.isPrint()) << static_cast<int>(c.unicode());
    EXPECT_EQ(Values(Shown().startsWith("e"), Messages.size()), "1 | 0");
}

// Closing saves the settings and the buffers; what cannot be saved is shown and the window still
// closes. Ended by a signal (a logout) nobody may be there to click: the messages go to the log.
TEST_F(Window, ClosingSavesAndShowsWhatCouldNotBeSaved) {
    const std::string data = Folder.Path.string() + "/";
    App().ChangeSpeedBy(5);
    Form->close();
    EXPECT_EQ(Values(LoadIniSettings(data, {}).Main.Speed, Messages.size(),
                     Has(ReadWhole(SettingsPath(data)),
                         std::string("Version=") + TMainWindow::ProgramVersion() + "\n")),
              "65 | 0 | 1");

    // The settings folder has become a file.
    for (const bool bySignal : {false, true}) {
        Form.reset();
        fs::remove_all(Folder.Path);
        fs::create_directory(Folder.Path);
        Open();
        Messages.clear();
        fs::remove_all(Folder.Path);
        std::ofstream(Folder.Path) << "a file where the folder should be";
        if (bySignal)
            Form->CloseWithoutQuestion();
        else
            Form->close();
        EXPECT_EQ(Values(Form->isVisible(), Messages.empty() ? "" : Messages.back()),
                  Values(false, bySignal ? "" : "Error: cannot create directory " + data));
    }
}

// A long paragraph is shown in pieces (its layout costs its whole length at every edit), yet
// colours, removal and copying go by the text as the user wrote it.
TEST_F(Window, ALongParagraphIsSplitInvisiblyForCopyingAndColours) {
    std::string words;
    for (int i = 0; i < 1000; ++i)
        words += "abc" + std::to_string(i % 10) + " ";
    QGuiApplication::clipboard()->setText(QString::fromStdString(words));
    QTest::keyClick(&Form->TextView(), Qt::Key_V, Qt::ControlModifier);
    TDisplayModel& d = Form->TextView().Model(); // the widget draws what its model holds
    ASSERT_EQ(d.Text(), words);
    Form->TextView().Flush();
    EXPECT_GT(Form->TextView().document()->blockCount(), 2);

    QTest::keyClick(&Form->TextView(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&Form->TextView(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), words);

    // The widget's position of the model's character k.
    auto widgetPos = [&](int k) {
        const QString shown = Shown();
        int model = 0;
        for (int w = 0; w < shown.size(); ++w) {
            if (shown[w] == '\n') continue; // only soft breaks here
            if (model++ == k) return w;
        }
        return -1;
    };
    for (int i = 0; i < 3001; ++i)
        d.MarkOneSent();
    EXPECT_EQ(Values(ColourAt(widgetPos(3000)) == Qt::black, ColourAt(widgetPos(3001)) == Qt::red,
                     ColourAt(widgetPos(4999)) == Qt::red),
              "1 | 1 | 1");

    d.DeleteLast(d.TextEnd() - d.SentMark()); // what Esc does with the unsent rest
    const QString left = Shown();
    EXPECT_EQ(Values(left.endsWith('\n'), QString(left).remove('\n').toStdString()),
              Values(false, words.substr(0, 3001)));
}

// Every caption the tool bar can show fits at the window's narrowest: none of its buttons slips
// behind the extension arrow, in single mode ("Stop Single Mode"), with the text hidden ("Show
// Text") and in every training mode; and the buttons keep their widths as their captions change.
TEST_F(Window, TheToolBarNeverHidesAButton) {
    auto* tools = Form->findChild<QToolBar*>("Tools");
    auto* start = Form->findChild<QPushButton*>("StartButton");
    auto* single = Form->findChild<QPushButton*>("SingleModeButton");
    auto* hide = Form->findChild<QPushButton*>("HideButton");
    ASSERT_TRUE(tools && start && single && hide);
    Form->resize(Form->minimumWidth(), Form->height());
    const QList<int> widths = {start->width(), single->width(), hide->width()};
    auto everyButtonShown = [&](const std::string& when) {
        QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QApplication::processEvents();
        auto* extension = tools->findChild<QToolButton*>("qt_toolbar_ext_button");
        EXPECT_TRUE(!extension || extension->isHidden()) << when;
        for (QAction* a : tools->actions()) {
            const QWidget* w = tools->widgetForAction(a);
            if (!w) continue;
            const std::string name = w->objectName().toStdString();
            EXPECT_TRUE(w->isVisible()) << name << " " << when;
            EXPECT_TRUE(tools->rect().contains(w->geometry())) << name << " " << when;
        }
        EXPECT_EQ(QList<int>({start->width(), single->width(), hide->width()}), widths) << when;
    };
    everyButtonShown("at the start");
    QTest::mouseClick(hide, Qt::LeftButton);
    ASSERT_EQ(hide->text(), "Show Text");
    everyButtonShown("with the text hidden");
    QTest::mouseClick(hide, Qt::LeftButton);
    QTest::keyClick(&Form->TextView(), Qt::Key_F9);
    ASSERT_EQ(single->text(), "Stop Single Mode");
    everyButtonShown("in single mode");
    for (int mode = 0; mode < 5; ++mode) {
        App().Params().SetMorseMode(choices::TrainingModeOf(mode));
        everyButtonShown(start->text().toStdString());
    }
}

// Shift+Up and a speed typed with Enter in the speed box (the rule:
// Desk.SpeedBoxEntryAndStepsAndPause) leave the focus in the display, where typing goes, and so
// does a click on a button of the tool bar or the sending bar, also when the focus was in the speed
// box.
TEST_F(Window, TheSpeedBoxAndAClickOnAButtonLeaveTheFocusInTheDisplay) {
    QLineEdit& box = Form->CWSpeed();
    box.setFocus();
    QTest::keyClick(&box, Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(Values(App().Engine().Speed(), box.text().toStdString()), "70 | 70");
    box.setFocus();
    box.selectAll();
    QTest::keyClicks(&box, "125");
    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_EQ(Values(App().Engine().Speed(), box.text().toStdString()), "125 | 125");
    EXPECT_EQ(Form->focusWidget(), &Form->TextView()); // the window need not be active

    const auto arrows = Form->CWSpeed().parentWidget()->findChildren<QToolButton*>();
    ASSERT_EQ(arrows.size(), 2);
    QWidget* single = Form->findChild<QPushButton*>("SingleModeButton");
    QWidget* tx = &Form->TXButton();
    // Single mode and TX on and off; the open dialog cancelled.
    const QList<QWidget*> buttons = {
        arrows[0], arrows[1], single, single, tx, tx, Form->findChild<QToolButton*>("OpenButton")};
    for (QWidget* button : buttons) {
        ASSERT_NE(button, nullptr);
        Form->CWSpeed().setFocus();
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(Form->focusWidget(), &Form->TextView()) << button->objectName().toStdString();
    }
}

TEST_F(BufferWindow, F4AndTheButtonShowAndHideItAndF2ShowsAndHidesTheParameters) {
    EXPECT_TRUE(fs::exists(Folder.File("CWBuffer4.txt"))); // made at the first start
    auto* button = Form->findChild<QPushButton*>("BuffersButton");
    ASSERT_TRUE(button && button->isEnabled());
    Key(Qt::Key_F4);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Buffers()));
    EXPECT_EQ(Values(Buffers().windowTitle().toStdString(),
                     Buffers().focusWidget() == &Buffers().BufferEdit(0)),
              "Brindle Text Buffers | 1");
    Activate(Buffers());
    QTest::keyClick(&Buffers().BufferEdit(0), Qt::Key_F4);
    EXPECT_FALSE(Buffers().isVisible());
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(Buffers().isVisible());
    // F2 shows and hides the parameters window, from the buffers window as from the main window;
    // Esc in one of its fields hides it.
    for (const bool shown : {true, false, true}) {
        Activate(Buffers());
        QTest::keyClick(&Buffers().BufferEdit(0), Qt::Key_F2);
        EXPECT_EQ(Form->ParamForm().isVisible(), shown);
    }
    QTest::keyClick(&Form->ParamForm().UpDown(TUpDown::Freq).Edit(), Qt::Key_Escape);
    EXPECT_FALSE(Form->ParamForm().isVisible());
    for (const bool shown : {true, false}) {
        Key(Qt::Key_F2);
        EXPECT_EQ(Form->ParamForm().isVisible(), shown);
    }
}

TEST_F(BufferWindow, TypingTransmitRepeatAndEsc) {
    Key(Qt::Key_F4);
    Activate(Buffers());
    auto& edit = Buffers().BufferEdit(0);
    edit.setFocus();
    QTest::keyClicks(&edit, "cq de \x7e<ar>");
    QTest::keyClick(&edit, Qt::Key_Return); // normalised: the "~" goes
    EXPECT_EQ(edit.text(), "cq de <ar>");
    QTest::mouseClick(&Buffers().Button(0, TBufferForm::SendColumn), Qt::LeftButton);
    EXPECT_EQ(Shown(), "cq de <ar>");
    // Repeat checked and released with Esc; its loop is Buffers.RepeatOnlyOneNeverAnEmptyAndItLoops
    // UntilReleased.
    QTest::mouseClick(&Buffers().Button(0, TBufferForm::RepeatColumn), Qt::LeftButton);
    EXPECT_EQ(Values(Buffers().Button(0, TBufferForm::RepeatColumn).isChecked(),
                     App().Buffers().View().Repeating),
              "1 | 0");
    Shot(Buffers(), "buffers-repeating");
    QTest::keyClick(&edit, Qt::Key_Escape);
    EXPECT_FALSE(Buffers().Button(0, TBufferForm::RepeatColumn).isChecked());
    // F5 in the main window sends buffer 1 as well.
    App().ClearScreenClick();
    Key(Qt::Key_F5);
    EXPECT_EQ(Shown(), "cq de <ar>");
}

TEST_F(BufferWindow, AllCapsTypingNewLoadSaveAndExit) {
    App().Params().SetAllCaps(true);
    Key(Qt::Key_F4);
    Activate(Buffers());
    auto& edit = Buffers().BufferEdit(1);
    edit.setFocus();
    QTest::keyClicks(&edit, "test k");
    EXPECT_EQ(edit.text(), "TEST K");
    NextFile = Write(Folder.File("other.txt"), "tu 73");
    QTest::mouseClick(&Buffers().Button(2, TBufferForm::OpenColumn), Qt::LeftButton);
    EXPECT_EQ(Buffers().BufferEdit(2).text(), "tu 73"); // a loaded text is not changed
    NextFile = Folder.File("saved.txt");
    QTest::mouseClick(&Buffers().Button(1, TBufferForm::SaveColumn), Qt::LeftButton);
    EXPECT_EQ(ReadWhole(Folder.File("saved.txt")), "TEST K");
    QTest::mouseClick(&Buffers().Button(3, TBufferForm::NewColumn), Qt::LeftButton);
    Shot(Buffers(), "buffers-caps");
    Form->close(); // buffer 3 shown in capitals, kept so
    EXPECT_EQ(Values(ReadWhole(Folder.File("CWBuffer2.txt")),
                     ReadWhole(Folder.File("CWBuffer3.txt")),
                     ReadWhole(Folder.File("CWBuffer4.txt")), ReadWhole(Folder.File("other.txt")),
                     Messages.size()),
              "TEST K | TU 73 |  | tu 73 | 0");
}

TEST_F(BufferWindow, HelpAboutAndTheShortCutList) {
    Key(Qt::Key_F1);
    ASSERT_EQ(Urls.size(), 1u);
    EXPECT_EQ(Values(Urls[0].rfind("file://", 0), Has(Urls[0], "/help/helpbrindle.htm"),
                     fs::exists(TMainWindow::HelpPage())),
              "0 | 1 | 1");
    // Without a browser F1 used to do nothing at all: the status bar says where the page is.
    BrowserFound = false;
    Key(Qt::Key_F1);
    const QString status = Form->statusBar()->currentMessage();
    EXPECT_TRUE(status.contains("No web browser was found") &&
                status.contains(QString::fromStdString(TMainWindow::HelpPage())))
        << status.toStdString();
    QAction* about = MenuItem("&About...");
    ASSERT_NE(about, nullptr);
    about->trigger();
    ASSERT_TRUE(Form->AboutBox().isVisible());
    Shot(Form->AboutBox(), "about");
    EXPECT_EQ(Form->AboutBox().VersionLabel().text(),
              QString("Version ") + TMainWindow::ProgramVersion());
    QTest::keyClick(&Form->AboutBox(), Qt::Key_Escape);
    EXPECT_FALSE(Form->AboutBox().isVisible());
    // Every menu item does something now.
    for (QAction* menu : Form->menuBar()->actions())
        for (QAction* a : menu->menu()->actions())
            EXPECT_TRUE(a->isSeparator() || a->isEnabled()) << a->text().toStdString();

    // Ctrl+F1 shows the short cut list. Every line is key, tab, text; the texts start in one
    // column after the widest key, and the window shows every line whole, without scrolling; Esc
    // hides it.
    const QStringList lines = ShortCutLines().split('\n');
    EXPECT_EQ(lines.front(), "F1\tdisplay Help information in your browser");
    for (const char* line : {"F10\taccess the menu bar (standard command)",
                             "CTRL+C\tlets you copy selected text to the clipboard",
                             "PAUSE\tpauses and resumes sending, like the Pause button"})
        EXPECT_TRUE(lines.contains(line)) << line;
    for (const QString& line : lines)
        EXPECT_TRUE(line.isEmpty() || line.count('\t') == 1) << line.toStdString();

    Key(Qt::Key_F1, Qt::ControlModifier);
    TShortcutList& shorts = Form->ShortcutList();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&shorts));
    QPlainTextEdit& memo = shorts.Memo();
    EXPECT_EQ(Values(shorts.windowTitle().toStdString(), memo.toPlainText() == ShortCutLines()),
              "Short Cuts | 1");
    // The test's screen may be smaller than the list; at its own size it shows whole.
    shorts.resize(shorts.sizeHint());
    QApplication::processEvents();
    Shot(shorts, "shortcuts");
    std::optional<qreal> column;
    for (QTextBlock b = memo.document()->begin(); b.isValid(); b = b.next()) {
        const int tab = static_cast<int>(b.text().indexOf('\t'));
        if (tab < 0) continue;
        memo.document()->documentLayout()->blockBoundingRect(b); // lays the line out
        ASSERT_EQ(b.layout()->lineCount(), 1) << b.text().toStdString();
        const qreal x = b.layout()->lineAt(0).cursorToX(tab + 1);
        if (!column) column = x;
        EXPECT_EQ(x, *column) << b.text().toStdString();
        EXPECT_GT(x, b.layout()->lineAt(0).cursorToX(tab)) << b.text().toStdString();
    }
    EXPECT_EQ(Values(column.has_value(), memo.horizontalScrollBar()->maximum(),
                     memo.verticalScrollBar()->maximum()),
              "1 | 0 | 0");
    Activate(shorts);
    QTest::keyClick(&memo, Qt::Key_Escape);
    EXPECT_FALSE(shorts.isVisible());
}

// The screen text saved with Ctrl+S and the Save button and loaded with Ctrl+L. After a long load
// the display showed the end of the text, not the part being sent; the view now stays with the
// part being sent, and follows it down.
TEST_F(BufferWindow, ScreenTextLoadAndSaveAndALongLoadKeepsThePartBeingSentInView) {
    Key(Qt::Key_S, Qt::ControlModifier); // cancelled: nothing written
    ASSERT_EQ(SaveRequests.size(), 1u);
    // Until a file was opened, the dialog opens in the user's folder, not the program's.
    EXPECT_EQ(Values(SaveRequests[0].Folder != Folder.Path.string() + "/",
                     fs::is_directory(SaveRequests[0].Folder)),
              "1 | 1");
    App().Params().SetCharSize(9); // 100 pt: a few lines fill the display
    App().SetNewSpeedVal("300");
    std::string text;
    for (int i = 0; i < 400; ++i)
        text += "line" + std::to_string(i) + " of the text\n";
    NextFile = Write(Folder.File("long.txt"), text);
    Key(Qt::Key_L, Qt::ControlModifier);
    // The load goes on from the event loop.
    ASSERT_TRUE(QTest::qWaitFor([this] { return !App().Sender().Loading(); }, 10000));
    EXPECT_EQ(Shown().toStdString(), text); // the file's lines
    auto& display = Form->TextView();
    // Whether the position is in view, after the display has taken what it was given.
    auto shown = [&](int docPos) {
        display.Flush();
        QApplication::processEvents();
        QTextCursor c(display.document());
        c.setPosition(docPos);
        const QRect r = display.cursorRect(c);
        return r.top() >= 0 && r.bottom() <= display.viewport()->height();
    };
    // The first line, which is sent first, and not the last.
    EXPECT_EQ(Values(shown(0), shown(display.document()->characterCount() - 1)), "1 | 0");
    Play(30000); // some lines sent
    const int mark = App().Display().DocPos(App().Display().SentMark());
    ASSERT_GT(mark, 60);
    EXPECT_TRUE(shown(mark)) << mark;
    NextFile = Folder.File("out.txt");
    QTest::mouseClick(Form->findChild<QToolButton*>("SaveButton"), Qt::LeftButton);
    EXPECT_EQ(ReadWhole(Folder.File("out.txt")), text);
}

// The dialog's six lines as drawn; Esc cancels, and with nothing to send even OK starts nothing.
// Ctrl+W, Ctrl+P and Ctrl+T ask for a list, load it and switch the mode.
TEST_F(SessionWindow, TheDialogShowsItsSixLinesAndTheLoadersSwitchTheMode) {
    auto [caption, lines] = Dialog(Qt::Key_F3, Qt::Key_Escape);
    EXPECT_EQ(caption, "Start Random Characters");
    EXPECT_EQ(lines, (TLines{"Produce 30 random groups of 5 with these characters:",
                             "abcdefghijklmnopqrstuvwxyz", "", "Speed will be 30  CpM",
                             "Farnsworth speed for characters will be: 60  CpM", ""}));
    // Idle, the speed back after Cancel, and the focus on the display.
    EXPECT_EQ(Values(NameOf(App().Session().State()), Form->CWSpeed().text().toStdString(),
                     Form->focusWidget() == &Form->TextView()),
              "idle | 60 | 1");

    App().Params().SetMorseMode(TTrainingMode::Words);
    std::tie(caption, lines) = Dialog(Qt::Key_F3, Qt::Key_Return);
    EXPECT_EQ(lines, (TLines{"Please load a file which contains at least 1 word!", "",
                             "(use CTRL+W or File Menu)", "", "", ""}));
    EXPECT_EQ(App().Session().State(), TSessionState::Idle);
    // Each list loaded checks its mode's item and names the start button after it.
    Form->ToggleParameters();
    const auto radios = Form->ParamForm().Group("MorseMode").buttons();
    auto* start = Form->findChild<QPushButton*>("StartButton");
    ASSERT_TRUE(radios.size() == 5 && start);
    const struct {
        Qt::Key Load;
        const char* File;
        int Mode;
        const char* Caption;
        const char* Start;
    } modes[] = {
        {Qt::Key_W, "words.txt", 1, "Start Random Words", "Start Random Words"},
        {Qt::Key_P, "phrases.txt", 3, "Start Random Phrases", "Start Random Phrases"},
        {Qt::Key_T, "text.txt", 4, "Send Text from File", "Start Sending Text"},
    };
    for (const auto& m : modes) {
        Load(m.Load, Write(Lists.File(m.File), "now is the time\n"));
        QApplication::processEvents();
        EXPECT_EQ(Values(radios[m.Mode]->isChecked(), start->text().toStdString()),
                  Values(true, m.Start));
        std::tie(caption, lines) = Dialog(Qt::Key_F3, Qt::Key_Escape);
        EXPECT_EQ(Values(caption, lines[1]), Values(m.Caption, Lists.File(m.File)));
    }
    // Cancelling the next open dialog keeps the list and the mode.
    Load(Qt::Key_W, "");
    EXPECT_EQ(Values(App().Settings().Tutor.Mode, App().Session().Material().WordList.size()),
              "4 | 4");
    // The open dialogs had their titles and, after the first, the folder of the last file.
    ASSERT_GE(OpenRequests.size(), 3u);
    EXPECT_EQ(Values(OpenRequests[0].Title, OpenRequests[1].Title, OpenRequests[2].Title,
                     OpenRequests[2].Folder, Messages.size()),
              "Load words from file to memory to use as random words: | Load phrases from file to "
              "memory to use as random phrases: | Load text from file to memory, to be played "
              "with F3: | " +
                  Lists.Path.string() + "/ | 0");
}

// The start button runs a session at its start speed and is off until it ends (its summary is
// Sessions.OverallSpeedAndSessionTimeOfASession). The speed test from the Work menu locks the speed
// box until Esc aborts it; the sound test's button in the parameters window says what a click does
// next.
TEST_F(SessionWindow, StartButtonSpeedTestAndSoundTest) {
    App().Params().ApplyEditField(TUpDown::NumGroups, "2");
    App().Params().ApplyEditField(TUpDown::StartSpeed, "200");
    auto* start = Form->findChild<QPushButton*>("StartButton");
    ASSERT_TRUE(start && start->isEnabled());
    AnswerOk();
    QTest::mouseClick(start, Qt::LeftButton);
    EXPECT_EQ(Values(State(), start->isEnabled(), Form->CWSpeed().text().toStdString()),
              "start text | 0 | 200");
    PlayUntil([&] { return App().Session().Idle(); });
    EXPECT_EQ(Values(State(), start->isEnabled()), "idle | 1");

    QAction* speedTest = MenuItem("&Speed Test");
    ASSERT_NE(speedTest, nullptr);
    AnswerOk();
    speedTest->trigger();
    EXPECT_EQ(Values(State(), Form->CWSpeed().isEnabled()), "speed test | 0");
    QTest::keyClick(&Form->TextView(), Qt::Key_Escape);
    PlayUntil([&] { return App().Session().Idle(); }, 10000);
    EXPECT_EQ(Values(Shown().contains("speed test aborted"), Form->CWSpeed().isEnabled()), "1 | 1");

    Form->ToggleParameters();
    auto* test = Form->ParamForm().findChild<QPushButton*>("TestButton");
    ASSERT_TRUE(test && test->isEnabled());
    for (const char* after : {"sound test | Stop Test", "idle | Test Sound and Speed"}) {
        QTest::mouseClick(test, Qt::LeftButton);
        QApplication::processEvents();
        EXPECT_EQ(Values(State(), test->text().toStdString()), after);
        Play(3000);
    }
}

// With the text hidden the keys used to land in the speed box ("60hi"): typing changed the speed,
// and Space and Enter could not resume hidden single mode, which is how a learner copies by ear.
TEST_F(SessionWindow, HiddenTextKeepsTheKeysForTypingAndSingleMode) {
    auto* hide = Form->findChild<QPushButton*>("HideButton");
    ASSERT_NE(hide, nullptr);
    auto* bar = Form->TXButton().parentWidget();
    const QRect barBefore = bar->geometry();
    QTest::mouseClick(hide, Qt::LeftButton);
    ASSERT_FALSE(App().View().DisplayVisible);
    EXPECT_EQ(bar->geometry(), barBefore);  // the bar keeps its place and size
    QWidget* focused = Form->focusWidget(); // where the keys go
    ASSERT_TRUE(focused && focused != &Form->CWSpeed());
    QTest::keyClicks(focused, "hi");
    // The speed as it was; sent, though not shown.
    EXPECT_EQ(Values(Form->CWSpeed().text().toStdString(), App().Engine().QueuedText()), "60 | hi");
    QTest::keyClick(focused, Qt::Key_Escape);

    // Hidden single mode: F9, a session, and Space and Enter step from item to item.
    App().Params().ApplyEditField(TUpDown::NumGroups, "2");
    QTest::keyClick(Form->focusWidget(), Qt::Key_F9);
    ASSERT_TRUE(App().Controls().SingleMode());
    brindle::test::Activate(*Form);
    AnswerOk();
    QTest::keyClick(Form->focusWidget(), Qt::Key_F3);
    ASSERT_EQ(State(), "start text");
    // Plays for at most ms until the engine holds; whether it does.
    const auto held = [&](int ms) {
        PlayUntil([&] { return App().Engine().Hold(); }, ms);
        return App().Engine().Hold();
    };
    ASSERT_TRUE(held(10000)); // the start text, then the hold
    ASSERT_FALSE(App().View().DisplayVisible);
    QTest::keyClick(Form->focusWidget(), Qt::Key_Space);
    EXPECT_EQ(Values(State(), App().Engine().QueuedText().empty()), "items | 0"); // the first item
    // A random group of five takes up to about 11 s here (some 2 s a character): played until
    // its end, with room to spare, whatever the group drawn.
    ASSERT_TRUE(held(30000)) << "the first item never ended";
    QTest::keyClick(Form->focusWidget(), Qt::Key_Return);
    EXPECT_FALSE(App().Engine().QueuedText().empty()); // the second
    Shot(*Form, "main-hidden-text-single-mode");
}

// F11 with real keys: the dialog with its copy line and pacing, the hidden text, the copy field
// that has the focus and sends nothing, Ctrl+Return, Return item by item, and Esc. After the check,
// a learner who types on finds the keys in the copy field, read-only, and nothing is sent (a "+"
// once went out as <ar>).
TEST_F(SessionWindow, CopyPracticeWithRealKeys) {
    App().Params().ApplyEditField(TUpDown::NumGroups, "2");
    App().Params().ApplyEditField(TUpDown::StartSpeed, "200");
    auto& copy = Form->CopyEdit();
    // Continuous: typed while it plays, checked with Ctrl+Return.
    ASSERT_TRUE(WithDialog<TSessionDialogBox>(Qt::Key_F11, {}, [&](TSessionDialogBox& d) {
        EXPECT_NE(d.findChild<QLabel*>("CopyLine"), nullptr);
        Shot(d, "dialog-copy-practice");
        QTest::keyClick(&d, Qt::Key_Return);
    }));
    ASSERT_TRUE(App().Copy().Running() && copy.isVisible());
    EXPECT_EQ(Form->focusWidget(), &copy);
    QTest::keyClicks(&copy, "ab<ar>");
    EXPECT_EQ(App().Copy().Copy(), "ab<ar>");
    // A flood pasted is refused before the field lays it out, and the field keeps its text.
    QApplication::clipboard()->setText(QString(20000, QChar('e')));
    QTest::keyClick(&copy, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Values(copy.toPlainText().toStdString(), App().Copy().Copy()), "ab<ar> | ab<ar>");
    PlayUntil([&] { return App().Session().Idle(); });
    // The text is hidden: marks only.
    EXPECT_EQ(
        Values(Shown().contains("vvv"), Shown().contains(QString::fromUtf8("\u2022 \u2022 "))),
        "0 | 1");
    Shot(*Form, "main-copy-practice-running");
    QTest::keyClick(&copy, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(Values(App().Copy().Running(), Shown().contains("copy practice checked:")), "0 | 1");
    Shot(*Form, "main-copy-practice-result");
    // Typed on after the check: the keys stay in the copy field, read-only, and nothing is sent.
    ASSERT_EQ(Form->focusWidget(), &copy);
    const QString kept = copy.toPlainText();
    QTest::keyClicks(&copy, "qqqqq+"); // no group has a character three times running
    Play(500);
    EXPECT_EQ(Values(copy.isReadOnly(), App().Engine().HasChars(), Shown().contains("qqqqq"),
                     copy.toPlainText() == kept, copy.isVisible()),
              "1 | 0 | 0 | 1 | 1");
    QTest::keyClick(&copy, Qt::Key_Escape); // puts it away
    EXPECT_FALSE(copy.isVisible());

    // F12: the progress window on the practice just kept; Esc hides it, and at its next showing it
    // reads the history again.
    Key(Qt::Key_F12);
    TProgressForm* progress = Form->ProgressForm();
    ASSERT_NE(progress, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(progress));
    EXPECT_TRUE(progress->SummaryLabel().text().startsWith("1 practice"))
        << progress->SummaryLabel().text().toStdString();
    Shot(*progress, "progress-after-copy-practice");
    QTest::keyClick(progress, Qt::Key_Escape);
    EXPECT_FALSE(progress->isVisible());

    // Item by item, chosen in the dialog: Return asks for the next item (the rest is
    // CopyPractice.ItemByItemWaitsForReturnAndMeasuresTheReaction); Esc after an item: it counts.
    ASSERT_TRUE(WithDialog<TSessionDialogBox>(Qt::Key_F11, {}, [&](TSessionDialogBox& d) {
        auto* pacing = d.findChild<QRadioButton*>("ItemByItem");
        ASSERT_NE(pacing, nullptr);
        QTest::mouseClick(pacing, Qt::LeftButton);
        QTest::keyClick(&d, Qt::Key_Return);
    }));
    ASSERT_EQ(App().Copy().Pacing(), TCopyPacing::ItemByItem);
    PlayUntil([&] { return App().Copy().WaitingForReturn(); });
    ASSERT_TRUE(App().Copy().WaitingForReturn());
    QTest::keyClicks(&copy, "abcde");
    QTest::keyClick(&copy, Qt::Key_Return);
    EXPECT_FALSE(App().Copy().WaitingForReturn());
    QTest::keyClick(&copy, Qt::Key_Escape);
    ASSERT_FALSE(App().Copy().Running());
    Key(Qt::Key_F12);
    EXPECT_EQ(Values(Form->ProgressForm() == progress, progress->isVisible(),
                     progress->SummaryLabel().text().toStdString().substr(0, 11)),
              "1 | 1 | 2 practices");
}

// The course window follows the course both ways: Up in its lesson box moves the course, and a
// lesson set elsewhere (as Yes after a pass does, Verdict.OfALessonTwoPractice) is drawn. Shift+F11
// with real keys: the lesson in the dialog, its new character played first, Return skipping it.
TEST_F(SessionWindow, TheKochWindowFollowsTheCourseAndShiftF11StartsALesson) {
    auto& course = App().Course();
    Form->ShowKochCourse();
    auto& window = Form->KochForm();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const auto drawn = [&] {
        return Values(window.LessonBox().value(), window.CharsLabel().text().toStdString());
    };
    EXPECT_EQ(drawn(), "1 | k m   (newest: m)");
    Shot(window, "koch-course");
    brindle::test::Activate(window);
    window.LessonBox().setFocus();
    QTest::keyClick(&window.LessonBox(), Qt::Key_Up);
    EXPECT_EQ(course.Lesson(), 2);
    course.SetLesson(3);
    EXPECT_EQ(drawn(), "3 | k m u r   (newest: r)");
    course.SetLesson(1);
    window.hide();
    QString lessonLine;
    WithDialog<TSessionDialogBox>(Qt::Key_F11, Qt::ShiftModifier, [&](TSessionDialogBox& d) {
        lessonLine = d.Line(0).text();
        Shot(d, "dialog-koch-lesson");
        QTest::keyClick(&d, Qt::Key_Return);
    });
    EXPECT_EQ(lessonLine.toStdString(), "Koch lesson 1 of 40 (LCWO): 2 characters, the newest m");
    ASSERT_TRUE(App().Copy().Running() && App().Session().Introducing());
    EXPECT_TRUE(Shown().contains("new character m", Qt::CaseInsensitive)) << Shown().toStdString();
    QTest::keyClick(&Form->CopyEdit(), Qt::Key_Return);
    EXPECT_EQ(Values(App().Session().Introducing(), App().Copy().Running()), "0 | 1");
    QTest::keyClick(&Form->CopyEdit(), Qt::Key_Escape);
    EXPECT_FALSE(App().Copy().Running());
}

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
    EXPECT_EQ(Values(TabWalk(Form->TextView()).join('|').toStdString(),
                     AccessibleName(Form->TextView()).toStdString()),
              "Open|Save|Set Parameters|Start Random Characters|Show Text Buffers|Set Single "
              "Mode|Hide Text|AutoStart|Farnsworth | Sent text");
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
    EXPECT_EQ(
        TabWalk(params).join('|').toStdString(),
        std::string("Show first, then sound|Random Characters|Use characters 1|Characters 1|"
                    "Characters 2|All Letters|All Numerals|All Characters|Start Speed|"
                    "Variable Speed On|Number of Items|Variable Group Size|Size of Groups|Repeat|"
                    "Start Text|End Text|on - Characters (Farnsworth)|"
                    "Farnsworth Speed for Characters|Sound Output|Available COM Ports|"
                    "Sound Output Device|ON|"
                    "Get Output Mixer|Extended|Frequency Hz|Slope (samples)|"
                    "Optimization for = Key|Output Level|Noise Level|Mute|Noise ON|"
                    "Character Size|All CAPS Display|CpM|Test Sound and Speed"));

    // The items follow the choice: after a click on "Words", Tab enters the group there.
    QAbstractButton& words = *params.Group("MorseMode").button(1);
    QTest::mouseClick(&words, Qt::LeftButton, {}, QPoint(8, words.height() / 2));
    const QStringList walk = TabWalk(*params.Group("DispModeGroup").button(0));
    ASSERT_FALSE(walk.isEmpty());
    EXPECT_EQ(walk.front(), "Random Words");
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
    Params().Group("MCharacters").button(0)->click(); // the hidden item
    EXPECT_EQ(
        Values(Logic().View().CharSelected, Params().Group("MCharacters").button(2)->isChecked()),
        "2 | 1");
    QTest::mouseClick(&Find<QCheckBox>("AllCapsCheckBox"), Qt::LeftButton);
    QTest::mouseClick(&Find<QPushButton>("AllCharactersButton"), Qt::LeftButton);
    EXPECT_EQ(Values(chars2.text().toStdString(), chars2.hasFocus()),
              "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.,/?<BT> | 1");
    // Typed letters are capitals; Backspace behind ">" takes the whole prosign.
    QTest::keyClick(&chars2, Qt::Key_Backspace);
    EXPECT_EQ(chars2.text(), "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.,/?");
    chars2.setText("");
    QTest::keyClicks(&chars2, "ab<kx>");
    EXPECT_EQ(chars2.text(), "AB<KX>");
    QTest::keyClick(&chars2, Qt::Key_Return);
    EXPECT_EQ(Values(chars2.text().toStdString(), Logic().CharSet2,
                     Params().TextEdit(TCharField::Chars1).text().toStdString()),
              "AB | ab | ABCDEFGHIJKLMNOPQRSTUVWXYZ");

    // The standard set clears the extended characters from every field it shows.
    QTest::mouseClick(&Find<QCheckBox>("AllCapsCheckBox"), Qt::LeftButton);
    for (const auto& [field, text] :
         {std::pair(TCharField::Chars1, "abä"), {TCharField::StopText, "öe"}}) {
        Params().TextEdit(field).setText(QString::fromUtf8(text));
        QTest::keyClick(&Params().TextEdit(field), Qt::Key_Return);
    }
    EXPECT_EQ(Params().TextEdit(TCharField::Chars1).text(), QString::fromUtf8("abä"));
    Click(Params().Group("TXCharGroup"), 0); // the rule: Params.StandardCharactersLeaveEveryField
    EXPECT_EQ(Values(Params().TextEdit(TCharField::Chars1).text().toStdString(),
                     Params().TextEdit(TCharField::StopText).text().toStdString()),
              "ab | e");
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

    auto& level = Find<QScrollBar>("LevelBar");
    level.setValue(30);
    EXPECT_EQ(
        Values(App().Engine().LogAmplitude(), Find<QLabel>("LevelLabel").text().toStdString()),
        "-30 | -30 dB");
    QTest::keyClick(&level, Qt::Key_PageDown); // the keys move the level bar, and the level
    QTest::keyClick(&level, Qt::Key_Up);
    EXPECT_EQ(Values(level.value(), Logic().View().LevelPosition), "39 | 39");
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
