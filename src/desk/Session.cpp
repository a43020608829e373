#include "desk/Session.h"

#include "audio/SoundOut.h"
#include "base/ControlCodes.h"
#include "base/Speed.h"
#include "base/Text1252.h"
#include "desk/OutputSwitch.h"
#include "desk/Parameters.h"
#include "desk/Sender.h"
#include "desk/SendingControls.h"
#include "display/DisplayModel.h"
#include "engine/MorseEngine.h"
#include "learn/KochCourse.h"
#include "practice/TextFilters.h"
#include "settings/Choices.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace brindle {

namespace {

const char* const kParis = "Paris Paris Paris Paris Paris Paris ";

// A final line end of a text word becomes the separator that keeps the repetitions on one line.
std::string KeepOnLine(std::string item) {
    if (!item.empty()) {
        if (item.back() == '\r')
            item.back() = ' ';
        else if (item.back() == ItemEndChar)
            item.back() = PauseChar;
    }
    return item;
}

} // namespace

double FasterFactor(int fasterIndex) {
    const std::string entry = choices::At(fasterIndex, choices::Faster);
    const std::string last4 = entry.substr(entry.size() - 4);
    const std::size_t b = last4.find_first_not_of(' ');
    double factor = 1.0;
    std::from_chars(last4.data() + b, last4.data() + last4.size(), factor);
    return factor;
}

std::string FormatOverallSpeed(double cpm, bool showWpM) {
    double v = showWpM ? CpmToWpm(cpm) : cpm;
    if (v != 0 && std::isfinite(v)) {
        const int digits = static_cast<int>(std::floor(std::log10(std::fabs(v)))) + 1;
        const double scale = std::pow(10.0, 3 - digits);
        v = std::round(v * scale) / scale;
    }
    char text[64];
    const auto r = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, 2);
    return std::string(text, r.ptr) + (showWpM ? " WpM\r" : " CpM\r");
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

TSession::TSession(TNeeds needs, TClock clock, TRandomChars::TSeedClock seed)
    : N_(std::move(needs)), Clock_(clock ? std::move(clock) : TClock([] {
          using namespace std::chrono;
          return static_cast<int64_t>(
              duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
      })),
      Random_(seed ? std::move(seed) : TRandomChars::TSeedClock(ClockSeed)) {}

void TSession::Changed() {
    OnChanged();
}

void TSession::Info(const std::string& text) {
    N_.Display.AddInfoText(text);
}

void TSession::Queue(const std::string& text) {
    N_.Sender.Queue(text);
    MaxBufferFill_ = std::max(MaxBufferFill_, N_.Engine.BufferCount());
}

bool TSession::AllowsSingleMode() const {
    if (N_.Copy.Running()) return false; // copy practice paces itself
    return State_ == TSessionState::Idle || State_ == TSessionState::StartText ||
           State_ == TSessionState::Items || State_ == TSessionState::Repeating;
}

bool TSession::StepsByUser() const {
    return N_.Controls.SingleMode() ||
           (N_.Copy.Running() && N_.Copy.Pacing() == TCopyPacing::ItemByItem);
}

TQueueStyle TSession::QueueStyle() const {
    TQueueStyle s;
    s.SingleMode = N_.Controls.SingleMode();
    s.SpacesArePauses = ItemKind_ != TItemKind::Phrases;
    // Copy practice hides what is sent: the display shows a mark per item instead.
    s.Shown = !N_.Copy.Running() && !((State_ == TSessionState::StartText && StartTextEmpty_) ||
                                      (State_ == TSessionState::EndText && EndTextEmpty_));
    s.ItemEndShown = !(ItemKind_ == TItemKind::Phrases && State_ == TSessionState::ItemsDone);
    return s;
}

void TSession::Unlock() {
    LocksParameters_ = false;
    LocksSpeedArrows_ = false;
    N_.Params.Refresh();
}

void TSession::ResetCounts() {
    SessionCharCount_ = RepeatedCharCount_ = 0;
}

// --- Starting ------------------------------------------------------------------------------------

// Fills the dialog for the training mode; false when its list or set is empty (the dialog then
// asks for material). chars receives the set of random characters in engine form.
bool TSession::ComposeDialog(std::string& chars) {
    const auto& p = N_.Params;
    const auto& s = N_.Settings;
    const auto& t = s.Tutor;
    auto& lines = Dialog_.Lines;
    lines = {};
    const std::string n = p.Number(TUpDown::NumGroups).Text;
    auto request = [&](const char* please, const char* how) {
        lines[0] = please;
        lines[2] = how;
        return false;
    };
    const TTrainingMode mode = t.TrainingMode();
    switch (ItemKindOfMode(mode)) {
    case TItemKind::Groups: {
        Dialog_.Caption = "Start Random Characters";
        ItemKind_ = TItemKind::Groups;
        const auto field = p.LastCharField == 2 ? TCharField::Chars2 : TCharField::Chars1;
        chars = Lower1252(KeepSendable(ProsignsToCodes(RemoveUnknownProsigns(p.Text(field).Text)),
                                       N_.Engine.CharSet()));
        if (chars.empty()) {
            lines[1] = "Please define at least 1 character to be used!";
            return false;
        }
        const std::string size =
            t.VariSize ? p.Number(TUpDown::SizeMin).Text + ".." + p.Number(TUpDown::SizeGroups).Text
                       : p.Number(TUpDown::SizeGroups).Text;
        lines[0] = "Produce " + n + " random groups of " + size + " with these characters:";
        CutCharacterLines(ShownCase(CodesToProsignNames(chars), s.Main.AllCaps), lines[1],
                          lines[2]);
        lines[1] = Cp1252ToUtf8(lines[1]);
        lines[2] = Cp1252ToUtf8(lines[2]);
        break;
    }
    case TItemKind::Words:
        Dialog_.Caption = "Start Random Words";
        if (Material_.WordList.empty())
            return request("Please load a file which contains at least 1 word!",
                           "(use CTRL+W or File Menu)");
        ItemKind_ = TItemKind::Words;
        lines[0] = "Produce " + n + " random words from the list loaded from file:";
        lines[1] = Material_.WordPath;
        break;
    case TItemKind::QCodes:
        ItemKind_ = TItemKind::QCodes;
        Dialog_.Caption = "Start Random Q-Codes";
        lines[0] = "Produce  " + n + "  random Q-Codes";
        break;
    case TItemKind::Phrases:
        Dialog_.Caption = "Start Random Phrases";
        if (Material_.PhraseList.empty())
            return request("Please load a file which contains at least 1 phrase!",
                           "(use CTRL+P or File Menu)");
        ItemKind_ = TItemKind::Phrases;
        lines[0] = "Produce " + n + " random phrases as loaded from file:";
        lines[1] = Material_.PhrasesPath;
        break;
    default:
        Dialog_.Caption = "Send Text from File";
        if (Material_.TextList.empty())
            return request("Please load a text file which contains at least 1 word!",
                           "(use CTRL+T or File Menu)");
        ItemKind_ = TItemKind::TextWords;
        lines[0] = "Produce " + std::to_string(Material_.TextWordCount) +
                   " consecutive 'words' as loaded from file:";
        lines[1] = Material_.TextPath;
        break;
    }
    if (mode == TTrainingMode::Words || mode == TTrainingMode::Phrases ||
        mode == TTrainingMode::Text)
        lines[2] =
            s.TX.Extended ? "- using extended character set -" : "- using standard character set -";
    const std::string unit = s.Main.ShowWpM ? "WpM" : "CpM";
    const std::string& start = p.Number(TUpDown::StartSpeed).Text;
    const std::string& end = p.Number(TUpDown::EndSpeed).Text;
    if (t.Varispeed)
        lines[3] = "Speed will be variable from  " + start +
                   (p.WorkStartSpeed >= p.WorkEndSpeed ? "  down to  " : "  up to  ") + end + " " +
                   unit;
    else
        lines[3] = "Speed will be " + start + "  " + unit;
    if (p.WorkFarnsworthSpeed > p.WorkStartSpeed && t.Spacing() != TSpacing::Plain)
        lines[4] =
            (t.Spacing() == TSpacing::Farnsworth ? "Farnsworth speed for characters will be: "
                                                 : "Wordsworth speed for words will be: ") +
            p.Number(TUpDown::FarnswSpeed).Text + "  " + unit;
    const int repeat = choices::Clamp(t.Repeat, choices::Repeat);
    if (repeat == 1)
        lines[5] = "Send each item twice";
    else if (repeat > 1)
        lines[5] = "Send each item " + std::to_string(repeat + 1) + " times";
    if (repeat > 0 && t.Faster > 0)
        lines[5] += std::string(", and increase speed ") + choices::At(t.Faster, choices::Faster);
    return true;
}

bool TSession::ComposePlanDialog() {
    const TSessionPlan& plan = *Plan_;
    Dialog_.Caption = plan.Caption;
    Dialog_.Lines = {};
    for (std::size_t i = 0; i < plan.Lines.size(); ++i)
        Dialog_.Lines[i] = plan.Lines[i];
    ItemKind_ = plan.Kind;
    return true;
}

// The rules of the session about to start (the parameters', or none under a plan) and its
// random draws from the first: the plan's characters with their shares, or the set chars.
void TSession::SetUpRulesAndDraws(const std::string& chars) {
    const auto& t = N_.Settings.Tutor;
    Rules_ = Plan_ ? TRules{}
                   : TRules{t.Varispeed, choices::Clamp(t.Repeat, choices::Repeat),
                            choices::Clamp(t.Faster, choices::Faster), t.Blip};
    Random_.Reset();
    if (Plan_ && !Plan_->Shares.empty())
        Random_.SetWeightedCharacters(Plan_->Chars, Plan_->Shares);
    else
        Random_.SetCharacters(Plan_                                            ? Plan_->Chars
                              : t.TrainingMode() == TTrainingMode::RandomChars ? chars
                                                                               : std::string());
}

void TSession::StartSession(bool copy, const TSessionPlan* plan) {
    const TOutputDevice output = N_.Output.Device();
    // A copy practice not yet checked is checked (or aborted) before anything new starts.
    if (N_.Copy.Running() && Idle()) {
        if (N_.Status) N_.Status("Check the copy first (Ctrl+Return), or abort it with Esc.");
        return;
    }
    if (!IsActive(output) || !Idle() || N_.Copy.Running()) return;
    if (output == TOutputDevice::Sound && !N_.Sound.IsOpen()) {
        ShowMessage(N_.Messages, TSeverity::Warning,
                    "The sound output is not available: no session can start until it is back.");
        return;
    }
    auto& p = N_.Params;
    const auto& t = N_.Settings.Tutor;
    const auto& ask = N_.AskSession;
    std::string chars;
    const TItemKind kindBefore = ItemKind_;
    if (plan)
        Plan_ = *plan;
    else
        Plan_.reset();
    Dialog_.CopyPractice = copy;
    Dialog_.CopyLine = copy ? "Copy practice: the text is hidden; type what you hear below, "
                              "Ctrl+Return checks it"
                            : "";
    if (!(Plan_ ? ComposePlanDialog() : ComposeDialog(chars))) {
        if (ask) ask(Dialog_);
        ItemKind_ = kindBefore;
        Changed();
        return;
    }
    if (copy && !Plan_) Dialog_.CopyLine += "; " + AboutHowLong(EstimatedPracticeMs());
    const int startSpeed = Plan_ ? Plan_->EffCpm : p.WorkStartSpeed;
    DialogSpeedText_ = Plan_ ? FormatSpeed(startSpeed, N_.Settings.Main.ShowWpM)
                             : p.Number(TUpDown::StartSpeed).Text;
    Changed();
    const bool ok = ask && ask(Dialog_); // the dialog gives back the pacing chosen
    DialogSpeedText_.reset();
    // The dialog is modal: whatever came meanwhile (a lost output, the close) is respected.
    if (!ok || !Idle() || !IsActive(N_.Output.Device()) || N_.Output.Switching() || N_.Closing()) {
        ItemKind_ = kindBefore;
        Plan_.reset();
        Changed();
        return;
    }
    auto& cw = N_.Engine;
    if (copy && N_.Controls.SingleMode()) N_.Controls.StopSingleMode();
    const bool single = N_.Controls.SingleMode();
    Copy_ = copy;
    Times_.SessionStart = Now();
    State_ = TSessionState::StartText;
    SetUpRulesAndDraws(chars);
    cw.ClearBuffer();
    N_.Display.ClearAll();
    TextWordsFetched_ = 0;
    N_.Controls.ResetItem();
    TextPos_ = 0;
    MaxBufferFill_ = 0;
    LocksSpeedArrows_ = Rules_.Varispeed || Rules_.Repeat != 0 || single;
    StartSpeed_ = startSpeed;
    EndSpeed_ = Rules_.Varispeed ? p.WorkEndSpeed : StartSpeed_;
    const int n = Plan_                               ? Plan_->Items
                  : ItemKind_ == TItemKind::TextWords ? Material_.TextWordCount
                                                      : p.Number(TUpDown::NumGroups).Position;
    if (n > 1)
        SpeedStep_ = static_cast<double>(EndSpeed_ - StartSpeed_) / (n - 1);
    else
        SpeedStep_ = ItemKind_ == TItemKind::TextWords ? EndSpeed_ - StartSpeed_ : 0;
    CurrentSpeed_ = StartSpeed_;
    if (Plan_) {
        // The lesson's speeds are its own: the user's come back when it ends.
        SpeedsBefore_ = TEngineSpeeds{cw.Speed(), cw.FWSpeed(), cw.Spacing()};
        const bool stretched = Plan_->CharCpm > Plan_->EffCpm;
        cw.SetFWSpeed(stretched ? Plan_->CharCpm : 0);
        cw.SetSpacing(stretched ? TSpacing::Farnsworth : TSpacing::Plain);
    }
    cw.SetSpeed(StartSpeed_);
    // The texts are written back in the display's case, as they are sent.
    p.CommitText(TCharField::StopText, p.Text(TCharField::StopText).Text);
    EndTextEmpty_ = p.Text(TCharField::StopText).Text.empty();
    p.CommitText(TCharField::StartText, p.Text(TCharField::StartText).Text);
    StartTextEmpty_ = p.Text(TCharField::StartText).Text.empty();
    LocksParameters_ = true;
    p.Refresh();
    if (copy) {
        TPracticeStart start{CopyKindName(ItemKind_), startSpeed, startSpeed, std::nullopt, n};
        if (Plan_) {
            start.CharCpm = std::max(Plan_->CharCpm, Plan_->EffCpm);
            start.Course = Plan_->Course;
        } else if (t.Spacing() != TSpacing::Plain && p.WorkFarnsworthSpeed > p.WorkStartSpeed) {
            // The characters go at the Farnsworth speed when it is the higher one.
            start.CharCpm = p.WorkFarnsworthSpeed;
        }
        OnPracticeBegins(Dialog_.Pacing, start);
    }
    ItemsProduced_ = 0;
    SessionCharCount_ = RepeatedCharCount_ = SentCharCount_ = 0;
    RepeatsLeft_ = Rules_.Repeat;
    Introducing_ = Plan_ && Plan_->Introduce != 0 && !single;
    if (Introducing_) {
        // The new character alone, with its name and pattern, before the lesson starts.
        const uint8_t c = Plan_->Introduce;
        Info("\rNew character " + CodesToProsignNames(std::string(1, static_cast<char>(c))) +
             "   " + MorsePattern(c) + "   played " + std::to_string(IntroductionRepeats) +
             " times before the lesson; Return skips it\r");
        std::string intro;
        for (int i = 0; i < IntroductionRepeats; ++i)
            intro += std::string(1, static_cast<char>(c)) + ' ';
        Queue(intro + PauseChar);
    } else {
        QueueStartText();
    }
    PauseRequested_ = false;
    if (!single) RepeatsInSession_ = Rules_.Repeat > 0 && Rules_.Faster > 0;
    Changed();
}

bool TSession::ComposeExport(const TSessionPlan* plan, TComposedPractice& practice,
                             std::string& error) {
    practice = {};
    TPracticeScript& script = practice.Script;
    TToneOptions& tone = practice.Tone;
    if (!Idle()) {
        error = "A practice is under way: export it when it has ended.";
        return false;
    }
    // What composing moves is put back afterwards.
    const auto planBefore = Plan_;
    const TItemKind kindBefore = ItemKind_;
    const TRules rulesBefore = Rules_;
    const TRandomChars randomBefore = Random_;
    const TSessionDialog dialogBefore = Dialog_;
    const std::size_t textPosBefore = TextPos_;
    const int fetchedBefore = TextWordsFetched_;
    auto& p = N_.Params;
    const auto& t = N_.Settings.Tutor;
    const auto& cw = N_.Engine;
    if (plan)
        Plan_ = *plan;
    else
        Plan_.reset();
    std::string chars;
    const bool composed = Plan_ ? ComposePlanDialog() : ComposeDialog(chars);
    if (composed) {
        SetUpRulesAndDraws(chars);
        TextPos_ = 0;
        TextWordsFetched_ = 0;
        tone.ToneHz = cw.Frequency();
        if (cw.DiffFreqOn()) tone.DitToneHz = cw.DiffFrequency();
        tone.Slope = cw.Slope();
        tone.Ratio = cw.Ratio();
        tone.Weight = cw.Weight();
        tone.LevelDb = cw.LogAmplitude();
        tone.Stereo = cw.Stereo();
        const int start = Plan_ ? Plan_->EffCpm : p.WorkStartSpeed;
        const int end = Rules_.Varispeed ? p.WorkEndSpeed : start;
        if (Plan_) {
            const bool stretched = Plan_->CharCpm > Plan_->EffCpm;
            tone.Spacing = stretched ? static_cast<int>(TSpacing::Farnsworth) : 0;
            tone.CharCpm = stretched ? Plan_->CharCpm : start;
        } else {
            tone.Spacing = static_cast<int>(t.Spacing());
            tone.CharCpm = p.WorkFarnsworthSpeed;
        }
        tone.Cpm = start;
        const int n = Plan_                               ? Plan_->Items
                      : ItemKind_ == TItemKind::TextWords ? Material_.TextWordCount
                                                          : p.Number(TUpDown::NumGroups).Position;
        const double step = n > 1 ? static_cast<double>(end - start) / (n - 1)
                            : ItemKind_ == TItemKind::TextWords ? end - start
                                                                : 0.0;
        // Control codes (the item end, a pause) become line ends: a file has no one to wait for.
        auto plain = [](std::string text) {
            for (char& c : text)
                if (IsFixedPause(static_cast<uint8_t>(c))) c = '\r';
            return text;
        };
        practice.Spoken = ItemKind_ == TItemKind::Groups    ? TSpokenKind::Group
                          : ItemKind_ == TItemKind::Phrases ? TSpokenKind::Line
                                                            : TSpokenKind::Word;
        practice.Title = Dialog_.Caption;
        TPracticeChapter chapter;
        chapter.Title = Dialog_.Caption;
        const std::string startText = p.Text(TCharField::StartText).Text;
        if (!startText.empty())
            chapter.Pieces.push_back({ProsignsToCodes(startText) + '\r', start, false, ""});
        const bool withSeparator = ItemKind_ == TItemKind::Groups ||
                                   ItemKind_ == TItemKind::Words || ItemKind_ == TItemKind::QCodes;
        const double faster = FasterFactor(Rules_.Faster);
        double current = start; // [CpM] stepped as AdvanceSession steps it
        for (int i = 0; i < n; ++i) {
            std::string item;
            for (int attempt = 0; attempt < 101 && item.empty(); ++attempt)
                item = NewItem();
            if (item.empty()) break; // the text is used up
            if (i > 0 && Rules_.Varispeed) {
                if (step > 0) {
                    if (end >= current) current += step;
                    if (current > end) current = end;
                } else {
                    if (end <= current) current += step;
                    if (current < end) current = end;
                }
            }
            const int cpm = static_cast<int>(current);
            std::string spoken = plain(item);
            while (!spoken.empty() && (spoken.back() == '\r' || spoken.back() == ' '))
                spoken.pop_back();
            const std::string sent = plain(item) + (withSeparator ? " " : "");
            chapter.Pieces.push_back({sent, cpm, true, spoken});
            int repeatCpm = cpm;
            for (int r = 0; r < Rules_.Repeat; ++r) {
                repeatCpm = static_cast<int>(std::nearbyint(faster * repeatCpm));
                chapter.Pieces.push_back({sent, repeatCpm, false, ""});
            }
        }
        const std::string endText = p.Text(TCharField::StopText).Text;
        if (!endText.empty())
            chapter.Pieces.push_back({ProsignsToCodes(endText) + '\r', end, false, ""});
        if (!chapter.Pieces.empty()) script.push_back(std::move(chapter));
    } else {
        error = Dialog_.Lines[0];
    }
    Plan_ = planBefore;
    ItemKind_ = kindBefore;
    Rules_ = rulesBefore;
    Random_ = randomBefore;
    Dialog_ = dialogBefore;
    TextPos_ = textPosBefore;
    TextWordsFetched_ = fetchedBefore;
    if (composed && script.empty()) error = "There is nothing to practise.";
    return composed && !script.empty();
}

int64_t TSession::EstimatedPracticeMs() const {
    const auto& t = N_.Settings.Tutor;
    const auto& p = N_.Params;
    auto meanLength = [](const std::vector<std::string>& list) {
        double sum = 0;
        for (const std::string& e : list)
            sum += static_cast<double>(ProsignsToCodes(e).size());
        return list.empty() ? 5.0 : sum / static_cast<double>(list.size());
    };
    double items = p.Number(TUpDown::NumGroups).Position;
    double length = 5; // [characters] of an item
    switch (ItemKind_) {
    case TItemKind::Groups:
        length = t.VariSize ? (p.WorkMinGroupSize + p.WorkGroupSize) / 2.0 : p.WorkGroupSize;
        break;
    case TItemKind::QCodes: length = 3; break;
    case TItemKind::Words: length = meanLength(Material_.WordList); break;
    case TItemKind::Phrases: length = meanLength(Material_.PhraseList); break;
    case TItemKind::TextWords:
        items = Material_.TextWordCount;
        length = static_cast<double>(Material_.Text.size()) / std::max(1, Material_.TextWordCount);
        break;
    case TItemKind::None: break;
    }
    const int repeat = choices::Clamp(t.Repeat, choices::Repeat);
    const double cpm = t.Varispeed ? (p.WorkStartSpeed + p.WorkEndSpeed) / 2.0
                                   : static_cast<double>(p.WorkStartSpeed);
    // Each item and its word space, which takes about as long as a character.
    const double chars = items * (length + 1) * (repeat + 1);
    return cpm <= 0 ? 0 : static_cast<int64_t>(std::lround(chars / cpm * 60000.0));
}

std::string AboutHowLong(int64_t ms) {
    const int64_t minutes = (ms + 30000) / 60000;
    if (minutes < 1) return "it takes under a minute";
    if (minutes == 1) return "it takes about a minute";
    return "it takes about " + std::to_string(minutes) + " minutes";
}

void TSession::QueueStartText() {
    auto& p = N_.Params;
    if (StartTextEmpty_)
        Queue(std::string(1, PauseChar));
    else
        Queue(p.Text(TCharField::StartText).Text + (N_.Controls.SingleMode() ? ItemEndChar : '\r'));
}

void TSession::SkipIntroduction() {
    if (!Introducing_ || State_ != TSessionState::StartText) return;
    Introducing_ = false;
    N_.Display.DeleteLast(N_.Engine.RemoveUnsent());
    QueueStartText();
    Changed();
}

void TSession::RestoreSpeeds() {
    if (!SpeedsBefore_) return;
    auto& cw = N_.Engine;
    cw.SetFWSpeed(SpeedsBefore_->FWSpeed);
    cw.SetSpacing(SpeedsBefore_->Spacing);
    cw.SetSpeed(SpeedsBefore_->Speed);
    SpeedsBefore_.reset();
}

// --- Producing -----------------------------------------------------------------------------------

std::string TSession::NewItem() {
    const auto& t = N_.Settings.Tutor;
    const auto& p = N_.Params;
    std::string item;
    if (Plan_ && ItemKind_ != TItemKind::Groups) {
        // The lesson's own words, Q-codes or phrases.
        const auto& entries = Plan_->Entries;
        if (!entries.empty())
            item = entries[static_cast<std::size_t>(
                Random_.RandomIndex(0, static_cast<int>(entries.size())))];
        if (ItemKind_ == TItemKind::Phrases) item += '\r';
        return ProsignsToCodes(item);
    }
    switch (ItemKind_) {
    case TItemKind::Groups: {
        const int size =
            Plan_        ? (Plan_->GroupSize > 0
                                ? Plan_->GroupSize
                                : Random_.RandomIndex(RandomGroupSizes.Min, RandomGroupSizes.Max + 1))
            : t.VariSize ? Random_.RandomIndex(p.WorkMinGroupSize, p.WorkGroupSize + 1)
                         : p.WorkGroupSize;
        for (int i = 0; i < size; ++i)
            if (const uint8_t c = Random_.RandomChar(); c != 0) item += static_cast<char>(c);
        break;
    }
    case TItemKind::QCodes: item = Random_.RandomQCode(); break;
    case TItemKind::Words:
        if (!Material_.WordList.empty())
            item = Material_.WordList[static_cast<std::size_t>(
                Random_.RandomIndex(0, static_cast<int>(Material_.WordList.size())))];
        break;
    case TItemKind::Phrases:
        if (!Material_.PhraseList.empty()) {
            item = Material_.PhraseList[static_cast<std::size_t>(
                Random_.RandomIndex(0, static_cast<int>(Material_.PhraseList.size())))];
            if (Rules_.Blip) item += '^';
            item += N_.Controls.SingleMode() ? ItemEndChar : '\r';
        }
        break;
    default:
        item =
            NextTextWord(Material_.Text, TextPos_, N_.Engine.CharSet(), N_.Controls.SingleMode());
        ++TextWordsFetched_;
        break;
    }
    return ProsignsToCodes(item);
}

void TSession::ProduceItem() {
    const bool single = N_.Controls.SingleMode();
    if (N_.Settings.Tutor.Display() == TDisplayMode::SingleItems) N_.Display.ClearAll();
    const std::string separator(1, single ? PauseChar : ' ');
    const bool withSeparator = ItemKind_ == TItemKind::Groups || ItemKind_ == TItemKind::Words ||
                               ItemKind_ == TItemKind::QCodes;
    switch (State_) {
    case TSessionState::Items: {
        std::string item;
        for (int attempt = 0; attempt < 101 && item.empty(); ++attempt)
            item = NewItem();
        if (item.empty()) {
            // The text is used up: a pause, and the next step ends the items.
            Queue(std::string(1, PauseChar));
            N_.Controls.DropSingleMode();
            break;
        }
        ++ItemsProduced_;
        LastItem_ = item;
        OnItemQueued(item);
        if (ItemKind_ == TItemKind::TextWords && RepeatsLeft_ > 0) item = KeepOnLine(item);
        if (withSeparator) item += separator;
        Queue(item);
        break;
    }
    case TSessionState::Repeating: {
        --RepeatsLeft_;
        std::string item = LastItem_;
        if (ItemKind_ == TItemKind::TextWords && RepeatsLeft_ > 0) item = KeepOnLine(item);
        if (withSeparator) item += separator;
        Queue(item);
        break;
    }
    default: Queue(std::string(1, ItemEndChar)); break;
    }
    Changed();
}

// --- Advancing -----------------------------------------------------------------------------------

bool TSession::LastChar() {
    switch (State_) {
    case TSessionState::Idle: return false;
    case TSessionState::StartText:
    case TSessionState::Items:
    case TSessionState::Repeating:
    case TSessionState::ItemsDone: AdvanceSession(); break;
    case TSessionState::EndText: SessionDone(); break;
    case TSessionState::SpeedTest: SpeedTestDone(); break;
    case TSessionState::SpeedTestAborted: SpeedTestAborted(); break;
    case TSessionState::SoundTest: SoundTestNext(); break;
    }
    return true;
}

void TSession::CharStarted(uint8_t ch) {
    if (State_ != TSessionState::Idle && State_ != TSessionState::Items &&
        State_ != TSessionState::Repeating)
        return;
    if (ch > 32 && ch < ItemEndCode) {
        ++SessionCharCount_;
        ++SentCharCount_;
        if (N_.Controls.RepeatingItem()) ++RepeatedCharCount_;
    }
}

bool TSession::ItemsDone() const {
    if (Plan_) return Plan_->Items <= ItemsProduced_;
    if (ItemKind_ == TItemKind::TextWords) return TextWordsFetched_ >= Material_.TextWordCount;
    return N_.Params.Number(TUpDown::NumGroups).Position <= ItemsProduced_;
}

void TSession::ApplyCurrentSpeed() {
    N_.Engine.SetSpeed(static_cast<int>(CurrentSpeed_));
}

void TSession::AdvanceSession() {
    auto& cw = N_.Engine;
    auto& controls = N_.Controls;
    const auto& t = N_.Settings.Tutor;
    const bool single = controls.SingleMode();
    switch (State_) {
    case TSessionState::StartText:
        if (Introducing_) { // the new character has been heard: the lesson's start text
            Introducing_ = false;
            QueueStartText();
            break;
        }
        Times_.ItemsStart = Now();
        controls.NoteItemSpeed(cw.Speed());
        if (!single) { // copy practice item by item sends its first item by itself
            State_ = TSessionState::Items;
            ProduceItem();
            if (RepeatsLeft_ > 0) State_ = TSessionState::Repeating;
        }
        break;
    case TSessionState::Items:
        OnItemHeard(); // the item and its repetitions have been sent
        controls.NoteItemSpeed(cw.Speed());
        if (Rules_.Varispeed) {
            if (SpeedStep_ > 0) {
                if (EndSpeed_ >= CurrentSpeed_) CurrentSpeed_ += SpeedStep_;
                if (CurrentSpeed_ > EndSpeed_) CurrentSpeed_ = EndSpeed_;
            } else {
                if (EndSpeed_ <= CurrentSpeed_) CurrentSpeed_ += SpeedStep_;
                if (CurrentSpeed_ < EndSpeed_) CurrentSpeed_ = EndSpeed_;
            }
        }
        if (Rules_.Varispeed || Rules_.Repeat != 0) ApplyCurrentSpeed();
        if (!StepsByUser()) {
            if (ItemsDone()) State_ = TSessionState::ItemsDone;
            if (Rules_.Varispeed && State_ != TSessionState::ItemsDone) ApplyCurrentSpeed();
            ProduceItem();
            if (RepeatsLeft_ > 0 && State_ != TSessionState::ItemsDone)
                State_ = TSessionState::Repeating;
        }
        controls.EndRepeat();
        break;
    case TSessionState::Repeating:
        controls.NoteItemSpeed(cw.Speed());
        cw.SetSpeed(static_cast<int>(std::nearbyint(FasterFactor(Rules_.Faster) * cw.Speed())));
        if (!single) { // repetitions go on by themselves in copy practice
            ProduceItem();
            if (RepeatsLeft_ <= 0) {
                State_ = TSessionState::Items;
                RepeatsLeft_ = Rules_.Repeat;
            }
        }
        break;
    case TSessionState::ItemsDone:
        Times_.ItemsEnd = Now();
        State_ = TSessionState::EndText;
        OnItemHeard(); // the last item, when it ended the items
        OnItemsDone();
        N_.Display.MarkSent(100);
        if (single) controls.StopSingleMode();
        if (Rules_.Varispeed) cw.SetSpeed(EndSpeed_);
        Unlock();
        if (t.Display() == TDisplayMode::SingleItems) N_.Display.ClearAll();
        Queue(N_.Params.Text(TCharField::StopText).Text + ItemEndChar);
        break;
    default: break;
    }
    Changed();
}

void TSession::StepToNextItem() {
    if (State_ == TSessionState::Items && ItemsDone()) State_ = TSessionState::ItemsDone;
    if (State_ == TSessionState::StartText) State_ = TSessionState::Items;
    if (State_ == TSessionState::Idle) return;
    ProduceItem();
    if (State_ == TSessionState::ItemsDone) return;
    if (RepeatsLeft_ <= 0) {
        State_ = TSessionState::Items;
        RepeatsLeft_ = Rules_.Repeat;
    } else {
        State_ = TSessionState::Repeating;
    }
    Changed();
}

void TSession::StepBackSpeedPlan() {
    const double t = CurrentSpeed_ - SpeedStep_;
    if ((SpeedStep_ > 0 && StartSpeed_ <= t && t <= EndSpeed_) ||
        (SpeedStep_ < 0 && EndSpeed_ <= t && t <= StartSpeed_))
        CurrentSpeed_ = t;
}

void TSession::RestartTimes() {
    Times_.ItemsStart = Times_.SessionStart = Now();
}

// --- Stopping ------------------------------------------------------------------------------------

void TSession::Escape(bool removedAny) {
    auto& cw = N_.Engine;
    switch (State_) {
    case TSessionState::SpeedTest: State_ = TSessionState::SpeedTestAborted; break;
    case TSessionState::EndText: cw.PutChar(ItemEndCode); break;
    case TSessionState::Items:
    case TSessionState::Repeating:
        cw.PutChar(ItemEndCode);
        if (Rules_.Varispeed) cw.SetSpeed(EndSpeed_);
        State_ = TSessionState::ItemsDone;
        break;
    case TSessionState::StartText:
        cw.PutChar(ItemEndCode);
        State_ = TSessionState::ItemsDone;
        break;
    case TSessionState::Idle:
        if (removedAny) cw.PutChar(ItemEndCode);
        break;
    default: break;
    }
    if (N_.Controls.SingleMode()) N_.Controls.StopSingleMode();
    FinishAbortWhenNothingIsSent();
    Unlock();
    ItemKind_ = TItemKind::None;
    Changed();
}

void TSession::TXReleased() {
    auto& cw = N_.Engine;
    switch (State_) {
    case TSessionState::Idle:
    case TSessionState::SpeedTestAborted: break;
    case TSessionState::StartText:
        cw.PutChar(NewLineCode);
        State_ = TSessionState::ItemsDone;
        break;
    case TSessionState::EndText: cw.PutChar(NewLineCode); break;
    case TSessionState::SpeedTest: State_ = TSessionState::SpeedTestAborted; break;
    case TSessionState::SoundTest: StopSoundTest(); break;
    case TSessionState::Items:
    case TSessionState::Repeating:
    case TSessionState::ItemsDone:
        cw.SetHold(false);
        cw.PutChar(NewLineCode);
        State_ = TSessionState::ItemsDone;
        break;
    }
}

void TSession::Stop() {
    if (Copy_) {
        Copy_ = false;
        OnPracticeStopped(Now() - Times_.SessionStart); // kept so far, as aborted
    }
    if (State_ == TSessionState::SpeedTest || State_ == TSessionState::SpeedTestAborted)
        N_.Params.SetFarnsworth(SpacingBeforeTest_);
    State_ = TSessionState::Idle;
    Introducing_ = false;
    RestoreSpeeds();
    RepeatsInSession_ = false;
    ResetCounts();
    Unlock();
}

void TSession::FinishAbortWhenNothingIsSent() {
    // An abort waits for the character being sent; with none, no last character will come.
    const auto& cw = N_.Engine;
    if (State_ == TSessionState::SpeedTestAborted && !cw.HasChars() && !cw.CharOnAir())
        SpeedTestAborted();
}

// --- Statistics ----------------------------------------------------------------------------------

void TSession::ComputeOverallSpeed() {
    const double minutes =
        static_cast<double>(std::llabs(Times_.ItemsEnd - Times_.ItemsStart)) / 60000.0;
    OverallSpeed_ = minutes == 0 ? 999.0 : SessionCharCount_ / minutes;
}

void TSession::SessionDone() {
    const auto& s = N_.Settings;
    Times_.SessionEnd = Now();
    State_ = TSessionState::Idle;
    RestoreSpeeds();
    if (Copy_) {
        Copy_ = false;
        OnPracticeSent(Times_.SessionEnd - Times_.SessionStart);
        if (!s.TX.AutoStart) {
            N_.Controls.SetTXDown(false);
            N_.Engine.StopAtEndNow();
        }
        RepeatsInSession_ = false;
        ItemKind_ = TItemKind::None;
        Changed();
        return;
    }
    if (s.Tutor.Display() == TDisplayMode::SingleItems) N_.Display.ClearAll();
    if (!s.TX.AutoStart) {
        N_.Controls.SetTXDown(false);
        N_.Engine.StopAtEndNow();
    }
    if (SessionCharCount_ > 0) {
        const int n = SentCharCount_;
        const char* what = ItemKind_ == TItemKind::Groups ? " random character" : " character";
        Info("\rSent " + std::to_string(n) + what + (n == 1 ? "" : "s"));
        if (RepeatsInSession_) {
            if (RepeatedCharCount_ == 1)
                Info("\rof which 1 was repeated");
            else if (RepeatedCharCount_ > 1)
                Info("\rof which " + std::to_string(RepeatedCharCount_) + " were repeated");
        }
        if (!RepeatsInSession_ && !PauseRequested_) {
            ComputeOverallSpeed();
            Info("\rActual overall speed was: " +
                 FormatOverallSpeed(OverallSpeed_, s.Main.ShowWpM));
        } else {
            Info("\r");
        }
    }
    Info("Session Time was: " + FormatSessionTime(Times_.SessionEnd - Times_.SessionStart) + "\r");
    OnSummaryShown();
    RepeatsInSession_ = false;
    ItemKind_ = TItemKind::None;
    Changed();
}

// --- Speed test ----------------------------------------------------------------------------------

void TSession::StartSpeedTest() {
    const auto& s = N_.Settings;
    if (!Idle() || !IsActive(N_.Output.Device())) return;
    auto& cw = N_.Engine;
    Dialog_.Caption = "Test Morse Speed";
    Dialog_.Lines = {};
    Dialog_.Lines[0] = "Test Morse Speed with Standard Text?";
    Dialog_.Lines[1] = s.Main.AllCaps ? Upper1252(kParis) : std::string(kParis);
    Dialog_.Lines[3] = "Selected Speed is " + FormatSpeed(cw.Speed(), s.Main.ShowWpM) + " " +
                       (s.Main.ShowWpM ? "WpM" : "CpM");
    const auto& ask = N_.AskSession;
    if (!ask || !ask(Dialog_)) return;
    if (!Idle() || !IsActive(N_.Output.Device()) || N_.Output.Switching() || N_.Closing()) return;
    N_.Controls.StopSingleMode();
    RepeatsInSession_ = PauseRequested_ = false;
    cw.ClearBuffer();
    N_.Display.ClearAll();
    N_.Controls.ResetItem();
    N_.Controls.SetPauseState(TPauseState::Waiting);
    // The test runs without extra spacing; the user's spacing comes back when it ends.
    SpacingBeforeTest_ = N_.Settings.Tutor.Spacing();
    N_.Params.SetFarnsworth(TSpacing::Plain);
    State_ = TSessionState::SpeedTest;
    LocksParameters_ = LocksSpeedArrows_ = true;
    N_.Params.Refresh();
    SessionCharCount_ = 30; // the six words have 30 letters
    Times_.ItemsStart = Now();
    Queue(kParis);
    Changed();
}

void TSession::EndSpeedTest() {
    State_ = TSessionState::Idle;
    N_.Params.SetFarnsworth(SpacingBeforeTest_);
    Unlock();
    N_.Controls.SetTXDown(false);
    N_.Controls.SetPauseState(TPauseState::Off);
    N_.Engine.StopAtEndNow();
}

void TSession::SpeedTestDone() {
    Times_.ItemsEnd = Now();
    EndSpeedTest();
    if (SessionCharCount_ > 0) {
        ComputeOverallSpeed();
        Info("\r\rActual speed was: " +
             FormatOverallSpeed(OverallSpeed_, N_.Settings.Main.ShowWpM));
        if (PauseRequested_) Info("but <pause> had been pressed\r");
    }
    OnSummaryShown();
    Changed();
}

void TSession::SpeedTestAborted() {
    EndSpeedTest();
    Info("\r\rSpeed test aborted\r");
    OnSummaryShown();
    Changed();
}

// --- Sound test ----------------------------------------------------------------------------------

void TSession::ToggleSoundTest() {
    if (State_ == TSessionState::SoundTest) {
        StopSoundTest();
        return;
    }
    if (!Idle()) return;
    N_.Controls.StopSingleMode();
    RepeatsInSession_ = false;
    N_.Engine.ClearBuffer();
    N_.Display.ClearAll();
    State_ = TSessionState::SoundTest;
    LocksParameters_ = true;
    LocksSpeedArrows_ = false; // the speed may change while listening
    N_.Params.Refresh();
    SoundTestNext();
}

void TSession::SoundTestNext() {
    N_.Display.ClearAll();
    Queue(N_.Engine.BlipOn() ? "test^ " : "test ");
    Changed();
}

void TSession::StopSoundTest() {
    N_.Engine.ClearBuffer();
    N_.Display.ClearAll();
    State_ = TSessionState::Idle;
    Unlock();
    Changed();
}

// --- Material ------------------------------------------------------------------------------------

void TSession::ReloadMaterial() {
    const auto& m = N_.Settings.Main;
    const std::string folder = m.InDir.empty() || m.InDir.back() == '/' ? m.InDir : m.InDir + "/";
    const std::pair<TMaterialKind, std::string> lists[] = {{TMaterialKind::Words, m.WordFile},
                                                           {TMaterialKind::Phrases, m.PhrasesFile},
                                                           {TMaterialKind::Text, m.InFile}};
    for (const auto& [kind, file] : lists) {
        if (file.empty()) continue;
        // A list whose file is gone, or no longer readable, is simply not there.
        TPracticeMaterial loaded = Material_;
        if (loaded.Load(kind, folder + file, N_.Engine.CharSet()).Ok) Material_ = std::move(loaded);
    }
    Material_.InDir = m.InDir;
}

TOpenRequest TSession::OpenRequest(TMaterialKind kind) const {
    const auto& m = N_.Settings.Main;
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
    TLoadResult r = Material_.Load(kind, path, N_.Engine.CharSet());
    if (!r.Ok) {
        ShowMessage(N_.Messages, TSeverity::Error, r.Error);
        return false;
    }
    N_.Display.ClearAll();
    N_.Engine.ClearBuffer();
    if (kind == TMaterialKind::Text) ResetCounts();
    auto& m = N_.Settings.Main;
    m.InDir = Material_.InDir;
    if (kind == TMaterialKind::Words) m.WordFile = Material_.WordFile;
    if (kind == TMaterialKind::Phrases) m.PhrasesFile = Material_.PhrasesFile;
    if (kind == TMaterialKind::Text) m.InFile = Material_.TextFile;
    N_.Params.SetMorseMode(TrainingModeOf(kind));
    Info(r.Headline + "\r");
    Info(Utf8To1252(r.Path) + "\r");
    Changed();
    return true;
}

} // namespace brindle
