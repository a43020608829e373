// Program start and close, output switching, the engine's events and the sending controls.
// Typing and pasting are in Typing.cpp.
#include "desk/LogoApp.h"

#include "desk/Buffers.h"
#include "desk/Parameters.h"
#include "desk/Session.h"

#include "platform/GuiPost.h"
#include "settings/EngineSettings.h"

#include <charconv>
#include <cmath>

namespace brindle {

TPauseLook PauseLook(int pauseState) {
    switch (pauseState) {
    case 1: return {true, false, "Pause", false};
    case 2: return {true, true, "Resume", true};
    case 3: return {true, true, "Show", true};
    case 4: return {false, false, " ", true};
    default: return {false, false, "Pause", false};
    }
}

std::string FormatSpeedBox(int cpm, bool showWpM) {
    if (!showWpM) return std::to_string(cpm);
    char text[32];
    // to_chars never follows the user's locale: always a decimal point.
    const auto r = std::to_chars(text, text + sizeof text, cpm / 5.0, std::chars_format::fixed, 1);
    return std::string(text, r.ptr);
}

bool ParseSpeedBox(const std::string& text, bool showWpM, int& cpm) {
    std::size_t b = text.find_first_not_of(' ');
    std::size_t e = text.find_last_not_of(' ');
    if (b == std::string::npos) return false;
    const char* first = text.data() + b;
    const char* last = text.data() + e + 1;
    if (showWpM) {
        double wpm = 0;
        const auto r = std::from_chars(first, last, wpm, std::chars_format::fixed);
        if (r.ec != std::errc() || r.ptr != last || !std::isfinite(wpm) || std::fabs(wpm) > 1e6)
            return false;
        cpm = static_cast<int>(std::nearbyint(wpm * 5.0)); // halves to the even neighbour
        return true;
    }
    long value = 0;
    const auto r = std::from_chars(first, last, value);
    if (r.ec != std::errc() || r.ptr != last) return false;
    cpm = static_cast<int>(std::clamp(value, -1000000L, 1000000L));
    return true;
}

TLogoApp::TLogoApp(TDeskPlatform platform, TDisplayModel& display, const TSettings& settings)
    : Platform_(std::move(platform)), Display_(display), Settings_(settings),
      CWout1_(std::make_unique<TCWout>(Platform_.Timer, Platform_.Messages)),
      SoundOut1_(
          std::make_unique<TSoundOut>(Platform_.Messages, std::move(Platform_.SoundBackend))),
      ComRTSDTRX1_(std::make_unique<TComRTSDTRX>(
          Platform_.Messages,
          Platform_.Post ? Platform_.Post : TCommEventThread::TPost(PostToGuiThread))),
      Keying_(*ComRTSDTRX1_) {
    if (Platform_.PortPath) ComRTSDTRX1_->SetPortPath(Platform_.PortPath);
    ComRTSDTRX1_->SetReconnectWait([this](int ms) { WaitUntil([] { return false; }, ms); });
    DeviceCheck_ =
        std::make_unique<TDeviceCheck>(*this, Choice_, Platform_.DetectPorts, Platform_.Messages);
    DeviceCheck_->OnChanged = [this] { Changed(); };
    Params_ = std::make_unique<TParameters>(*this);
    Session_ = std::make_unique<TSession>(*this, Platform_.Clock, Platform_.Seed);
    Params_->OnTestButton = [this] { Session_->ToggleSoundTest(); };
    Buffers_ = std::make_unique<TTextBuffers>(*this, Platform_.Messages);
    Params_->OnAllCapsChanged = [this](bool on) { Buffers_->SetAllCaps(on); };

    auto& cw = *CWout1_;
    cw.OnPttChanged = [this](TCWout&, bool ptt) { CWout1PttChanged(ptt); };
    cw.OnSignalChanged = [this](TCWout&, bool signal, int) { CWout1SignalChanged(signal); };
    cw.OnCharStart = [this](TCWout&, uint8_t ch) { CWout1CharStart(ch); };
    cw.OnCharSent = [this](TCWout&, uint8_t ch) { CWout1CharSent(ch); };
    cw.OnSpeedChanged = [this](TCWout&, int speed) { CWout1SpeedChanged(speed); };
    cw.OnLastChar = [this](TCWout&) { CWout1LastChar(); };

    auto& so = *SoundOut1_;
    so.SetChannels(1);
    so.SetBufferTime(SoundBufferMs);
    so.OnBufferPlayed = [this](int16_t* b, int bytes) { SoundOut1BufferPlayed(b, bytes); };
    so.OwnerWantsSound = [this] { return OutputDevice == 1; };
    so.OnOutputLost = [this] { OutputLost(); };
    so.OnOutputBack = [this] { Changed(); };
}

TLogoApp::~TLogoApp() {
    CWout1_->OnPttChanged = nullptr;
    CWout1_->OnSignalChanged = nullptr;
    CWout1_->OnCharStart = nullptr;
    CWout1_->OnCharSent = nullptr;
    CWout1_->OnSpeedChanged = nullptr;
    CWout1_->OnLastChar = nullptr;
    SoundOut1_->OnBufferPlayed = nullptr;
    SoundOut1_->OwnerWantsSound = nullptr;
    SoundOut1_->OnOutputLost = nullptr;
    SoundOut1_->OnOutputBack = nullptr;
    // Never leave a transmitter keyed.
    ComRTSDTRX1_->Disconnect();
}

void TLogoApp::Changed() {
    if (OnViewChanged) OnViewChanged();
}

bool TLogoApp::WaitUntil(const std::function<bool()>& done, int rounds) {
    for (int i = 0; i < rounds; ++i) {
        if (done()) return true;
        if (Platform_.ProcessEvents) Platform_.ProcessEvents();
    }
    return done();
}

// --- Start and close ---------------------------------------------------------------------------

void TLogoApp::FormCreate() {
    if (Platform_.Timer) Platform_.Timer->BeginPeriod(1);
    const TSettings& s = Settings_;
    ApplyEngineSettings(s, *CWout1_);
    AskEnd = s.Main.AskEnd;
    ShowWpM = s.Main.ShowWpM;
    View_.SpeedUnit = ShowWpM ? "WpM" : "CpM";
    Display_.SetAllCaps(s.Main.AllCaps);
    RequestedOutputDevice = s.TX.Output;
    ComPortNumber = s.TX.TXComPort;
    SoundDeviceNumber = s.TX.TXAudioDevice;
    ComRTSDTRX1_->SetPortNumber(ComPortNumber);
    ComRTSDTRX1_->SetMonitorEvents({});

    OutputDevice = -1;
    PortListChanged = SoundDeviceListChanged = true;
    PttOnCom = false;
    Keying_.KeyingActive = false;
    ProsignEntryState = 0;
    EqualsKeyOptimisation = s.TX.EqKeyOpt;
    AutoStartOff = !s.TX.AutoStart;
    NoiseGen1_.SetLeveldB(s.TX.NoiseLevel);

    UpdateTXButton(false);
    View_.HideDown = false;
    View_.HideCaption = "Hide Text";
    View_.DisplayVisible = true;
    BlipSaved_ = BlipTicked_ = false;
    LoadingText = LoadInterruptRequested = false;
    SingleMode = false;
    SkipNextSeparator = false;
    SinglePauseState = 0;
    View_.SoundMutedShown = false;
    CWout1SpeedChanged(CWout1_->Speed());
    UpdateStartCaptions();
    // The parameters window is made after the main window: it applies its settings and runs the
    // output device check, which opens the output of the settings.
    Params_->Create();
    Changed();
}

bool TLogoApp::FormCloseQuery() {
    const bool autoStart = CWout1_->AutoStartStop();
    CWout1_->SetAutoStartStop(true);
    CWout1_->SetHold(true);
    if (AskEnd) {
        const bool ok =
            Platform_.AskOkCancel && Platform_.AskOkCancel("Do you really want to exit Brindle?");
        if (!ok) {
            // Staying: the user's start mode comes back with the queued text.
            CWout1_->SetAutoStartStop(autoStart);
            CWout1_->SetHold(false);
            PauseRequested = true;
            return false;
        }
        Display_.DeleteLast(CWout1_->RemoveUnsent());
    } else {
        CWout1_->ClearBuffer();
        Display_.ClearAll();
    }
    CWout1_->StopAfterChar();
    WaitUntil([this] { return !CWout1_->Running(); }, 1000);
    SoundOut1_->StopOutput();
    return true;
}

bool TLogoApp::FormClose(const std::string& dataFolder, bool maximised) {
    if (Platform_.Timer) Platform_.Timer->EndPeriod(1);
    SoundOut1_->Close();
    ComRTSDTRX1_->SetRTS(false);
    ComRTSDTRX1_->SetDTR(false);
    ComRTSDTRX1_->Disconnect();
    Keying_.KeyingActive = false;
    Params_->StoreSettings();
    Buffers_->SaveChanged();
    auto& s = Settings_;
    s.Main.Speed = CWout1_->Speed();
    s.Main.ShowWpM = ShowWpM;
    s.Main.AllCaps = Display_.AllCaps();
    s.TX.Output = RequestedOutputDevice < 0 ? s.TX.Output : RequestedOutputDevice;
    s.TX.TXComPort = ComPortNumber;
    s.TX.TXAudioDevice = SoundDeviceNumber;
    if (const std::string name = SoundOut1_->OutputName(SoundDeviceNumber); !name.empty())
        s.TX.TXAudioDeviceName = name;
    return SaveIniSettings(dataFolder, s, maximised, Platform_.Messages);
}

// --- Output --------------------------------------------------------------------------------------

bool TLogoApp::ConnectPort() {
    try {
        return ComRTSDTRX1_->Connect();
    } catch (const ECommError& e) {
        ShowMessage(Platform_.Messages, TSeverity::Error, e.what());
        return false;
    }
}

void TLogoApp::SetPortNumberSafely(int number) {
    try {
        ComRTSDTRX1_->SetPortNumber(number);
    } catch (const ECommError& e) {
        ShowMessage(Platform_.Messages, TSeverity::Error, e.what());
    }
}

void TLogoApp::StopCurrentDevice() {
    auto& cw = *CWout1_;
    if (OutputDevice == 1) {
        cw.SetHold(true);
        WaitUntil([&] { return cw.IsIdle(); }, 1000);
        cw.Abort();
        cw.StopAfterChar();
        WaitUntil([&] { return !cw.Running(); }, 1000);
        if (cw.Running()) cw.StopNow();
        SoundOut1_->StopOutput();
        SoundOut1_->Close();
        cw.SetBlasterMode(false);
    } else if (OutputDevice == 2) {
        cw.SetHold(true);
        WaitUntil([&] { return cw.IsIdle(); }, 1000);
        cw.StopAfterChar();
        WaitUntil([&] { return !cw.Running(); }, 100000);
        if (cw.Running()) cw.StopNow();
        ComRTSDTRX1_->SetRTS(false);
        ComRTSDTRX1_->SetDTR(false);
        ComRTSDTRX1_->Disconnect();
        Keying_.KeyingActive = false;
    }
    cw.SetHold(false);
}

bool TLogoApp::SetOutputDevice(int device) {
    PreviousOutputDevice = OutputDevice;
    if (device < 0 || device > 2) device = 0;
    bool result = true;
    if (device != OutputDevice) {
        if (AutoStartOff) {
            View_.TXDown = false;
            TXButtonClick(false);
        }
        StopAllSending();
        StopCurrentDevice();
        if (device == 1 && SoundOut1_->Open()) {
            CWout1_->SetBlasterMode(true);
            CWout1_->Start();
            SoundOut1_->StartOutput();
        }
        if (device == 2) {
            if (ConnectPort()) {
                ComRTSDTRX1_->SetRTS(false);
                ComRTSDTRX1_->SetDTR(false);
                Keying_.KeyingActive = true;
                CWout1_->SetBlasterMode(false);
                CWout1_->Start();
            } else {
                // The port's own message has been shown. The old output is stopped: fall back to
                // the sound output through the output choice, as the user would.
                OutputDevice = 0;
                Choice_.ComEnabled = false;
                Choice_.PortBoxEnabled = false;
                DeviceCheck_->ChooseOutput(0);
                return false;
            }
        }
        OutputDevice = RequestedOutputDevice = device;
    }
    switch (OutputDevice) {
    case 0:
        View_.TXEnabled = false;
        View_.PauseEnabledByOutput = false;
        result = false;
        break;
    case 1:
        Choice_.BlipEnabled = Settings_.Tutor.Mode == 3;
        // The tick comes back from before COM output; at start it is the one of the settings.
        if (PreviousOutputDevice == 2) Settings_.Tutor.Blip = BlipTicked_;
        CWout1_->SetBlipOn(Settings_.Tutor.Blip);
        View_.TXEnabled = View_.PauseEnabledByOutput = true;
        View_.SoundMutedShown = MuteOn;
        break;
    case 2:
        BlipTicked_ = Settings_.Tutor.Blip;
        Settings_.Tutor.Blip = false;
        CWout1_->SetBlipOn(false);
        Choice_.BlipEnabled = false;
        View_.TXEnabled = View_.PauseEnabledByOutput = true;
        View_.SoundMutedShown = false;
        break;
    default: break;
    }
    View_.TXDown = false;
    SetTXCaption();
    Changed();
    return result;
}

void TLogoApp::SetDeviceButtonsEnabled(bool on) {
    View_.Button3Enabled = on;
    View_.Button4Enabled = on;
    View_.Button2Enabled = on;
    Changed();
}

void TLogoApp::StopAllSending() {
    CWout1_->ClearBuffer();
    StopSingleMode();
    RepeatsInSession = false;
    SessionState = 0;
    if (OutputDevice > 0) View_.Button2Enabled = true;
    SessionCharCount = RepeatedCharCount = 0;
    EnableParameterControls();
    Buffers_->ReleaseRepeatButtons();
    if (!CWout1_->AutoStartStop()) CWout1_->StopAtEndNow();
    UpdateTXButton(false);
    Display_.ClearAll();
    ResetItemCounters();
    Changed();
}

void TLogoApp::PowerChanged(bool) {
    StopAllSending();
}

void TLogoApp::OutputLost() {
    // A session or test cannot go on without its sound; it stops cleanly and says why.
    if (SessionState != 0 && OutputDevice == 1) {
        StopAllSending();
        ShowMessage(Platform_.Messages, TSeverity::Warning,
                    "The sound output was lost: the session was stopped.");
    }
    Changed();
}

void TLogoApp::SoundOutputsChanged() {
    if (SoundOut1_->IsOpen()) SoundOut1_->Close();
    const int count = static_cast<int>(SoundOut1_->Outputs().size());
    if (count >= 1 && OutputDevice == 1) {
        // The output may never have opened (no server at start): the engine starts with it.
        if (!CWout1_->BlasterMode() || !CWout1_->Running()) {
            CWout1_->SetBlasterMode(true);
            CWout1_->Start();
        }
        SoundOut1_->StartOutput();
    }
    if (count != SoundDeviceCount && (count == 0 || SoundDeviceCount == 0)) {
        SoundDeviceListChanged = true;
        DeviceCheck_->CheckOutputDevices();
    }
    SoundDeviceCount = count;
    Changed();
}

void TLogoApp::SerialPortsChanged() {
    PortListChanged = true;
    DeviceCheck_->CheckOutputDevices();
}

// --- Engine and sound events ---------------------------------------------------------------------

void TLogoApp::CWout1PttChanged(bool ptt) {
    Keying_.PttOnCom = PttOnCom;
    if (OutputDevice == 2) Keying_.PttChanged(ptt);
    UpdateTXButton(ptt);
}

void TLogoApp::CWout1SignalChanged(bool signal) {
    Keying_.SignalChanged(signal);
}

void TLogoApp::CWout1SpeedChanged(int speed) {
    View_.SpeedPosition = speed;
    View_.SpeedText = FormatSpeedBox(speed, ShowWpM);
    Changed();
}

void TLogoApp::CWout1LastChar() {
    switch (SessionState) {
    case 0: break;
    case 1:
    case 2:
    case 3:
    case 8: Session_->AdvanceSession(); return;
    case 4: Session_->SessionDone(); return;
    case 6: Session_->SpeedTestDone(); return;
    case 7: Session_->SpeedTestAborted(); return;
    case 10: Session_->SoundTestNext(); return;
    default: return;
    }
    ItemSpeed = CWout1_->Speed();
    if (SingleMode) {
        if (DispMode == 1) {
            if (SinglePauseState != 0 && RepeatingItem) {
                CWout1_->SetHold(false);
                SinglePauseState = 0;
                RepeatingItem = false;
            }
        } else if (SinglePauseState == 0) {
            SetPauseButtonState(2);
        } else {
            CWout1_->SetHold(false);
            SinglePauseState = 0;
            CWout1_->StopAtEnd();
            Buffers_->ReleaseRepeatButtons();
            View_.TXDown = false;
            SetTXCaption();
        }
    }
    Buffers_->RepeatIfSet(); // a repeating buffer loops
    Changed();
}

void TLogoApp::SoundOut1BufferPlayed(int16_t* buffer, int bytes) {
    CWout1_->RenderBuffer(buffer, bytes);
    if (NoiseOn && !MuteOn) NoiseGen1_.AddNoise(buffer, bytes);
}

// --- Sending controls ----------------------------------------------------------------------------

void TLogoApp::SetPauseButtonState(int state) {
    if (OutputDevice <= 0) return;
    View_.PauseState = state;
}

void TLogoApp::SetTXCaption() {
    View_.TXCaption = View_.TXDown               ? "Stop"
                      : CWout1_->AutoStartStop() ? "AutoStart"
                                                 : "ManualStart";
}

void TLogoApp::UpdateTXButton(bool down) {
    if (down) {
        View_.TXDown = true;
        SetTXCaption();
        SetPauseButtonState(SessionState != 6 && !SingleMode ? 1 : 4);
    } else if (!CWout1_->AutoStartStop()) {
        View_.TXDown = false;
        SetTXCaption();
        SetPauseButtonState(0);
    } else if (!CWout1_->Hold()) {
        View_.TXDown = false;
        SetTXCaption();
        SetPauseButtonState(1);
    }
    Changed();
}

void TLogoApp::RemoveUnsentFromDisplay() {
    Display_.DeleteLast(CWout1_->RemoveUnsent());
}

void TLogoApp::TXButtonClick(bool down) {
    View_.TXDown = down;
    if (down) {
        CWout1_->StartSending();
        UpdateTXButton(true);
        Session_->RestartTimes();
        return;
    }
    RemoveUnsentFromDisplay();
    switch (SessionState) {
    case 0: break;
    case 1:
        CWout1_->PutChar(13);
        SessionState = 3;
        break;
    case 4: CWout1_->PutChar(13); break;
    case 6: SessionState = 7; break;
    case 10: Session_->StopSoundTest(); break;
    default:
        CWout1_->SetHold(false);
        CWout1_->PutChar(13);
        SessionState = 3;
        break;
    }
    CWout1_->SetHold(false);
    Buffers_->ReleaseRepeatButtons();
    CWout1_->StopAtEnd();
    UpdateTXButton(false);
    FinishAbortWhenNothingIsSent();
}

bool TLogoApp::CharInProgress() const {
    // States 0 to 3 are idle, the PTT lead and the gap between characters.
    return CWout1_->SendState() > 3;
}

void TLogoApp::FinishAbortWhenNothingIsSent() {
    // An abort waits for the character being sent; with none, no last character will come.
    if (SessionState == 7 && !CWout1_->HasChars() && !CharInProgress())
        Session_->SpeedTestAborted();
}

void TLogoApp::ResetItemCounters() {
    ItemDisplayCount = 0;
    ItemCharCount = 0;
}

void TLogoApp::StepSingleItem() {
    Session_->StepToNextItem();
}

void TLogoApp::PauseButtonClick(bool down) {
    auto& cw = *CWout1_;
    if (down) {
        if (!SingleMode) {
            cw.SetHold(true);
            SetPauseButtonState(2);
            PauseRequested = true;
        } else {
            SetPauseButtonState(0);
        }
    } else if (cw.Hold()) {
        if (DispMode == 0 || DispMode == 2) {
            if (SingleMode) {
                SetPauseButtonState(4);
                StepSingleItem();
            } else {
                SetPauseButtonState(1);
            }
            ResetItemCounters();
            cw.SetHold(false);
        } else if (SingleMode) {
            if (SinglePauseState == 0 || SinglePauseState == 2) Display_.MarkSent(ItemDisplayCount);
            if (SinglePauseState == 0) {
                SetPauseButtonState(2);
                SinglePauseState = 1;
            } else {
                SetPauseButtonState(4);
                StepSingleItem();
                ResetItemCounters();
                SinglePauseState = 0;
                cw.SetHold(false);
            }
        } else {
            SetPauseButtonState(1);
        }
    } else if (!SingleMode) {
        SetPauseButtonState(1);
    } else if (SinglePauseState == 2) {
        Display_.MarkSent(ItemDisplayCount);
    }
    // A release ends the hold unless the sound-first mode waits for the next press.
    if (!down && SinglePauseState == 0) cw.SetHold(false);
    Changed();
}

void TLogoApp::SetSingleMode() {
    if (SingleMode || (SessionState >= 3 && SessionState != 8)) return;
    SingleMode = true;
    SinglePauseState = 0;
    RepeatsInSession = true;
    View_.Button3Caption = "Stop Single Mode";
    View_.SingleModeShown = true;
    CWout1_->SetHold(false);
    SetPauseButtonState(4);
    ResetItemCounters();
    SkipNextSeparator = false;
    if (CWout1_->HasChars() && !CWout1_->Hold() && CWout1_->AutoStartStop())
        CWout1_->StartSending();
    Changed();
}

void TLogoApp::StopSingleMode() {
    View_.Button3Caption = "Set Single Mode";
    View_.SingleModeShown = false;
    if (SingleMode && (SessionState == 1 || SessionState == 2 || SessionState == 8)) {
        SinglePauseState = 2;
        PauseButtonClick(false);
        SetPauseButtonState(1);
    }
    SingleMode = false;
    CWout1_->SetHold(false);
    Changed();
}

void TLogoApp::Button3Click() {
    if (SingleMode)
        StopSingleMode();
    else
        SetSingleMode();
}

void TLogoApp::SetSingleWordModeClick() {
    if (OutputDevice > 0) SetSingleMode();
}

void TLogoApp::RepeatSingleItem() {
    // Only while the engine holds between two items, and only once per item.
    if (!CWout1_->Hold() || RepeatingItem) return;
    if (SessionState != 0 && SessionState != 2 && SessionState != 3 && SessionState != 8) return;
    CWout1_->RewindBuffer(ItemCharCount);
    if (DispMode == 0 || DispMode == 2) Display_.UnmarkSent(ItemDisplayCount);
    ResetItemCounters();
    if (VariSpeed && SessionState != 0 && SessionState != 8) Session_->StepBackSpeedPlan();
    if (SessionState != 0) CWout1_->SetSpeed(ItemSpeed);
    SetPauseButtonState(4);
    RepeatingItem = true;
    CWout1_->SetHold(false);
    Changed();
}

void TLogoApp::HideButtonClick(bool down) {
    View_.HideDown = down;
    View_.HideCaption = down ? "Show Text" : "Hide Text";
    View_.DisplayVisible = !down;
    Changed();
}

void TLogoApp::ClearScreenClick() {
    Display_.ClearAll();
    ResetItemCounters();
    CWout1_->ClearBuffer();
    Changed();
}

void TLogoApp::ChangeSpeedBy(int step) {
    CWout1_->SetSpeed(CWout1_->Speed() + step);
}

static int SpeedStepOf(TShiftState shift) {
    if (shift.Shift && shift.Ctrl) return 100;
    if (shift.Shift) return 10;
    return 1;
}

void TLogoApp::CWSpeedUpDownClick(int newPosition, TShiftState shift) {
    const int speed = CWout1_->Speed();
    const int direction = newPosition > speed ? 1 : newPosition < speed ? -1 : 0;
    const int position = newPosition - direction; // the up-down's own step undone
    CWout1_->SetSpeed(position + direction * SpeedStepOf(shift));
    View_.SpeedPosition = CWout1_->Speed();
    View_.SpeedText = FormatSpeedBox(CWout1_->Speed(), ShowWpM);
    Changed();
}

bool TLogoApp::CWSpeedArrow(bool up, TShiftState shift) {
    if (VariSpeed && SessionState != 0) return false;
    ChangeSpeedBy((up ? 1 : -1) * SpeedStepOf(shift));
    return true;
}

void TLogoApp::SetNewSpeedVal(const std::string& boxText) {
    int speed = CWout1_->Speed();
    if (View_.SpeedUpDownEnabled) {
        int typed = 0;
        if (ParseSpeedBox(boxText, ShowWpM, typed)) speed = typed;
    }
    CWout1_->SetSpeed(speed);
    View_.SpeedPosition = CWout1_->Speed();
    View_.SpeedText = FormatSpeedBox(CWout1_->Speed(), ShowWpM);
    Changed();
}

void TLogoApp::SetShowWpM(bool on) {
    ShowWpM = on;
    View_.SpeedUnit = on ? "WpM" : "CpM";
    CWout1SpeedChanged(CWout1_->Speed());
}

void TLogoApp::UpdateStartCaptions() {
    View_.Button3Caption = SingleMode ? "Stop Single Mode" : "Set Single Mode";
    static const char* const captions[][2] = {
        {"Start Random Characters", "Start random characters"},
        {"Start Random Words", "Start random words"},
        {"Start Random Q-Codes", "Start random Q-codes"},
        {"Start Random Phrases", "Start random phrases"},
        {"Start Sending Text", "Start sending text"}};
    const int mode = std::clamp(Settings_.Tutor.Mode, 0, 4);
    View_.Button2Caption = captions[mode][0];
    View_.Button2Hint = captions[mode][1];
    Changed();
}

void TLogoApp::EnableParameterControls() {
    View_.ParameterControlsEnabled = true;
    View_.SpeedUpDownEnabled = true;
    if (Params_) Params_->EnableParameterControls();
}

void TLogoApp::DisableParameterControls() {
    View_.ParameterControlsEnabled = false;
    if (Params_) Params_->DisableParameterControls();
}

} // namespace brindle
