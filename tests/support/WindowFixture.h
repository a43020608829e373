// The main window as the program makes it, shown, on a sound backend in memory that the test
// feeds; messages, ports and the files chosen in open dialogs are the test's.
#pragma once

#include "support/FakeSoundBackend.h"
#include "support/TempDir.h"
#include "ui/main/CWRichEdit.h"
#include "ui/main/MainWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTextCursor>
#include <QTimer>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace brindle::test {

// The sound device asks for its next buffer: the test stands in for the sound output's own timer,
// so that the engine's sample clock is the test's.
inline void FeedSound(const TDesk& app) {
    const_cast<TSoundOut&>(app.SoundOut()).Feed();
}

// Shortcuts and focus reach only the active window; a closed dialog leaves none active offscreen.
inline void Activate(QWidget& w) {
    w.activateWindow();
    QApplication::setActiveWindow(&w);
    QApplication::processEvents();
}

class TWindowTest : public ::testing::Test {
protected:
    void SetUp() override { Open(); }
    void Open() {
        TMainWindow::TOptions o;
        o.DataFolder = Folder.Path.string() + "/";
        o.SoundBackend = std::make_unique<TFakeSoundBackend>(Sound);
        o.ShowMessage = [this](const TMessage& m) { Messages.push_back(m.Text); };
        o.AskOkCancel = [](const std::string&) { return true; };
        o.AskYesNo = [this](const std::string& q) {
            YesNo.push_back(q);
            return true;
        };
        o.DetectPorts = [this] { return Ports; };
        o.PortPath = [](int) { return std::string(); }; // no port can be opened
        o.WatchDevices = false;
        o.Clock = [this] { return NowMs; };
        o.ChooseSaveFile = [this](const TOpenRequest& r) {
            SaveRequests.push_back(r);
            return NextFile;
        };
        o.OpenUrl = [this](const std::string& url) {
            Urls.push_back(url);
            return BrowserFound;
        };
        o.ChooseOpenFile = [this](const TOpenRequest& r) {
            OpenRequests.push_back(r);
            return NextFile;
        };
        o.SoundBufferMs = 20;
        o.HistoryPath = Folder.File("history.sqlite");
        Form = std::make_unique<TMainWindow>(std::move(o));
        Form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
        Form->TextView().setFocus();
    }
    // Closes the window (saving what it saves) and starts it again on the same folder.
    void Restart() {
        Form->close();
        Form.reset();
        Open();
    }
    void TearDown() override {
        if (const char* dir = std::getenv("BRINDLE_SCREENSHOTS"); dir && Form) {
            const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
            Form->TextView().Flush();
            Form->grab().save(QString(dir) + "/main-" + info->name() + ".png");
        }
        Form.reset();
    }
    // Under the screenshot target: another window of the test, grabbed as it is now.
    void Shot(QWidget& w, const char* name) {
        if (const char* dir = std::getenv("BRINDLE_SCREENSHOTS"))
            w.grab().save(QString(dir) + "/" + name + ".png");
    }
    // A key on the display of the main window, made active (where shortcuts are heard).
    void Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        Activate(*Form);
        QTest::keyClick(&Form->TextView(), key, mods);
    }
    // Presses key on the display of the active main window; the modal dialog of type D that it
    // opens is handed to answer, which closes it. False when no such dialog came.
    template <class D, class F> bool WithDialog(Qt::Key key, Qt::KeyboardModifiers mods, F answer) {
        Activate(*Form); // before the answer is due: activating runs the event loop
        bool seen = false;
        QTimer::singleShot(0, [&] {
            if (auto* d = dynamic_cast<D*>(QApplication::activeModalWidget())) {
                seen = true;
                answer(*d);
            }
        });
        QTest::keyClick(&Form->TextView(), key, mods);
        return seen;
    }
    // The item of the menu bar with this caption; null when there is none.
    QAction* MenuItem(const QString& caption) {
        for (QAction* menu : Form->menuBar()->actions())
            for (QAction* a : menu->menu()->actions())
                if (a->text() == caption) return a;
        return nullptr;
    }
    // Plays ms of sound: the engine renders what the device takes.
    void Play(int ms) {
        NowMs += ms;
        Sound.Budget = ms * 16;
        for (int i = 0; i < 100000 && Sound.Budget > 0; ++i)
            FeedSound(Form->App());
        Sound.Budget = 0;
        QApplication::processEvents();
    }
    QString Shown() {
        Form->TextView().Flush();
        return Form->TextView().toPlainText();
    }
    QColor ColourAt(int docPos) {
        Form->TextView().Flush();
        QTextCursor c(Form->TextView().document());
        c.setPosition(docPos + 1);
        return c.charFormat().foreground().color();
    }
    TDesk& App() { return Form->App(); }

    brindle::test::TTempDir Folder;
    TFakeSoundBackend::TState Sound = TFakeSoundBackend::Quiet();
    std::vector<std::string> Messages;
    std::vector<std::string> YesNo; // the Yes/No questions asked (answered Yes)
    std::vector<TDetectedPort> Ports;
    std::unique_ptr<TMainWindow> Form;
    std::vector<TOpenRequest> OpenRequests;
    int64_t NowMs = 0; // the session clock [ms], moved on by Play
    std::vector<TOpenRequest> SaveRequests;
    std::vector<std::string> Urls; // addresses opened in the browser
    bool BrowserFound = true;
    std::string NextFile; // what the open dialog chooses; empty: cancelled
};

} // namespace brindle::test
