#include "desk/Session.h"

#include "base/Text1252.h"
#include "desk/LogoApp.h"
#include "desk/Parameters.h"
#include "practice/TextFilters.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace brindle {

namespace {

constexpr char kItemEnd = '\xFE';
constexpr char kPause = '\xFF';
const char* const kParis = "Paris Paris Paris Paris Paris Paris ";

std::string Cased(const std::string& text, bool allCaps) {
    return allCaps ? Upper1252(text) : Lower1252(text);
}

// A final line end of a text word becomes the separator that keeps the repetitions on one line.
std::string KeepOnLine(std::string item) {
    if (!item.empty()) {
        if (item.back() == '\r')
            item.back() = ' ';
        else if (item.back() == kItemEnd)
            item.back() = kPause;
    }
    return item;
}

} // namespace

double FasterFactor(int fasterIndex) {
    const std::string entry =
        FasterEntries[static_cast<std::size_t>(std::clamp(fasterIndex, 0, 6))];
    const std::string last4 = entry.substr(entry.size() - 4);
    const std::size_t b = last4.find_first_not_of(' ');
    double factor = 1.0;
    std::from_chars(last4.data() + b, last4.data() + last4.size(), factor);
    return factor;
}

std::string FormatOverallSpeed(double cpm, bool showWpM) {
    double v = showWpM ? cpm / 5.0 : cpm;
    if (v != 0 && std::isfinite(v)) {
        const int digits = static_cast<int>(std::floor(std::log10(std::fabs(v)))) + 1;
        const double scale = std::pow(10.0, 3 - digits);
        v = std::round(v * scale) / scale;
    }
    char text[64];
    const auto r = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, 2);
    return std::string(text, r.ptr) + (showWpM ? " WpM\r" : " CpM\r");
}

std::string FormatSessionTime(int64_t spanMs) {
    const int64_t seconds = std::llabs(spanMs) / 1000;
    const int64_t hours = seconds / 3600;
    char text[64];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(hours),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return text;
}

void CutCharacterLines(const std::string& shown, std::string& line2, std::string& line3) {
    line3.clear();
    if (shown.size() < 45) {
        line2 = shown;
        return;
    }
    std::size_t k = 45;
    for (std::size_t i = 40; i < 45; ++i) // the characters 41 to 45
        if (shown[i] == '<') {
            k = i;
            break;
        }
    line2 = shown.substr(0, k);
    line3 = shown.substr(k, 90);
}

TSession::TSession(TLogoApp& app, TClock clock, TRandomChars::TSeedClock seed)
    : App_(app), Clock_(clock ? std::move(clock) : TClock([] {
          using namespace std::chrono;
          return static_cast<int64_t>(
              duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
      })),
      Random_(seed ? std::move(seed) : TRandomChars::TSeedClock(ClockSeed)) {}

void TSession::Info(const std::string& text) {
    App_.Display().AddInfoText(text);
}

void TSession::Queue(const std::string& text) {
    App_.LoadTextToBuffer(text);
    MaxBufferFill = std::max(MaxBufferFill, App_.CWout1().BufferCount());
}

// --- Starting ------------------------------------------------------------------------------------

// Fills the dialog for the training mode; false when its list or set is empty (the dialog then
// asks for material). chars receives the set of random characters in engine form.
bool TSession::ComposeDialog(std::string& chars) {
    auto& p = App_.Params();
    const auto& t = App_.Settings().Tutor;
    auto& lines = Dialog_.Lines;
    lines = {};
    const std::string n = p.Number(TUpDown::NumGroups).Text;
    const bool allCaps = App_.Display().AllCaps();
    auto request = [&](const char* please, const char* how) {
        lines[0] = please;
        lines[2] = how;
        return false;
    };
    switch (std::clamp(t.Mode, 0, 4)) {
    case 0: {
        Dialog_.Caption = "Start Random Characters";
        App_.ItemKind = 0;
        const auto field = p.LastCharField == 2 ? TCharField::Chars2 : TCharField::Chars1;
        chars = Lower1252(KeepSendable(ProsignsToCodes(RemoveUnknownProsigns(p.Text(field).Text)),
                                       App_.CWout1().CharSet()));
        if (chars.empty()) {
            lines[1] = "Please define at least 1 character to be used!";
            return false;
        }
        const std::string size =
            t.VariSize ? p.Number(TUpDown::SizeMin).Text + ".." + p.Number(TUpDown::SizeGroups).Text
                       : p.Number(TUpDown::SizeGroups).Text;
        lines[0] = "Produce " + n + " random groups of " + size + " with these characters:";
        CutCharacterLines(Cased(CodesToProsignNames(chars), allCaps), lines[1], lines[2]);
        lines[1] = Cp1252ToUtf8(lines[1]);
        lines[2] = Cp1252ToUtf8(lines[2]);
        break;
    }
    case 1:
        Dialog_.Caption = "Start Random Words";
        if (Material.WordList.empty())
            return request("Please load a file which contains at least 1 word!",
                           "(use CTRL+W or File Menu)");
        App_.ItemKind = 1;
        lines[0] = "Produce " + n + " random words from the list loaded from file:";
        lines[1] = Material.WordPath;
        break;
    case 2:
        App_.ItemKind = 2;
        Dialog_.Caption = "Start Random Q-Codes";
        lines[0] = "Produce  " + n + "  random Q-Codes";
        break;
    case 3:
        Dialog_.Caption = "Start Random Phrases";
        if (Material.PhraseList.empty())
            return request("Please load a file which contains at least 1 phrase!",
                           "(use CTRL+P or File Menu)");
        App_.ItemKind = 3;
        lines[0] = "Produce " + n + " random phrases as loaded from file:";
        lines[1] = Material.PhrasesPath;
        break;
    default:
        Dialog_.Caption = "Send Text from File";
        if (Material.TextList.empty())
            return request("Please load a text file which contains at least 1 word!",
                           "(use CTRL+T or File Menu)");
        App_.ItemKind = 4;
        lines[0] = "Produce " + std::to_string(Material.TextWordCount) +
                   " consecutive 'words' as loaded from file:";
        lines[1] = Material.TextPath;
        break;
    }
    if (t.Mode == 1 || t.Mode == 3 || t.Mode == 4)
        lines[2] = App_.Settings().TX.Extended ? "- using extended character set -"
                                               : "- using standard character set -";
    const std::string& unit = App_.View().SpeedUnit;
    const std::string& start = p.Number(TUpDown::StartSpeed).Text;
    const std::string& end = p.Number(TUpDown::EndSpeed).Text;
    if (t.Varispeed)
        lines[3] = "Speed will be variable from  " + start +
                   (p.WorkStartSpeed >= p.WorkEndSpeed ? "  down to  " : "  up to  ") + end + " " +
                   unit;
    else
        lines[3] = "Speed will be " + start + "  " + unit;
    if (p.WorkFarnsworthSpeed > p.WorkStartSpeed && t.Farnsworth != 0)
        lines[4] = (t.Farnsworth == 1 ? "Farnsworth speed for characters will be: "
                                      : "Wordsworth speed for words will be: ") +
                   p.Number(TUpDown::FarnswSpeed).Text + "  " + unit;
    const int repeat = std::clamp(t.Repeat, 0, 4);
    if (repeat == 1)
        lines[5] = "Send each item twice";
    else if (repeat > 1)
        lines[5] = "Send each item " + std::to_string(repeat + 1) + " times";
    if (repeat > 0 && t.Faster > 0)
        lines[5] += std::string(", and increase speed ") +
                    FasterEntries[static_cast<std::size_t>(std::clamp(t.Faster, 0, 6))];
    return true;
}

void TSession::StartSession() {
    auto& app = App_;
    if (app.OutputDevice <= 0 || app.SessionState != 0) return;
    if (app.OutputDevice == 1 && !app.SoundOut1().IsOpen()) {
        ShowMessage(app.Platform_.Messages, TSeverity::Warning,
                    "The sound output is not available: no session can start until it is back.");
        return;
    }
    Dialog_.Lines[5].clear();
    auto& p = app.Params();
    const auto& t = app.Settings().Tutor;
    std::string chars;
    const int kindBefore = app.ItemKind;
    const bool ready = ComposeDialog(chars);
    if (!ready) {
        if (app.Platform_.AskSession) app.Platform_.AskSession(Dialog_);
        app.ItemKind = kindBefore;
        app.Changed();
        return;
    }
    const std::string keptSpeedText = app.View_.SpeedText;
    app.View_.SpeedText = p.Number(TUpDown::StartSpeed).Text;
    app.Changed();
    const bool ok = app.Platform_.AskSession && app.Platform_.AskSession(Dialog_);
    if (!ok) {
        app.View_.SpeedText = keptSpeedText;
        app.ItemKind = kindBefore;
        app.Changed();
        return;
    }
    auto& cw = app.CWout1();
    SessionStartTime = Now();
    app.SessionState = 1;
    Random_.Reset();
    Random_.SetCharacters(t.Mode == 0 ? chars : std::string());
    cw.ClearBuffer();
    app.Display().ClearAll();
    TextWordsFetched = 0;
    app.ResetItemCounters();
    TextPos = 0;
    MaxBufferFill = 0;
    app.View_.Button2Enabled = false;
    if (t.Varispeed || t.Repeat != 0 || app.SingleMode) app.View_.SpeedUpDownEnabled = false;
    StartSpeed = p.WorkStartSpeed;
    EndSpeed = t.Varispeed ? p.WorkEndSpeed : StartSpeed;
    const int n = t.Mode == 4 ? Material.TextWordCount : p.Number(TUpDown::NumGroups).Position;
    if (n > 1)
        SpeedStep = static_cast<double>(EndSpeed - StartSpeed) / (n - 1);
    else
        SpeedStep = t.Mode == 4 ? EndSpeed - StartSpeed : 0;
    CurrentSpeed = StartSpeed;
    cw.SetSpeed(StartSpeed);
    app.CWout1SpeedChanged(cw.Speed());
    // The texts are written back in the display's case, as they are sent.
    p.CommitText(TCharField::StopText, p.Text(TCharField::StopText).Text);
    EndTextEmpty = p.Text(TCharField::StopText).Text.empty();
    p.CommitText(TCharField::StartText, p.Text(TCharField::StartText).Text);
    StartTextEmpty = p.Text(TCharField::StartText).Text.empty();
    app.DisableParameterControls();
    ItemsProduced = 0;
    app.SessionCharCount = app.RepeatedCharCount = app.SentCharCount = 0;
    RepeatsLeft = std::clamp(t.Repeat, 0, 4);
    if (StartTextEmpty)
        Queue(std::string(1, kPause));
    else
        Queue(p.Text(TCharField::StartText).Text + (app.SingleMode ? kItemEnd : '\r'));
    app.PauseRequested = false;
    if (!app.SingleMode) app.RepeatsInSession = t.Repeat > 0 && t.Faster > 0;
    app.Changed();
}

// --- Producing -----------------------------------------------------------------------------------

std::string TSession::NewItem() {
    auto& app = App_;
    const auto& t = app.Settings().Tutor;
    auto& p = app.Params();
    std::string item;
    switch (app.ItemKind) {
    case 0:
        GroupSize = t.VariSize ? Random_.RandomIndex(p.WorkMinGroupSize, p.WorkGroupSize + 1)
                               : p.WorkGroupSize;
        for (int i = 0; i < GroupSize; ++i)
            if (const uint8_t c = Random_.RandomChar(); c != 0) item += static_cast<char>(c);
        break;
    case 2: item = Random_.RandomQCode(); break;
    case 1:
        if (!Material.WordList.empty())
            item = Material.WordList[static_cast<std::size_t>(
                Random_.RandomIndex(0, static_cast<int>(Material.WordList.size())))];
        break;
    case 3:
        if (!Material.PhraseList.empty()) {
            item = Material.PhraseList[static_cast<std::size_t>(
                Random_.RandomIndex(0, static_cast<int>(Material.PhraseList.size())))];
            if (t.Blip) item += '^';
            item += app.SingleMode ? kItemEnd : '\r';
        }
        break;
    default:
        item = NextTextWord(Material.Text, TextPos, app.CWout1().CharSet(), app.SingleMode);
        ++TextWordsFetched;
        break;
    }
    return ProsignsToCodes(item);
}

void TSession::ProduceItem() {
    auto& app = App_;
    if (app.DispMode == 2) app.Display().ClearAll();
    const std::string separator(1, app.SingleMode ? kPause : ' ');
    const bool withSeparator = app.ItemKind >= 0 && app.ItemKind <= 2;
    switch (app.SessionState) {
    case 2: {
        std::string item;
        for (int attempt = 0; attempt < 101 && item.empty(); ++attempt)
            item = NewItem();
        if (item.empty()) {
            // The text is used up: a pause, and the next step ends the items.
            Queue(std::string(1, kPause));
            if (app.SingleMode) {
                app.SingleMode = false;
                app.View_.Button3Caption = "Set Single Mode";
                app.View_.SingleModeShown = false;
                app.SetPauseButtonState(1);
            }
            break;
        }
        ++ItemsProduced;
        LastItem = item;
        if (app.ItemKind == 4 && RepeatsLeft > 0) item = KeepOnLine(item);
        if (withSeparator) item += separator;
        Queue(item);
        break;
    }
    case 8: {
        --RepeatsLeft;
        std::string item = LastItem;
        if (app.ItemKind == 4 && RepeatsLeft > 0) item = KeepOnLine(item);
        if (withSeparator) item += separator;
        Queue(item);
        break;
    }
    default: Queue(std::string(1, kItemEnd)); break;
    }
    app.Changed();
}

// --- Advancing -----------------------------------------------------------------------------------

bool TSession::ItemsDone() const {
    if (App_.ItemKind == 4) return TextWordsFetched >= Material.TextWordCount;
    return App_.Params().Number(TUpDown::NumGroups).Position <= ItemsProduced;
}

void TSession::ApplyCurrentSpeed() {
    App_.CWout1().SetSpeed(static_cast<int>(CurrentSpeed));
}

void TSession::AdvanceSession() {
    auto& app = App_;
    auto& cw = app.CWout1();
    const auto& t = app.Settings().Tutor;
    switch (app.SessionState) {
    case 1:
        ItemsStartTime = Now();
        app.ItemSpeed = cw.Speed();
        if (!app.SingleMode) {
            app.SessionState = 2;
            ProduceItem();
            if (RepeatsLeft > 0) app.SessionState = 8;
        }
        break;
    case 2:
        app.ItemSpeed = cw.Speed();
        if (t.Varispeed) {
            if (SpeedStep > 0) {
                if (EndSpeed >= CurrentSpeed) CurrentSpeed += SpeedStep;
                if (CurrentSpeed > EndSpeed) CurrentSpeed = EndSpeed;
            } else {
                if (EndSpeed <= CurrentSpeed) CurrentSpeed += SpeedStep;
                if (CurrentSpeed < EndSpeed) CurrentSpeed = EndSpeed;
            }
        }
        if (t.Varispeed || t.Repeat != 0) ApplyCurrentSpeed();
        if (!app.SingleMode) {
            if (ItemsDone()) app.SessionState = 3;
            if (t.Varispeed && app.SessionState != 3) ApplyCurrentSpeed();
            ProduceItem();
            if (RepeatsLeft > 0 && app.SessionState != 3) app.SessionState = 8;
        }
        app.RepeatingItem = false;
        break;
    case 8:
        app.ItemSpeed = cw.Speed();
        cw.SetSpeed(static_cast<int>(std::nearbyint(FasterFactor(t.Faster) * app.ItemSpeed)));
        if (!app.SingleMode) {
            ProduceItem();
            if (RepeatsLeft <= 0) {
                app.SessionState = 2;
                RepeatsLeft = std::clamp(t.Repeat, 0, 4);
            }
        }
        break;
    case 3:
        ItemsEndTime = Now();
        app.SessionState = 4;
        app.Display().MarkSent(100);
        if (app.SingleMode) app.StopSingleMode();
        if (t.Varispeed) cw.SetSpeed(EndSpeed);
        app.EnableParameterControls();
        if (app.DispMode == 2) app.Display().ClearAll();
        Queue(app.Params().Text(TCharField::StopText).Text + kItemEnd);
        break;
    default: break;
    }
    app.Changed();
}

void TSession::StepToNextItem() {
    auto& app = App_;
    if (app.SessionState == 2 && ItemsDone()) app.SessionState = 3;
    if (app.SessionState == 1) app.SessionState = 2;
    if (app.SessionState == 0) return;
    ProduceItem();
    if (app.SessionState == 3) return;
    if (RepeatsLeft <= 0) {
        app.SessionState = 2;
        RepeatsLeft = std::clamp(app.Settings().Tutor.Repeat, 0, 4);
    } else {
        app.SessionState = 8;
    }
    app.Changed();
}

void TSession::StepBackSpeedPlan() {
    const double t = CurrentSpeed - SpeedStep;
    if ((SpeedStep > 0 && StartSpeed <= t && t <= EndSpeed) ||
        (SpeedStep < 0 && EndSpeed <= t && t <= StartSpeed))
        CurrentSpeed = t;
}

void TSession::RestartTimes() {
    ItemsStartTime = SessionStartTime = Now();
}

// --- Statistics ----------------------------------------------------------------------------------

void TSession::ComputeOverallSpeed() {
    const double minutes = static_cast<double>(std::llabs(ItemsEndTime - ItemsStartTime)) / 60000.0;
    OverallSpeed = minutes == 0 ? 999.0 : App_.SessionCharCount / minutes;
}

void TSession::SessionDone() {
    auto& app = App_;
    SessionEndTime = Now();
    app.View_.Button2Enabled = app.OutputDevice > 0;
    app.SessionState = 0;
    if (app.DispMode == 2) app.Display().ClearAll();
    if (app.AutoStartOff) {
        app.View_.TXDown = false;
        app.SetTXCaption();
        app.CWout1().StopAtEndNow();
    }
    if (app.SessionCharCount > 0) {
        const int n = app.SentCharCount;
        const char* what = app.ItemKind == 0 ? " random character" : " character";
        Info("\rSent " + std::to_string(n) + what + (n == 1 ? "" : "s"));
        if (app.RepeatsInSession) {
            if (app.RepeatedCharCount == 1)
                Info("\rof which 1 was repeated");
            else if (app.RepeatedCharCount > 1)
                Info("\rof which " + std::to_string(app.RepeatedCharCount) + " were repeated");
        }
        if (!app.RepeatsInSession && !app.PauseRequested) {
            ComputeOverallSpeed();
            Info("\rActual overall speed was: " + FormatOverallSpeed(OverallSpeed, app.ShowWpM));
        } else {
            Info("\r");
        }
        if (app.OnScrollToEnd) app.OnScrollToEnd();
    }
    Info("Session Time was: " + FormatSessionTime(SessionEndTime - SessionStartTime) + "\r");
    if (app.OnScrollToEnd) app.OnScrollToEnd();
    app.RepeatsInSession = false;
    app.ItemKind = -1;
    app.Changed();
}

// --- Speed test ----------------------------------------------------------------------------------

void TSession::StartSpeedTest() {
    auto& app = App_;
    if (app.SessionState != 0 || app.OutputDevice <= 0) return;
    Dialog_.Caption = "Test Morse Speed";
    Dialog_.Lines = {};
    Dialog_.Lines[0] = "Test Morse Speed with Standard Text?";
    Dialog_.Lines[1] = app.Display().AllCaps() ? Upper1252(kParis) : std::string(kParis);
    Dialog_.Lines[3] = "Selected Speed is " + app.View().SpeedText + " " + app.View().SpeedUnit;
    if (!app.Platform_.AskSession || !app.Platform_.AskSession(Dialog_)) return;
    app.StopSingleMode();
    app.RepeatsInSession = app.PauseRequested = false;
    app.CWout1().ClearBuffer();
    app.Display().ClearAll();
    app.ResetItemCounters();
    auto& v = app.View_;
    v.SpeedEnabled = v.SpeedUpDownEnabled = false;
    v.Button2Enabled = v.Button3Enabled = v.Button4Enabled = false;
    app.SetPauseButtonState(4);
    // The test runs without extra spacing.
    app.Params().SetFarnsworth(0);
    app.Params().SetFarnsworthEnabled(false);
    app.DisableParameterControls();
    app.SessionState = 6;
    app.SessionCharCount = 30; // the six words have 30 letters
    ItemsStartTime = Now();
    Queue(kParis);
    app.Changed();
}

void TSession::EndSpeedTest() {
    auto& app = App_;
    app.SessionState = 0;
    auto& v = app.View_;
    v.SpeedEnabled = v.SpeedUpDownEnabled = true;
    const bool device = app.OutputDevice > 0;
    v.Button2Enabled = v.Button3Enabled = v.Button4Enabled = device;
    app.Params().SetFarnsworthEnabled(true);
    app.EnableParameterControls();
    v.TXDown = false;
    app.SetTXCaption();
    app.SetPauseButtonState(0);
    app.CWout1().StopAtEndNow();
}

void TSession::SpeedTestDone() {
    auto& app = App_;
    ItemsEndTime = Now();
    EndSpeedTest();
    if (app.SessionCharCount > 0) {
        ComputeOverallSpeed();
        Info("\r\rActual speed was: " + FormatOverallSpeed(OverallSpeed, app.ShowWpM));
        if (app.PauseRequested) Info("but <pause> had been pressed\r");
    }
    if (app.OnScrollToEnd) app.OnScrollToEnd();
    app.Changed();
}

void TSession::SpeedTestAborted() {
    EndSpeedTest();
    Info("\r\rSpeed test aborted\r");
    if (App_.OnScrollToEnd) App_.OnScrollToEnd();
    App_.Changed();
}

// --- Sound test ----------------------------------------------------------------------------------

void TSession::ToggleSoundTest() {
    auto& app = App_;
    if (app.SessionState == 10) {
        StopSoundTest();
        return;
    }
    if (app.SessionState != 0) return;
    app.StopSingleMode();
    app.RepeatsInSession = false;
    app.CWout1().ClearBuffer();
    app.Display().ClearAll();
    app.DisableParameterControls();
    app.View_.SpeedUpDownEnabled = true; // the speed may change while listening
    app.SessionState = 10;
    app.Params().SetSoundTestRunning(true);
    SoundTestNext();
}

void TSession::SoundTestNext() {
    App_.Display().ClearAll();
    Queue(App_.CWout1().BlipOn() ? "test^ " : "test ");
    App_.Changed();
}

void TSession::StopSoundTest() {
    auto& app = App_;
    app.Params().SetSoundTestRunning(false);
    app.CWout1().ClearBuffer();
    app.Display().ClearAll();
    app.EnableParameterControls();
    app.SessionState = 0;
    app.Changed();
}

// --- Material ------------------------------------------------------------------------------------

TOpenRequest TSession::OpenRequest(TMaterialKind kind) const {
    const auto& m = App_.Settings().Main;
    switch (kind) {
    case TMaterialKind::Words:
        return {"Load words from file to memory to use as random words:", m.InDir, m.WordFile};
    case TMaterialKind::Phrases:
        return {"Load phrases from file to memory to use as random phrases:", m.InDir,
                m.PhrasesFile};
    default: return {"Load text from file to memory, to be played with F3:", m.InDir, m.InFile};
    }
}

bool TSession::LoadMaterial(TMaterialKind kind, const std::string& path) {
    auto& app = App_;
    TLoadResult r = Material.Load(kind, path, app.CWout1().CharSet());
    if (!r.Ok) {
        ShowMessage(app.Platform_.Messages, TSeverity::Error, r.Error);
        return false;
    }
    app.Display().ClearAll();
    app.CWout1().ClearBuffer();
    if (kind == TMaterialKind::Text) app.SessionCharCount = app.RepeatedCharCount = 0;
    auto& s = app.Settings_.Main;
    s.InDir = Material.InDir;
    if (kind == TMaterialKind::Words) s.WordFile = Material.WordFile;
    if (kind == TMaterialKind::Phrases) s.PhrasesFile = Material.PhrasesFile;
    if (kind == TMaterialKind::Text) s.InFile = Material.TextFile;
    app.Params().SetMorseMode(r.TrainingMode);
    Info(r.Headline + "\r");
    Info(Utf8To1252(r.Path) + "\r");
    app.UpdateStartCaptions();
    return true;
}

} // namespace brindle
