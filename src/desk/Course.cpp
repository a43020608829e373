#include "desk/Course.h"

#include "base/Speed.h"
#include "base/Text1252.h"
#include "display/DisplayModel.h"
#include "engine/MorseEngine.h"
#include "learn/KochCourse.h"
#include "practice/RandomChars.h"
#include "practice/TextFilters.h"
#include "settings/SettingsTable.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace brindle {

namespace {

std::string Named(std::string_view chars) {
    std::string out;
    for (const char c : chars) {
        if (!out.empty()) out += ' ';
        out += CodesToProsignNames(std::string(1, c));
    }
    return out;
}

int Percent(int part, int whole) {
    return whole == 0 ? 0 : static_cast<int>(std::lround(100.0 * part / whole));
}

} // namespace

const TKochSettings& TCourse::Settings() const {
    return N_.Settings.Koch;
}

TKochSettings& TCourse::S() {
    return N_.Settings.Koch;
}

void TCourse::Changed() {
    OnChanged();
}

TCourseOrder TCourse::Order() const {
    return static_cast<TCourseOrder>(std::clamp(Settings().Order, 0, CourseOrderCount - 1));
}

std::string TCourse::OrderChars() const {
    return OrderCharsOf(Order());
}

std::string TCourse::OrderCharsOf(TCourseOrder order) const {
    if (order != TCourseOrder::Custom) return std::string(PresetOrder(order));
    return ParseCustomOrder(Settings().Custom, N_.Engine.CharSet()).Order;
}

int TCourse::LessonCount() const {
    return brindle::LessonCount(OrderChars());
}

int TCourse::Lesson() const {
    return ClampLesson(OrderChars(), Settings().Lesson);
}

std::string TCourse::LessonChars() const {
    return brindle::LessonChars(OrderChars(), Lesson());
}

uint8_t TCourse::NewestChar() const {
    return brindle::NewestChar(OrderChars(), Lesson());
}

int TCourse::PracticeItems() const {
    // A group and its word space take about as long as its characters and one more at the
    // effective speed; random sizes are their middle on the average.
    const auto& k = Settings();
    const double length =
        k.GroupSize > 0 ? k.GroupSize : (RandomGroupSizes.Min + RandomGroupSizes.Max) / 2.0;
    const double items = k.Minutes * static_cast<double>(k.EffCpm) / (length + 1.0);
    return std::max(1, static_cast<int>(std::lround(items)));
}

void TCourse::SetOrder(int order) {
    if (Locked()) return;
    S().Order = std::clamp(order, 0, CourseOrderCount - 1);
    // A lesson beyond the new order's length is its last lesson.
    if (LessonCount() > 0) S().Lesson = Lesson();
    Changed();
}

bool TCourse::SetCustom(const std::string& text) {
    if (Locked()) return false;
    const TCustomOrder order = ParseCustomOrder(text, N_.Engine.CharSet(), N_.Messages);
    if (!order.Accepted) {
        Changed();
        return false;
    }
    S().Custom = CodesToProsignNames(order.Order);
    if (Order() == TCourseOrder::Custom) S().Lesson = Lesson();
    Changed();
    return true;
}

void TCourse::SetLesson(int lesson) {
    if (Locked()) return;
    S().Lesson = std::max(1, lesson);
    if (LessonCount() > 0) S().Lesson = Lesson();
    Changed();
}

void TCourse::SetMinutes(int minutes) {
    if (Locked()) return;
    S().Minutes = SettingOf<&TSettings::Koch, &TKochSettings::Minutes>().Range.Clamp(minutes);
    Changed();
}

void TCourse::SetCharCpm(int cpm) {
    if (Locked()) return;
    S().CharCpm = SettingOf<&TSettings::Koch, &TKochSettings::CharCpm>().Range.Clamp(cpm);
    Changed();
}

void TCourse::SetEffCpm(int cpm) {
    if (Locked()) return;
    S().EffCpm = SettingOf<&TSettings::Koch, &TKochSettings::EffCpm>().Range.Clamp(cpm);
    Changed();
}

void TCourse::SetGroupSize(int size) {
    if (Locked()) return;
    S().GroupSize = SettingOf<&TSettings::Koch, &TKochSettings::GroupSize>().Range.Clamp(size);
    Changed();
}

bool TCourse::Locked() const {
    return N_.Copy.Running() && N_.Copy.Start().Course.has_value();
}

std::optional<TSessionPlan> TCourse::LessonPlan(const TPracticeMaterial& material) {
    const std::string chars = LessonChars();
    if (chars.size() < 2) {
        ShowMessage(N_.Messages, TSeverity::Warning,
                    "The custom order of the Koch course needs at least 2 characters.");
        return std::nullopt;
    }
    const auto& k = Settings();
    const bool wpm = N_.Settings.Main.ShowWpM;
    const std::string unit = wpm ? " WpM" : " CpM";
    TSessionPlan plan;
    plan.Caption = "Koch Lesson";
    plan.Chars = chars;
    plan.CharCpm = std::max(k.CharCpm, k.EffCpm);
    plan.EffCpm = k.EffCpm;
    plan.GroupSize = k.GroupSize;
    plan.Items = PracticeItems();
    plan.Course = TCourseLesson{Order(), Lesson()};
    // The words, Q-codes or phrases of the training mode, as far as the lesson spells them.
    const TItemKind mode = ItemKindOfMode(N_.Settings.Tutor.TrainingMode());
    std::vector<std::string> entries;
    const char* what = nullptr;
    if (mode == TItemKind::Words) {
        entries = material.WordList;
        what = "words";
    } else if (mode == TItemKind::Phrases) {
        entries = material.PhraseList;
        what = "phrases";
    } else if (mode == TItemKind::QCodes) {
        for (const std::string_view code : TRandomChars::QCodeTable)
            entries.push_back("q" + std::string(code));
        what = "Q-codes";
    }
    if (what) {
        entries = LessonMaterial(entries, chars);
        if (entries.size() >= MinLessonMaterial) {
            plan.Kind = mode;
            plan.Entries = std::move(entries);
        } else {
            ShowMessage(N_.Messages, TSeverity::Information,
                        "Only " + std::to_string(entries.size()) + " " + what +
                            " can be spelled with the characters of lesson " +
                            std::to_string(Lesson()) + ": the lesson uses random groups.");
        }
    }
    const std::vector<TCharStats> stats = N_.History().CharStats(chars);
    if (plan.Kind == TItemKind::Groups) plan.Shares = LessonShares(chars, stats);
    // A character never practised is heard on its own first.
    const uint8_t newest = NewestChar();
    const bool practised = std::any_of(stats.begin(), stats.end(), [newest](const TCharStats& s) {
        return s.Char == newest && s.Copies > 0;
    });
    if (!practised && N_.History().Available()) plan.Introduce = newest;
    plan.Lines[0] = "Koch lesson " + std::to_string(Lesson()) + " of " +
                    std::to_string(LessonCount()) + " (" + std::string(CourseOrderName(Order())) +
                    "): " + std::to_string(chars.size()) + " characters, the newest " +
                    Cp1252ToUtf8(Named(std::string(1, static_cast<char>(NewestChar()))));
    plan.Lines[1] = Cp1252ToUtf8(Named(chars));
    plan.Lines[2] = std::to_string(plan.Items) + " " +
                    (plan.Kind == TItemKind::Groups
                         ? (k.GroupSize > 0 ? "groups of " + std::to_string(k.GroupSize)
                                            : "groups of " + std::to_string(RandomGroupSizes.Min) +
                                                  " to " + std::to_string(RandomGroupSizes.Max))
                         : std::string(what)) +
                    ", about " + std::to_string(k.Minutes) +
                    (k.Minutes == 1 ? " minute" : " minutes");
    plan.Lines[3] =
        "Characters at " + FormatSpeed(plan.CharCpm, wpm) + unit +
        (plan.CharCpm > plan.EffCpm ? ", overall " + FormatSpeed(plan.EffCpm, wpm) + unit
                                    : std::string());
    return plan;
}

void TCourse::PracticeChecked(THistoryStore::TPracticeId practice, const TCourseLesson& course,
                              const TCopyResult& result) {
    if (result.Aborted) return;
    const std::string order = OrderCharsOf(course.Order);
    const uint8_t newest = brindle::NewestChar(order, course.Lesson);
    const int lesson = course.Lesson;
    // The newest character's latest copies in practices of this lesson that count; without a
    // history, this practice's.
    TCharTally tally;
    auto& history = N_.History();
    if (history.Available() && practice != 0) {
        tally = history.NewestCharTally(course, newest, NewCharTallyCopies);
    } else if (result.Counts) {
        for (const TCheckedItem& item : result.Check.Items)
            for (const TCheckedChar& c : item.Chars)
                if (c.Sent == newest) {
                    ++tally.Copies;
                    if (c.Result == TCharResult::Correct) ++tally.Correct;
                }
    }
    const TCopyCheck& c = result.Check;
    const TLessonVerdict verdict = JudgeLesson(
        result.Counts, c.SentChars, c.SubstitutedChars + c.MissedChars + c.ExtraChars, tally);
    const int percent = static_cast<int>(std::lround(100.0 * c.Accuracy()));
    const std::string name = Named(std::string(1, static_cast<char>(newest)));
    const std::string newestLine = "\"" + name + "\" " +
                                   std::to_string(Percent(tally.Correct, tally.Copies)) +
                                   " % over its last " + std::to_string(tally.Copies) + " copies";
    auto& d = N_.Display;
    if (verdict.Passed) {
        d.AddInfoText("Lesson " + std::to_string(lesson) + " passed (" + newestLine + ")\r");
    } else if (!result.Counts) {
        d.AddInfoText("This practice does not count towards lesson " + std::to_string(lesson) +
                      ": a practice counts when it runs at least " +
                      std::to_string(TCopyPractice::CountingPercent) +
                      " % of its length and something was copied\r");
    } else {
        d.AddInfoText("Lesson " + std::to_string(lesson) +
                      " not yet passed: " + std::to_string(percent) + " % overall, " + newestLine +
                      "; " + std::to_string(PassPercent) + " % of both, over at least " +
                      std::to_string(NewCharMinCopies) + " copies, pass it\r");
    }
    OnVerdictShown();
    // The question comes from the event loop, never from inside the engine's event.
    const bool next = verdict.Passed && lesson < brindle::LessonCount(order);
    const bool back = !verdict.Passed && verdict.OfferStepBack && lesson > 1;
    if (!next && !back) return;
    N_.Later(0, [this, next, lesson] {
        const auto& ask = N_.AskYesNo;
        if (next) {
            if (ask && ask("Lesson " + std::to_string(lesson) + " passed. Go on to lesson " +
                           std::to_string(lesson + 1) + "?"))
                AcceptLesson(lesson + 1);
        } else if (ask && ask("This practice of lesson " + std::to_string(lesson) + " went below " +
                              std::to_string(StepBackBelowPercent) + " %. Go back to lesson " +
                              std::to_string(lesson - 1) + "?")) {
            AcceptLesson(lesson - 1);
        }
    });
}

void TCourse::AcceptLesson(int lesson) {
    SetLesson(lesson);
    // Kept at once: a crash before the exit must not take the learner back a lesson.
    if (N_.SaveCourse) N_.SaveCourse(Settings());
}

} // namespace brindle
