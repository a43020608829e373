// The facade: owner of the engine, the devices and the parts; dispatcher of the engine's and the
// devices' events; the keys, the sending controls and the close; the composed view.
#include "desk/Desk.h"

#include "base/ControlCodes.h"
#include "base/Speed.h"
#include "desk/Buffers.h"
#include "desk/OutputSwitch.h"
#include "desk/Parameters.h"
#include "desk/Sender.h"
#include "desk/SendingControls.h"
#include "desk/Session.h"
#include "platform/DeviceWatcher.h"
#include "platform/GuiPost.h"
#include "settings/Choices.h"
#include "settings/EngineSettings.h"

#include <algorithm>
#include <cmath>

namespace brindle {

TDesk::TDesk(TDeskPlatform platform, TDisplayModel& display, const TSettings& settings)
    : Platform_(std::move(platform)), Display_(display), Settings_(settings),
      Engine_(std::make_unique<TMorseEngine>(Platform_.Timer, Platform_.Messages)),
      SoundOut_(std::make_unique<TSoundOut>(Platform_.Messages, std::move(Platform_.SoundBackend))),
      SerialLines_(std::make_unique<TSerialLines>(
          Platform_.Messages,
          Platform_.Post ? Platform_.Post : TCommEventThread::TPost(PostToGuiThread))),
      Keying_(*SerialLines_) {
    if (!Platform_.Later) Platform_.Later = RunLaterOnGuiThread;
    // A question or the session dialog shows the view as it is now, not as it was when the
    // intent that asks began.
    for (auto* ask : {&Platform_.AskOkCancel, &Platform_.AskYesNo})
        if (*ask)
            *ask = [this, inner = std::move(*ask)](const std::string& question) {
                FlushView();
                return inner(question);
            };
    if (Platform_.AskSession)
        Platform_.AskSession = [this, inner = std::move(Platform_.AskSession)](TSessionDialog& d) {
            FlushView();
            return inner(d);
        };
    if (Platform_.PortPath) SerialLines_->SetPortPath(Platform_.PortPath);
    // Linux needs no pause between closing a tty and opening it again.
    SerialLines_->SetReconnectWait([](int) {});

    // Each part gets what it uses; a part built later is only asked through a function that
    // runs after all are built. What they tell each other is connected in Connect().
    const auto later = [this](int ms, std::function<void()> call) { Later(ms, std::move(call)); };
    const auto history = [this]() -> THistoryStore& { return History(); };
    Output_ = std::make_unique<TOutputSwitch>(TOutputSwitchNeeds{
        .Settings = Settings_,
        .Engine = *Engine_,
        .Sound = *SoundOut_,
        .Com = *SerialLines_,
        .Keying = Keying_,
        .DetectPorts = Platform_.DetectPorts,
        .SessionIdle = [this] { return Session_->Idle(); },
        .Messages = Platform_.Messages,
        .Later = later,
    });
    Sender_ = std::make_unique<TSender>(TSenderNeeds{
        .Engine = *Engine_,
        .Display = Display_,
        .Settings = Settings_,
        .Messages = Platform_.Messages,
        .QueueStyle = [this] { return Session_->QueueStyle(); },
        .PauseDown = [this] { return PauseLook(Controls_->PauseState()).Down; },
        .Later = later,
    });
    Controls_ = std::make_unique<TSendingControls>(TSendingControlsNeeds{
        .Settings = Settings_,
        .Engine = *Engine_,
        .Display = Display_,
        .OutputActive = [this] { return IsActive(Output_->Device()); },
        .SessionState = [this] { return Session_->State(); },
        .SessionAllowsSingleMode = [this] { return Session_->AllowsSingleMode(); },
        .SessionVariesSpeed = [this] { return Session_->VariesSpeed(); },
        .SessionItemKind = [this] { return Session_->ItemKind(); },
    });
    Params_ = std::make_unique<TParameters>(TParametersNeeds{
        .Settings = Settings_,
        .Engine = *Engine_,
        .Display = Display_,
        .Noise = Noise_,
        .Sound = *SoundOut_,
        .Output = *Output_,
        .SessionState = [this] { return Session_->State(); },
        .SessionLocksParameters = [this] { return Session_->LocksParameters(); },
    });
    Buffers_ = std::make_unique<TTextBuffers>(TTextBuffersNeeds{
        .Settings = Settings_,
        .Engine = *Engine_,
        .SessionIdle = [this] { return Session_->Idle(); },
        .Messages = Platform_.Messages,
    });
    Copy_ = std::make_unique<TCopyPractice>(TCopyPracticeNeeds{
        .Engine = *Engine_,
        .Sound = *SoundOut_,
        .Display = Display_,
        .Settings = Settings_,
        .History = history,
        .NowMs = [this] { return Session_->NowMs(); },
        .Later = later,
    });
    Session_ = std::make_unique<TSession>(
        TSession::TNeeds{
            .Settings = Settings_,
            .Engine = *Engine_,
            .Display = Display_,
            .Sound = *SoundOut_,
            .Sender = *Sender_,
            .Controls = *Controls_,
            .Params = *Params_,
            .Output = *Output_,
            .Copy = *Copy_,
            .Messages = Platform_.Messages,
            .Status = Platform_.Status,
            .AskSession = Platform_.AskSession,
            .Later = later,
            .Closing = [this] { return Close_ != TCloseState::Open; },
        },
        Platform_.Clock, Platform_.Seed);
    Course_ = std::make_unique<TCourse>(TCourseNeeds{
        .Settings = Settings_,
        .Engine = *Engine_,
        .Display = Display_,
        .Copy = *Copy_,
        .Messages = Platform_.Messages,
        .AskYesNo = Platform_.AskYesNo,
        .SaveCourse = Platform_.SaveCourse,
        .History = history,
        .Later = later,
    });
    Connect();

    auto& cw = *Engine_;
    cw.OnPttChanged = [this](TMorseEngine&, bool ptt) { EnginePttChanged(ptt); };
    cw.OnCharStart = [this](TMorseEngine&, uint8_t ch) { EngineCharStart(ch); };
    cw.OnCharSent = [this](TMorseEngine&, uint8_t ch) { EngineCharSent(ch); };
    cw.OnSpeedChanged = [this](TMorseEngine&, int) { Changed(); };
    cw.OnLastChar = [this](TMorseEngine&) { EngineLastChar(); };
    cw.OnStop = [this](TMorseEngine&) { EngineStopped(); };
    // The key and PTT reach the port at the engine's step; its events come here on this thread.
    cw.SetLineKeyer(&Keying_);
    cw.SetEventPost(Platform_.Post ? Platform_.Post : TMorseEngine::TPost(PostToGuiThread));
    Keying_.SetPttOnCom(Settings_.TX.PTT);

    auto& so = *SoundOut_;
    so.SetChannels(1);
    so.SetBufferTime(Platform_.SoundBufferMs > 0 ? Platform_.SoundBufferMs : SoundBufferMs);
    so.OnBufferPlayed = [this](int16_t* b, int bytes) { SoundBufferPlayed(b, bytes); };
    so.OwnerHasQueued = [this] { return Engine_->HasChars(); };
    so.SetRealtimeRequest(Platform_.AskRealtime);
    so.OwnerWantsSound = [this] { return Output_->Device() == TOutputDevice::Sound; };
    so.OnOutputLost = [this] { Output_->OutputLost(); };
    so.OnOutputBack = [this] { Output_->OutputBack(); };
}

// Who hears whom: the events of the parts, connected to the parts that act on them.
void TDesk::Connect() {
    auto& copy = *Copy_;
    auto& session = *Session_;
    Links_.push_back(session.OnPracticeBegins.Connect(
        [&copy](TCopyPacing pacing, const TPracticeStart& start) { copy.Begin(pacing, start); }));
    Links_.push_back(
        session.OnItemQueued.Connect([&copy](const std::string& item) { copy.ItemQueued(item); }));
    Links_.push_back(session.OnItemHeard.Connect([&copy] { copy.ItemHeard(); }));
    Links_.push_back(session.OnItemsDone.Connect([&copy] { copy.ItemsDone(); }));
    Links_.push_back(session.OnPracticeStopped.Connect([&copy](int64_t spanMs) {
        copy.SetSpan(spanMs);
        copy.Interrupted();
    }));
    Links_.push_back(
        session.OnPracticeSent.Connect([&copy](int64_t spanMs) { copy.SessionEnded(spanMs); }));
    Links_.push_back(copy.OnChanged.Connect([this] { Changed(); }));
    Links_.push_back(copy.OnNextItemWanted.Connect([&session] { session.StepToNextItem(); }));
    Links_.push_back(copy.OnStopSending.Connect([this] {
        if (!Session_->Idle()) StopAllSending();
    }));
    Links_.push_back(copy.OnResultShown.Connect([this] { OnScrollToEnd(); }));
    Links_.push_back(Course_->OnChanged.Connect([this] { Changed(); }));
    Links_.push_back(session.OnChanged.Connect([this] { Changed(); }));
    Links_.push_back(session.OnSummaryShown.Connect([this] { OnScrollToEnd(); }));
    auto& output = *Output_;
    Links_.push_back(output.OnChanged.Connect([this] { Changed(); }));
    Links_.push_back(output.OnDevicesChecked.Connect([this] { Params_->AfterDeviceCheck(); }));
    Links_.push_back(output.OnDeviceSet.Connect([this] {
        Controls_->SetTXDown(false);
        if (IsActive(Output_->Device())) Params_->EnableControls();
    }));
    Links_.push_back(output.OnStopSending.Connect([this](bool releaseTX) {
        if (releaseTX) TXButtonClick(false);
        StopAllSending();
    }));
    auto& controls = *Controls_;
    Links_.push_back(controls.OnChanged.Connect([this] { Changed(); }));
    Links_.push_back(controls.OnPaused.Connect([&session] { session.NotePause(); }));
    Links_.push_back(controls.OnNextItemWanted.Connect([&session] { session.StepToNextItem(); }));
    Links_.push_back(controls.OnSingleModeSet.Connect([&session] { session.NoteRepeats(); }));
    Links_.push_back(controls.OnRepeatBack.Connect([&session] { session.StepBackSpeedPlan(); }));
    Links_.push_back(
        controls.OnRepeatsReleased.Connect([this] { Buffers_->ReleaseRepeatButtons(); }));
    auto& params = *Params_;
    Links_.push_back(params.OnMainViewChanged.Connect([this] { Changed(); }));
    Links_.push_back(params.OnStopSending.Connect([this] { StopAllSending(); }));
    Links_.push_back(params.OnAutoStartSet.Connect([this] { Controls_->UpdateTXButton(false); }));
    Links_.push_back(params.OnPttSet.Connect([this](bool on) { Keying_.SetPttOnCom(on); }));
    Links_.push_back(params.OnAllCapsSet.Connect([this](bool on) { Buffers_->SetAllCaps(on); }));
    Links_.push_back(params.OnSoundTestClicked.Connect([this] { ToggleSoundTest(); }));
    Links_.push_back(Sender_->OnChanged.Connect([this] { Changed(); }));
    Links_.push_back(Sender_->OnScreenCleared.Connect([this] {
        HeardMarks_.clear();
        Session_->ResetCounts();
    }));
    Links_.push_back(Sender_->OnScreenLoaded.Connect([this] { OnScrollToStart(); }));
    Links_.push_back(
        Buffers_->OnSend.Connect([this](const std::string& text) { Sender_->Queue(text); }));
    Links_.push_back(Course_->OnVerdictShown.Connect([this] { OnScrollToEnd(); }));
    Links_.push_back(copy.OnCourseChecked.Connect(
        [this](THistoryStore::TPracticeId practice, const TCourseLesson& lesson,
               const TCopyResult& result) { Course_->PracticeChecked(practice, lesson, result); }));
}

TDesk::~TDesk() {
    SoundOut_->StopOutput(); // the feeder renders no more, nor raises events
    auto& cw = *Engine_;
    cw.SetLineKeyer(nullptr); // the keying goes before the engine
    cw.OnPttChanged = nullptr;
    cw.OnSignalChanged = nullptr;
    cw.OnCharStart = nullptr;
    cw.OnCharSent = nullptr;
    cw.OnSpeedChanged = nullptr;
    cw.OnLastChar = nullptr;
    cw.OnStop = nullptr;
    SoundOut_->OnBufferPlayed = nullptr;
    SoundOut_->OwnerWantsSound = nullptr;
    SoundOut_->OnOutputLost = nullptr;
    SoundOut_->OnOutputBack = nullptr;
    // Never leave a transmitter keyed.
    SerialLines_->Disconnect();
}

void TDesk::Later(int ms, std::function<void()> call) {
    std::weak_ptr<bool> alive = Alive_;
    Platform_.Later(ms, [alive, call = std::move(call)] {
        if (alive.lock()) call();
    });
}

void TDesk::Changed() {
    ViewDirty_ = true;
    if (Handling_ == 0) FlushView();
}

void TDesk::FlushView() {
    if (!ViewDirty_) return;
    ViewDirty_ = false;
    ComposeView();
    OnViewChanged();
}

void TDesk::ComposeView() {
    NoiseWanted_ = NoiseAdded();
    auto& v = View_;
    const auto& cw = *Engine_;
    const auto& s = Settings_;
    const TOutputDevice device = Output_->Device();
    const bool active = IsActive(device);
    const bool busy = Output_->Switching() || Close_ != TCloseState::Open;
    const TSessionState state = Session_->State();
    const bool speedTest =
        state == TSessionState::SpeedTest || state == TSessionState::SpeedTestAborted;
    const bool single = Controls_->SingleMode();

    v.TXDown = Controls_->TXDown();
    v.TXEnabled = active && !busy;
    v.TXCaption = captions::TX[v.TXDown ? 2 : cw.AutoStartStop() ? 0 : 1];
    v.PauseState = Controls_->PauseState();
    v.PauseEnabledByOutput = active && !busy;
    v.SoundMutedShown = device == TOutputDevice::Sound && s.TX.Muted;
    v.SingleModeShown = single;
    v.SingleModeCaption = captions::SingleMode[single ? 1 : 0];
    static_assert(captions::Start.size() == choices::Mode.size());
    const auto mode = static_cast<std::size_t>(choices::Stored(s.Tutor.TrainingMode()));
    v.StartCaption = captions::Start[mode][0];
    v.StartHint = captions::Start[mode][1];
    const bool devices = Output_->DevicesPresent() && active && !busy;
    v.StartEnabled = devices && (state == TSessionState::Idle || state == TSessionState::SoundTest);
    v.SingleModeEnabled = v.BuffersEnabled = devices && !speedTest;
    v.HideDown = Hidden_;
    v.HideCaption = captions::Hide[Hidden_ ? 1 : 0];
    v.DisplayVisible = !Hidden_;
    v.SpeedPosition = cw.Speed();
    v.SpeedText = Session_->DialogSpeedText().value_or(FormatSpeed(cw.Speed(), s.Main.ShowWpM));
    v.SpeedUnit = s.Main.ShowWpM ? "WpM" : "CpM";
    v.SpeedEnabled = !Session_->LocksSpeedBox() && !busy;
    v.SpeedUpDownEnabled = !Session_->LocksSpeedArrows();
    static const char* const method[] = {"Speed", "Farnsworth", "Wordsworth"};
    v.SpeedLabel = method[choices::Stored(s.Tutor.Spacing())];
    v.ParameterControlsEnabled = !Session_->LocksParameters();
    v.DisplayFontPoints = choices::At(s.Main.CharSizeItem, choices::FontPoints);
    v.LoadingNoticeShown = Sender_->Loading();
    v.CopyFieldShown = Copy_->Running() || Copy_->ResultOnView();
    v.CopyFieldReadOnly = !Copy_->Running();
    v.CopyPractice = Copy_->Serial();
    v.Busy = Close_ != TCloseState::Open ? "Closing Brindle ..."
             : Output_->Switching()      ? "Switching the output ..."
                                         : "";
    v.SoundStatus = Output_->SoundAbsence().Status();
    v.SoundNotice = Output_->SoundAbsence().Notice();
}

// --- Start and close ---------------------------------------------------------------------------

void TDesk::FormCreate() {
    const TViewBatch batch(*this);
    if (Platform_.Timer) Platform_.Timer->BeginPeriod(1);
    ApplyEngineSettings(Settings_, *Engine_);
    Display_.SetAllCaps(Settings_.Main.AllCaps);
    Output_->Start();
    Noise_.SetLeveldB(Settings_.TX.NoiseLevel);
    Controls_->UpdateTXButton(false);
    Hidden_ = false;
    // The parameters window's logic applies its settings and runs the output device check, which
    // opens the output of the settings.
    Params_->Create();
    Session_->ReloadMaterial();
    // The history is opened at start, so that a practice the last run left unfinished is scored
    // at once and a file that cannot be used is said before any practice.
    Later(0, [this] { History(); });
    Changed();
}

void TDesk::RequestClose(bool withoutQuestion) {
    const TViewBatch batch(*this);
    if (Close_ == TCloseState::Asking) { // a second close, or a signal, during the question
        if (withoutQuestion) CloseForced_ = true;
        return;
    }
    if (Close_ != TCloseState::Open) return;
    auto& cw = *Engine_;
    const bool autoStart = cw.AutoStartStop();
    cw.SetAutoStartStop(true);
    cw.SetHold(true);
    CloseForced_ = withoutQuestion;
    if (Settings_.Main.AskEnd && !withoutQuestion) {
        Close_ = TCloseState::Asking;
        Changed();
        const bool ok =
            Platform_.AskOkCancel && Platform_.AskOkCancel("Do you really want to exit Brindle?");
        if (!ok && !CloseForced_) {
            // Staying: the user's start mode comes back with the queued text.
            Close_ = TCloseState::Open;
            cw.SetAutoStartStop(autoStart);
            cw.SetHold(false);
            Session_->NotePause();
            Changed();
            return;
        }
        Display_.DeleteLast(cw.RemoveUnsent());
    } else {
        cw.ClearBuffer();
        Display_.ClearAll();
    }
    Close_ = TCloseState::Stopping;
    Sender_->CancelLoading();
    Copy_->Interrupted(); // a copy practice under way is kept, as aborted
    Changed();
    if (cw.Running() && cw.CharOnAir()) {
        // The character on the air is finished; the engine's stop event goes on from there.
        cw.StopAfterChar();
        Later(TOutputSwitch::StopLimitMs, [this, serial = ++CloseSerial_] {
            if (serial == CloseSerial_) FinishStopping();
        });
        return;
    }
    FinishStopping();
}

void TDesk::FinishStopping() {
    const TViewBatch batch(*this);
    if (Close_ != TCloseState::Stopping) return;
    if (Engine_->Running()) Engine_->StopNow();
    SoundOut_->StopOutput();
    Close_ = TCloseState::Ready;
    Changed();
    OnReadyToClose();
}

bool TDesk::FormClose(const std::string& dataFolder, bool maximised) {
    const TViewBatch batch(*this);
    if (Platform_.Timer) Platform_.Timer->EndPeriod(1);
    Output_->CloseAll();
    Params_->StoreSettings();
    Buffers_->SaveChanged();
    auto& s = Settings_;
    s.Main.Speed = Engine_->Speed();
    s.Main.AllCaps = Display_.AllCaps();
    s.TX.Output = SettingOf(Output_->Requested());
    s.TX.TXComPort = Output_->ComPortNumber();
    const int device = Output_->SoundDeviceNumber();
    s.TX.TXAudioDevice =
        std::max(0, device == TSoundOut::DefaultOutputId ? SoundOut_->DefaultOutput() : device);
    return SaveIniSettings(dataFolder, s, maximised, Platform_.Messages);
}

// --- Output --------------------------------------------------------------------------------------

const TOutputChoice& TDesk::OutputChoice() const {
    return Output_->Choice();
}

void TDesk::ChooseSoundOutput(int entry) {
    const TViewBatch batch(*this);
    Output_->ChooseSoundOutput(entry);
}

void TDesk::ChooseOutput(int item) {
    const TViewBatch batch(*this);
    if (Close_ != TCloseState::Open) return;
    Output_->ChooseOutput(item);
}

void TDesk::ChoosePort(int entry) {
    const TViewBatch batch(*this);
    if (Close_ != TCloseState::Open) return;
    Output_->ChoosePort(entry);
}

void TDesk::PowerChanged(bool) {
    const TViewBatch batch(*this);
    StopAllSending();
}

void TDesk::SoundOutputsChanged() {
    const TViewBatch batch(*this);
    Output_->SoundOutputsChanged();
}

void TDesk::SerialPortsChanged() {
    const TViewBatch batch(*this);
    Output_->SerialPortsChanged();
}

bool TDesk::WatchSoundOutputs(TDeviceWatcher& watcher) {
    return watcher.WatchSoundOutputs(*SoundOut_);
}

bool TDesk::NoiseAdded() const {
    const auto& x = Settings_.TX;
    return Output_->Device() == TOutputDevice::Sound && x.Noise && !x.Muted;
}

// --- Engine and sound events ---------------------------------------------------------------------

void TDesk::EnginePttChanged(bool ptt) {
    const TViewBatch batch(*this);
    Controls_->UpdateTXButton(ptt);
}

void TDesk::EngineCharStart(uint8_t ch) {
    const TViewBatch batch(*this);
    OnCharStart(ch);
    Session_->CharStarted(ch);
}

void TDesk::EngineCharSent(uint8_t ch) {
    const TViewBatch batch(*this);
    OnCharSent(ch);
    if (Copy_->Running()) { // nothing of the text is shown, so nothing is marked
        Copy_->CharSent(ch);
        return;
    }
    if (Controls_->SingleMode()) {
        Controls_->CharSent(ch);
        return;
    }
    // Rendered by the feeder, the character is marked when it is heard, in turn.
    const int64_t at = Engine_->EventSample();
    const auto untilHeard = at >= 0 ? SoundOut_->MsUntilHeard(at) : std::nullopt;
    if (!untilHeard && HeardMarks_.empty()) {
        MarkSent(ch);
        return;
    }
    HeardMarks_.push_back({untilHeard ? at : -1, ch});
    Later(untilHeard ? static_cast<int>(std::ceil(std::max(*untilHeard, 0.0))) : 0,
          [this] { MarkHeardChars(); });
}

// Marks what the output has played, oldest first. The output's position is asked again each
// time: a stream that ran dry on a busy machine plays the rest later than first said.
void TDesk::MarkHeardChars() {
    const TViewBatch batch(*this);
    while (!HeardMarks_.empty()) {
        const THeardMark m = HeardMarks_.front();
        const auto untilHeard = m.Sample >= 0 ? SoundOut_->MsUntilHeard(m.Sample) : std::nullopt;
        if (untilHeard && *untilHeard > 0.5) {
            Later(static_cast<int>(std::ceil(*untilHeard)), [this] { MarkHeardChars(); });
            return;
        }
        HeardMarks_.pop_front();
        MarkSent(m.Char);
    }
}

void TDesk::MarkSent(uint8_t ch) {
    const int width = TSender::DisplayWidth(ch);
    if (width == 1)
        Display_.MarkOneSent();
    else
        Display_.MarkSent(width);
    if (ch == NewLineCode || ch == ItemEndCode) Display_.MarkOneSent(); // a line break is two
}

void TDesk::EngineLastChar() {
    const TViewBatch batch(*this);
    if (Session_->LastChar()) return;
    Controls_->LastChar();
    Buffers_->RepeatIfSet(); // a repeating buffer loops
    Changed();
}

void TDesk::EngineStopped() {
    const TViewBatch batch(*this);
    // The stop may come from inside a rendering or a timer step: the switch and the close go on
    // from the event loop, outside the engine.
    Later(0, [this] {
        Output_->EngineStopped();
        if (Close_ == TCloseState::Stopping && !Engine_->Running()) FinishStopping();
    });
}

// On the sound feeder's thread, or on this one with an output fed from the event loop.
void TDesk::SoundBufferPlayed(int16_t* buffer, int bytes) {
    Engine_->RenderBuffer(buffer, bytes);
    const bool noise = SoundOut_->FeedsOnOwnThread() ? NoiseWanted_.load() : NoiseAdded();
    if (noise) Noise_.AddNoise(buffer, bytes);
}

// --- Keys and text -------------------------------------------------------------------------------

void TDesk::Enter() {
    const TViewBatch batch(*this);
    if (Close_ != TCloseState::Open) return;
    if (Controls_->SingleMode())
        Controls_->Next();
    else if (Session_->Idle())
        Sender_->SendTypedChar(NewLineCode);
}

void TDesk::KeyPress(uint8_t ch) {
    const TViewBatch batch(*this);
    if (Close_ != TCloseState::Open || ch < ' ') return;
    const bool single = Controls_->SingleMode();
    if (!Session_->Idle()) {
        if (single && ch == ' ') Controls_->PauseButtonClick(false);
        return;
    }
    if (IsFixedPause(ch)) return; // the buffer's own codes, never typed characters
    if (ch == 223) ch = '?';      // sharp s
    if (Settings_.TX.EqKeyOpt) {
        if (ch == '-')
            ch = '=';
        else if (ch == '_')
            ch = '-';
    }
    if (single && ch == ' ') ch = PauseCode;
    Sender_->SendTypedChar(ch);
}

void TDesk::KeyDown(TDeskKey key, TShiftState shift, bool speedBoxFocused) {
    const TViewBatch batch(*this);
    if (Close_ != TCloseState::Open) return;
    switch (key) {
    case TDeskKey::F5: Buffers_->Transmit(0); break;
    case TDeskKey::F6: Buffers_->Transmit(1); break;
    case TDeskKey::F7: Buffers_->Transmit(2); break;
    case TDeskKey::F8: Buffers_->Transmit(3); break;
    case TDeskKey::F9:
        if (shift.None())
            SetSingleMode();
        else if (shift.Only(true, false, false)) {
            if (IsActive(Output_->Device())) StopSingleMode();
        } else if (shift.Only(false, true, false))
            RepeatSingleItem();
        break;
    case TDeskKey::Pause: {
        const TPauseLook look = PauseLook(Controls_->PauseState());
        if (look.Enabled) PauseButtonClick(!look.Down);
        break;
    }
    case TDeskKey::Delete:
        if (!speedBoxFocused) StopAllSending();
        break;
    case TDeskKey::Z:
        if (shift.Only(false, true, false)) ClearScreenClick();
        break;
    case TDeskKey::Other: break;
    }
}

void TDesk::Escape() {
    const TViewBatch batch(*this);
    if (Close_ != TCloseState::Open) return;
    if (Copy_->Running()) { // the copy practice is aborted, kept and shown
        Copy_->Abort();
        return;
    }
    if (Copy_->ResultOnView()) { // the copy of a checked practice is put away
        Copy_->Dismiss();
        Changed();
        return;
    }
    auto& cw = *Engine_;
    const TSessionState state = Session_->State();
    const bool loading = Sender_->Loading();
    int removed = 0;
    if ((state == TSessionState::Idle || state == TSessionState::StartText ||
         state == TSessionState::Items || state == TSessionState::SpeedTest ||
         state == TSessionState::Repeating) &&
        !loading) {
        removed = cw.RemoveUnsent();
        Display_.DeleteLast(removed);
    } else if (state == TSessionState::SoundTest) {
        Session_->StopSoundTest();
    }
    Controls_->ShowHeardItem();
    if (loading) {
        Sender_->InterruptLoading();
        return;
    }
    Buffers_->ReleaseRepeatButtons(); // a repeating buffer stops too
    cw.SetHold(false);
    Session_->Escape(removed > 0);
}

void TDesk::Backspace() {
    const TViewBatch batch(*this);
    if (Close_ != TCloseState::Open) return;
    if (Controls_->SingleMode()) {
        Controls_->RepeatSingleItem();
        return;
    }
    if (!Session_->Idle()) return;
    Sender_->Backspace();
}

void TDesk::Paste(const std::string& clipboardUtf8) {
    const TViewBatch batch(*this);
    if (Close_ != TCloseState::Open) return;
    Sender_->Paste(clipboardUtf8);
}

TOpenRequest TDesk::ScreenOpenRequest() const {
    return Sender_->ScreenOpenRequest();
}

TOpenRequest TDesk::ScreenSaveRequest() const {
    return Sender_->ScreenSaveRequest();
}

bool TDesk::LoadScreenText(const std::string& path) {
    const TViewBatch batch(*this);
    if (Close_ != TCloseState::Open) return false;
    return Sender_->LoadScreenText(path);
}

bool TDesk::SaveScreenText(const std::string& path) {
    return Sender_->SaveScreenText(path);
}

// --- Sending controls ----------------------------------------------------------------------------

void TDesk::TXButtonClick(bool down) {
    const TViewBatch batch(*this);
    auto& cw = *Engine_;
    Controls_->SetTXDown(down);
    if (!down && Copy_->Running() && !Session_->Idle()) {
        // Stop ends a copy practice as Esc does: nothing more is sent, not even the end text,
        // and the item cut off is left out.
        Copy_->Abort();
        Controls_->UpdateTXButton(false);
        Changed();
        return;
    }
    if (down) {
        cw.StartSending();
        Controls_->UpdateTXButton(true);
        Session_->RestartTimes();
        return;
    }
    Display_.DeleteLast(cw.RemoveUnsent());
    Session_->TXReleased();
    cw.SetHold(false);
    Buffers_->ReleaseRepeatButtons();
    cw.StopAtEnd();
    Controls_->UpdateTXButton(false);
    Session_->FinishAbortWhenNothingIsSent();
    Changed();
}

void TDesk::PauseButtonClick(bool down) {
    const TViewBatch batch(*this);
    Controls_->PauseButtonClick(down);
}

void TDesk::SingleModeClick() {
    const TViewBatch batch(*this);
    if (Controls_->SingleMode())
        StopSingleMode();
    else
        SetSingleMode();
}

void TDesk::SetSingleWordModeClick() {
    const TViewBatch batch(*this);
    if (IsActive(Output_->Device())) SetSingleMode();
}

void TDesk::SetSingleMode() {
    const TViewBatch batch(*this);
    Controls_->SetSingleMode();
}

void TDesk::StopSingleMode() {
    const TViewBatch batch(*this);
    Controls_->StopSingleMode();
}

void TDesk::RepeatSingleItem() {
    const TViewBatch batch(*this);
    Controls_->RepeatSingleItem();
}

void TDesk::HideButtonClick(bool down) {
    const TViewBatch batch(*this);
    Hidden_ = down;
    Changed();
}

void TDesk::ClearScreenClick() {
    const TViewBatch batch(*this);
    Display_.ClearAll();
    Controls_->ResetItem();
    Engine_->ClearBuffer();
    Changed();
}

void TDesk::StopAllSending() {
    const TViewBatch batch(*this);
    auto& cw = *Engine_;
    // The session goes idle first, so that ending single mode queues no further item.
    Session_->Stop();
    Controls_->StopSingleMode();
    cw.ClearBuffer();
    Buffers_->ReleaseRepeatButtons();
    if (!cw.AutoStartStop()) cw.StopAtEndNow();
    Controls_->UpdateTXButton(false);
    Display_.ClearAll();
    Controls_->ResetItem();
    Changed();
}

void TDesk::ChangeSpeedBy(int step) {
    const TViewBatch batch(*this);
    Engine_->SetSpeed(Engine_->Speed() + step);
    Changed();
}

void TDesk::CWSpeedUpDownClick(int newPosition, TShiftState shift) {
    const TViewBatch batch(*this);
    const int speed = Engine_->Speed();
    const int direction = newPosition > speed ? 1 : newPosition < speed ? -1 : 0;
    const int position = newPosition - direction; // the up-down's own step undone
    Engine_->SetSpeed(position + direction * UpDownStep(shift.Shift, shift.Ctrl));
    Changed();
}

bool TDesk::CWSpeedArrow(bool up, TShiftState shift) {
    const TViewBatch batch(*this);
    if (Session_->VariesSpeed()) return false;
    ChangeSpeedBy((up ? 1 : -1) * UpDownStep(shift.Shift, shift.Ctrl));
    return true;
}

void TDesk::SetNewSpeedVal(const std::string& boxText) {
    const TViewBatch batch(*this);
    int speed = Engine_->Speed();
    if (View_.SpeedUpDownEnabled) {
        int typed = 0;
        if (ParseSpeed(boxText, Settings_.Main.ShowWpM, typed)) speed = typed;
    }
    Engine_->SetSpeed(speed);
    Changed();
}

// --- Sessions ------------------------------------------------------------------------------------

void TDesk::StartSession() {
    const TViewBatch batch(*this);
    if (Close_ != TCloseState::Open || Output_->Switching()) return;
    Session_->StartSession();
}

void TDesk::StartSpeedTest() {
    const TViewBatch batch(*this);
    if (Close_ != TCloseState::Open || Output_->Switching()) return;
    Session_->StartSpeedTest();
}

void TDesk::ToggleSoundTest() {
    const TViewBatch batch(*this);
    if (Close_ != TCloseState::Open || Output_->Switching()) return;
    // Without an output nothing would ever be heard, and the test would never end by itself.
    if (Session_->Idle() && !IsActive(Output_->Device())) return;
    Session_->ToggleSoundTest();
}

void TDesk::StartCopyPractice() {
    const TViewBatch batch(*this);
    if (Close_ != TCloseState::Open || Output_->Switching()) return;
    Session_->StartSession(true);
}

void TDesk::StartKochLesson() {
    const TViewBatch batch(*this);
    if (Close_ != TCloseState::Open || Output_->Switching()) return;
    if (auto plan = Course_->LessonPlan(Session_->Material())) Session_->StartSession(true, &*plan);
}

bool TDesk::ComposeExport(bool lesson, TComposedPractice& practice, std::string& error) {
    std::optional<TSessionPlan> plan;
    if (lesson) {
        plan = Course_->LessonPlan(Session_->Material());
        if (!plan) {
            error = "The Koch course has no lesson to export.";
            return false;
        }
    }
    if (!Session_->ComposeExport(plan ? &*plan : nullptr, practice, error)) return false;
    if (NoiseAdded()) {
        practice.Tone.NoiseDb = Noise_.LeveldB();
        practice.Tone.NoiseType = Noise_.NoiseType();
    }
    return true;
}

bool TDesk::CopyChanged(const std::string& utf8) {
    const TViewBatch batch(*this);
    if (Copy_->SetCopy(utf8)) return true;
    if (Platform_.Status)
        Platform_.Status("The copy field takes at most " + std::to_string(Copy_->CopyLimit()) +
                         " characters in this practice: what went beyond was not taken.");
    return false;
}

void TDesk::CopyKeyTyped() {
    const TViewBatch batch(*this);
    Copy_->KeyTyped();
}

bool TDesk::CopyReturn(bool onEmptyLine) {
    const TViewBatch batch(*this);
    if (Copy_->Running() && Session_->Introducing()) {
        Session_->SkipIntroduction();
        return true;
    }
    return Copy_->Return(onEmptyLine);
}

void TDesk::CheckCopy() {
    const TViewBatch batch(*this);
    Copy_->Check();
}

THistoryStore& TDesk::History() {
    if (!History_) {
        THistoryOptions options;
        options.Messages = Platform_.Messages;
        options.Status = Platform_.Status;
        History_ = std::make_unique<THistoryStore>(
            Platform_.HistoryPath.empty() ? DefaultHistoryPath() : Platform_.HistoryPath,
            std::move(options));
    }
    return *History_;
}

bool TDesk::LoadMaterial(TMaterialKind kind, const std::string& path) {
    const TViewBatch batch(*this);
    return Session_->LoadMaterial(kind, path);
}

TOpenRequest TDesk::MaterialRequest(TMaterialKind kind) const {
    return Session_->OpenRequest(kind);
}

} // namespace brindle
