#include "desk/Parameters.h"

#include "audio/NoiseGen.h"
#include "audio/SoundOut.h"
#include "base/Ranges.h"
#include "base/Speed.h"
#include "base/Text1252.h"
#include "desk/OutputSwitch.h"
#include "display/DisplayModel.h"
#include "engine/MorseEngine.h"
#include "practice/TextFilters.h"
#include "settings/SettingsTable.h"

#include <algorithm>
#include <charconv>

namespace brindle {

namespace {

// The Farnsworth up-down moves over more than the speeds the engine takes: its position is
// clamped into the setting's range where it is used.
constexpr TRange kFarnswPosition{0, 1000};
// The window never offers a smallest size of 0: that is only read for groups of one character,
// which have no size to vary.
constexpr TRange kMinSizePosition{
    1, SettingOf<&TSettings::Tutor, &TTutorSettings::GrMinSize>().Range.Max};
constexpr TRange kLevelBar{0, 60};
constexpr const char* kLetters = "abcdefghijklmnopqrstuvwxyz";
constexpr const char* kNumerals = "0123456789";
constexpr const char* kAllCharacters = "abcdefghijklmnopqrstuvwxyz0123456789.,/?<bt>";

int Sign(int v) {
    return (v > 0) - (v < 0);
}

// Cuts a field's text to its length without leaving half a prosign name behind.
std::string FitToLength(const std::string& text, std::size_t max) {
    if (text.size() <= max) return text;
    std::string out = text.substr(0, max);
    const std::size_t open = out.rfind('<');
    if (open != std::string::npos && out.find('>', open) == std::string::npos) out.erase(open);
    return out;
}

// Control characters never belong in a one-line field; spaces go too where asked.
std::string Printable(const std::string& text, bool keepSpaces) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto u = static_cast<uint8_t>(c);
        if (c == '\t' && keepSpaces) out += ' ';
        if (u >= 32 && u != 127 && (keepSpaces || c != ' ')) out += c;
    }
    return out;
}

} // namespace

std::string LevelText(int dB) {
    return std::to_string(dB) + " dB";
}

std::string CharSetOfField(const std::string& text1252, bool extended) {
    // A tab is a space to the filters; neither belongs in a character set.
    std::string t = Printable(text1252, false);
    t = ProsignsToCodes(RemoveUnknownProsigns(t));
    t = RemoveCarets(KeepSendable(t, TCharSet{extended, false}));
    return Lower1252(t);
}

std::string SendableText(const std::string& text1252, bool extended) {
    std::string t = ProsignsToCodes(RemoveUnknownProsigns(Printable(text1252, true)));
    t = RemoveCarets(KeepSendable(t, TCharSet{extended, false}));
    return Lower1252(t);
}

bool ProsignBackspace(std::string& text, int& caret) {
    if (caret <= 0 || caret > static_cast<int>(text.size()) || text[caret - 1] != '>') return false;
    const std::size_t open = text.rfind('<', static_cast<std::size_t>(caret - 1));
    if (open == std::string::npos) return false;
    text.erase(open, static_cast<std::size_t>(caret) - open);
    caret = static_cast<int>(open);
    return true;
}

std::vector<TMixerCommand> MixerCommands() {
    return {{"pavucontrol", {}},
            {"pwvucontrol", {}},
            {"gnome-control-center", {"sound"}},
            {"systemsettings", {"kcm_pulseaudio"}}};
}

TRect FitOnScreens(TRect w, const std::vector<TRect>& screens) {
    if (screens.empty()) return w;
    auto overlap = [&](const TRect& s) -> long long {
        const long long x = std::min(w.Left + w.Width, s.Left + s.Width) - std::max(w.Left, s.Left);
        const long long y = std::min(w.Top + w.Height, s.Top + s.Height) - std::max(w.Top, s.Top);
        return x > 0 && y > 0 ? x * y : 0;
    };
    auto distance = [&](const TRect& s) -> long long {
        const long long dx = (w.Left + w.Width / 2) - (s.Left + s.Width / 2);
        const long long dy = (w.Top + w.Height / 2) - (s.Top + s.Height / 2);
        return dx * dx + dy * dy;
    };
    const TRect* best = &screens.front();
    for (const TRect& s : screens)
        if (overlap(s) > overlap(*best) ||
            (overlap(*best) == 0 && overlap(s) == 0 && distance(s) < distance(*best)))
            best = &s;
    const TRect& s = *best;
    w.Width = std::clamp(w.Width, 1, std::max(s.Width, 1));
    w.Height = std::clamp(w.Height, 1, std::max(s.Height, 1));
    w.Left = std::clamp(w.Left, s.Left, s.Left + s.Width - w.Width);
    w.Top = std::clamp(w.Top, s.Top, s.Top + s.Height - w.Height);
    return w;
}

TRect FitFramedOnScreens(TRect window, int frameWidth, int frameHeight,
                         const std::vector<TRect>& screens) {
    frameWidth = std::max(frameWidth, 0);
    frameHeight = std::max(frameHeight, 0);
    const TRect outer = FitOnScreens(
        {window.Left, window.Top, window.Width + frameWidth, window.Height + frameHeight}, screens);
    return {outer.Left, outer.Top, std::max(outer.Width - frameWidth, 1),
            std::max(outer.Height - frameHeight, 1)};
}

// --- The window's state --------------------------------------------------------------------------

// The fields' limits are the settings table's: what the window takes is what the file keeps.
TParameters::TParameters(TParametersNeeds needs) : N_(std::move(needs)), S_(N_.Settings) {
    auto set = [&](TUpDown u, TRange r, int length, const char* caption) {
        auto& n = Num(u);
        n.Min = r.Min;
        n.Max = r.Max;
        n.MaxLength = length;
        n.Caption = caption;
    };
    set(TUpDown::Freq, SettingOf<&TSettings::TX, &TTxSettings::Frequency>().Range, 4,
        "Frequency Hz");
    set(TUpDown::Slope, SettingOf<&TSettings::TX, &TTxSettings::Slope>().Range, 3,
        "Slope (samples)");
    set(TUpDown::StartSpeed, SettingOf<&TSettings::Tutor, &TTutorSettings::StartSpeed>().Range, 4,
        "Start Speed");
    set(TUpDown::EndSpeed, SettingOf<&TSettings::Tutor, &TTutorSettings::EndSpeed>().Range, 4,
        "End Speed");
    set(TUpDown::FarnswSpeed, kFarnswPosition, 4, "Speed");
    set(TUpDown::NumGroups, SettingOf<&TSettings::Tutor, &TTutorSettings::Groups>().Range, 3,
        "Number of Items");
    set(TUpDown::SizeGroups, SettingOf<&TSettings::Tutor, &TTutorSettings::GrSize>().Range, 2,
        "Size of Groups");
    set(TUpDown::SizeMin, kMinSizePosition, 2, "Min Size of Groups");
    for (int i = 0; i < CharFieldCount; ++i)
        View_.Texts[static_cast<std::size_t>(i)].MaxLength = i < 2 ? 80 : 10;
}

void TParameters::Changed() {
    UpdateEnables();
    OnChanged();
}

void TParameters::SetPosition(TUpDown which, int position) {
    auto& n = Num(which);
    n.Position = std::clamp(position, n.Min, n.Max);
}

void TParameters::SetFieldText(TCharField which, const std::string& text) {
    auto& f = View_.Texts[Index(which)];
    f.Text = FitToLength(text, static_cast<std::size_t>(f.MaxLength));
}

// --- Creation ------------------------------------------------------------------------------------

void TParameters::Create() {
    auto& cw = N_.Engine;
    const TSettings read = S_; // as read from the file; the effects below change S_
    View_.SoundMutedShown = false;
    SetMorseMode(read.Tutor.TrainingMode());
    SetDispMode(read.Tutor.Display());
    S_.TX.Muted = read.TX.Muted;
    S_.TX.Noise = read.TX.Noise;

    const int field = read.Tutor.CharField == 2 ? 2 : 1;
    View_.CharSelected = LastCharField = S_.Tutor.CharField = field;
    SetFieldText(TCharField::Chars1,
                 ShownCase(RemoveCarets(read.Tutor.Characters), read.Main.AllCaps));
    SetFieldText(TCharField::Chars2,
                 ShownCase(RemoveCarets(read.Tutor.Characters2), read.Main.AllCaps));
    S_.Main.AllCaps = read.Main.AllCaps; // the fields are cased as the box will be
    SetExtended(read.TX.Extended == 1);

    SetPosition(TUpDown::StartSpeed, read.Tutor.StartSpeed);
    WorkStartSpeed = ranges::Speed.Clamp(Number(TUpDown::StartSpeed).Position);
    SetVariSpeed(read.Tutor.Varispeed);
    SetPosition(TUpDown::EndSpeed, read.Tutor.EndSpeed);
    WorkEndSpeed = ranges::Speed.Clamp(Number(TUpDown::EndSpeed).Position);

    SetFarnsworth(read.Tutor.Spacing());
    cw.SetFWSpeed(read.Tutor.FarnsworthSpeed);
    WorkFarnsworthSpeed = ranges::Speed.Clamp(cw.FWSpeed());
    SetPosition(TUpDown::FarnswSpeed, WorkFarnsworthSpeed);

    SetShowWpM(read.Main.ShowWpM);
    SetPosition(TUpDown::NumGroups, read.Tutor.Groups);
    WorkGroupCount = ranges::Groups.Clamp(Number(TUpDown::NumGroups).Position);
    SetRepeat(read.Tutor.Repeat);
    SetFaster(read.Tutor.Faster);

    SetPosition(TUpDown::SizeGroups, read.Tutor.GrSize);
    WorkGroupSize = ranges::GroupSize.Clamp(Number(TUpDown::SizeGroups).Position);
    SetVariSize(read.Tutor.VariSize);
    SetBlip(read.Tutor.Blip);
    SetPosition(TUpDown::SizeMin, read.Tutor.GrMinSize);
    if (Number(TUpDown::SizeMin).Position >= Number(TUpDown::SizeGroups).Position)
        SetPosition(TUpDown::SizeMin, Number(TUpDown::SizeGroups).Position - 1);
    WorkMinGroupSize = std::clamp(Number(TUpDown::SizeMin).Position, 0, WorkGroupSize);
    GroupSizeRule();

    // The texts pass the same filters as a commit, so that nothing unsendable stays in them.
    CommitText(TCharField::StartText, RemoveCarets(read.Tutor.StartText));
    CommitText(TCharField::StopText, RemoveCarets(read.Tutor.EndText));
    SetAllCaps(read.Main.AllCaps);
    SetCharSize(read.Main.CharSizeItem);

    SetPtt(read.TX.PTT);
    SetAutoStart(cw.AutoStartStop());
    ApplyPosition(TUpDown::Freq, cw.Frequency());
    ApplyPosition(TUpDown::Slope, cw.Slope());
    SetLevel(-cw.LogAmplitude());
    SetNoiseLevel(-N_.Noise.LeveldB());

    Num(TUpDown::NumGroups).Text = std::to_string(WorkGroupCount);
    Num(TUpDown::SizeGroups).Text = std::to_string(WorkGroupSize);
    Num(TUpDown::SizeMin).Text = S_.Tutor.VariSize ? std::to_string(WorkMinGroupSize) : "";
    SetEqKeyOpt(read.TX.EqKeyOpt);
    N_.Output.CheckDevices();
    Changed();
}

void TParameters::StoreSettings() {
    auto& t = S_.Tutor;
    t.Characters = Text(TCharField::Chars1).Text;
    t.Characters2 = Text(TCharField::Chars2).Text;
    t.StartText = Text(TCharField::StartText).Text;
    t.EndText = Text(TCharField::StopText).Text;
    t.CharField = LastCharField;
    t.StartSpeed = Number(TUpDown::StartSpeed).Position;
    t.EndSpeed = Number(TUpDown::EndSpeed).Position;
    t.FarnsworthSpeed = Number(TUpDown::FarnswSpeed).Position;
    t.Groups = Number(TUpDown::NumGroups).Position;
    t.GrSize = Number(TUpDown::SizeGroups).Position;
    t.GrMinSize = Number(TUpDown::SizeMin).Position;
    auto& x = S_.TX;
    x.Frequency = N_.Engine.Frequency();
    x.Slope = N_.Engine.Slope();
    x.OutputLevel = N_.Engine.LogAmplitude();
    x.NoiseLevel = N_.Noise.LeveldB();
}

// --- Up-downs and numeric fields -----------------------------------------------------------------

void TParameters::StepUpDown(TUpDown which, int button, bool shift, bool ctrl) {
    auto& n = Num(which);
    const int moved = std::clamp(n.Position + Sign(button), n.Min, n.Max); // the control's own step
    int d = 0;
    auto& cw = N_.Engine;
    switch (which) {
    case TUpDown::Freq: d = Sign(moved - cw.Frequency()); break;
    case TUpDown::Slope: d = Sign(moved - cw.Slope()); break;
    case TUpDown::StartSpeed: d = Sign(moved - WorkStartSpeed); break;
    case TUpDown::EndSpeed: d = Sign(moved - WorkEndSpeed); break;
    case TUpDown::FarnswSpeed: d = Sign(moved - WorkFarnsworthSpeed); break;
    case TUpDown::NumGroups: {
        int typed = moved;
        if (!ParseInteger(n.Text, typed)) typed = moved;
        d = Sign(moved - typed);
        break;
    }
    case TUpDown::SizeGroups:
    case TUpDown::SizeMin: d = Sign(button); break;
    }
    const int step = d * UpDownStep(shift, ctrl);
    ApplyPosition(which, moved - d + step);
    Changed();
}

void TParameters::ApplyPosition(TUpDown which, int value) {
    auto& cw = N_.Engine;
    const bool wpm = S_.Main.ShowWpM;
    auto& n = Num(which);
    switch (which) {
    case TUpDown::Freq:
        cw.SetFrequency(value);
        SetPosition(which, cw.Frequency());
        n.Text = std::to_string(cw.Frequency());
        break;
    case TUpDown::Slope:
        cw.SetSlope(value);
        SetPosition(which, cw.Slope());
        n.Text = std::to_string(n.Position);
        break;
    case TUpDown::StartSpeed:
        WorkStartSpeed = ranges::Speed.Clamp(value);
        SetPosition(which, WorkStartSpeed);
        n.Text = FormatSpeed(WorkStartSpeed, wpm);
        break;
    case TUpDown::EndSpeed:
        WorkEndSpeed = ranges::Speed.Clamp(value);
        SetPosition(which, WorkEndSpeed);
        n.Text = FormatSpeed(WorkEndSpeed, wpm);
        break;
    case TUpDown::FarnswSpeed:
        cw.SetFWSpeed(value);
        WorkFarnsworthSpeed = ranges::Speed.Clamp(cw.FWSpeed());
        SetPosition(which, WorkFarnsworthSpeed);
        n.Text = FormatSpeed(cw.FWSpeed(), wpm);
        break;
    case TUpDown::NumGroups:
        SetPosition(which, value);
        WorkGroupCount = ranges::Groups.Clamp(n.Position);
        n.Text = std::to_string(WorkGroupCount);
        break;
    case TUpDown::SizeGroups:
        SetPosition(which, value);
        WorkGroupSize = ranges::GroupSize.Clamp(n.Position);
        GroupSizeRule();
        n.Text = std::to_string(WorkGroupSize);
        break;
    case TUpDown::SizeMin:
        SetPosition(which, value);
        WorkMinGroupSize = std::clamp(n.Position, 0, WorkGroupSize);
        if (WorkMinGroupSize >= WorkGroupSize)
            WorkMinGroupSize = std::clamp(WorkGroupSize - 1, 0, WorkGroupSize);
        SetPosition(which, WorkMinGroupSize);
        n.Text = std::to_string(WorkMinGroupSize);
        break;
    }
}

void TParameters::ApplyEditField(TUpDown which, const std::string& text) {
    auto& cw = N_.Engine;
    const bool wpm = S_.Main.ShowWpM;
    auto& n = Num(which);
    int v = 0;
    switch (which) {
    case TUpDown::StartSpeed:
    case TUpDown::EndSpeed:
        if (!ParseSpeed(text, wpm, v)) v = n.Position;
        SetPosition(which, v);
        (which == TUpDown::StartSpeed ? WorkStartSpeed : WorkEndSpeed) =
            ranges::Speed.Clamp(n.Position);
        n.Text = FormatSpeed(n.Position, wpm);
        break;
    case TUpDown::FarnswSpeed:
        if (!ParseSpeed(text, wpm, v)) v = n.Position;
        cw.SetFWSpeed(v);
        SetPosition(which, cw.FWSpeed());
        WorkFarnsworthSpeed = ranges::Speed.Clamp(cw.FWSpeed());
        n.Text = FormatSpeed(cw.FWSpeed(), wpm);
        break;
    case TUpDown::NumGroups:
        if (!ParseInteger(text, v)) v = n.Position;
        SetPosition(which, v);
        WorkGroupCount = ranges::Groups.Clamp(n.Position);
        n.Text = std::to_string(n.Position);
        break;
    case TUpDown::SizeGroups: {
        if (!ParseInteger(text, v)) v = n.Position;
        SetPosition(which, v);
        WorkGroupSize = ranges::GroupSize.Clamp(n.Position);
        n.Text = std::to_string(n.Position);
        GroupSizeRule();
        UpdateEnables();
        auto& m = Num(TUpDown::SizeMin);
        if (m.Enabled && WorkMinGroupSize >= WorkGroupSize && WorkGroupSize > 1) {
            SetPosition(TUpDown::SizeMin, WorkGroupSize - 1);
            WorkMinGroupSize = std::clamp(m.Position, 0, WorkGroupSize);
            m.Text = std::to_string(WorkMinGroupSize);
        }
        break;
    }
    case TUpDown::SizeMin: {
        if (!ParseInteger(text, v)) v = n.Position;
        const int size = Number(TUpDown::SizeGroups).Position;
        if (v >= size) v = size - 1;
        SetPosition(which, v);
        WorkMinGroupSize = std::clamp(n.Position, 0, WorkGroupSize);
        n.Text = std::to_string(n.Position);
        break;
    }
    case TUpDown::Freq:
        if (!ParseInteger(text, v)) v = cw.Frequency();
        ApplyPosition(which, v);
        break;
    case TUpDown::Slope:
        if (!ParseInteger(text, v)) v = cw.Slope();
        cw.SetSlope(v);
        SetPosition(which, cw.Slope());
        n.Text = std::to_string(cw.Slope());
        break;
    }
    Changed();
}

void TParameters::GroupSizeRule() {
    if (WorkGroupSize == 1 && S_.Tutor.VariSize) SetVariSize(false);
    // The minimum stays below the size however the size was changed (arrows, a typed size while
    // the minimum field was off), so that a session never gets a minimum above its maximum.
    if (WorkMinGroupSize >= WorkGroupSize) {
        WorkMinGroupSize = std::max(WorkGroupSize - 1, 0);
        SetPosition(TUpDown::SizeMin, WorkMinGroupSize);
        auto& m = Num(TUpDown::SizeMin);
        if (!m.Text.empty()) m.Text = std::to_string(WorkMinGroupSize);
    }
}

// --- Character fields and texts ------------------------------------------------------------------

void TParameters::EnterCharField(int field) {
    if (field != 1 && field != 2) return;
    View_.CharSelected = LastCharField = field;
    Changed();
}

void TParameters::ChooseCharField(int item) {
    View_.CharSelected = item == 1 || item == 2 ? item : LastCharField;
    LastCharField = View_.CharSelected;
    Changed();
}

void TParameters::CommitText(TCharField which, const std::string& input) {
    // No more than the field holds, as the field itself would take.
    const std::string text1252 =
        FitToLength(input, static_cast<std::size_t>(View_.Texts[Index(which)].MaxLength));
    const bool extended = N_.Engine.ExtraChars();
    const bool caps = S_.Main.AllCaps;
    if (which == TCharField::Chars1 || which == TCharField::Chars2) {
        const std::string set = CharSetOfField(text1252, extended);
        (which == TCharField::Chars1 ? CharSet1 : CharSet2) = set;
        SetFieldText(which, ShownCase(CodesToProsignNames(set), caps));
    } else {
        SetFieldText(which, ShownCase(CodesToProsignNames(SendableText(text1252, extended)), caps));
    }
    Changed();
}

void TParameters::FillCharField(const char* lower) {
    const int field = View_.CharSelected;
    if (field != 1 && field != 2) return;
    const auto which = field == 1 ? TCharField::Chars1 : TCharField::Chars2;
    SetFieldText(which, ShownCase(lower, S_.Main.AllCaps));
    (field == 1 ? CharSet1 : CharSet2) = Lower1252(Text(which).Text);
    // The set holds a prosign as its code, as a commit leaves it.
    (field == 1 ? CharSet1 : CharSet2) = ProsignsToCodes(field == 1 ? CharSet1 : CharSet2);
    Changed();
}

void TParameters::AllLetters() {
    FillCharField(kLetters);
}
void TParameters::AllNumerals() {
    FillCharField(kNumerals);
}
void TParameters::AllCharacters() {
    FillCharField(kAllCharacters);
}

void TParameters::Deactivate(const std::array<std::string, UpDownCount>& numbers,
                             const std::array<std::string, CharFieldCount>& texts) {
    auto number = [&](TUpDown u) { ApplyEditField(u, numbers[Index(u)]); };
    number(TUpDown::Freq);
    number(TUpDown::Slope);
    number(TUpDown::StartSpeed);
    number(TUpDown::EndSpeed);
    number(TUpDown::FarnswSpeed);
    number(TUpDown::NumGroups);
    number(TUpDown::SizeGroups);
    for (TCharField f :
         {TCharField::StartText, TCharField::StopText, TCharField::Chars1, TCharField::Chars2})
        CommitText(f, texts[Index(f)]);
}

// --- Choices -------------------------------------------------------------------------------------

void TParameters::SetDispMode(TDisplayMode mode) {
    S_.Tutor.DispMode = choices::Stored(mode);
    auto& d = N_.Display;
    d.SetColorInText(mode == TDisplayMode::ShowFirst    ? 0xFF0000
                     : mode == TDisplayMode::SoundFirst ? d.BackgroundColor()
                                                        : d.FontColor());
    OnStopSending();
    Changed();
}

void TParameters::SetMorseMode(TTrainingMode mode) {
    S_.Tutor.Mode = choices::Stored(mode);
    OnMainViewChanged(); // the start button's caption
    Changed();
}

void TParameters::SetAutoStart(bool on) {
    S_.TX.AutoStart = on;
    N_.Engine.SetAutoStartStop(on);
    OnAutoStartSet();
    Changed();
}

void TParameters::SetPtt(bool on) {
    S_.TX.PTT = on;
    OnPttSet(on);
    Changed();
}

void TParameters::SetExtended(bool on) {
    S_.TX.Extended = on ? 1 : 0;
    N_.Engine.SetExtraChars(on);
    // Characters no longer allowed drop out of every field at once.
    CommitText(TCharField::Chars1, Text(TCharField::Chars1).Text);
    CommitText(TCharField::Chars2, Text(TCharField::Chars2).Text);
    CommitText(TCharField::StopText, Text(TCharField::StopText).Text);
    CommitText(TCharField::StartText, Text(TCharField::StartText).Text);
}

void TParameters::SetLevel(int position) {
    View_.LevelPosition = kLevelBar.Clamp(position);
    N_.Engine.SetLogAmplitude(-View_.LevelPosition);
    View_.LevelLabel = LevelText(-View_.LevelPosition);
    Changed();
}

void TParameters::SetNoiseLevel(int position) {
    View_.NoisePosition = kLevelBar.Clamp(position);
    N_.Noise.SetLeveldB(-View_.NoisePosition);
    View_.NoiseLabel = LevelText(-View_.NoisePosition);
    Changed();
}

void TParameters::SetNoise(bool on) {
    S_.TX.Noise = on;
    Changed();
}

void TParameters::SetMute(bool on) {
    S_.TX.Muted = on;
    MuteCheckBoxClick();
}

void TParameters::MuteCheckBoxClick() {
    // The mute is the playback stream's own volume; it takes effect on the sound output only.
    if (N_.Output.Device() == TOutputDevice::Sound) N_.Sound.SetVolume(S_.TX.Muted ? 0.0 : 1.0);
    OnMainViewChanged();
    Changed();
}

void TParameters::SetEqKeyOpt(bool on) {
    S_.TX.EqKeyOpt = on;
    Changed();
}

void TParameters::SetBlip(bool on) {
    S_.Tutor.Blip = on;
    N_.Engine.SetBlipOn(on);
    Changed();
}

void TParameters::SetRepeat(int item) {
    S_.Tutor.Repeat = choices::Clamp(item, choices::Repeat);
    Changed();
}

void TParameters::SetFaster(int item) {
    S_.Tutor.Faster = choices::Clamp(item, choices::Faster);
    Changed();
}

void TParameters::SetCharSize(int item) {
    S_.Main.CharSizeItem = choices::Clamp(item, choices::FontPoints);
    OnMainViewChanged();
    Changed();
}

void TParameters::CaseFields() {
    for (auto& f : View_.Texts)
        f.Text = ShownCase(f.Text, S_.Main.AllCaps);
}

void TParameters::SetAllCaps(bool on) {
    S_.Main.AllCaps = on;
    N_.Display.SetAllCaps(on);
    CaseFields();
    OnAllCapsSet(on);
    OnMainViewChanged();
    Changed();
}

void TParameters::WriteSpeedFields() {
    for (TUpDown u : {TUpDown::StartSpeed, TUpDown::EndSpeed, TUpDown::FarnswSpeed})
        Num(u).Text = FormatSpeed(Number(u).Position, S_.Main.ShowWpM);
}

void TParameters::SetShowWpM(bool on) {
    S_.Main.ShowWpM = on;
    OnMainViewChanged();
    View_.Unit = on ? "WpM" : "CpM";
    WriteSpeedFields();
    Changed();
}

void TParameters::SetVariSpeed(bool on) {
    S_.Tutor.Varispeed = on;
    Changed();
}

void TParameters::SetVariSize(bool on) {
    if (on && WorkGroupSize == 1) on = false; // a group of one has no size to vary
    S_.Tutor.VariSize = on;
    auto& m = Num(TUpDown::SizeMin);
    Num(TUpDown::SizeGroups).Caption = on ? "Max Size of Groups" : "Size of Groups";
    UpdateEnables();
    if (on)
        ApplyEditField(TUpDown::SizeMin, m.Text);
    else
        m.Text.clear();
    Changed();
}

void TParameters::SetFarnsworth(TSpacing spacing) {
    S_.Tutor.Farnsworth = choices::Stored(spacing);
    auto& cw = N_.Engine;
    auto& n = Num(TUpDown::FarnswSpeed);
    if (spacing == TSpacing::Plain) {
        n.Caption = "Speed";
        cw.SetFWSpeed(0); // the engine keeps its lowest speed; plain spacing ignores it
    } else {
        n.Caption = spacing == TSpacing::Farnsworth ? "Farnsworth Speed for Characters"
                                                    : "Wordsworth Speed for Words";
        cw.SetFWSpeed(n.Position);
    }
    cw.SetSpacing(spacing);
    OnMainViewChanged();
    Changed();
}

void TParameters::TestButtonClick() {
    OnSoundTestClicked();
}

// --- Enabling ------------------------------------------------------------------------------------

void TParameters::EnableControls() {
    // The mute follows the output: a box ticked while keying a port takes effect here.
    if (N_.Output.Device() == TOutputDevice::Sound) MuteCheckBoxClick();
    Changed();
}

void TParameters::AfterDeviceCheck() {
    MuteCheckBoxClick();
}

void TParameters::UpdateEnables() {
    const TSessionState state = N_.SessionState();
    const bool locked = View_.Locked = N_.SessionLocksParameters();
    const bool open = !locked;
    const bool sound = N_.Output.Device() == TOutputDevice::Sound;
    const bool soundTest = state == TSessionState::SoundTest;
    const auto& choice = N_.Output.Choice();
    View_.TestCaption = soundTest ? "Stop Test" : "Test Sound and Speed";
    // The speed test runs without extra spacing: the choice is locked meanwhile.
    View_.FarnsworthEnabled =
        state != TSessionState::SpeedTest && state != TSessionState::SpeedTestAborted;
    const TTrainingMode mode = S_.Tutor.TrainingMode();
    const bool groups = mode == TTrainingMode::RandomChars;
    const bool switching = N_.Output.Switching();
    View_.OutputSoundEnabled = open && !switching && choice.SoundEnabled;
    View_.OutputComEnabled = open && !switching && choice.ComEnabled;
    View_.PortBoxEnabled = open && choice.PortBoxEnabled;
    View_.DispModeEnabled = View_.MorseModeEnabled = View_.CharsEnabled = open;
    View_.TXCharEnabled = View_.VariSpeedEnabled = View_.RepeatEnabled = open;
    for (auto& f : View_.Texts)
        f.Enabled = open;
    auto enable = [&](TUpDown u, bool on) {
        Num(u).Enabled = on;
        Num(u).CaptionEnabled = on;
    };
    enable(TUpDown::StartSpeed, open);
    enable(TUpDown::EndSpeed, open && S_.Tutor.Varispeed);
    enable(TUpDown::NumGroups, open && mode != TTrainingMode::Text);
    enable(TUpDown::SizeGroups, open && groups);
    enable(TUpDown::SizeMin, open && groups && S_.Tutor.VariSize);
    View_.VariSizeEnabled = open && groups && WorkGroupSize > 1;
    View_.FasterEnabled = open && S_.Tutor.Repeat != 0;
    View_.BlipEnabled = (mode == TTrainingMode::Phrases || soundTest) && sound;
    enable(TUpDown::FarnswSpeed, S_.Tutor.Spacing() != TSpacing::Plain);
    enable(TUpDown::Freq, sound);
    enable(TUpDown::Slope, sound);
    View_.SoundControlsEnabled = sound;
    View_.NoiseEnabled = sound && !S_.TX.Muted;
    View_.SoundMutedShown = sound && S_.TX.Muted;
    View_.PttEnabled = N_.Output.Device() == TOutputDevice::Com;
    View_.AutoStartEnabled = choice.AutoStartEnabled;
    View_.TestEnabled = choice.TestButtonEnabled;
}

} // namespace brindle
