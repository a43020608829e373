// The Koch course without a window and without SQL: its orders and lessons, the share of the
// draws each character of a lesson gets from the learner's record, the rule for passing a lesson,
// and the words a lesson can spell. Characters in engine form, lower case.
#pragma once

#include "base/MessageSink.h"
#include "base/Ranges.h"
#include "engine/MorseTables.h"
#include "learn/LearnTypes.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

// --- Orders

// The order of a preset; empty for Custom.
std::string_view PresetOrder(TCourseOrder order);
// Its name for the window: "LCWO", "G4FON / KochMorse", "CWops", "Custom".
std::string_view CourseOrderName(TCourseOrder order);

inline constexpr int MinOrderLength = 2; // a course needs a first lesson of two characters
// The sizes of a lesson's groups when the size is random (a group size of 0).
inline constexpr TRange RandomGroupSizes{2, 7};

// A custom order as cleaned from the user's text.
struct TCustomOrder {
    std::string Order;                    // what is kept, in the order typed
    std::vector<std::string> Duplicates;  // dropped, by name (UTF-8, prosigns as "<ar>"), once each
    std::vector<std::string> NotSendable; // dropped: no Morse code under the character set
    bool Accepted = false;                // at least MinOrderLength characters kept
};

// Cleans text (Windows-1252, prosigns by name, case and spaces of no account) like a character
// field. Dropped characters and a refused order are told through sink in one message.
TCustomOrder ParseCustomOrder(std::string_view text, const TCharSet& chars,
                              const TMessageSink& sink = {});

// --- Lessons: lesson n (1 .. LessonCount) practises the first n + 1 characters of the order.

int LessonCount(std::string_view order); // 0 for an order of fewer than two characters
// A lesson beyond the order is its last lesson; one below 1 is lesson 1.
int ClampLesson(std::string_view order, int lesson);
std::string LessonChars(std::string_view order, int lesson);
// The character the lesson brings in (its last); 0 for an order of fewer than two characters.
uint8_t NewestChar(std::string_view order, int lesson);

// --- Weighting: how often each character of a lesson is drawn.

// A character is weak while it has fewer than WeakBelowCopies copies in the history, or less than
// WeakBelowPercent right among its latest copies.
inline constexpr int WeakBelowCopies = 20;
inline constexpr int WeakBelowPercent = 90;
bool IsWeak(const TCharStats& stats);

// The share of the draws each character of lessonChars should get, in the same order (for
// TRandomChars::SetWeightedCharacters). The lesson's newest character (the last) gets
// NewestShare, or half the others' shares together when that is more (so it comes in at least a
// third of the draws once the others' shares add up to 6); an older one that is not weak 1 to 1.2
// (more as its latest accuracy falls from 100 % to 90 %); a weak one WeakShareMin to WeakShareMax
// (more the lower its latest accuracy). So the newest character is always drawn the most, at
// least 2.5 times as often as any older one that is not weak, and a weak one at least 1.5 times as
// often as one at 100 %. stats are looked up by character; one without stats is weak.
inline constexpr double NewestShare = 3.0;
inline constexpr double WeakShareMin = 1.8;
inline constexpr double WeakShareMax = 2.4;
std::vector<double> LessonShares(std::string_view lessonChars,
                                 const std::vector<TCharStats>& stats);

// --- Passing

inline constexpr int PassPercent = 90;      // overall, and on the newest character
inline constexpr int NewCharMinCopies = 20; // copies of the newest character that count
inline constexpr int StepBackBelowPercent = 50;

struct TLessonVerdict {
    bool Passed = false;
    bool OfferStepBack = false; // the practice went so badly that the lesson before is offered
    bool operator==(const TLessonVerdict&) const = default;
};

// A practice passes its lesson when it counts (it ran at least 90 % of its planned length and
// something was copied), its score over its sentChars with errors (substituted, missed and extra
// characters) is PassPercent or more, and newest (the newest character's latest copies in the
// practices of the lesson that count, this one included) has at least NewCharMinCopies copies
// with PassPercent or more right. A practice that does not count is never judged: neither a pass
// nor a step back.
TLessonVerdict JudgeLesson(bool counts, int sentChars, int errors, TCharTally newest);

// --- Material

// Fewer entries than this after LessonMaterial: the caller practises random groups instead.
inline constexpr std::size_t MinLessonMaterial = 10;

// The entries (words, Q-codes, phrases in the lists' form: prosigns by name) spelled only with
// lessonChars; case does not matter, spaces are allowed. The entries are kept as they were.
std::vector<std::string> LessonMaterial(const std::vector<std::string>& entries,
                                        std::string_view lessonChars);

} // namespace brindle
