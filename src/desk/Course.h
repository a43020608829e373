// The Koch course in the main window's logic: its settings (order, a custom order, the lesson,
// the length of a practice, the speeds, the group size), a lesson started as copy practice with
// the lesson's characters drawn by their weight from the history (or the lesson's words, Q-codes
// and phrases), and the verdict when the practice is checked: the next lesson is offered, never
// taken without asking, and after a bad practice the lesson before is. No widgets.
#pragma once

#include "base/MessageSink.h"
#include "base/Signal.h"
#include "desk/CopyPractice.h"
#include "desk/Session.h"
#include "learn/LearnTypes.h"
#include "settings/Settings.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace brindle {

class TMorseEngine;
class TDisplayModel;

// What the course works with: its settings (and the training mode and speed unit), the engine's
// character set, the display its verdicts go to, the copy practice it may be running in, the
// history, the user's answers, and the calls for later.
struct TCourseNeeds {
    TSettings& Settings;
    const TMorseEngine& Engine;
    TDisplayModel& Display;
    const TCopyPractice& Copy;
    TMessageSink Messages;
    std::function<bool(const std::string& question)> AskYesNo;
    std::function<void(const TKochSettings&)> SaveCourse; // written at once
    std::function<THistoryStore&()> History;
    std::function<void(int ms, std::function<void()> call)> Later;
};

class TCourse {
public:
    explicit TCourse(TCourseNeeds needs) : N_(std::move(needs)) {}

    // --- State ------------------------------------------------------------------------------
    const TKochSettings& Settings() const;
    TCourseOrder Order() const;
    // The order's characters (engine form); a custom one as cleaned.
    std::string OrderChars() const;
    int Lesson() const;      // clamped to the order
    int LessonCount() const; // 0 for a custom order too short for a lesson
    std::string LessonChars() const;
    uint8_t NewestChar() const;
    // The items a practice of the set length has, at the effective speed.
    int PracticeItems() const;
    TSignal<> OnChanged;
    TSignal<> OnVerdictShown; // a verdict was written at the display's end

    // --- The course window ------------------------------------------------------------------
    void SetOrder(int order);
    // A custom order, cleaned like a character field; duplicates and characters the tables do
    // not send are dropped and named in a message; an order of fewer than two characters is
    // refused (false) and the old one kept.
    bool SetCustom(const std::string& text1252);
    void SetLesson(int lesson);
    void SetMinutes(int minutes);
    void SetCharCpm(int cpm);
    void SetEffCpm(int cpm);
    void SetGroupSize(int size); // 0: random, RandomGroupSizes

    // --- Practice ---------------------------------------------------------------------------
    // Shift+F11 and the course window: the lesson's session, drawn from the material loaded for
    // the training mode; none (after a message) when the order has no lesson.
    std::optional<TSessionPlan> LessonPlan(const TPracticeMaterial& material);
    // A course practice of lesson was checked: the verdict, and the next (or the earlier) lesson
    // offered. The verdict is the practice's own lesson's, whatever the course shows now.
    void PracticeChecked(THistoryStore::TPracticeId practice, const TCourseLesson& lesson,
                         const TCopyResult& result);
    // A course practice runs: the course's settings are not changed under it.
    bool Locked() const;
    // The newest character's latest copies that the pass is judged on.
    static constexpr int NewCharTallyCopies = 50;

private:
    TKochSettings& S();
    void AcceptLesson(int lesson);
    std::string OrderCharsOf(TCourseOrder order) const;
    void Changed();

    TCourseNeeds N_;
};

} // namespace brindle
