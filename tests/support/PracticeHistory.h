// A made-up learner for the progress window's tests, screenshots and benchmark: a course climbing
// its lessons beside groups, words and item-by-item practice with reaction times, the speed rising,
// a few weak characters copied as look-alikes. The same plan gives the same history.
#pragma once

#include "base/Random.h"
#include "learn/CopyCheck.h"
#include "learn/HistoryStore.h"
#include "learn/KochCourse.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace brindle::test {

struct TLearnerPlan {
    int Practices = 300;
    int PerDay = 3;        // practices a day, spread over 14 hours
    int Items = 5;         // items a practice
    int ItemChars = 5;     // characters an item
    bool WithTimes = true; // every fourth practice item by item, with reaction times
    uint32_t Seed = 7;
};

// Writes plan's practices through store, moving now (the store's clock) forward from now minus
// the plan's days, and leaves now as it was, after the last one. False when the store refused a
// write.
inline bool MakeLearnerHistory(THistoryStore& store, TTimePoint& now, const TLearnerPlan& plan) {
    TRandomSource r(plan.Seed);
    const std::string_view order = PresetOrder(TCourseOrder::Lcwo);
    const int days = (plan.Practices + plan.PerDay - 1) / plan.PerDay;
    const TTimePoint end = now;
    const auto day = std::chrono::hours(24);
    const TTimePoint start = end - days * day;
    // Characters copied as a look-alike now and then: (sent, copied as, in a thousand).
    struct TWeak {
        char Sent;
        char Copied;
        uint32_t PerMille;
    };
    static constexpr TWeak weak[] = {{'b', '6', 180}, {'h', '5', 140}, {'p', 'w', 110},
                                     {'y', 'q', 90},  {'v', '4', 80},  {'f', 'l', 60}};
    for (int p = 0; p < plan.Practices; ++p) {
        // A day's practices spread over 14 hours, the last one before the day is over.
        now = start + (p / plan.PerDay) * day +
              std::chrono::minutes(8 * 60 + (p % plan.PerDay) * (14 * 60 / plan.PerDay) +
                                   static_cast<int>(r.Below(40)));
        const double progress = static_cast<double>(p) / std::max(1, plan.Practices - 1);
        const int lesson = 1 + static_cast<int>(progress * 30);
        // The course practises its lesson's characters, everything else all of them.
        const std::string chars = LessonChars(order, p % 4 == 0 ? lesson : LessonCount(order));
        const int cpm = 60 + 10 * static_cast<int>(progress * 5);
        const bool single = plan.WithTimes && p % 4 == 3;
        TPracticeStart what{"groups", cpm, cpm * 3 / 4, std::nullopt};
        if (single)
            what.Kind = "single";
        else if (p % 4 == 0)
            what = TPracticeStart{"course", cpm, cpm * 3 / 4,
                                  TCourseLesson{TCourseOrder::Lcwo, lesson}};
        else if (p % 4 == 2)
            what.Kind = "words";
        const auto id = store.StartPractice(what);
        int sent = 0, correct = 0, extra = 0;
        // A learner gets better: fewer slips as the months go by.
        const uint32_t slips = static_cast<uint32_t>(60 - 40 * progress);
        for (int i = 0; i < plan.Items; ++i) {
            std::string item, copy;
            TItemTiming timing;
            for (int k = 0; k < plan.ItemChars; ++k) {
                const char c = chars[r.Below(static_cast<uint32_t>(chars.size()))];
                item += c;
                char copied = c;
                for (const TWeak& w : weak)
                    if (w.Sent == c && r.Below(1000) < w.PerMille) copied = w.Copied;
                const uint32_t roll = r.Below(1000);
                if (copied == c && roll < slips / 2) copied = 0; // missed
                if (copied) copy += copied;
                if (single) {
                    int ms = 350 + static_cast<int>(r.Below(500));
                    for (const TWeak& w : weak)
                        if (w.Sent == c) ms += 150 + static_cast<int>(w.PerMille);
                    timing.CharMs.push_back(ms);
                }
            }
            const TCheckedItem checked = CheckCopy({item}, copy).Items.at(0);
            sent += checked.SentChars();
            correct += checked.CorrectChars;
            extra += checked.ExtraChars;
            if (!store.AddItem(id, checked, timing)) return false;
        }
        const bool aborted = p % 37 == 36;
        if (!store.FinishPractice(id, {aborted, !aborted, sent, correct, extra})) return false;
    }
    now = end;
    return true;
}

} // namespace brindle::test
