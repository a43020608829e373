#include "desk/CopyPractice.h"

#include "audio/SoundOut.h"
#include "base/ControlCodes.h"
#include "base/Speed.h"
#include "base/Text1252.h"
#include "display/DisplayModel.h"
#include "engine/MorseEngine.h"
#include "practice/TextFilters.h"
#include "settings/Settings.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace brindle {

namespace {

constexpr TRgb kErrorColour = 0xD00000;
constexpr std::size_t kRowWidth = 56; // [characters] of a row of items in the result

// A character as the result shows it: a prosign by its name.
std::string Shown(uint8_t c) {
    if (const int p = ProsignOfCode(c); p > 0) return std::string(ProsignName(p));
    return std::string(1, static_cast<char>(c));
}

bool SameCheck(const TCheckedItem& a, const TCheckedItem& b) {
    return a.Sent == b.Sent && a.Copied == b.Copied && a.CorrectChars == b.CorrectChars;
}

// One item's copy as pieces of text and colour: correct characters plain, wrong ones and extra
// ones in the error colour, a missed one as "_".
struct TPiece {
    std::string Text;
    bool Wrong = false;
};
std::vector<TPiece> CopyPieces(const TCheckedItem& item, const std::vector<TExtraChar>& extra,
                               std::size_t index) {
    std::vector<TPiece> pieces;
    auto extras = [&](std::size_t before) {
        for (const TExtraChar& e : extra)
            if (e.Item == index && e.Before == before) pieces.push_back({Shown(e.Copied), true});
    };
    for (std::size_t i = 0; i < item.Chars.size(); ++i) {
        extras(i);
        const TCheckedChar& c = item.Chars[i];
        switch (c.Result) {
        case TCharResult::Correct: pieces.push_back({Shown(c.Copied), false}); break;
        case TCharResult::Substituted: pieces.push_back({Shown(c.Copied), true}); break;
        case TCharResult::Missed: pieces.push_back({"_", true}); break;
        }
    }
    extras(item.Chars.size());
    return pieces;
}

std::size_t Width(const std::vector<TPiece>& pieces) {
    std::size_t n = 0;
    for (const TPiece& p : pieces)
        n += p.Text.size();
    return n;
}

std::string KindName(TItemKind kind) {
    switch (kind) {
    case TItemKind::Groups: return "groups";
    case TItemKind::Words: return "words";
    case TItemKind::QCodes: return "qcodes";
    case TItemKind::Phrases: return "phrases";
    case TItemKind::TextWords: return "text";
    case TItemKind::None: break;
    }
    return "practice";
}

} // namespace

std::string CopyKindName(TItemKind kind) {
    return KindName(kind);
}

int64_t TCopyPractice::Now() const {
    return N_.NowMs();
}

std::string TCopyPractice::CopyInEngineForm(const std::string& utf8) const {
    // Prosign names become their codes; case never matters.
    return ProsignsToCodes(Lower1252(Utf8To1252(utf8)));
}

bool TCopyPractice::PracticeCounts(bool aborted, bool copied, int heardItems, int plannedItems) {
    return !aborted && copied && heardItems > 0 &&
           static_cast<int64_t>(heardItems) * 100 >=
               static_cast<int64_t>(plannedItems) * CountingPercent;
}

std::size_t TCopyPractice::CopyLimit() const {
    // Three times the text planned, counted on the items queued so far and on the plan, with
    // room for a slow start; an item of a word list is rarely longer than 16 characters.
    std::size_t queued = 0;
    for (const std::string& item : Items_)
        queued += item.size() + 1;
    const auto planned = static_cast<std::size_t>(std::max(Start_.PlannedItems, 0)) * 17;
    return 3 * std::max(queued, planned) + 256;
}

void TCopyPractice::Begin(TCopyPacing pacing, const TPracticeStart& start) {
    Running_ = true;
    ResultOnView_ = false;
    ++Serial_;
    Pacing_ = pacing;
    Items_.clear();
    Heard_ = Added_ = 0;
    Checker_ = TCopyChecker();
    Written_.clear();
    Checked_.clear();
    CheckedExtra_.clear();
    ReactionMs_.clear();
    Copy_.clear();
    CopyUnsaved_ = false;
    ItemCopyFrom_ = 0;
    Waiting_ = AllSent_ = false;
    FirstKeyAtMs_.reset();
    Result_.reset();
    SpanMs_ = 0;
    BeganAtMs_ = Now();
    Start_ = start;
    Practice_ = N_.History().StartPractice(start);
}

void TCopyPractice::ItemQueued(const std::string& item) {
    if (Running_) Items_.push_back(item);
}

void TCopyPractice::CharSent(uint8_t ch) {
    if (!Running_ || IsSeparatorCode(ch)) return;
    // The character's last element ended a gap and a character gap before this event. Rendered
    // by the sound output's feeder, the event says where in the sound it happened, and the output
    // when that is heard; rendered from the event loop, it comes as the samples are rendered,
    // about one buffer before they are heard; keying a port it comes as it happens.
    const auto& cw = N_.Engine;
    const auto& t = cw.Timing();
    const int64_t at = cw.EventSample();
    const auto untilHeard = at >= 0 ? N_.Sound.MsUntilHeard(at) : std::nullopt;
    if (untilHeard)
        LastCharHeardAtMs_ =
            Now() + std::llround(*untilHeard) - (t.GapSamples + t.CharGapExtraSamples) / 8;
    else if (cw.SoundMode())
        LastCharHeardAtMs_ = Now() + N_.Sound.BufferTime() +
                             (cw.RenderedInCall() - t.GapSamples - t.CharGapExtraSamples) / 8;
    else
        LastCharHeardAtMs_ = Now() - t.GapMs;
}

void TCopyPractice::SessionEnded(int64_t spanMs) {
    SetSpan(spanMs);
    if (Running_ && Pacing_ == TCopyPacing::ItemByItem)
        N_.Later(0, [this] {
            if (Running_ && Pacing_ == TCopyPacing::ItemByItem) Check();
        });
}

void TCopyPractice::ItemHeard() {
    if (!Running_ || Heard_ >= Items_.size()) return;
    ++Heard_;
    HeardAtMs_ = LastCharHeardAtMs_;
    N_.Display.AddColouredText("\x95 ", N_.Display.FontColor()); // one mark per item
    if (Pacing_ == TCopyPacing::ItemByItem) Waiting_ = true;
    // This runs inside the engine's event: the item goes to the check and the history from the
    // event loop.
    N_.Later(0, [this, practice = Practice_] {
        if (!Running_ || practice != Practice_) return;
        for (; Added_ < Heard_; ++Added_) {
            const std::string& sent = Items_[Added_];
            if (Pacing_ == TCopyPacing::Continuous) Checker_.AddItem(sent);
            // Kept as heard, with nothing copied yet: the copy saved beside it is checked
            // against it should the program never get to the check.
            WriteItem(Added_, CheckCopy({sent}, {}).Items.at(0), {});
        }
        FlushSoon();
    });
}

void TCopyPractice::WriteItem(std::size_t index, const TCheckedItem& item,
                              const TItemTiming& timing) {
    if (Written_.size() <= index) Written_.resize(index + 1);
    if (Written_[index] && SameCheck(*Written_[index], item) && !timing.ItemMs) return;
    auto& history = N_.History();
    const int seq = static_cast<int>(index) + 1;
    const bool ok = Written_[index] ? history.ReplaceItem(Practice_, seq, item, timing)
                                    : history.AddItem(Practice_, item, timing);
    if (ok) Written_[index] = item;
}

void TCopyPractice::SaveCopy() {
    if (!CopyUnsaved_) return;
    CopyUnsaved_ = false;
    // Item by item, the items checked are kept with their copies; the rest covers the others.
    const std::size_t from = Pacing_ == TCopyPacing::ItemByItem ? Checked_.size() : 0;
    const std::string copy =
        CopyInEngineForm(Pacing_ == TCopyPacing::ItemByItem ? Copy_.substr(ItemCopyFrom_) : Copy_);
    if (Pacing_ == TCopyPacing::Continuous) Checker_.SetCopy(copy);
    N_.History().SaveCopy(Practice_, static_cast<int>(from) + 1, copy);
}

void TCopyPractice::FlushSoon() {
    if (FlushQueued_) return;
    FlushQueued_ = true;
    N_.Later(FlushMs, [this] {
        FlushQueued_ = false;
        if (!Running_) return;
        SaveCopy();
        N_.History().Flush();
    });
}

bool TCopyPractice::SetCopy(const std::string& utf8) {
    if (!Running_) return true;
    if (utf8.size() > CopyLimit() && utf8.size() > Copy_.size()) return false;
    Copy_ = utf8;
    ItemCopyFrom_ = std::min(ItemCopyFrom_, Copy_.size());
    CopyUnsaved_ = true;
    FlushSoon();
    return true;
}

void TCopyPractice::KeyTyped() {
    if (Running_ && Pacing_ == TCopyPacing::ItemByItem && !FirstKeyAtMs_) FirstKeyAtMs_ = Now();
}

void TCopyPractice::CheckPendingItem() {
    const std::size_t index = Heard_ - 1;
    const std::string copy = CopyInEngineForm(Copy_.substr(ItemCopyFrom_));
    const TCopyCheck check = CheckCopy({Items_[index]}, copy);
    TCheckedItem item = check.Items.at(0);
    std::optional<int> reaction;
    if (FirstKeyAtMs_)
        reaction = static_cast<int>(std::max<int64_t>(0, *FirstKeyAtMs_ - HeardAtMs_));
    // The first key answers the item's first character: that is the reaction time a character
    // gets (exact for items of one character).
    TItemTiming timing{reaction, {}};
    if (!item.Chars.empty()) timing.CharMs = {reaction};
    for (TExtraChar e : check.Extra) {
        e.Item = Checked_.size();
        CheckedExtra_.push_back(e);
    }
    Checked_.push_back(item);
    ReactionMs_.push_back(reaction);
    Added_ = std::max(Added_, Heard_);
    WriteItem(index, item, timing);
    ItemCopyFrom_ = Copy_.size();
    FirstKeyAtMs_.reset();
    Waiting_ = false;
    CopyUnsaved_ = true;
}

bool TCopyPractice::Return(bool onEmptyLine) {
    if (!Running_) return false;
    if (Pacing_ == TCopyPacing::ItemByItem && Waiting_) {
        CheckPendingItem();
        OnNextItemWanted();
        return true;
    }
    if (AllSent_ && onEmptyLine && !Waiting_) {
        Check();
        return true;
    }
    return false;
}

void TCopyPractice::Check() {
    if (!Running_) return;
    // A check before anything was heard scores nothing: it is kept as aborted.
    ResultOnView_ = true;
    Finish(Heard_ == 0);
    OnStopSending();
    ShowResult();
    if (Start_.Course && !Result_->Aborted) OnCourseChecked(Practice_, *Start_.Course, *Result_);
}

void TCopyPractice::Abort() {
    if (!Running_) return;
    ResultOnView_ = true;
    Finish(true);
    OnStopSending();
    ShowResult();
}

void TCopyPractice::Interrupted() {
    if (Running_) Finish(true);
}

void TCopyPractice::Finish(bool aborted) {
    TCopyCheck check;
    if (Pacing_ == TCopyPacing::ItemByItem) {
        if (Waiting_) CheckPendingItem(); // heard and partly copied: it counts
        for (const TCheckedItem& item : Checked_) {
            check.Items.push_back(item);
            check.SentChars += item.SentChars();
            check.CorrectChars += item.CorrectChars;
            check.ExtraChars += item.ExtraChars;
            for (const TCheckedChar& c : item.Chars) {
                if (c.Result == TCharResult::Substituted) ++check.SubstitutedChars;
                if (c.Result == TCharResult::Missed) ++check.MissedChars;
            }
        }
        check.Extra = CheckedExtra_; // for the result's colours
    } else {
        // Only what was heard is scored: the item on the air when it ended is left out.
        for (; Added_ < Heard_; ++Added_)
            Checker_.AddItem(Items_[Added_]);
        Checker_.SetCopy(CopyInEngineForm(Copy_));
        check = Checker_.Check();
        for (std::size_t i = 0; i < check.Items.size(); ++i)
            WriteItem(i, check.Items[i], {});
    }
    Running_ = false;
    Waiting_ = false;
    CopyUnsaved_ = false;
    if (SpanMs_ == 0) SpanMs_ = Now() - BeganAtMs_;
    const bool copied = !Copy_.empty() && Copy_.find_first_not_of(" \t\r\n") != std::string::npos;
    TPracticeEnd end;
    end.Aborted = aborted;
    end.Counts = PracticeCounts(aborted, copied, static_cast<int>(Heard_), Start_.PlannedItems);
    end.SentChars = check.SentChars;
    end.CorrectChars = check.CorrectChars;
    end.ExtraChars = check.ExtraChars;
    auto& history = N_.History();
    history.FinishPractice(Practice_, end);
    history.Flush();
    Result_ =
        TCopyResult{std::move(check), aborted, end.Counts, Start_.CharCpm, Start_.EffCpm, SpanMs_};
    OnChanged();
}

void TCopyPractice::ShowResult() {
    if (!Result_) return;
    auto& d = N_.Display;
    const TRgb plain = d.FontColor();
    const TCopyResult& r = *Result_;
    const TCopyCheck& c = r.Check;
    const int percent = c.SentChars == 0 ? 0 : static_cast<int>(std::lround(100.0 * c.Accuracy()));
    std::string extra;
    if (c.ExtraChars > 0)
        extra = ", " + std::to_string(c.ExtraChars) + " extra character" +
                (c.ExtraChars == 1 ? "" : "s") + " copied";
    d.AddInfoText(std::string("\rCopy practice ") + (r.Aborted ? "aborted" : "checked") + ": " +
                  std::to_string(c.CorrectChars) + " of " + std::to_string(c.SentChars) +
                  " characters correct" + extra + " (" + std::to_string(percent) + " %)\r\r");
    // Each item sent above what was copied for it, a row of items at a time.
    std::size_t i = 0;
    while (i < c.Items.size()) {
        std::string sentRow = "sent    ";
        std::vector<TPiece> copyRow{{"copied  ", false}};
        std::size_t width = sentRow.size();
        for (; i < c.Items.size(); ++i) {
            const std::string sent = CodesToProsignNames(c.Items[i].Sent);
            const auto pieces = CopyPieces(c.Items[i], c.Extra, i);
            const std::size_t column = std::max(sent.size(), Width(pieces)) + 2;
            if (width + column > kRowWidth && width > 8) break;
            width += column;
            sentRow += sent + std::string(column - sent.size(), ' ');
            copyRow.insert(copyRow.end(), pieces.begin(), pieces.end());
            copyRow.push_back({std::string(column - Width(pieces), ' '), false});
        }
        d.AddColouredText(sentRow + "\r", plain);
        for (const TPiece& p : copyRow)
            d.AddColouredText(p.Text, p.Wrong ? kErrorColour : plain);
        d.AddColouredText("\r\r", plain);
    }
    // The characters missed or confused here, the most frequent first.
    std::map<std::pair<uint8_t, uint8_t>, int> counts;
    for (const TCheckedItem& item : c.Items)
        for (const TCheckedChar& ch : item.Chars)
            if (ch.Result != TCharResult::Correct) ++counts[{ch.Sent, ch.Copied}];
    if (!counts.empty()) {
        std::vector<std::pair<std::pair<uint8_t, uint8_t>, int>> sorted(counts.begin(),
                                                                        counts.end());
        std::stable_sort(sorted.begin(), sorted.end(),
                         [](const auto& a, const auto& b) { return a.second > b.second; });
        // Whole entries to a line, so that none is broken between two lines.
        std::string text = "Missed or confused:";
        std::size_t line = text.size();
        for (std::size_t k = 0; k < sorted.size(); ++k) {
            const auto& [pair, n] = sorted[k];
            std::string entry =
                Shown(pair.first) +
                (pair.second == 0 ? std::string(" missed") : " as " + Shown(pair.second)) + " " +
                std::to_string(n) + "x" + (k + 1 < sorted.size() ? "," : "");
            if (line + 1 + entry.size() > kRowWidth) {
                text += "\r  ";
                line = 2;
            } else {
                text += " ";
                ++line;
            }
            text += entry;
            line += entry.size();
        }
        d.AddInfoText(text + "\r");
    }
    const bool wpm = N_.Settings.Main.ShowWpM;
    const std::string unit = wpm ? " WpM" : " CpM";
    std::string speed = "Speed " + FormatSpeed(r.CharCpm, wpm) + unit;
    if (r.EffCpm != r.CharCpm) speed += ", effective " + FormatSpeed(r.EffCpm, wpm) + unit;
    d.AddInfoText(speed + "; time " + FormatSessionTime(r.SpanMs) + "\r");
    OnResultShown();
}

} // namespace brindle
