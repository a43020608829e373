#include "desk/Progress.h"

#include "base/Speed.h"
#include "learn/KochCourse.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <tuple>
#include <utility>

namespace brindle {

namespace {

// ----------------------------------------------------------------------------------------------
// Times: the history's UTC texts, local days, weeks and months.

// The local start of the day, week (from Monday) or month around t; t itself for a practice.
std::time_t SpanStart(std::time_t t, TPointSpan span) {
    if (span == TPointSpan::Practice) return t;
    std::tm tm{};
    localtime_r(&t, &tm);
    tm.tm_hour = tm.tm_min = tm.tm_sec = 0;
    tm.tm_isdst = -1;
    if (span == TPointSpan::Week) tm.tm_mday -= (tm.tm_wday + 6) % 7;
    if (span == TPointSpan::Month) tm.tm_mday = 1;
    return std::mktime(&tm);
}

// The local start of the span after the one that starts at start.
std::time_t NextSpanStart(std::time_t start, TPointSpan span) {
    std::tm tm{};
    localtime_r(&start, &tm);
    tm.tm_hour = tm.tm_min = tm.tm_sec = 0;
    tm.tm_isdst = -1;
    if (span == TPointSpan::Day) tm.tm_mday += 1;
    if (span == TPointSpan::Week) tm.tm_mday += 7;
    if (span == TPointSpan::Month) tm.tm_mon += 1;
    return std::mktime(&tm);
}

// "2025-03-10 14:05" in local time; without the time "2025-03-10"; a month "2025-03".
std::string LocalText(std::time_t t, const char* format = "%Y-%m-%d %H:%M") {
    std::tm tm{};
    localtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, format, &tm); // only numbers: no locale in them
    return text;
}

std::string LocalTextMs(int64_t ms, const char* format = "%Y-%m-%d %H:%M") {
    return LocalText(static_cast<std::time_t>(ms / 1000), format);
}

std::string WhenOf(const TProgressPoint& p, TPointSpan span) {
    switch (span) {
    case TPointSpan::Practice: return LocalTextMs(p.TimeMs);
    case TPointSpan::Day: return LocalTextMs(p.TimeMs, "%Y-%m-%d");
    case TPointSpan::Week: return "Week of " + LocalTextMs(p.TimeMs, "%Y-%m-%d");
    case TPointSpan::Month: return LocalTextMs(p.TimeMs, "%Y-%m");
    }
    return {};
}

// ----------------------------------------------------------------------------------------------
// Numbers as the window writes them: a decimal point whatever the locale.

std::string Fixed(double value, int decimals) {
    char text[64];
    const auto r =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return std::string(text, r.ptr);
}

// 10000 as "10,000". Built by appending: inserting into the string draws a false -Wrestrict
// from GCC 12 in Release builds.
std::string Count(long long n) {
    const std::string digits = std::to_string(n < 0 ? -n : n);
    std::string out = n < 0 ? "-" : "";
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

// "1 practice", "2 practices".
std::string Counted(long long n, const std::string& one, const std::string& many) {
    return Count(n) + " " + (n == 1 ? one : many);
}

double Pct(long long part, long long whole) {
    if (whole == 0) return 0.0;
    return 100.0 * static_cast<double>(std::max(part, 0LL)) / static_cast<double>(whole);
}

// Accuracy rounded to one decimal, as the bars carry it.
double Tenth(double value) {
    return std::round(value * 10.0) / 10.0;
}

std::string PctText(double pct) {
    return Fixed(pct, 1) + " %";
}

std::string SpeedText(double speed, bool showWpM) {
    return Fixed(speed, showWpM ? 1 : 0);
}

const char* UnitOf(bool showWpM) {
    return showWpM ? "WpM" : "CpM";
}

// A value axis from 0 that reaches top in at most 6 steps of 1, 2 or 5 times a power of ten:
// its end and its number of ticks.
std::pair<double, int> RoundAxis(double top) {
    top = std::max(top, 1.0);
    for (double scale = 1.0;; scale *= 10.0)
        for (const double step : {1.0, 2.0, 5.0}) {
            const double steps = std::ceil(top / (step * scale));
            if (steps <= 6.0) return {steps * step * scale, static_cast<int>(steps) + 1};
        }
}

// ----------------------------------------------------------------------------------------------

std::string KindText(const TPracticeRecord& r) {
    std::string kind = r.Kind.empty() ? std::string("Practice") : r.Kind;
    if (kind[0] >= 'a' && kind[0] <= 'z') kind[0] = static_cast<char>(kind[0] - 'a' + 'A');
    if (r.Course) kind += " (" + std::string(CourseOrderName(r.Course->Order)) + ")";
    if (r.Aborted) kind += ", stopped";
    return kind;
}

// " from 2025-03-01 to 2025-03-10", or " on 2025-03-10".
std::string Between(const std::string& from, const std::string& to) {
    return from == to ? " on " + from : " from " + from + " to " + to;
}

std::string PeriodPhrase(TProgressPeriod period) {
    return period == TProgressPeriod::AllTime
               ? std::string("yet")
               : "in the last " + std::to_string(TProgress::RecentDays) + " days";
}

std::string PeriodTitle(TProgressPeriod period) {
    return period == TProgressPeriod::AllTime
               ? std::string("all time")
               : "last " + std::to_string(TProgress::RecentDays) + " days";
}

const char* SpanTitle(TPointSpan span) {
    switch (span) {
    case TPointSpan::Practice: return "practice";
    case TPointSpan::Day: return "day";
    case TPointSpan::Week: return "week";
    case TPointSpan::Month: return "month";
    }
    return "";
}

} // namespace

// ----------------------------------------------------------------------------------------------

TProgress::TProgress(THistoryStore& history, bool showWpM, TProgressPeriod period)
    : History_(history), ShowWpM_(showWpM), Period_(period) {
    Refresh();
}

std::string TProgress::PeriodName(TProgressPeriod period) {
    return period == TProgressPeriod::AllTime ? std::string("All time")
                                              : "Last " + std::to_string(RecentDays) + " days";
}

std::optional<int> TProgress::PeriodDays(TProgressPeriod period) {
    if (period == TProgressPeriod::AllTime) return std::nullopt;
    return RecentDays;
}

void TProgress::Refresh() {
    const std::string status = View_.ExportStatus;
    View_ = TProgressView{};
    View_.ExportStatus = status;
    Records_ = History_.Practices();
    Recent_ = History_.Practices(RecentDays);
    if (!History_.Available()) {
        Records_.clear();
        Recent_.clear();
        const std::string file = History_.Path().empty() ? "its file" : History_.Path();
        View_.Message = "There is no practice history to show: Brindle could not use " + file +
                        " (a message said why when it tried), so it keeps none.";
        return;
    }
    if (Records_.empty()) {
        View_.Message = "Nothing to show yet: no checked practice is in the history.\nCopy a "
                        "practice and let Brindle check it, and your progress appears here.";
        return;
    }
    View_.ShowCharts = true;
    View_.CanExport = true;
    ComposeSummary();
    ComposeAccuracy();
    ReadChars();
}

void TProgress::SetPeriod(TProgressPeriod period) {
    if (period == Period_) return;
    Period_ = period;
    if (View_.ShowCharts) ReadChars();
}

void TProgress::SetShowWpM(bool showWpM) {
    if (showWpM == ShowWpM_) return;
    ShowWpM_ = showWpM;
    if (View_.ShowCharts) ComposeAccuracy();
}

// ----------------------------------------------------------------------------------------------
// The accuracy chart

std::vector<TProgressPoint> TProgress::Bunch(const std::vector<TPracticeRecord>& records,
                                             bool showWpM, TPointSpan& span,
                                             std::size_t maxPoints) {
    std::vector<std::time_t> starts;
    starts.reserve(records.size());
    for (const TPracticeRecord& r : records)
        starts.push_back(ParseStoredTime(r.Started).value_or(0));

    // The finest span that keeps within maxPoints; months whatever their number.
    std::vector<std::time_t> keys;
    for (const TPointSpan s :
         {TPointSpan::Practice, TPointSpan::Day, TPointSpan::Week, TPointSpan::Month}) {
        span = s;
        if (s == TPointSpan::Practice) {
            if (records.size() <= maxPoints) break;
            continue;
        }
        keys.clear();
        keys.reserve(starts.size());
        std::size_t distinct = 0;
        // The starts come in order: the local time is worked out once a span, not once a
        // practice (without TZ set, each conversion reads the zone's file again).
        std::time_t from = 0, to = 0;
        for (const std::time_t t : starts) {
            if (distinct == 0 || t < from || t >= to) {
                from = SpanStart(t, s);
                to = NextSpanStart(from, s);
                if (distinct == 0 || keys.back() != from) ++distinct;
            }
            keys.push_back(from);
        }
        if (distinct <= maxPoints) break;
    }

    std::vector<TProgressPoint> points;
    double speedSum = 0.0; // [chars/min x chars] of the point being made
    auto close = [&] {
        TProgressPoint& p = points.back();
        // Every error counts, extra characters too, as in the practice's own result.
        p.AccuracyPct =
            100.0 * TCopyCheck::ScoreOf(p.SentChars, p.SentChars - p.CorrectChars + p.ExtraChars);
        const double cpm = p.SentChars > 0 ? speedSum / p.SentChars : 0.0;
        p.Speed = showWpM ? CpmToWpm(cpm) : cpm;
    };
    for (std::size_t i = 0; i < records.size(); ++i) {
        const TPracticeRecord& r = records[i];
        const std::time_t key = span == TPointSpan::Practice ? starts[i] : keys[i];
        if (span == TPointSpan::Practice || points.empty() ||
            points.back().TimeMs != int64_t{key} * 1000) {
            if (!points.empty()) close();
            points.push_back(TProgressPoint{});
            points.back().TimeMs = int64_t{key} * 1000;
            speedSum = 0.0;
        }
        TProgressPoint& p = points.back();
        ++p.Practices;
        p.SentChars += r.SentChars;
        p.CorrectChars += r.CorrectChars;
        p.ExtraChars += r.ExtraChars;
        speedSum += static_cast<double>(r.CharCpm) * r.SentChars;
        if (r.Course) p.Lesson = std::max(p.Lesson.value_or(0), r.Course->Lesson);
    }
    if (!points.empty()) close();
    return points;
}

void TProgress::ComposeAccuracy() {
    TAccuracyChart& c = View_.Accuracy;
    c = TAccuracyChart{};
    c.Points = Bunch(Records_, ShowWpM_, c.Span);
    if (c.Points.empty()) return;
    const auto& points = c.Points;
    c.Title = std::string("Accuracy per ") + SpanTitle(c.Span) + ", with the character speed";
    c.AccuracyAxis = "Accuracy (%)";
    c.SpeedAxis = std::string("Character speed (") + UnitOf(ShowWpM_) + ")";
    c.LessonAxis = "Course lesson";
    c.AccuracySeries = "Accuracy";
    c.SpeedSeries = "Character speed";
    c.LessonSeries = "Course lesson";

    // The time axis: the points with a margin, at least half an hour on each side.
    const int64_t first = points.front().TimeMs;
    const int64_t last = points.back().TimeMs;
    const int64_t margin = std::max<int64_t>((last - first) / 30, 30 * 60 * 1000);
    c.FromMs = first - margin;
    c.ToMs = last + margin;
    const int64_t range = c.ToMs - c.FromMs;
    constexpr int64_t day = 24LL * 3600 * 1000;
    c.TimeFormat = range <= 2 * day ? "MM-dd HH:mm" : range <= 400 * day ? "yyyy-MM-dd" : "yyyy-MM";

    double lowest = 100.0, highest = 0.0, slowest = 1e9, fastest = 0.0;
    int firstLesson = 0, lastLesson = 0;
    for (const TProgressPoint& p : points) {
        lowest = std::min(lowest, p.AccuracyPct);
        highest = std::max(highest, p.AccuracyPct);
        slowest = std::min(slowest, p.Speed);
        fastest = std::max(fastest, p.Speed);
        if (p.Lesson) {
            if (!c.HasLessons) firstLesson = *p.Lesson;
            c.HasLessons = true;
            lastLesson = *p.Lesson;
            c.LessonMax = std::max(c.LessonMax, *p.Lesson);
        }
    }
    // Axes that end on round numbers, with ticks on round numbers. Accuracy starts a step of 10
    // below the lowest point, so that a good learner's ups and downs are seen.
    c.AccuracyMin = std::max(0.0, std::floor(lowest / 10.0) * 10.0 - 10.0);
    int tens = static_cast<int>((100.0 - c.AccuracyMin) / 10.0);
    if (tens > 5 && tens % 2 == 1) { // steps of 20 from a multiple of 20
        c.AccuracyMin -= 10.0;
        ++tens;
    }
    c.AccuracyTicks = tens > 5 ? tens / 2 + 1 : tens + 1;
    std::tie(c.SpeedMax, c.SpeedTicks) = RoundAxis(fastest * 1.1);
    if (c.HasLessons) {
        const auto [top, ticks] = RoundAxis(c.LessonMax + 1);
        c.LessonMax = static_cast<int>(top);
        c.LessonTicks = ticks;
    }

    long long practices = 0;
    for (const TProgressPoint& p : points)
        practices += p.Practices;
    const std::string from = LocalTextMs(points.front().TimeMs, "%Y-%m-%d");
    const std::string to = LocalTextMs(points.back().TimeMs, "%Y-%m-%d");
    switch (c.Span) {
    case TPointSpan::Practice:
        c.Note = "Each point is one practice: " + Counted(practices, "practice", "practices") +
                 Between(from, to) + ".";
        break;
    case TPointSpan::Day:
        c.Note =
            "Each point is one day's practices: " + Counted(practices, "practice", "practices") +
            " on " + Counted(static_cast<long long>(points.size()), "day", "days") + ".";
        break;
    case TPointSpan::Week:
        c.Note = "Each point is one week's practices, from Monday: " +
                 Counted(practices, "practice", "practices") + " in " +
                 Counted(static_cast<long long>(points.size()), "week", "weeks") + ".";
        break;
    case TPointSpan::Month:
        c.Note =
            "Each point is one month's practices: " + Counted(practices, "practice", "practices") +
            " in " + Counted(static_cast<long long>(points.size()), "month", "months") + ".";
        break;
    }

    const char* unit = UnitOf(ShowWpM_);
    c.Description = "Accuracy per " + std::string(SpanTitle(c.Span)) + " from " + from + " to " +
                    to + ": first " + PctText(points.front().AccuracyPct) + ", latest " +
                    PctText(points.back().AccuracyPct) + ", lowest " + PctText(lowest) +
                    ", highest " + PctText(highest) + ". Character speed from " +
                    SpeedText(slowest, ShowWpM_) + " to " + SpeedText(fastest, ShowWpM_) + " " +
                    unit + ".";
    if (c.HasLessons)
        c.Description += " Course lesson " + std::to_string(firstLesson) + " first, lesson " +
                         std::to_string(lastLesson) + " latest.";
    c.Description += " The table lists every point.";

    c.Table.Columns = {"When", c.Span == TPointSpan::Practice ? "Practice" : "Practices",
                       "Accuracy", std::string("Speed (") + unit + ")", "Lesson"};
    c.Table.Rows.reserve(points.size());
    std::size_t record = Records_.size();
    for (auto p = points.rbegin(); p != points.rend(); ++p) {
        std::string what;
        if (c.Span == TPointSpan::Practice)
            what = KindText(Records_[--record]);
        else
            what = Counted(p->Practices, "practice", "practices");
        c.Table.Rows.push_back({WhenOf(*p, c.Span), what, PctText(p->AccuracyPct),
                                SpeedText(p->Speed, ShowWpM_),
                                p->Lesson ? std::to_string(*p->Lesson) : std::string()});
    }
}

void TProgress::ComposeSummary() {
    long long sent = 0, correct = 0;
    for (const TPracticeRecord& r : Records_) {
        sent += r.SentChars;
        correct += r.CorrectChars - r.ExtraChars; // an extra character undoes a right one
    }
    const auto from = ParseStoredTime(Records_.front().Started).value_or(0);
    const auto to = ParseStoredTime(Records_.back().Started).value_or(0);
    View_.Summary = Counted(static_cast<long long>(Records_.size()), "practice", "practices") +
                    Between(LocalText(from, "%Y-%m-%d"), LocalText(to, "%Y-%m-%d")) + ", " +
                    PctText(Pct(correct, sent)) + " copied right. ";
    long long recentSent = 0, recentCorrect = 0;
    for (const TPracticeRecord& r : Recent_) {
        recentSent += r.SentChars;
        recentCorrect += r.CorrectChars - r.ExtraChars;
    }
    const std::string days = std::to_string(RecentDays);
    if (Recent_.empty())
        View_.Summary += "None in the last " + days + " days.";
    else
        View_.Summary += "Last " + days + " days: " +
                         Counted(static_cast<long long>(Recent_.size()), "practice", "practices") +
                         ", " + PctText(Pct(recentCorrect, recentSent)) + ".";
}

// ----------------------------------------------------------------------------------------------
// The character figures of the period

void TProgress::ReadChars() {
    const std::optional<int> days = PeriodDays(Period_);
    const std::string phrase = PeriodPhrase(Period_);
    const std::string title = PeriodTitle(Period_);

    // Accuracy per character, worst first (the history's order).
    {
        TBarChart& c = View_.Chars;
        c = TBarChart{};
        const std::vector<TCharAccuracy> chars = History_.CharAccuracy(days);
        c.Title = "Accuracy per character, worst first (" + title + ")";
        c.CategoryAxis = "Character (copies)";
        c.ValueAxis = "Copied right (%)";
        c.ValueLabels = "@value %";
        c.ValueMax = 100.0;
        c.ValueTicks = 6;
        c.Empty = "No characters were copied " + phrase + ".";
        c.Table.Columns = {"Character", "Copied right", "Copies", "Wrong", "Missed"};
        std::string worst;
        for (std::size_t i = 0; i < chars.size(); ++i) {
            const TCharAccuracy& a = chars[i];
            const std::string name = StoredChar(a.Char);
            const double pct = Pct(a.Correct, a.Copies);
            if (i < MaxBars)
                c.Bars.push_back(TBar{name + " (" + Count(a.Copies) + ")", Tenth(pct)});
            if (i < 5)
                worst += (i == 0 ? "" : "; ") + name + " " + PctText(pct) + " of " +
                         Counted(a.Copies, "copy", "copies");
            c.Table.Rows.push_back({name, PctText(pct), Count(a.Copies),
                                    Count(a.Copies - a.Correct - a.Missed), Count(a.Missed)});
        }
        if (!chars.empty())
            c.Description =
                "Worst first: " + worst + ". The table lists all " +
                Counted(static_cast<long long>(chars.size()), "character", "characters") + ".";
    }

    // Confusions, most frequent first.
    {
        TConfusionList& c = View_.Confusions;
        c = TConfusionList{};
        c.Title = "Most frequent confusions (" + title + ")";
        c.Empty = "No character was copied as another one " + phrase + ".";
        c.Table.Columns = {"Sent", "Copied as", "Times"};
        const std::vector<TConfusion> confusions = History_.Confusions(days, MaxConfusions);
        std::vector<std::pair<uint8_t, int>> sentOrder; // sent characters, the most confused first
        std::vector<uint8_t> copiedOrder;               // copied characters as they come
        for (const TConfusion& f : confusions) {
            const std::string sent = StoredChar(f.Sent);
            const std::string copied = StoredChar(f.Copied);
            c.Lines.push_back(sent + " → " + copied + ": " + Counted(f.Count, "time", "times"));
            c.Table.Rows.push_back({sent, copied, Count(f.Count)});
            auto row = std::find_if(sentOrder.begin(), sentOrder.end(),
                                    [&](const auto& r) { return r.first == f.Sent; });
            if (row == sentOrder.end())
                sentOrder.emplace_back(f.Sent, f.Count);
            else
                row->second += f.Count;
            if (std::find(copiedOrder.begin(), copiedOrder.end(), f.Copied) == copiedOrder.end())
                copiedOrder.push_back(f.Copied);
        }
        std::stable_sort(sentOrder.begin(), sentOrder.end(),
                         [](const auto& a, const auto& b) { return a.second > b.second; });
        if (!confusions.empty()) {
            c.Matrix.Columns = {"Sent ↓ copied →"};
            for (const uint8_t copied : copiedOrder)
                c.Matrix.Columns.push_back(StoredChar(copied));
            for (const auto& [sent, total] : sentOrder) {
                std::vector<std::string> row(copiedOrder.size() + 1);
                row[0] = StoredChar(sent);
                for (const TConfusion& f : confusions) {
                    if (f.Sent != sent) continue;
                    const auto at = std::find(copiedOrder.begin(), copiedOrder.end(), f.Copied);
                    row[static_cast<std::size_t>(at - copiedOrder.begin()) + 1] = Count(f.Count);
                }
                c.Matrix.Rows.push_back(std::move(row));
            }
        }
    }

    // The slowest characters by median reaction time.
    {
        TBarChart& c = View_.Slowest;
        c = TBarChart{};
        const std::vector<TCharReaction> slow = History_.SlowestChars(days, MaxBars);
        c.Title = "Slowest characters by median reaction time (" + title + ")";
        c.CategoryAxis = "Character (times measured)";
        c.ValueAxis = "Median reaction time (ms)";
        c.ValueLabels = "@value ms";
        c.Empty = "No reaction times " + phrase +
                  ": they are measured in item-by-item practice, from the end of an item to your "
                  "copy.";
        c.Table.Columns = {"Character", "Median reaction", "Times measured"};
        int longest = 0;
        std::string slowest;
        for (std::size_t i = 0; i < slow.size(); ++i) {
            const TCharReaction& s = slow[i];
            const std::string name = StoredChar(s.Char);
            longest = std::max(longest, s.MedianMs);
            c.Bars.push_back(TBar{name + " (" + Count(s.Count) + ")", double(s.MedianMs)});
            if (i < 5) slowest += (i == 0 ? "" : "; ") + name + " " + Count(s.MedianMs) + " ms";
            c.Table.Rows.push_back({name, Count(s.MedianMs) + " ms", Count(s.Count)});
        }
        std::tie(c.ValueMax, c.ValueTicks) = RoundAxis(longest * 1.1);
        if (!slow.empty())
            c.Description =
                "Slowest first, median reaction time: " + slowest + ". The table lists " +
                Counted(static_cast<long long>(slow.size()), "character", "characters") + ".";
    }
}

// ----------------------------------------------------------------------------------------------
// The export

TOpenRequest TProgress::ExportRequest() {
    return {"Export the practice history as CSV", "", "brindle-history.csv"};
}

bool TProgress::Export(const TChooseFile& choose) {
    if (!View_.CanExport || !choose) return false;
    const std::string path = choose(ExportRequest());
    if (path.empty()) return false; // cancelled: nothing to say
    const bool ok = History_.ExportCsv(path);
    if (!History_.Available()) Refresh(); // the history itself failed: it is off now
    View_.ExportStatus =
        ok ? "Exported the practice history to " + path + "."
           : "Nothing was exported: the history could not be written to " + path + ".";
    return ok;
}

} // namespace brindle
