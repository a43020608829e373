#include "learn/KochCourse.h"

#include "base/Text1252.h"
#include "practice/TextFilters.h"

#include <algorithm>
#include <array>
#include <numeric>

namespace brindle {

namespace {

constexpr std::string_view kLcwo = "kmuresnaptlwi.jz=foy,vg5/q92h38b?47c1d60x";
constexpr std::string_view kG4fon = "kmrsuaptlowi.njef0y,vg5/q9zh38b?427c1d6x";
constexpr std::string_view kCwops = "teanois14rhdl25ucmw36?fypg79/bvkj80=xqz";

// The character's name for the user: UTF-8, a prosign as "<ar>".
std::string NameOf(uint8_t c) {
    return Cp1252ToUtf8(CodesToProsignNames(std::string(1, static_cast<char>(c))));
}

std::string Listed(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& n : names)
        out += (out.empty() ? "" : " ") + n;
    return out;
}

const TCharStats* Find(const std::vector<TCharStats>& stats, uint8_t c) {
    const auto it = std::find_if(stats.begin(), stats.end(),
                                 [c](const TCharStats& s) { return FoldCase(s.Char) == c; });
    return it == stats.end() ? nullptr : &*it;
}

} // namespace

std::string_view PresetOrder(TCourseOrder order) {
    switch (order) {
    case TCourseOrder::Lcwo: return kLcwo;
    case TCourseOrder::G4fon: return kG4fon;
    case TCourseOrder::Cwops: return kCwops;
    case TCourseOrder::Custom: break;
    }
    return {};
}

std::string_view CourseOrderName(TCourseOrder order) {
    switch (order) {
    case TCourseOrder::Lcwo: return "LCWO";
    case TCourseOrder::G4fon: return "G4FON / KochMorse";
    case TCourseOrder::Cwops: return "CWops";
    case TCourseOrder::Custom: break;
    }
    return "Custom";
}

TCustomOrder ParseCustomOrder(std::string_view text, const TCharSet& chars,
                              const TMessageSink& sink) {
    TCustomOrder result;
    auto note = [](std::vector<std::string>& list, const std::string& name) {
        if (std::find(list.begin(), list.end(), name) == list.end()) list.push_back(name);
    };
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto byte = static_cast<uint8_t>(text[pos]);
        if (byte <= ' ' || byte == 127) { // spaces and control characters separate, nothing more
            ++pos;
            continue;
        }
        uint8_t c = Lower1252(byte);
        if (c == '<') {
            const TProsignMatch m = MatchProsign(text, pos, TProsignToken::FirstClose);
            if (m.Index == 0) {
                note(result.NotSendable, Cp1252ToUtf8(Lower1252(text.substr(pos, m.Length))));
                pos += m.Length;
                continue;
            }
            c = ProsignCode(m.Index);
            pos += m.Length;
        } else {
            ++pos;
        }
        if (c == BlipMark || !chars.IsSendable(c)) {
            note(result.NotSendable, NameOf(c));
        } else if (result.Order.find(static_cast<char>(c)) != std::string::npos) {
            note(result.Duplicates, NameOf(c));
        } else {
            result.Order += static_cast<char>(c);
        }
    }
    result.Accepted = static_cast<int>(result.Order.size()) >= MinOrderLength;

    std::string message;
    if (!result.Duplicates.empty())
        message += "Dropped from the custom order because they are in it already: " +
                   Listed(result.Duplicates) + "\n";
    if (!result.NotSendable.empty())
        message += "Dropped from the custom order because they cannot be sent in Morse: " +
                   Listed(result.NotSendable) + "\n";
    if (!result.Accepted)
        message += "A custom order needs at least " + std::to_string(MinOrderLength) +
                   " characters; this one has " + std::to_string(result.Order.size()) +
                   ". The order is not used.\n";
    if (!message.empty()) {
        message.pop_back();
        ShowMessage(sink, TSeverity::Warning, message);
    }
    return result;
}

int LessonCount(std::string_view order) {
    return order.size() < 2 ? 0 : static_cast<int>(order.size()) - 1;
}

int ClampLesson(std::string_view order, int lesson) {
    return std::clamp(lesson, 1, std::max(1, LessonCount(order)));
}

std::string LessonChars(std::string_view order, int lesson) {
    if (LessonCount(order) == 0) return std::string(order);
    return std::string(order.substr(0, static_cast<std::size_t>(ClampLesson(order, lesson)) + 1));
}

uint8_t NewestChar(std::string_view order, int lesson) {
    if (LessonCount(order) == 0) return 0;
    return static_cast<uint8_t>(order[static_cast<std::size_t>(ClampLesson(order, lesson))]);
}

bool IsWeak(const TCharStats& stats) {
    return stats.Copies < WeakBelowCopies || stats.RecentCopies == 0 ||
           stats.RecentCorrect * 100 < stats.RecentCopies * WeakBelowPercent;
}

std::vector<double> LessonShares(std::string_view lessonChars,
                                 const std::vector<TCharStats>& stats) {
    std::vector<double> shares;
    for (std::size_t i = 0; i < lessonChars.size(); ++i) {
        if (i + 1 == lessonChars.size()) {
            const double others = std::accumulate(shares.begin(), shares.end(), 0.0);
            shares.push_back(std::max(NewestShare, others / 2));
            continue;
        }
        const uint8_t c = FoldCase(static_cast<uint8_t>(lessonChars[i]));
        const TCharStats* s = Find(stats, c);
        const TCharStats none{c};
        const TCharStats& record = s ? *s : none;
        const double accuracy =
            record.RecentCopies == 0
                ? 0.0
                : static_cast<double>(record.RecentCorrect) / record.RecentCopies;
        const double limit = WeakBelowPercent / 100.0;
        if (!IsWeak(record))
            shares.push_back(1.0 + 2.0 * (1.0 - accuracy));
        else if (record.RecentCopies > 0 && accuracy < limit)
            shares.push_back(std::min(WeakShareMax, WeakShareMin + 5.0 * (limit - accuracy)));
        else
            shares.push_back(WeakShareMin);
    }
    return shares;
}

TLessonVerdict JudgeLesson(bool counts, int sentChars, int errors, TCharTally newest) {
    TLessonVerdict v;
    if (!counts || sentChars <= 0) return v;
    const int64_t sent = sentChars;
    const int64_t right = std::max<int64_t>(0, sent - std::max(errors, 0)); // extras included
    const bool overall = right * 100 >= sent * PassPercent;
    const bool newChar =
        newest.Copies >= NewCharMinCopies && newest.Correct * 100 >= newest.Copies * PassPercent;
    v.Passed = overall && newChar;
    v.OfferStepBack = right * 100 < sent * StepBackBelowPercent;
    return v;
}

std::vector<std::string> LessonMaterial(const std::vector<std::string>& entries,
                                        std::string_view lessonChars) {
    std::array<bool, 256> allowed{};
    for (const char c : lessonChars)
        allowed[FoldCase(static_cast<uint8_t>(c))] = true;
    allowed[' '] = true;
    std::vector<std::string> out;
    for (const std::string& entry : entries) {
        const std::string codes = ProsignsToCodes(Lower1252(entry));
        const bool spelled = codes.find_first_not_of(' ') != std::string::npos &&
                             std::all_of(codes.begin(), codes.end(),
                                         [&](char c) { return allowed[static_cast<uint8_t>(c)]; });
        if (spelled) out.push_back(entry);
    }
    return out;
}

} // namespace brindle
