// The main window: builds the menu, the tool bar, the sending bar and the sent-text display,
// forwards every event to TDesk and redraws from its state in one place (Redraw). Owns the
// platform pieces around the logic: the engine's timer, the message queue, the device and
// suspend notifications.
#pragma once

#include "desk/Desk.h"
#include "desk/Session.h"
#include "platform/DeviceWatcher.h"
#include "platform/KeyingThread.h"
#include "platform/MessageQueue.h"
#include "platform/desktop/Realtime.h"

#include <QMainWindow>
#include <QMessageBox>

#include <memory>

class QAction;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QToolButton;

namespace brindle {

class TCWRichEdit;
class TExportDialog;
class THiddenText;
class TCopyEdit;
class TAboutBox;
class TBufferForm;
class TParamForm;
class TShortcutList;
class TKochForm;
class TProgressForm;
class TSleepWatcher;

class TMainWindow : public QMainWindow {
public:
    // Test hooks: everything that would open a modal box or reach the desktop.
    struct TOptions {
        std::string DataFolder;                      // settings; empty: the user's data folder
        std::unique_ptr<ISoundBackend> SoundBackend; // empty: PulseAudio
        TMessageSink ShowMessage;                    // empty: a message box
        std::function<bool(const std::string&)> AskOkCancel;     // empty: a question box
        std::function<bool(const std::string&)> AskYesNo;        // empty: a Yes/No box
        std::function<std::vector<TDetectedPort>()> DetectPorts; // empty: the system's ports
        TSerialLines::TPortPath PortPath;
        bool WatchDevices = true;    // the device and suspend notifications
        std::string SleepBusAddress; // a bus to hear suspend on; empty: the system bus
        std::function<bool(TSessionDialog&)> AskSession; // empty: the session dialog
        // The file chosen to open (UTF-8), empty when cancelled; empty: the desktop's dialog.
        std::function<std::string(const TOpenRequest&)> ChooseOpenFile;
        std::function<int64_t()> Clock; // the session clock [ms]; empty: the steady clock
        int SoundBufferMs = 0;          // the sound output's buffer time [ms]; 0: the default
        std::string HistoryPath;        // the practice history; empty: the user's
        // The file chosen to save to (UTF-8), empty when cancelled; empty: the desktop's dialog.
        std::function<std::string(const TOpenRequest&)> ChooseSaveFile;
        // Opens an address in the browser, false when no browser could; empty: the desktop's.
        std::function<bool(const std::string& url)> OpenUrl;
    };

    explicit TMainWindow(TOptions options);
    ~TMainWindow() override;

    TDesk& App() { return *App_; }
    // How the keying thread's priority was settled (see TKeyingThread::Priority).
    std::string KeyingPriority() const { return Timer_.Priority(); }
    std::string SoundPriority() const { return App_->SoundOut().FeederPriority(); }
    TCWRichEdit& TextView() { return *TextView_; }
    QPushButton& TXButton() { return *TXButton_; }
    QPushButton& PauseButton() { return *PauseButton_; }
    QLineEdit& CWSpeed() { return *CWSpeed_; }
    QLabel& SpeedLabel() { return *SpeedLabel_; }
    TParamForm& ParamForm() { return *ParamForm_; }
    TBufferForm& BufferForm() { return *BufferForm_; }
    TShortcutList& ShortcutList() { return *Shortcuts_; }
    TAboutBox& AboutBox() { return *About_; }
    TCopyEdit& CopyEdit() { return *CopyEdit_; }
    // F4: shows the text buffers window, or hides it when shown.
    void ToggleBuffers();
    void LoadScreenText();
    void SaveScreenText();
    void ShowHelp();
    void OpenHomepage();
    void ShowShortCuts();
    void ShowAbout();
    // The Koch course window.
    void ShowKochCourse();
    TKochForm& KochForm() { return *KochForm_; }
    // F12: the progress window, made at its first showing (which opens the history) and read
    // again at every showing.
    void ShowProgress();
    // File, Export Practice: the dialog, with the session or the Koch lesson chosen.
    void ShowExport(bool lesson);
    TProgressForm* ProgressForm() { return ProgressForm_; } // null until first shown
    // The help page beside the installed program, else the one of the source tree.
    static std::string HelpPage();
    static const char* ProgramVersion();
    // F2: shows the parameters window, hides it when shown, restores it when minimised.
    void ToggleParameters();
    // Closes as the close box does, without asking first (the session ends, or a signal).
    void CloseWithoutQuestion();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildMenu();
    void BuildBars();
    void Redraw();
    bool DisplayKey(QKeyEvent* event);
    bool SpeedBoxKey(QKeyEvent* event);
    void SpeedUpDown(int direction);
    void FocusDisplay();
    void LoadMaterial(TMaterialKind kind);
    std::string ChooseFile(const TOpenRequest& request, bool save);
    bool OpenUrl(const std::string& url);
    void FinishClose();

    TOptions Options_;
    // The engine's timer for keying a port, on a thread of its own.
    TKeyingThread Timer_{[](pid_t tid, int priority, std::string& why) {
        return AskRealtimeKit(tid, priority, why);
    }};
    std::unique_ptr<TMessageQueue> Messages_;
    TCWRichEdit* TextView_ = nullptr;
    QStackedWidget* TextPages_ = nullptr; // the display, or the empty pane while it is hidden
    THiddenText* Hidden_ = nullptr;
    QWidget* CopyRow_ = nullptr; // copy practice: the copy field and the Check button
    TCopyEdit* CopyEdit_ = nullptr;
    QPushButton* CheckButton_ = nullptr;
    std::unique_ptr<TDesk> App_;
    std::unique_ptr<TDeviceWatcher> Watcher_;
    std::unique_ptr<TSleepWatcher> Sleep_;

    QPushButton* TXButton_ = nullptr;
    QPushButton* PauseButton_ = nullptr;
    QLineEdit* CWSpeed_ = nullptr;
    QToolButton* SpeedUp_ = nullptr;
    QToolButton* SpeedDown_ = nullptr;
    QLabel* SpacingLabel_ = nullptr;
    QLabel* SpeedLabel_ = nullptr;
    QLabel* MutedLabel_ = nullptr;      // "Sound muted"
    QLabel* SingleModeLabel_ = nullptr; // "Single Mode"
    QPushButton* ParamsButton_ = nullptr;
    QPushButton* StartButton_ = nullptr;
    QPushButton* SingleModeButton_ = nullptr;
    QPushButton* BuffersButton_ = nullptr;
    QPushButton* HideButton_ = nullptr;
    QAction* SingleModeItem_ = nullptr;
    std::string LastSpeedText_;
    int ShownCopyPractice_ = 0; // the copy practice whose copy the field holds
    std::string ShownBusy_;     // the status bar's persistent line
    void ShowSoundNotice(const std::string& text);
    std::unique_ptr<QMessageBox> SoundNotice_;
    TExportDialog* Export_ =
        nullptr; // made when first asked for, owned as a child // while the sound output stays gone
    bool SoundNoticeDismissed_ = false;
    TParamForm* ParamForm_ = nullptr;
    TBufferForm* BufferForm_ = nullptr;
    TShortcutList* Shortcuts_ = nullptr;
    TAboutBox* About_ = nullptr;
    TKochForm* KochForm_ = nullptr;
    TProgressForm* ProgressForm_ = nullptr;
    QLabel* LoadingMemo_ = nullptr;  // over the display while a file is loaded to it
    std::vector<TConnection> Hooks_; // to the logic; they end before the widgets go
    bool ParamsRedrawPending_ = false;
    bool InCloseEvent_ = false;
    bool Closed_ = false; // saved: the next close event is accepted
    bool NoQuestion_ = false;
};

} // namespace brindle
