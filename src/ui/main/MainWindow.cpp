#include "ui/main/MainWindow.h"

#include "base/Text1252.h"
#include "desk/Buffers.h"
#include "platform/GuiPost.h"
#include "platform/desktop/SleepWatcher.h"
#include "ui/LayoutWatch.h"
#include "ui/buffers/BufferForm.h"
#include "ui/course/KochForm.h"
#include "ui/main/AboutBox.h"
#include "ui/main/CWRichEdit.h"
#include "ui/main/CopyEdit.h"
#include "ui/main/ExportDialog.h"
#include "ui/main/HiddenText.h"
#include "ui/main/SessionDialogBox.h"
#include "ui/main/ShortcutList.h"
#include "ui/params/ParamForm.h"
#include "ui/progress/ProgressForm.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

namespace brindle {

namespace {

QString Q(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

bool SameFolder(const std::string& a, const std::string& b) {
    return QDir(Q(a)).canonicalPath() == QDir(Q(b)).canonicalPath() ||
           QDir::cleanPath(Q(a)) == QDir::cleanPath(Q(b));
}

// The user's documents folder when there is one, else the home folder.
std::string UserFolder() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QFileInfo(documents).isDir()) return documents.toStdString();
    return QDir::homePath().toStdString();
}

TShiftState ShiftOf(Qt::KeyboardModifiers m) {
    return {m.testFlag(Qt::ShiftModifier), m.testFlag(Qt::ControlModifier),
            m.testFlag(Qt::AltModifier)};
}

// Gives a button the width of its widest caption, so that it keeps its size and place whatever it
// shows, and the tool bar's size hint counts the widest.
void FitCaptions(QPushButton& b, const std::vector<QString>& captions) {
    const QString shown = b.text();
    int widest = 0;
    for (const QString& caption : captions) {
        b.setText(caption);
        widest = std::max(widest, b.sizeHint().width());
    }
    b.setText(shown);
    b.setMinimumWidth(widest);
}

template <std::size_t N> std::vector<QString> Texts(const std::array<const char*, N>& captions) {
    return {captions.begin(), captions.end()};
}

void SetRed(QWidget& w, bool red) {
    QPalette p = w.palette();
    p.setColor(QPalette::ButtonText,
               red ? QColor(Qt::red) : w.style()->standardPalette().color(QPalette::ButtonText));
    p.setColor(QPalette::WindowText,
               red ? QColor(Qt::red) : w.style()->standardPalette().color(QPalette::WindowText));
    w.setPalette(p);
}

} // namespace

// A notice that does not take the keys: the window stays the active one, typing goes on, and it
// closes by itself when its text goes.
void TMainWindow::ShowSoundNotice(const std::string& text) {
    if (text.empty()) {
        SoundNotice_.reset();
        SoundNoticeDismissed_ = false;
        return;
    }
    if (!SoundNotice_) {
        SoundNotice_ = std::make_unique<QMessageBox>(QMessageBox::Warning, "Brindle", QString(),
                                                     QMessageBox::Ok, this);
        SoundNotice_->setObjectName("SoundNotice");
        SoundNotice_->setModal(false);
        SoundNotice_->setAttribute(Qt::WA_ShowWithoutActivating);
        SoundNotice_->setWindowFlag(Qt::WindowDoesNotAcceptFocus);
        // OK puts it away until the sound has come back and gone again.
        connect(SoundNotice_.get(), &QMessageBox::finished, this,
                [this] { SoundNoticeDismissed_ = true; });
    }
    if (SoundNotice_->text() != Q(text)) SoundNotice_->setText(Q(text));
    if (!SoundNotice_->isVisible() && !SoundNoticeDismissed_) SoundNotice_->show();
}

const char* TMainWindow::ProgramVersion() {
    return BRINDLE_VERSION;
}

TMainWindow::TMainWindow(TOptions options) : Options_(std::move(options)) {
    setWindowTitle("Brindle");
    TMessageSink box = Options_.ShowMessage;
    if (!box) {
        box = [this](const TMessage& m) {
            const auto icon = m.Severity == TSeverity::Error     ? QMessageBox::Critical
                              : m.Severity == TSeverity::Warning ? QMessageBox::Warning
                                                                 : QMessageBox::Information;
            QMessageBox dialog(icon, "Brindle", Q(m.Text), QMessageBox::Ok, this);
            dialog.exec();
        };
    }
    // A message is a box, also while the window closes: a failed save must never go unseen. Only
    // when a signal ends the program (a logout) is nobody there to click; the log has it then.
    auto show = [this, box](const TMessage& m) {
        if (NoQuestion_) {
            std::fprintf(stderr, "Brindle: %s\n", m.Text.c_str());
            return;
        }
        box(m);
    };
    Messages_ = std::make_unique<TMessageQueue>(show);

    TextView_ = new TCWRichEdit(this);
    if (Options_.DataFolder.empty()) Options_.DataFolder = DataFolder();
    TScreenGeometry screen;
    if (const QScreen* s = QGuiApplication::primaryScreen()) {
        screen.ScreenWidth = s->availableGeometry().width();
        screen.ScreenHeight = s->availableGeometry().height();
    }
    const TSettings settings = LoadIniSettings(Options_.DataFolder, screen);

    TDeskPlatform p;
    p.Timer = &Timer_;
    p.SoundBackend = std::move(Options_.SoundBackend);
    p.Messages = Messages_->Sink();
    p.AskYesNo = Options_.AskYesNo ? Options_.AskYesNo : [this](const std::string& q) {
        QMessageBox box(QMessageBox::Question, "Brindle", Q(q), QMessageBox::Yes | QMessageBox::No,
                        this);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes;
    };
    p.AskOkCancel = Options_.AskOkCancel ? Options_.AskOkCancel : [this](const std::string& q) {
        QMessageBox box(QMessageBox::NoIcon, "Brindle", Q(q), QMessageBox::Ok | QMessageBox::Cancel,
                        this);
        return box.exec() == QMessageBox::Ok;
    };
    p.Later = [this](int ms, std::function<void()> call) {
        QTimer::singleShot(ms, Qt::PreciseTimer, this, std::move(call));
    };
    p.DetectPorts = Options_.DetectPorts ? Options_.DetectPorts : [] {
        std::vector<TDetectedPort> ports;
        DetectComPorts(ports);
        return ports;
    };
    p.PortPath = Options_.PortPath;
    p.Post = PostToGuiThread;
    p.AskSession = Options_.AskSession ? Options_.AskSession : [this](TSessionDialog& d) {
        const bool ok = TSessionDialogBox::Ask(d, this);
        FocusDisplay();
        return ok;
    };
    p.Clock = Options_.Clock;
    p.SoundBufferMs = Options_.SoundBufferMs;
    p.AskRealtime = [](pid_t tid, int priority, std::string& why) {
        return AskRealtimeKit(tid, priority, why);
    };
    p.HistoryPath = Options_.HistoryPath;
    p.Status = [this](const std::string& line) { statusBar()->showMessage(Q(line), 10000); };
    p.SaveCourse = [this](const TKochSettings&) {
        SaveIniSettings(Options_.DataFolder, App_->Settings(), false, Messages_->Sink(), "Koch");
    };
    App_ = std::make_unique<TDesk>(std::move(p), TextView_->Model(), settings);
    App_->SetProgramVersion(ProgramVersion());
    Hooks_.push_back(App_->OnViewChanged.Connect([this] { Redraw(); }));
    Hooks_.push_back(App_->OnScrollToEnd.Connect([this] { TextView_->ScrollToEnd(); }));
    Hooks_.push_back(App_->OnScrollToStart.Connect([this] { TextView_->ScrollToStart(); }));
    Hooks_.push_back(App_->OnReadyToClose.Connect([this] {
        // Ready inside our own close event: that event goes on; otherwise close again now.
        if (!InCloseEvent_) QTimer::singleShot(0, this, [this] { close(); });
    }));

    TextView_->OnPaste = [this] {
        App_->Paste(QGuiApplication::clipboard()->text().toStdString());
    };
    TextView_->OnKeyEvent = [this](QKeyEvent* e) { return DisplayKey(e); };

    ParamForm_ = new TParamForm(*App_, this);
    ParamForm_->OnStatus = [this](const QString& line) { statusBar()->showMessage(line); };
    BufferForm_ = new TBufferForm(*App_, this);
    BufferForm_->ChooseOpenFile = [this](const TOpenRequest& r) { return ChooseFile(r, false); };
    BufferForm_->ChooseSaveFile = [this](const TOpenRequest& r) { return ChooseFile(r, true); };
    BufferForm_->OnToggleParameters = [this] { ToggleParameters(); };
    Shortcuts_ = new TShortcutList(this);
    About_ = new TAboutBox(ProgramVersion(), this);
    KochForm_ = new TKochForm(*App_, this);
    LoadingMemo_ =
        new QLabel("\n\nNow loading text to screen and to type-ahead buffer ...", TextView_);
    LoadingMemo_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    LoadingMemo_->setAutoFillBackground(true);
    LoadingMemo_->hide();
    BuildMenu();
    BuildBars();
    // The tool bar is never cut: no button hides behind its extension arrow, also when a caption
    // or the font changes.
    if (auto* tools = findChild<QToolBar*>("Tools")) {
        auto fit = [this, tools] { setMinimumWidth(tools->sizeHint().width() + 8); };
        new TLayoutWatch(*tools, fit);
        fit();
    }
    // A saved place off every screen (another monitor, a hand-edited file) is brought onto one;
    // where programs cannot place windows (Wayland) the compositor decides.
    // It is fitted as large as it will be: never below its minimum (the tool bar's width), which a
    // larger font or scale makes wider than the size saved.
    const QSize least = minimumSize().expandedTo(minimumSizeHint());
    TRect main{settings.Form.Left, settings.Form.Top, std::max(settings.Form.Width, least.width()),
               std::max(settings.Form.Height, least.height())};
    if (CanPlaceWindows()) main = FitOnScreens(main, ScreenAreas());
    resize(main.Width, main.Height);
    move(main.Left, main.Top);

    App_->FormCreate();
    App_->Buffers().Create(Options_.DataFolder, settings.Main.AllCaps);
    TRect buffers{settings.Form.BuLeft, settings.Form.BuTop, BufferForm_->width(),
                  BufferForm_->height()};
    if (CanPlaceWindows()) buffers = FitOnScreens(buffers, ScreenAreas());
    BufferForm_->move(buffers.Left, buffers.Top);
    ParamForm_->Place();
    if (Options_.WatchDevices) {
        Watcher_ = std::make_unique<TDeviceWatcher>();
        Watcher_->OnSerialPortsChanged = [this] { App_->SerialPortsChanged(); };
        Watcher_->OnSoundOutputsChanged = [this] { App_->SoundOutputsChanged(); };
        App_->WatchSoundOutputs(*Watcher_);
        Sleep_ = Options_.SleepBusAddress.empty()
                     ? std::make_unique<TSleepWatcher>()
                     : std::make_unique<TSleepWatcher>(QDBusConnection::connectToBus(
                           Q(Options_.SleepBusAddress), QStringLiteral("brindle-sleep")));
        Sleep_->OnSleep = [this](bool goingToSleep) { App_->PowerChanged(goingToSleep); };
    }
    Redraw();
    TextView_->setFocus();
}

TMainWindow::~TMainWindow() {
    Watcher_.reset();
    Sleep_.reset();
    Hooks_.clear();
    delete ParamForm_; // before the logic they draw, which goes before the widgets
    ParamForm_ = nullptr;
    delete BufferForm_;
    BufferForm_ = nullptr;
    delete KochForm_;
    KochForm_ = nullptr;
    delete ProgressForm_;
    ProgressForm_ = nullptr;
    delete Export_; // an export under way is cancelled and waited for
    Export_ = nullptr;
}

void TMainWindow::ShowExport(bool lesson) {
    if (!Export_) {
        Export_ = new TExportDialog(*App_, this);
        Export_->ChooseFile = [this](const TOpenRequest& r) {
            if (Options_.ChooseSaveFile) return Options_.ChooseSaveFile(r);
            return QFileDialog::getSaveFileName(
                       this, Q(r.Title), Q(r.Folder + "/" + r.FileName),
                       "Audio files (*.mp3 *.opus *.ogg *.flac *.wav);;All files (*)")
                .toStdString();
        };
        Export_->OnStatus = [this](const QString& line) { statusBar()->showMessage(line); };
    }
    Export_->Open(lesson);
}

void TMainWindow::BuildMenu() {
    auto item = [this](QMenu* menu, const char* caption, const char* hint, QKeySequence key,
                       std::function<void()> action) {
        QAction* a = menu->addAction(caption);
        a->setStatusTip(hint);
        if (!key.isEmpty()) a->setShortcut(key);
        if (action)
            connect(a, &QAction::triggered, this, [action] { action(); });
        else
            a->setEnabled(false); // its window comes later
        return a;
    };
    QMenu* file = menuBar()->addMenu("&File");
    item(file, "&Load text from file to screen", "Load text from file to screen, like typing",
         QKeySequence(Qt::CTRL | Qt::Key_L), [this] { LoadScreenText(); });
    item(file, "&Save text from screen to file", "Save text from screen to file",
         QKeySequence(Qt::CTRL | Qt::Key_S), [this] { SaveScreenText(); });
    item(file, "Load &words from file to memory ", "Load words for random words from a file",
         QKeySequence(Qt::CTRL | Qt::Key_W), [this] { LoadMaterial(TMaterialKind::Words); });
    item(file, "Load &phrases from file to memory", "Load phrases for random phrases from a file",
         QKeySequence(Qt::CTRL | Qt::Key_P), [this] { LoadMaterial(TMaterialKind::Phrases); });
    item(file, "Load &text from file to memory", "Load a text to be sent word by word",
         QKeySequence(Qt::CTRL | Qt::Key_T), [this] { LoadMaterial(TMaterialKind::Text); });
    file->addSeparator();
    item(file, "&Export Practice...",
         "Render the practice or the Koch lesson to an audio file (MP3, Ogg, FLAC, WAV)",
         QKeySequence(Qt::CTRL | Qt::Key_E), [this] { ShowExport(false); });
    file->addSeparator();
    item(file, "E&xit", "Exit Brindle", {}, [this] { close(); });

    QMenu* parameter = menuBar()->addMenu("&Parameter");
    item(parameter, "Set &Parameters", "Open or close the parameters window",
         QKeySequence(Qt::Key_F2), [this] { ToggleParameters(); });
    item(parameter, "&Get Output Mixer", "Start the sound mixer of the desktop", {},
         [this] { ParamForm_->StartMixer(); });

    QMenu* work = menuBar()->addMenu("&Work");
    item(work, "Start &Random Groups/Words/Q-Codes/Phrases", "Start the selected Morse training",
         QKeySequence(Qt::Key_F3), [this] { App_->StartSession(); });
    item(work, "&Speed Test", "Send a test text and measure the speed", {},
         [this] { App_->StartSpeedTest(); });
    item(work, "Copy &Practice", "Copy what is sent; the copy is checked and kept in the history",
         QKeySequence(Qt::Key_F11), [this] { App_->StartCopyPractice(); });
    item(work, "&Koch Lesson", "Start the Koch course's lesson as copy practice",
         QKeySequence(Qt::SHIFT | Qt::Key_F11), [this] { App_->StartKochLesson(); });
    item(work, "Koch C&ourse...", "The Koch course: order, lesson, length and speeds", {},
         [this] { ShowKochCourse(); });
    item(work, "Pro&gress...",
         "Your progress from the practice history: accuracy, characters, speed",
         QKeySequence(Qt::Key_F12), [this] { ShowProgress(); });
    item(work, "Show Text &Buffers", "Open or close the text buffers window",
         QKeySequence(Qt::Key_F4), [this] { ToggleBuffers(); });
    SingleModeItem_ = item(work, "Set Single Word Mode", "Send one item at a time",
                           QKeySequence(Qt::Key_F9), [this] { App_->SetSingleWordModeClick(); });
    item(work, "&Clear Screen\tDel", "Clear the screen and the type-ahead buffer", {},
         [this] { App_->ClearScreenClick(); });

    QMenu* help = menuBar()->addMenu("&Help");
    item(help, "&Help", "Show the help page in your browser", QKeySequence(Qt::Key_F1),
         [this] { ShowHelp(); });
    item(help, "Short&Cuts", "Show the list of short cut keys", QKeySequence(Qt::CTRL | Qt::Key_F1),
         [this] { ShowShortCuts(); });
    item(help, "&Open Brindle Homepage", "Open the Brindle homepage in your browser", {},
         [this] { OpenHomepage(); });
    item(help, "&About...", "About Brindle", {}, [this] { ShowAbout(); });

    // Ctrl+C and Ctrl+V work on the display wherever the focus is.
    auto* copy = new QAction(this);
    copy->setShortcut(QKeySequence::Copy);
    connect(copy, &QAction::triggered, this, [this] { TextView_->copy(); });
    addAction(copy);
    auto* paste = new QAction(this);
    paste->setShortcut(QKeySequence::Paste);
    connect(paste, &QAction::triggered, this, [this] {
        if (!CWSpeed_->hasFocus()) TextView_->OnPaste();
    });
    addAction(paste);
}

void TMainWindow::BuildBars() {
    QToolBar* tools = addToolBar("Tools");
    tools->setObjectName("Tools");
    tools->setMovable(false);
    // The buttons of the tool bar and the sending bar are reached with Tab (the TX button and
    // Hide Text have no key or menu item), but a click takes no focus: it stays in the display,
    // where typing goes.
    auto toolButton = [&](const char* caption, const char* hint) {
        auto* b = new QPushButton(caption, tools);
        QFont f = b->font();
        f.setBold(true);
        b->setFont(f);
        b->setFocusPolicy(Qt::TabFocus);
        b->setStatusTip(hint);
        b->setToolTip(hint);
        tools->addWidget(b);
        return b;
    };
    auto iconButton = [&](const char* theme, const char* own, const char* caption, const char* hint,
                          const char* name, void (TMainWindow::*action)()) {
        auto* b = new QToolButton(tools);
        b->setIcon(QIcon::fromTheme(theme, QIcon(own)));
        b->setAccessibleName(caption); // only a symbol is shown
        b->setToolTip(hint);
        b->setStatusTip(hint);
        b->setObjectName(name);
        b->setFocusPolicy(Qt::TabFocus);
        b->setAutoRaise(true);
        connect(b, &QToolButton::clicked, this, [this, action] { (this->*action)(); });
        tools->addWidget(b);
        return b;
    };
    QToolButton* open =
        iconButton("document-open", ":/icons/open.png", "Open", "Load text from file to screen",
                   "OpenButton", &TMainWindow::LoadScreenText);
    QToolButton* save =
        iconButton("document-save", ":/icons/save.png", "Save", "Save text from screen to file",
                   "SaveButton", &TMainWindow::SaveScreenText);
    ParamsButton_ = toolButton("Set Parameters", "Open or close the parameters window");
    ParamsButton_->setObjectName("ParamsButton");
    connect(ParamsButton_, &QPushButton::clicked, this, [this] { ToggleParameters(); });
    StartButton_ = toolButton("Start Random Characters", "Start random characters");
    connect(StartButton_, &QPushButton::clicked, this, [this] { App_->StartSession(); });
    StartButton_->setObjectName("StartButton");
    BuffersButton_ = toolButton("Show Text Buffers", "Open or close the text buffers window");
    BuffersButton_->setObjectName("BuffersButton");
    connect(BuffersButton_, &QPushButton::clicked, this, [this] { ToggleBuffers(); });
    SingleModeButton_ = toolButton("Set Single Mode", "Set Single Mode");
    SingleModeButton_->setObjectName("SingleModeButton");
    HideButton_ = toolButton("Hide Text", "Hide Text");
    HideButton_->setObjectName("HideButton");
    HideButton_->setCheckable(true);
    HideButton_->setObjectName("HideButton");
    // Each as wide as its longest caption: the tool bar keeps its width, and the window's
    // minimum width from it never lets a button slip behind the extension arrow.
    std::vector<QString> starts;
    for (const auto& [caption, hint] : captions::Start)
        starts.push_back(caption);
    FitCaptions(*StartButton_, starts);
    FitCaptions(*SingleModeButton_, Texts(captions::SingleMode));
    FitCaptions(*HideButton_, Texts(captions::Hide));
    connect(SingleModeButton_, &QPushButton::clicked, this, [this] {
        App_->SingleModeClick();
        FocusDisplay();
    });
    connect(HideButton_, &QPushButton::clicked, this,
            [this](bool down) { App_->HideButtonClick(down); });

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto* bar = new QWidget(central);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(6, 4, 6, 4);
    TXButton_ = new QPushButton("AutoStart", bar);
    TXButton_->setCheckable(true);
    TXButton_->setFocusPolicy(Qt::TabFocus);
    TXButton_->setStatusTip("Start or stop sending");
    TXButton_->setAccessibleDescription(TXButton_->statusTip());
    PauseButton_ = new QPushButton("Pause", bar);
    PauseButton_->setCheckable(true);
    PauseButton_->setFocusPolicy(Qt::TabFocus);
    PauseButton_->setEnabled(false);
    PauseButton_->setStatusTip("Pause or resume sending (Pause key)");
    PauseButton_->setAccessibleDescription(PauseButton_->statusTip());
    FitCaptions(*TXButton_, Texts(captions::TX));
    std::vector<QString> looks;
    for (TPauseState state : {TPauseState::Off, TPauseState::Pause, TPauseState::Resume,
                              TPauseState::Show, TPauseState::Waiting})
        looks.push_back(PauseLook(state).Caption);
    FitCaptions(*PauseButton_, looks);
    SpacingLabel_ = new QLabel("Speed", bar);
    CWSpeed_ = new QLineEdit("60", bar);
    CWSpeed_->setMaxLength(4);
    CWSpeed_->setFixedWidth(CWSpeed_->fontMetrics().horizontalAdvance("00000") + 12);
    CWSpeed_->setStatusTip("Speed; Up/Down change it by 1, with Shift by 10, Shift+Ctrl by 100");
    CWSpeed_->setAccessibleDescription(CWSpeed_->statusTip());
    SpacingLabel_->setBuddy(CWSpeed_); // its caption ("Speed", "Farnsworth", ...) names the box
    CWSpeed_->installEventFilter(this);
    auto* arrows = new QWidget(bar);
    auto* arrowColumn = new QVBoxLayout(arrows);
    arrowColumn->setContentsMargins(0, 0, 0, 0);
    arrowColumn->setSpacing(0);
    SpeedUp_ = new QToolButton(arrows);
    SpeedUp_->setArrowType(Qt::UpArrow);
    SpeedUp_->setAccessibleName("Speed up");
    SpeedDown_ = new QToolButton(arrows);
    SpeedDown_->setArrowType(Qt::DownArrow);
    SpeedDown_->setAccessibleName("Speed down");
    for (QToolButton* b : {SpeedUp_, SpeedDown_}) {
        // Out of the Tab order, as a spin box's arrows: Up and Down in the box do what they do.
        b->setFocusPolicy(Qt::NoFocus);
        b->setFixedSize(18, CWSpeed_->sizeHint().height() / 2);
        b->setAutoRepeat(true);
        arrowColumn->addWidget(b);
    }
    SpeedLabel_ = new QLabel("CpM", bar);
    MutedLabel_ = new QLabel("Sound muted", bar);
    SingleModeLabel_ = new QLabel("Single Mode", bar);
    for (QLabel* l : {MutedLabel_, SingleModeLabel_}) {
        SetRed(*l, true);
        QFont f = l->font();
        f.setBold(true);
        l->setFont(f);
    }
    row->addWidget(TXButton_);
    row->addWidget(PauseButton_);
    row->addSpacing(16);
    row->addWidget(SpacingLabel_);
    row->addWidget(CWSpeed_);
    row->addWidget(arrows);
    row->addWidget(SpeedLabel_);
    row->addSpacing(16);
    row->addWidget(MutedLabel_);
    row->addWidget(SingleModeLabel_);
    row->addStretch(1);
    column->addWidget(bar);
    // Hiding the text puts an empty pane in the display's place: the bar keeps its place and
    // size, and the pane keeps the keys.
    TextPages_ = new QStackedWidget(central);
    TextPages_->addWidget(TextView_);
    Hidden_ = new THiddenText(TextPages_);
    Hidden_->OnKeyEvent = [this](QKeyEvent* e) { return DisplayKey(e); };
    Hidden_->OnPaste = [this] { App_->Paste(QGuiApplication::clipboard()->text().toStdString()); };
    TextPages_->addWidget(Hidden_);
    column->addWidget(TextPages_, 1);
    // Copy practice: the field the learner types into, with its Check button.
    CopyRow_ = new QWidget(central);
    auto* copyRow = new QHBoxLayout(CopyRow_);
    copyRow->setContentsMargins(6, 4, 6, 4);
    auto* copyLabel = new QLabel("&Copy:", CopyRow_);
    CopyEdit_ = new TCopyEdit(CopyRow_);
    copyLabel->setBuddy(CopyEdit_);
    CopyEdit_->setFixedHeight(CopyEdit_->fontMetrics().lineSpacing() * 4 + 12);
    CheckButton_ = new QPushButton("Chec&k", CopyRow_);
    CheckButton_->setObjectName("CheckButton");
    CheckButton_->setStatusTip("Check the copy (Ctrl+Return)");
    copyRow->addWidget(copyLabel, 0, Qt::AlignTop);
    copyRow->addWidget(CopyEdit_, 1);
    copyRow->addWidget(CheckButton_, 0, Qt::AlignTop);
    column->addWidget(CopyRow_);
    CopyRow_->hide();
    CopyEdit_->OnChanged = [this](const std::string& text) { return App_->CopyChanged(text); };
    CopyEdit_->OnTyped = [this] { App_->CopyKeyTyped(); };
    CopyEdit_->OnReturn = [this](bool emptyLine) {
        const bool taken = App_->CopyReturn(emptyLine);
        // Item by item the next item starts a line of its own.
        if (taken && App_->Copy().Running()) CopyEdit_->insertPlainText("\n");
        return taken;
    };
    CopyEdit_->OnCheck = [this] { App_->CheckCopy(); };
    CopyEdit_->OnEscape = [this] { App_->Escape(); };
    connect(CheckButton_, &QPushButton::clicked, this, [this] { App_->CheckCopy(); });
    setCentralWidget(central);
    TextView_->setAccessibleName("Sent text");
    TextView_->setAccessibleDescription("Type to send; Esc removes what is not yet sent");
    // Reading order: the tool bar, the sending bar, the display.
    QWidget* const order[] = {
        open,        save,      ParamsButton_, StartButton_, BuffersButton_, SingleModeButton_,
        HideButton_, TXButton_, PauseButton_,  CWSpeed_,     TextView_};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    statusBar()->showMessage("Type to send; Esc removes what is not yet sent");

    connect(TXButton_, &QPushButton::clicked, this, [this](bool down) {
        App_->TXButtonClick(down);
        FocusDisplay();
    });
    connect(PauseButton_, &QPushButton::clicked, this, [this](bool down) {
        App_->PauseButtonClick(down);
        FocusDisplay();
    });
    connect(SpeedUp_, &QToolButton::clicked, this, [this] { SpeedUpDown(1); });
    connect(SpeedDown_, &QToolButton::clicked, this, [this] { SpeedUpDown(-1); });
}

void TMainWindow::SpeedUpDown(int direction) {
    App_->CWSpeedUpDownClick(App_->View().SpeedPosition + direction,
                             ShiftOf(QGuiApplication::queryKeyboardModifiers()));
    FocusDisplay();
}

void TMainWindow::ToggleParameters() {
    if (ParamForm_->isMinimized()) {
        ParamForm_->showNormal();
    } else if (ParamForm_->isHidden()) {
        FocusDisplay();
        ParamForm_->show();
        ParamForm_->raise();
    } else {
        ParamForm_->hide();
    }
}

std::string TMainWindow::ChooseFile(const TOpenRequest& r, bool save) {
    TOpenRequest request = r;
    // Until a file has been opened the folder is the program's own: the user's documents (or home)
    // is where a user keeps texts.
    if (request.Folder.empty() || SameFolder(request.Folder, Options_.DataFolder))
        request.Folder = UserFolder();
    if (save && Options_.ChooseSaveFile) return Options_.ChooseSaveFile(request);
    if (!save && Options_.ChooseOpenFile) return Options_.ChooseOpenFile(request);
    static const QString textFiles = "Text files (*.txt)";
    QFileDialog dialog(this, Q(request.Title), Q(request.Folder));
    dialog.setNameFilters({textFiles, "all files (*)"});
    // A typed name is opened as typed; a save under the text filter gets ".txt" when it has no
    // suffix of its own.
    if (save) {
        dialog.setDefaultSuffix("txt");
        connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
            dialog.setDefaultSuffix(filter == textFiles ? "txt" : "");
        });
    }
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!request.FileName.empty()) dialog.selectFile(Q(request.FileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front().toStdString();
}

void TMainWindow::LoadMaterial(TMaterialKind kind) {
    const std::string path = ChooseFile(App_->MaterialRequest(kind), false);
    if (!path.empty()) App_->LoadMaterial(kind, path);
    FocusDisplay();
}

void TMainWindow::LoadScreenText() {
    const std::string path = ChooseFile(App_->ScreenOpenRequest(), false);
    if (!path.empty()) App_->LoadScreenText(path);
    FocusDisplay();
}

void TMainWindow::SaveScreenText() {
    const std::string path = ChooseFile(App_->ScreenSaveRequest(), true);
    if (!path.empty()) App_->SaveScreenText(path);
    FocusDisplay();
}

void TMainWindow::ToggleBuffers() {
    FocusDisplay();
    if (BufferForm_->isVisible()) {
        BufferForm_->hide();
    } else {
        BufferForm_->Redraw();
        BufferForm_->ShowBuffers();
    }
}

std::string TMainWindow::HelpPage() {
    const QString installed =
        QDir(QCoreApplication::applicationDirPath()).filePath(BRINDLE_HELP_RELATIVE);
    if (QFileInfo::exists(installed)) return QDir::cleanPath(installed).toStdString();
    return BRINDLE_SOURCE_HELP;
}

bool TMainWindow::OpenUrl(const std::string& url) {
    return Options_.OpenUrl ? Options_.OpenUrl(url) : QDesktopServices::openUrl(QUrl(Q(url)));
}

void TMainWindow::ShowHelp() {
    if (!OpenUrl(QUrl::fromLocalFile(Q(HelpPage())).toString().toStdString()))
        statusBar()->showMessage(
            Q("No web browser was found to show the help page; it is " + HelpPage()));
}

void TMainWindow::OpenHomepage() {
    const std::string homepage = BRINDLE_HOMEPAGE;
    if (homepage.empty())
        ShowHelp();
    else if (!OpenUrl(homepage))
        statusBar()->showMessage(Q("No web browser was found to open " + homepage));
}

void TMainWindow::ShowShortCuts() {
    if (Shortcuts_->isMinimized()) Shortcuts_->showNormal();
    Shortcuts_->show();
    Shortcuts_->raise();
    Shortcuts_->activateWindow();
}

void TMainWindow::ShowKochCourse() {
    KochForm_->Redraw();
    if (KochForm_->isMinimized()) KochForm_->showNormal();
    KochForm_->show();
    KochForm_->raise();
    KochForm_->activateWindow();
}

void TMainWindow::ShowProgress() {
    const bool wpm = App_->Settings().Main.ShowWpM;
    if (!ProgressForm_) {
        ProgressForm_ = new TProgressForm(App_->History(), this, wpm);
        // Over the main window, on a screen, as large as it asks for where there is room.
        TRect r{x() + 40, y() + 40, ProgressForm_->width(), ProgressForm_->height()};
        if (CanPlaceWindows()) {
            r = FitOnScreensFramedAs(r, *this);
            ProgressForm_->move(r.Left, r.Top);
        }
        ProgressForm_->resize(r.Width, r.Height);
    } else {
        ProgressForm_->SetShowWpM(wpm);
        ProgressForm_->Refresh();
    }
    if (ProgressForm_->isMinimized()) ProgressForm_->showNormal();
    ProgressForm_->show();
    ProgressForm_->raise();
    ProgressForm_->activateWindow();
}

void TMainWindow::ShowAbout() {
    About_->VersionLabel().setText(QString("Version ") + ProgramVersion());
    const QRect frame = frameGeometry();
    About_->move(frame.center() - About_->rect().center());
    About_->show();
    About_->raise();
}

void TMainWindow::FocusDisplay() {
    // During copy practice the copy field keeps the focus for the whole session.
    if (CopyRow_->isVisibleTo(this))
        CopyEdit_->setFocus();
    else
        TextPages_->currentWidget()->setFocus();
}

void TMainWindow::Redraw() {
    const TMainView& v = App_->View();
    TXButton_->setChecked(v.TXDown);
    TXButton_->setText(Q(v.TXCaption));
    TXButton_->setEnabled(v.TXEnabled);
    const TPauseLook pause = PauseLook(v.PauseState);
    PauseButton_->setEnabled(pause.Enabled && v.PauseEnabledByOutput);
    PauseButton_->setChecked(pause.Down);
    PauseButton_->setText(pause.Caption);
    // Blank while it waits; a screen reader still says what it is.
    PauseButton_->setAccessibleName(QString(pause.Caption).trimmed().isEmpty() ? "Pause" : "");
    SetRed(*PauseButton_, pause.Red);
    MutedLabel_->setVisible(v.SoundMutedShown);
    SingleModeLabel_->setVisible(v.SingleModeShown);
    StartButton_->setText(Q(v.StartCaption));
    StartButton_->setStatusTip(Q(v.StartHint));
    StartButton_->setEnabled(v.StartEnabled);
    SingleModeButton_->setText(Q(v.SingleModeCaption));
    SingleModeButton_->setStatusTip(Q(v.SingleModeCaption));
    SingleModeButton_->setEnabled(v.SingleModeEnabled);
    BuffersButton_->setEnabled(v.BuffersEnabled);
    LoadingMemo_->setVisible(v.LoadingNoticeShown);
    if (v.LoadingNoticeShown) LoadingMemo_->setGeometry(TextView_->rect());
    if (BufferForm_->isVisible()) BufferForm_->Redraw();
    SingleModeItem_->setEnabled(v.SingleModeEnabled);
    HideButton_->setChecked(v.HideDown);
    HideButton_->setText(Q(v.HideCaption));
    HideButton_->setStatusTip(Q(v.HideCaption));
    SetRed(*HideButton_, v.HideDown);
    if (v.CopyPractice != ShownCopyPractice_) { // a new practice: an empty copy
        ShownCopyPractice_ = v.CopyPractice;
        CopyEdit_->clear();
    }
    CopyEdit_->setReadOnly(v.CopyFieldReadOnly);
    CheckButton_->setEnabled(!v.CopyFieldReadOnly);
    if (CopyRow_->isVisibleTo(this) != v.CopyFieldShown) {
        CopyRow_->setVisible(v.CopyFieldShown);
        if (v.CopyFieldShown)
            CopyEdit_->setFocus();
        else
            FocusDisplay();
    }
    QWidget* page = v.DisplayVisible ? static_cast<QWidget*>(TextView_) : Hidden_;
    if (TextPages_->currentWidget() != page) {
        TextPages_->setCurrentWidget(page);
        page->setFocus();
    }
    if (v.SpeedText != LastSpeedText_) { // never overwrite what the user is typing otherwise
        LastSpeedText_ = v.SpeedText;
        CWSpeed_->setText(Q(v.SpeedText));
        CWSpeed_->setCursorPosition(CWSpeed_->text().size());
    }
    CWSpeed_->setEnabled(v.SpeedEnabled);
    SpeedUp_->setEnabled(v.SpeedUpDownEnabled);
    SpeedDown_->setEnabled(v.SpeedUpDownEnabled);
    SpeedLabel_->setText(Q(v.SpeedUnit));
    SpacingLabel_->setText(Q(v.SpeedLabel));
    // While an output switch or the close waits for the engine, the status bar says so; else
    // it says what is amiss with the sound output, as long as it is.
    const std::string status = !v.Busy.empty() ? v.Busy : v.SoundStatus;
    if (status != ShownBusy_) {
        if (!status.empty())
            statusBar()->showMessage(Q(status));
        else
            statusBar()->clearMessage();
        ShownBusy_ = status;
    }
    ShowSoundNotice(v.SoundNotice);
    if (v.DisplayFontPoints != TextView_->font().pointSize()) {
        QFont f = TextView_->font();
        f.setPointSize(v.DisplayFontPoints);
        TextView_->setFont(f);
    }
    // The parameters window follows the outputs and the session; once per round of events.
    if (!ParamsRedrawPending_ && ParamForm_->isVisible()) { // it catches up when shown
        ParamsRedrawPending_ = true;
        QTimer::singleShot(0, this, [this] {
            ParamsRedrawPending_ = false;
            App_->Params().Refresh();
        });
    }
}

bool TMainWindow::DisplayKey(QKeyEvent* e) {
    const TShiftState shift = ShiftOf(e->modifiers());
    switch (e->key()) {
    case Qt::Key_F10: return false; // to the menu bar
    case Qt::Key_Home: TextView_->ScrollToStart(); return true;
    case Qt::Key_End: TextView_->ScrollToEnd(); return true;
    case Qt::Key_PageUp: TextView_->ScrollPageUp(); return true;
    case Qt::Key_PageDown: TextView_->ScrollPageDown(); return true;
    case Qt::Key_Up: TextView_->ScrollLineUp(); return true;
    case Qt::Key_Down: TextView_->ScrollLineDown(); return true;
    case Qt::Key_F5: App_->KeyDown(TDeskKey::F5, shift); return true;
    case Qt::Key_F6: App_->KeyDown(TDeskKey::F6, shift); return true;
    case Qt::Key_F7: App_->KeyDown(TDeskKey::F7, shift); return true;
    case Qt::Key_F8: App_->KeyDown(TDeskKey::F8, shift); return true;
    case Qt::Key_F9: App_->KeyDown(TDeskKey::F9, shift); return true;
    case Qt::Key_Pause: App_->KeyDown(TDeskKey::Pause, shift); return true;
    case Qt::Key_Delete: App_->KeyDown(TDeskKey::Delete, shift, CWSpeed_->hasFocus()); return true;
    case Qt::Key_Backspace: App_->Backspace(); return true;
    case Qt::Key_Escape: App_->Escape(); return true;
    case Qt::Key_Return:
    case Qt::Key_Enter: App_->Enter(); return true;
    default: break;
    }
    if (e->key() == Qt::Key_Z && shift.Ctrl && !shift.Shift && !shift.Alt) {
        App_->KeyDown(TDeskKey::Z, shift);
        return true;
    }
    if (shift.Ctrl || shift.Alt) return true; // shortcuts went to the menu before
    const std::string typed = Utf8To1252(e->text().toStdString());
    for (char c : typed)
        if (static_cast<uint8_t>(c) >= 32) App_->KeyPress(static_cast<uint8_t>(c));
    return true;
}

void TMainWindow::keyPressEvent(QKeyEvent* event) {
    if (!DisplayKey(event)) QMainWindow::keyPressEvent(event);
}

bool TMainWindow::SpeedBoxKey(QKeyEvent* e) {
    const TShiftState shift = ShiftOf(e->modifiers());
    switch (e->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down: return App_->CWSpeedArrow(e->key() == Qt::Key_Up, shift);
    case Qt::Key_Delete:
        CWSpeed_->del();
        App_->SetNewSpeedVal(CWSpeed_->text().toStdString());
        LastSpeedText_.clear();
        Redraw();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        App_->SetNewSpeedVal(CWSpeed_->text().toStdString());
        LastSpeedText_.clear();
        Redraw();
        FocusDisplay();
        return true;
    default: return false;
    }
}

bool TMainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == CWSpeed_) {
        if (event->type() == QEvent::KeyPress) return SpeedBoxKey(static_cast<QKeyEvent*>(event));
        if (event->type() == QEvent::FocusIn)
            QTimer::singleShot(0, CWSpeed_, [this] { CWSpeed_->end(false); });
        if (event->type() == QEvent::FocusOut && !Closed_) {
            App_->SetNewSpeedVal(CWSpeed_->text().toStdString());
            LastSpeedText_.clear();
            Redraw();
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainWindow::CloseWithoutQuestion() {
    NoQuestion_ = true;
    // A question that is up counts as answered: the logic closes whatever the answer.
    App_->RequestClose(true);
    for (QMessageBox* box : findChildren<QMessageBox*>())
        box->done(QMessageBox::Ok);
    close();
}

void TMainWindow::closeEvent(QCloseEvent* event) {
    if (Closed_) {
        event->accept();
        return;
    }
    InCloseEvent_ = true;
    if (App_->CloseState() == TCloseState::Open) App_->RequestClose(NoQuestion_);
    InCloseEvent_ = false;
    // Asking or waiting for the engine: the window closes when the logic is ready.
    if (App_->CloseState() != TCloseState::Ready) {
        event->ignore();
        return;
    }
    FinishClose();
    event->accept();
}

void TMainWindow::FinishClose() {
    ParamForm_->CommitFields();
    TFormSettings form = App_->Settings().Form;
    // Where the window system does not let programs place windows, positions stay as read.
    if (CanPlaceWindows()) {
        form.ParaTop = ParamForm_->pos().y();
        form.ParaLeft = ParamForm_->pos().x();
        form.BuTop = BufferForm_->pos().y();
        form.BuLeft = BufferForm_->pos().x();
    }
    if (!isMaximized() && CanPlaceWindows()) {
        form.Top = pos().y(); // the frame's corner, as move() takes it
        form.Left = pos().x();
        form.Width = width();
        form.Height = height();
    }
    App_->SetFormSettings(form);
    App_->FormClose(Options_.DataFolder, isMaximized());
    Messages_->Flush(); // a failed save is shown before the program ends
    Closed_ = true;
}

} // namespace brindle
