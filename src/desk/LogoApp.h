// The main window's logic without widgets. Owns the keying engine, the sound output, the noise
// generator and the serial keyer; holds the handlers of program start and close, output
// switching, typing, pasting and the sending controls; keeps what the window shows in a TMainView
// that the window draws. Runs on the GUI thread; its bounded waits pump events through the
// platform, so every handler may be entered from inside such a wait.
#pragma once

#include "audio/NoiseGen.h"
#include "audio/SoundBackend.h"
#include "audio/SoundOut.h"
#include "desk/DeviceCheck.h"
#include "desk/MainView.h"
#include "display/DisplayModel.h"
#include "engine/CWout.h"
#include "serial/ComKeying.h"
#include "serial/ComRtsDtrX.h"
#include "serial/unitportdetect.h"
#include "settings/Settings.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace brindle {

class TParameters;
class TSession;
class TTextBuffers;
struct TOpenRequest;
struct TSessionDialog;

// What the logic needs from around it; the program gives the real things, tests give fakes.
struct TDeskPlatform {
    IMsTimer* Timer = nullptr;                   // the engine's timer for keying a port
    std::unique_ptr<ISoundBackend> SoundBackend; // empty: PulseAudio
    TMessageSink Messages;                       // queued message boxes
    std::function<bool(const std::string& question)> AskOkCancel; // modal; true = OK
    std::function<void()> ProcessEvents;  // one round of a bounded wait (about 1 ms)
    std::function<void()> ProcessPending; // the events already waiting, without waiting
    std::function<std::vector<TDetectedPort>()> DetectPorts;
    TComRTSDTRX::TPortPath PortPath; // empty: the fixed numbering scheme
    TCommEventThread::TPost Post;    // empty: PostToGuiThread
    // The session dialog, modal; true = OK.
    std::function<bool(const TSessionDialog&)> AskSession;
    std::function<int64_t()> Clock; // monotonic [ms]; empty: the steady clock
    std::function<uint32_t()> Seed; // the random groups' seed; empty: from the clock
};

// Keys of the display's key-down table that the logic handles.
enum class TDeskKey { F5, F6, F7, F8, F9, Pause, Delete, Z, Other };
struct TShiftState {
    bool Shift = false;
    bool Ctrl = false;
    bool Alt = false;
    bool None() const { return !Shift && !Ctrl && !Alt; }
};

class TLogoApp {
public:
    static constexpr int TypeAheadSize = 30000;
    // Length of each of the sound output's two buffers. 20 and 40 ms gave gaps in 10 minutes at
    // 300 CpM with both cores loaded (bench_window dropouts), so the main window keeps 100.
    static constexpr int SoundBufferMs = 100;

    TLogoApp(TDeskPlatform platform, TDisplayModel& display, const TSettings& settings);
    ~TLogoApp();
    TLogoApp(const TLogoApp&) = delete;
    TLogoApp& operator=(const TLogoApp&) = delete;

    // --- Start and close ------------------------------------------------------------------
    void FormCreate();
    bool FormCloseQuery(); // true: the window may close
    // Saves the settings into dataFolder; false (after the message) when that failed.
    bool FormClose(const std::string& dataFolder, bool maximised);
    const TSettings& Settings() const { return Settings_; }
    TSettings& MutableSettings() { return Settings_; }

    // --- Output ---------------------------------------------------------------------------
    bool SetOutputDevice(int device);
    void StopAllSending();
    void PowerChanged(bool goingToSleep); // suspend and resume
    void SoundOutputsChanged();           // sound devices came or went
    void SerialPortsChanged();            // a port arrived or was removed
    TDeviceCheck& DeviceCheck() { return *DeviceCheck_; }
    // Connects the serial keyer; a failure of its set-up is shown, never thrown.
    bool ConnectPort();
    void SetPortNumberSafely(int number);
    // The buttons that need an output: single mode, text buffers, practice start.
    void SetDeviceButtonsEnabled(bool on);
    const TOutputChoice& OutputChoice() const { return Choice_; }

    // --- Typing ---------------------------------------------------------------------------
    void KeyPress(uint8_t ch); // a typed Windows-1252 character (8 Backspace, 13 Enter, 27 Esc)
    void KeyDown(TDeskKey key, TShiftState shift, bool speedBoxFocused = false);
    bool SendTypedChar(uint8_t ch);
    bool LoadTextToBuffer(const std::string& text1252);
    void Paste(const std::string& clipboardUtf8);

    // --- Screen text files ---------------------------------------------------------------
    TOpenRequest ScreenOpenRequest() const;
    TOpenRequest ScreenSaveRequest() const;
    // Loads a file to the screen and the type-ahead buffer, sent when all is loaded (Esc stops
    // the loading); false (after the message) when it could not be read.
    bool LoadScreenText(const std::string& path);
    // The display's whole text as UTF-8 lines; false (after the message) when not written.
    bool SaveScreenText(const std::string& path);
    std::string ScreenTextPath; // the file last loaded to the screen

    // --- Sending controls -----------------------------------------------------------------
    void TXButtonClick(bool down);
    void PauseButtonClick(bool down);
    void Button3Click();
    void SetSingleWordModeClick();
    void HideButtonClick(bool down);
    void ClearScreenClick();
    void CWSpeedUpDownClick(int newPosition, TShiftState shift);
    // Up or Down in the speed box; false when the key is not swallowed.
    bool CWSpeedArrow(bool up, TShiftState shift);
    void SetNewSpeedVal(const std::string& boxText);
    void UpdateStartCaptions();
    void UpdateTXButton(bool down);
    void SetSingleMode();
    void StopSingleMode();
    void RepeatSingleItem();
    void SetShowWpM(bool on);
    void ChangeSpeedBy(int step);

    // --- State ----------------------------------------------------------------------------
    const TMainView& View() const { return View_; }
    // For the parameters window's effects on the main window; NotifyViewChanged afterwards.
    TMainView& EditView() { return View_; }
    void NotifyViewChanged() { Changed(); }
    TParameters& Params() { return *Params_; }
    TSession& Session() { return *Session_; }
    TTextBuffers& Buffers() { return *Buffers_; }
    // Told whenever View() may have changed; the window redraws from it.
    std::function<void()> OnViewChanged;
    // Told when the display should scroll to its end (a summary was written).
    std::function<void()> OnScrollToEnd;
    // Told when the display should scroll to its start (a file was loaded to it).
    std::function<void()> OnScrollToStart;

    TCWout& CWout1() { return *CWout1_; }
    TSoundOut& SoundOut1() { return *SoundOut1_; }
    TNoiseGen& NoiseGen1() { return NoiseGen1_; }
    TComRTSDTRX& ComRTSDTRX1() { return *ComRTSDTRX1_; }
    TDisplayModel& Display() { return Display_; }

    // Main window fields (names as the program has always used them).
    int OutputDevice = -1; // -1 not chosen yet, 0 none, 1 sound output, 2 COM port
    int PreviousOutputDevice = -1;
    int RequestedOutputDevice = 1;
    int ComPortNumber = 1;
    int ComPortIndex = 0;
    int ComPortCount = 0;
    int SoundDeviceNumber = 0;
    int SoundDeviceCount = 0;
    bool PortListChanged = true;
    bool SoundDeviceListChanged = true;
    bool ComKeyingActive() const { return Keying_.KeyingActive; }
    bool PttOnCom = false;
    bool NoiseOn = false;
    bool MuteOn = false;
    int SessionState = 0;
    int ItemKind = -1;
    int DispMode = 0; // training and display mode 0, 1, 2
    bool AskEnd = false;
    bool ShowWpM = false;
    bool EqualsKeyOptimisation = false;
    bool AutoStartOff = false; // the AutoStart choice is "OFF"
    bool VariSpeed = false;

    int ProsignEntryState = 0;
    std::string PendingProsign;
    bool SingleMode = false;
    int SinglePauseState = 0;
    bool RepeatingItem = false;
    bool SkipNextSeparator = false;
    bool PauseRequested = false;
    bool RepeatsInSession = false;
    bool LoadingText = false;
    bool LoadInterruptRequested = false;
    int ItemDisplayCount = 0;
    int ItemCharCount = 0;
    int SessionCharCount = 0;
    int RepeatedCharCount = 0;
    int SentCharCount = 0;
    int ItemSpeed = 0;

private:
    friend class TSession; // the session works on the main window's fields and controls

    void CWout1PttChanged(bool ptt);
    void CWout1SignalChanged(bool signal);
    void CWout1CharStart(uint8_t ch);
    void CWout1CharSent(uint8_t ch);
    void CWout1SpeedChanged(int speed);
    void CWout1LastChar();
    void SoundOut1BufferPlayed(int16_t* buffer, int bytes);
    void SingleModeCharSent(uint8_t ch);

    void SetPauseButtonState(int state);
    void SetTXCaption();
    void EnableParameterControls();
    void DisableParameterControls();
    void ResetItemCounters();
    void RemoveUnsentFromDisplay();
    void StepSingleItem();
    void OutputLost();
    bool CharInProgress() const;
    void FinishAbortWhenNothingIsSent();
    void Escape();
    void Backspace();
    bool WaitUntil(const std::function<bool()>& done, int rounds);
    void StopCurrentDevice();
    void ShowBufferFull();
    void Changed();
    static int DisplayWidth(uint8_t ch); // positions a queued character takes in the display

    TDeskPlatform Platform_;
    TDisplayModel& Display_;
    TSettings Settings_;
    std::unique_ptr<TCWout> CWout1_;
    std::unique_ptr<TSoundOut> SoundOut1_;
    TNoiseGen NoiseGen1_;
    std::unique_ptr<TComRTSDTRX> ComRTSDTRX1_;
    TComKeying Keying_;
    TMainView View_;
    TOutputChoice Choice_;
    std::unique_ptr<TDeviceCheck> DeviceCheck_;
    std::unique_ptr<TParameters> Params_;
    std::unique_ptr<TSession> Session_;
    std::unique_ptr<TTextBuffers> Buffers_;
    std::size_t LoadReadBefore_ = 0; // characters of a file queued before the current part
    bool BlipSaved_ = false;
    bool BlipTicked_ = false;
};

// The speed as the speed box shows it: CpM as an integer, or WpM with one decimal and a decimal
// point whatever the user's locale.
std::string FormatSpeedBox(int cpm, bool showWpM);
// The speed box's text read back; false when it is not a number.
bool ParseSpeedBox(const std::string& text, bool showWpM, int& cpm);
// The filters a pasted or loaded text passes before it is queued (UTF-8 or Windows-1252 in,
// Windows-1252 out, prosigns as their names).
std::string PasteChain(const std::string& clipboard, const TCharSet& chars);

} // namespace brindle
