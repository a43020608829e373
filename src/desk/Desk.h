// The main window's logic without widgets, as one facade: it owns the keying engine, the sound
// output, the noise generator, the serial keyer and the parts that hold the rules (the output
// switch, the sender, the sending controls, the session, the parameters, the text buffers),
// dispatches the engine's and the devices' events to them, and composes what the window shows in
// a TMainView. Windows and tests call its intent methods and read state through const views; it
// has no public data. It runs on the GUI thread and never runs the event loop itself: whatever
// must wait for the engine (a switch, the close, a long load) goes on from the engine's events or
// from calls the platform runs later.
#pragma once

#include "audio/NoiseGen.h"
#include "audio/SoundOut.h"
#include "base/Signal.h"
#include "desk/CopyPractice.h"
#include "desk/Course.h"
#include "desk/DeskPlatform.h"
#include "desk/DeskTypes.h"
#include "desk/MainView.h"
#include "desk/OutputSwitch.h"
#include "desk/Sender.h"
#include "desk/SendingControls.h"
#include "desk/Session.h"
#include "display/DisplayModel.h"
#include "engine/MorseEngine.h"
#include "practice/PracticeMaterial.h"
#include "serial/ComKeying.h"
#include "serial/SerialLines.h"
#include "settings/Settings.h"

#include <atomic>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace brindle {

class TDeviceWatcher;
class TParameters;
class TTextBuffers;

class TDesk {
public:
    // Length of each of the sound output's two buffers. 20 and 40 ms gave gaps in 10 minutes at
    // 300 CpM with both cores loaded (bench_window dropouts), so the main window keeps 100.
    static constexpr int SoundBufferMs = 100;

    TDesk(TDeskPlatform platform, TDisplayModel& display, const TSettings& settings);
    ~TDesk();
    TDesk(const TDesk&) = delete;
    TDesk& operator=(const TDesk&) = delete;

    // --- Start and close ---------------------------------------------------------------------
    void FormCreate();
    // The close box, Exit or a signal (withoutQuestion): the exit question when the settings ask
    // for it, then the engine stops after its character; OnReadyToClose tells the window to save
    // and close. A close asked for while one runs is absorbed; a signal during the question
    // closes whatever the answer.
    void RequestClose(bool withoutQuestion = false);
    TCloseState CloseState() const { return Close_; }
    // Saves the settings (and the changed buffers) into dataFolder; false after the message.
    bool FormClose(const std::string& dataFolder, bool maximised);
    const TSettings& Settings() const { return Settings_; }
    // The window's positions, kept until they are saved.
    void SetFormSettings(const TFormSettings& form) { Settings_.Form = form; }
    void SetProgramVersion(const std::string& version) { Settings_.Main.Version = version; }

    // --- Output --------------------------------------------------------------------------------
    // The parameters window's output radio item (-1 none, 0 sound, 1 COM) and port list entry.
    void ChooseOutput(int item);
    // The sound output picked in the parameters window's list (0: the system's default).
    void ChooseSoundOutput(int entry);
    void ChoosePort(int entry);
    void PowerChanged(bool goingToSleep); // suspend and resume
    void SoundOutputsChanged();           // sound devices came or went
    void SerialPortsChanged();            // a port arrived or was removed
    const TOutputSwitch& Output() const { return *Output_; }
    // The watcher hears the sound server's output list through the sound output.
    bool WatchSoundOutputs(TDeviceWatcher& watcher);
    const TOutputChoice& OutputChoice() const;
    // Noise is added to the tone (sound output, noise on, not muted).
    bool NoiseAdded() const;

    // --- Keys and text ---------------------------------------------------------------------------
    void KeyPress(uint8_t ch); // a typed Windows-1252 character; control codes are ignored
    void KeyDown(TDeskKey key, TShiftState shift, bool speedBoxFocused = false);
    void Backspace(); // takes back what waits, or repeats the item in single mode
    void Enter();     // a new line, or the next item in single mode
    void Escape();    // stops what is sent, aborts a copy practice
    void Paste(const std::string& clipboardUtf8);
    const TSender& Sender() const { return *Sender_; }

    // --- Screen text files -----------------------------------------------------------------------
    TOpenRequest ScreenOpenRequest() const;
    TOpenRequest ScreenSaveRequest() const;
    // Starts loading a file to the screen and the type-ahead buffer, sent when all is loaded (Esc
    // stops the loading); false (after the message) when it could not be read.
    bool LoadScreenText(const std::string& path);
    // The display's whole text as UTF-8 lines; false (after the message) when not written.
    bool SaveScreenText(const std::string& path);

    // --- Sending controls ------------------------------------------------------------------------
    void TXButtonClick(bool down);
    void PauseButtonClick(bool down);
    void SingleModeClick();
    void SetSingleWordModeClick();
    void SetSingleMode();
    void StopSingleMode();
    void RepeatSingleItem();
    void HideButtonClick(bool down);
    void ClearScreenClick();
    // The up-down of the speed box moved to newPosition with the keys held.
    void CWSpeedUpDownClick(int newPosition, TShiftState shift);
    // Up or Down in the speed box; false when the key is not swallowed.
    bool CWSpeedArrow(bool up, TShiftState shift);
    void SetNewSpeedVal(const std::string& boxText);
    void ChangeSpeedBy(int step);
    void StopAllSending();
    const TSendingControls& Controls() const { return *Controls_; }

    // --- Sessions
    // ----------------------------------------------------------------------------------
    void StartSession();
    void StartSpeedTest();
    void ToggleSoundTest();
    bool LoadMaterial(TMaterialKind kind, const std::string& path);
    TOpenRequest MaterialRequest(TMaterialKind kind) const;
    const TSession& Session() const { return *Session_; }

    // --- Copy practice (F11) -------------------------------------------------------------------
    void StartCopyPractice();
    // The copy field's whole text, as typed (UTF-8), and each key that types into it.
    // The copy field's text as typed; false when it was refused (over the practice's limit),
    // and the field goes back to what it had.
    bool CopyChanged(const std::string& utf8);
    void CopyKeyTyped();
    // Return in the copy field; true when it was taken (the next item, or the check), false when
    // it is a new line of the copy.
    bool CopyReturn(bool onEmptyLine);
    // Ctrl+Return or the Check button.
    void CheckCopy();
    const TCopyPractice& Copy() const { return *Copy_; }

    // --- The Koch course (Shift+F11) ------------------------------------------------------------
    void StartKochLesson();
    // The practice that StartSession (lesson: StartKochLesson) would start, composed for an
    // export to a file, with the noise when it is on. False with the reason.
    bool ComposeExport(bool lesson, TComposedPractice& practice, std::string& error);
    // The course window's logic: intents and a view of its own.
    TCourse& Course() { return *Course_; }
    const TCourse& Course() const { return *Course_; }
    // The practice history, opened at its first use; a file that cannot be used is said once
    // and the history is off.
    THistoryStore& History();

    // --- State
    // ---------------------------------------------------------------------------------------
    const TMainView& View() const { return View_; }
    // The logic of the parameters and text buffers windows: intents and views of their own.
    TParameters& Params() { return *Params_; }
    const TParameters& Params() const { return *Params_; }
    TTextBuffers& Buffers() { return *Buffers_; }
    const TTextBuffers& Buffers() const { return *Buffers_; }
    const TDisplayModel& Display() const { return Display_; }
    const TMorseEngine& Engine() const { return *Engine_; }
    const TSoundOut& SoundOut() const { return *SoundOut_; }
    const TNoiseGen& Noise() const { return Noise_; }
    const TSerialLines& SerialLines() const { return *SerialLines_; }

    // View() may have changed; the window redraws from it.
    TSignal<> OnViewChanged;
    // The display should scroll to its end (a summary) or to its start (a file was loaded to it).
    TSignal<> OnScrollToEnd;
    TSignal<> OnScrollToStart;
    // The close may go on: the window saves and closes.
    TSignal<> OnReadyToClose;
    // The engine started and finished keying a character (engine form), for those who follow
    // what is sent.
    TSignal<uint8_t> OnCharStart;
    TSignal<uint8_t> OnCharSent;

private:
    // The view is composed once for each intent or event the facade handles, when the outermost
    // one returns: Changed() marks it, a TViewBatch around the handling flushes it.
    class TViewBatch {
    public:
        explicit TViewBatch(TDesk& app) : App_(app) { ++App_.Handling_; }
        ~TViewBatch() {
            if (--App_.Handling_ == 0) App_.FlushView();
        }
        TViewBatch(const TViewBatch&) = delete;
        TViewBatch& operator=(const TViewBatch&) = delete;

    private:
        TDesk& App_;
    };
    void Changed();
    void FlushView();
    void EnginePttChanged(bool ptt);
    void EngineCharStart(uint8_t ch);
    void EngineCharSent(uint8_t ch);
    void EngineLastChar();
    void EngineStopped();
    void SoundBufferPlayed(int16_t* buffer, int bytes);
    void MarkSent(uint8_t ch);
    void MarkHeardChars();
    void Later(int ms, std::function<void()> call);
    void FinishStopping();
    void ComposeView();
    void Connect();

    TDeskPlatform Platform_;
    TDisplayModel& Display_;
    TSettings Settings_;
    std::unique_ptr<TMorseEngine> Engine_;
    std::unique_ptr<TSoundOut> SoundOut_;
    TNoiseGen Noise_;
    std::atomic<bool> NoiseWanted_{false}; // NoiseAdded(), for the sound feeder's thread
    // Characters sent on the sound output whose marking waits until they are heard, oldest first.
    struct THeardMark {
        int64_t Sample = -1; // where it ended in the sound; -1: mark it in turn
        uint8_t Char = 0;
    };
    std::deque<THeardMark> HeardMarks_;
    std::unique_ptr<TSerialLines> SerialLines_;
    TComKeying Keying_;
    std::unique_ptr<TOutputSwitch> Output_;
    std::unique_ptr<TSender> Sender_;
    std::unique_ptr<TSendingControls> Controls_;
    std::unique_ptr<TSession> Session_;
    std::unique_ptr<TParameters> Params_;
    std::unique_ptr<TTextBuffers> Buffers_;
    std::unique_ptr<TCopyPractice> Copy_;
    std::unique_ptr<TCourse> Course_;
    std::unique_ptr<THistoryStore> History_;
    std::vector<TConnection> Links_; // the parts' events to the parts (Connect)
    TMainView View_;
    bool Hidden_ = false; // Hide Text
    TCloseState Close_ = TCloseState::Open;
    bool CloseForced_ = false; // a signal came during the exit question
    int CloseSerial_ = 0;
    int Handling_ = 0;       // intents and events under way (TViewBatch)
    bool ViewDirty_ = false; // Changed() since the view was last composed
    // Calls the platform runs later check this, so none reaches a logic that is gone.
    std::shared_ptr<bool> Alive_ = std::make_shared<bool>(true);
};

} // namespace brindle
