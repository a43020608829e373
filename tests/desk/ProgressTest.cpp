// The progress window's logic on a real history file with a fixed clock: the sentence for an
// empty or absent history, the points of the accuracy chart and their bunching, the character
// figures of a period worst first, the confusions, the slowest characters, the texts, and the
// CSV export to the file the test chooses.
#include "desk/Progress.h"

#include "desk/TextChecks.h"
#include "engine/MorseTables.h"
#include "learn/HistoryFixture.h"
#include "support/DeskFixture.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>

using namespace brindle;
using namespace std::chrono_literals;
using brindle::test::Has;
using brindle::test::Holds;
using brindle::test::Values;

namespace {

// Each point as "practices sent/right accuracy speed lesson" ("-": none), oldest first.
std::string Points(const std::vector<TProgressPoint>& points) {
    std::ostringstream s;
    for (const auto& p : points)
        s << (s.tellp() > 0 ? " | " : "") << p.Practices << " " << p.SentChars << "/"
          << p.CorrectChars << " " << p.AccuracyPct << " " << p.Speed << " "
          << (p.Lesson ? std::to_string(*p.Lesson) : "-");
    return s.str();
}
// The axes: accuracy from its bottom, speed and lesson to their tops, each with its ticks.
std::string Axes(const TAccuracyChart& c) {
    return Values(c.AccuracyMin, c.AccuracyTicks, c.SpeedMax, c.SpeedTicks, c.SpeedAxis,
                  c.HasLessons, c.LessonMax, c.LessonTicks);
}
// Each bar as "label value", from the top.
std::string Bars(const TBarChart& b) {
    std::ostringstream s;
    for (const auto& bar : b.Bars)
        s << (s.tellp() > 0 ? " | " : "") << bar.Label << " " << bar.Value;
    return s.str();
}
// The rows of a table, cells from column `from` on, "," between cells and " | " between rows.
std::string Rows(const TTextTable& t, std::size_t from = 0) {
    std::string s;
    for (const auto& row : t.Rows) {
        s += s.empty() ? "" : " | ";
        for (std::size_t i = from; i < row.size(); ++i)
            s += (i > from ? "," : "") + row[i];
    }
    return s;
}

class Progress : public test::THistoryTest {
protected:
    void SetUp() override { Store = Open(DbPath()); }

    // One practice now of the items (sent, copy), finished; timing per item when given.
    THistoryStore::TPracticeId
    Practise(const TPracticeStart& start,
             const std::vector<std::pair<std::string, std::string>>& items,
             const std::vector<TItemTiming>& timings = {}) {
        const auto id = Store->StartPractice(start);
        std::vector<TCheckedItem> checked;
        for (std::size_t i = 0; i < items.size(); ++i) {
            checked.push_back(Item(items[i].first, items[i].second));
            EXPECT_TRUE(Store->AddItem(id, checked.back(),
                                       i < timings.size() ? timings[i] : TItemTiming{}));
        }
        EXPECT_TRUE(Store->FinishPractice(id, EndOf(checked)));
        return id;
    }
    static TPracticeStart Kind(const std::string& kind, int cpm) {
        return TPracticeStart{kind, cpm, cpm, std::nullopt};
    }
    // The file chooser of the test: hands out the next answer and keeps the request.
    TProgress::TChooseFile Chooser() {
        return [this](const TOpenRequest& r) {
            Requests.push_back(r);
            if (Answers.empty()) return std::string();
            std::string next = Answers.front();
            Answers.erase(Answers.begin());
            return next;
        };
    }

    std::unique_ptr<THistoryStore> Store;
    std::vector<TOpenRequest> Requests;
    std::vector<std::string> Answers;
};

// A record as the history gives it, for the bunching alone.
TPracticeRecord Record(const std::string& started, int sent, int correct, int cpm,
                       std::optional<int> lesson = {}) {
    return {.Started = started,
            .Kind = "groups",
            .CharCpm = cpm,
            .SentChars = sent,
            .CorrectChars = correct,
            .Finished = true,
            .Course =
                lesson ? std::optional(TCourseLesson{TCourseOrder::Lcwo, *lesson}) : std::nullopt};
}
// A record started at t.
TPracticeRecord RecordAt(std::time_t t, int sent, int correct, int cpm) {
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return Record(text, sent, correct, cpm);
}

std::tm Local(int64_t ms) {
    const std::time_t t = static_cast<std::time_t>(ms / 1000);
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

} // namespace

TEST_F(Progress, AHistoryThatIsOffSaysSoAndExportsNothing) {
    Store.reset();
    std::filesystem::remove(DbPath());
    std::ofstream(DbPath()) << "these bytes are not a database, not even a little bit of one";
    Store = Open(DbPath());
    ASSERT_FALSE(Store->Available());
    TProgress p(*Store);
    EXPECT_EQ(Values(p.View().ShowCharts, p.View().CanExport, p.Export(Chooser()), Requests.size(),
                     Has(p.View().Message, "no practice history"), Has(p.View().Message, DbPath())),
              "0 | 0 | 0 | 0 | 1 | 1");
}

TEST_F(Progress, OnePointPerPracticeWithItsSpeedAndItsLesson) {
    // Half an hour apart around midday UTC: one calendar day from UTC-11 to UTC+11.
    Now -= 30min;
    Practise(Kind("groups", 100), {{"abcde", "abcde"}, {"fghij", "fgh"}}); // 8 of 10
    Now += 30min;
    Practise(Course(TCourseOrder::Lcwo, 5), {{"kmkm", "kmkm"}}); // 4 of 4, 100 CpM
    Now += 30min;
    Practise(Kind("words", 60), {{"paris", "parks"}}); // 4 of 5
    Store->StartPractice(Groups()); // started and never checked: it scores nothing

    TProgress p(*Store);
    const TAccuracyChart& c = p.View().Accuracy;
    ASSERT_EQ(Values(p.View().ShowCharts, p.View().CanExport, c.Span == TPointSpan::Practice,
                     Points(c.Points)),
              "1 | 1 | 1 | 1 10/8 80 100 - | 1 4/4 100 100 5 | 1 5/4 80 60 -");
    // Accuracy a step of 10 below the lowest point, speed 0, 20, ... 120; lesson 5 and a step
    // above it.
    EXPECT_EQ(Axes(c), "70 | 4 | 120 | 7 | Character speed (CpM) | 1 | 6 | 7");
    EXPECT_EQ(Values(c.Points[1].TimeMs - c.Points[0].TimeMs,
                     c.FromMs<c.Points.front().TimeMs, c.ToMs> c.Points.back().TimeMs,
                     c.TimeFormat),
              "1800000 | 1 | 1 | MM-dd HH:mm");
    EXPECT_EQ(Values(c.Title, c.Note), "Accuracy per practice, with the character speed | Each "
                                       "point is one practice: 3 practices on 2025-03-10.");
    EXPECT_TRUE(
        Holds(c.Description, "first 80.0 %, latest 80.0 %, lowest 80.0 %, highest 100.0 %"));
    EXPECT_TRUE(Holds(c.Description, "Course lesson 5 first, lesson 5 latest"));

    // The table: newest first, the practice's kind and lesson.
    EXPECT_EQ(c.Table.Columns,
              (std::vector<std::string>{"When", "Practice", "Accuracy", "Speed (CpM)", "Lesson"}));
    EXPECT_EQ(Rows(c.Table, 1),
              "Words,80.0 %,60, | Course (LCWO),100.0 %,100,5 | Groups,80.0 %,100,");
    EXPECT_EQ(p.View().Summary, "3 practices on 2025-03-10, 84.2 % copied right. "
                                "Last 30 days: 3 practices, 84.2 %.");
}

TEST_F(Progress, SpeedsInWpmWithoutReadingAgainAndAStoppedPracticeMarked) {
    const auto id = Store->StartPractice(Kind("groups", 100));
    Store->AddItem(id, Item("abcde", "abcde"));
    Store->FinishPractice(id, EndOf({Item("abcde", "abcde")}, false, true));
    TProgress p(*Store, true);
    const TAccuracyChart& c = p.View().Accuracy;
    EXPECT_EQ(Values(Points(c.Points), Axes(c), Rows(c.Table, 1)),
              "1 5/5 100 20 - | 90 | 2 | 25 | 6 | Character speed (WpM) | 0 | 0 | 6 | Groups, "
              "stopped,100.0 %,20.0,");

    Practise(Kind("groups", 100), {{"abcde", "abcde"}}); // not read until Refresh
    p.SetShowWpM(false);
    EXPECT_EQ(Values(Points(c.Points), c.SpeedAxis), "1 5/5 100 100 - | Character speed (CpM)");
    p.Refresh();
    EXPECT_EQ(c.Points.size(), 2u);
}

TEST(ProgressBunch, ManyPracticesBecomeOnePointPerDay) {
    // Two days of three practices around midday UTC: the same local day in every zone from UTC-11
    // to UTC+11.
    const std::vector<TPracticeRecord> records = {
        Record("2025-03-10T11:30:00Z", 10, 5, 100, 3),  Record("2025-03-10T12:00:00Z", 30, 30, 60),
        Record("2025-03-10T12:30:00Z", 10, 10, 100, 4), Record("2025-03-11T11:30:00Z", 20, 10, 80),
        Record("2025-03-11T12:00:00Z", 20, 20, 80),     Record("2025-03-11T12:30:00Z", 10, 10, 50)};
    TPointSpan span = TPointSpan::Month;
    auto points = TProgress::Bunch(records, false, span, 6);
    EXPECT_EQ(Values(span == TPointSpan::Practice, points.size()), "1 | 6");

    // The speed of the characters sent: (10 x 100 + 30 x 60 + 10 x 100) / 50; the highest lesson
    // of the day.
    points = TProgress::Bunch(records, false, span, 5);
    EXPECT_EQ(span, TPointSpan::Day);
    ASSERT_EQ(Points(points), "3 50/45 90 76 4 | 3 50/40 80 74 -");
    // A point stands at its local midnight.
    for (const auto& point : points)
        EXPECT_EQ(Values(Local(point.TimeMs).tm_hour, Local(point.TimeMs).tm_min), "0 | 0");
    EXPECT_EQ(Local(points[1].TimeMs).tm_mday, 11);
    EXPECT_DOUBLE_EQ(TProgress::Bunch(records, true, span, 5).at(0).Speed, 76.0 / 5);

    // A practice at local midnight starts the new day.
    const std::time_t midday = 1741608000;
    std::tm next{};
    localtime_r(&midday, &next);
    next.tm_mday += 1;
    next.tm_hour = next.tm_min = next.tm_sec = 0;
    next.tm_isdst = -1;
    const std::time_t midnight = std::mktime(&next);
    points =
        TProgress::Bunch({RecordAt(midnight - 3600, 10, 10, 100), RecordAt(midnight, 10, 10, 100),
                          RecordAt(midnight + 3600, 10, 10, 100)},
                         false, span, 2);
    EXPECT_EQ(Values(span == TPointSpan::Day, Points(points)),
              "1 | 1 10/10 100 100 - | 2 20/20 100 100 -");
}

TEST(ProgressBunch, YearsBecomeWeeksFromMondayThenMonths) {
    std::vector<TPracticeRecord> records;
    // One practice a day at midday UTC for 70 days from Monday 2025-03-10: 10 weeks.
    for (int d = 0; d < 70; ++d)
        records.push_back(RecordAt(1741608000 + d * 86400, 10, d % 10, 100));
    TPointSpan span = TPointSpan::Practice;
    auto points = TProgress::Bunch(records, false, span, 10);
    ASSERT_EQ(Values(span == TPointSpan::Week, points.size()), "1 | 10");
    for (const auto& point : points) // from Monday
        EXPECT_EQ(Values(Local(point.TimeMs).tm_wday, point.Practices, point.SentChars),
                  "1 | 7 | 70");
    points = TProgress::Bunch(records, false, span, 5);
    ASSERT_EQ(Values(span == TPointSpan::Month, points.size()), "1 | 3"); // March, April, May
    EXPECT_EQ(Values(Local(points[1].TimeMs).tm_mday, Local(points[1].TimeMs).tm_mon,
                     points[0].Practices + points[1].Practices + points[2].Practices),
              "1 | 3 | 70");
    // Months are the coarsest: kept whatever their number.
    points = TProgress::Bunch(records, false, span, 1);
    EXPECT_EQ(Values(span == TPointSpan::Month, points.size()), "1 | 3");
    EXPECT_TRUE(TProgress::Bunch({}, false, span).empty());
}

TEST_F(Progress, CharactersWorstFirstOverTheLast30DaysOrAllTime) {
    // Forty days ago b was copied as 6 twice; now b is right, and e is missed once of two.
    Now -= 40 * 24h;
    Practise(Kind("groups", 100), {{"bbb", "66b"}});
    Now += 40 * 24h;
    Practise(Kind("groups", 100), {{"ebe", "eb"}});

    TProgress p(*Store);
    EXPECT_EQ(p.Period(), TProgressPeriod::Last30Days);
    const TBarChart& chars = p.View().Chars;
    const TConfusionList& confusions = p.View().Confusions;
    EXPECT_EQ(Values(chars.Title, Bars(chars), Rows(chars.Table)),
              "Accuracy per character, worst first (last 30 days) | e (2) 50 | b (1) 100 | "
              "e,50.0 %,2,0,1 | b,100.0 %,1,0,0");
    EXPECT_TRUE(Holds(chars.Description, "Worst first: e 50.0 % of 2 copies; b 100.0 % of 1 copy"));
    EXPECT_EQ(Values(confusions.Lines.size(), confusions.Empty),
              "0 | No character was copied as another one in the last 30 days.");

    EXPECT_EQ(Values(TProgress::PeriodName(TProgressPeriod::Last30Days),
                     TProgress::PeriodName(TProgressPeriod::AllTime),
                     TProgress::PeriodDays(TProgressPeriod::Last30Days).value_or(-1),
                     TProgress::PeriodDays(TProgressPeriod::AllTime).value_or(-1)),
              "Last 30 days | All time | 30 | -1");
    p.SetPeriod(TProgressPeriod::AllTime);
    EXPECT_EQ(Values(chars.Title, Bars(chars), Rows(chars.Table)),
              "Accuracy per character, worst first (all time) | b (4) 50 | e (2) 50 | "
              "b,50.0 %,4,2,0 | e,50.0 %,2,0,1");
    EXPECT_EQ(confusions.Lines, std::vector<std::string>{"b → 6: 2 times"});
    EXPECT_EQ(Rows(confusions.Table), "b,6,2");
    // The accuracy chart is all time whatever the period; the summary counts the last days.
    EXPECT_EQ(Values(p.View().Accuracy.Points.size(), p.View().Accuracy.TimeFormat),
              "2 | yyyy-MM-dd");
    EXPECT_TRUE(Holds(p.View().Summary, "Last 30 days: 1 practice,"));
}

// Confusions as sent by copied, prosigns by their names, and "1 time".
TEST_F(Progress, ConfusionsAsSentByCopiedAndProsignsByName) {
    const std::string ar(1, static_cast<char>(ProsignCode(ProsignIndex("<ar>"))));
    const std::string bt(1, static_cast<char>(ProsignCode(ProsignIndex("<bt>"))));
    Practise(Kind("groups", 100), {{"bbbbhhh", "66b8555"}, {"bsss", "ehhh"}, {ar + "a", bt + "a"}});
    TProgress p(*Store);
    const TConfusionList& c = p.View().Confusions;
    EXPECT_EQ(c.Lines,
              (std::vector<std::string>{"h → 5: 3 times", "s → h: 3 times", "b → 6: 2 times",
                                        "<ar> → <bt>: 1 time", "b → 8: 1 time", "b → e: 1 time"}));
    // b was confused four times: the first row; the columns as they first come in the lines.
    EXPECT_EQ(c.Matrix.Columns,
              (std::vector<std::string>{"Sent ↓ copied →", "5", "h", "6", "<bt>", "8", "e"}));
    EXPECT_EQ(Rows(c.Matrix), "b,,,2,,1,1 | h,3,,,,, | s,,3,,,, | <ar>,,,,1,,");
    EXPECT_EQ(Bars(p.View().Chars), "h (3) 0 | s (3) 0 | <ar> (1) 0 | b (5) 20 | a (1) 100");
}

// 20 characters, 2 right: the chart shows the worst 15, the table all of them.
TEST_F(Progress, AxesEndOnRoundNumbersAndTheBarsShowTheWorstOnly) {
    Practise(Kind("groups", 300), {{"abcdefghijklmnopqrst", "ab"}}); // 10 %
    TProgress p(*Store);
    // 0, 20, ... 100; 330 in steps of 100.
    EXPECT_EQ(Axes(p.View().Accuracy), "0 | 6 | 400 | 5 | Character speed (CpM) | 0 | 0 | 6");
    EXPECT_EQ(Values(p.View().Chars.Bars.size(), p.View().Chars.Table.Rows.size()),
              Values(TProgress::MaxBars, 20));
    Store->StartPractice(Kind("groups", 300)); // nothing checked: the axes stay
    p.Refresh();
    EXPECT_EQ(p.View().Accuracy.SpeedMax, 400.0);
}

TEST_F(Progress, SlowestCharactersByMedianOrASentenceWhenNoneWasMeasured) {
    Practise(Kind("groups", 100), {{"ab", "ab"}});
    TProgress none(*Store);
    EXPECT_EQ(Values(none.View().Slowest.Bars.size(),
                     Has(none.View().Slowest.Empty, "No reaction times in the last 30 days"),
                     Has(none.View().Slowest.Empty, "item-by-item practice")),
              "0 | 1 | 1");

    TItemTiming slow;
    slow.CharMs = {400, 900, 1200};
    TItemTiming fast;
    fast.CharMs = {300, 500, std::nullopt};
    Practise(Kind("single", 100), {{"abc", "abc"}, {"abc", "abc"}}, {slow, fast});
    TProgress p(*Store);
    const TBarChart& c = p.View().Slowest;
    // The axis 0, 500, 1000, 1500.
    EXPECT_EQ(Values(Bars(c), c.ValueMax, c.ValueTicks, c.ValueAxis, Rows(c.Table)),
              "c (1) 1200 | b (2) 700 | a (2) 350 | 1500 | 4 | Median reaction time (ms) | "
              "c,1,200 ms,1 | b,700 ms,2 | a,350 ms,2");
}

// Cancelled, the export writes nothing; a file that cannot be written is said in the status until
// the next export; then the one file chosen is written (the window's own test,
// ProgressWindow.ExportWritesTheOneChosenFile, has the error message; HistoryStore.CsvExport the
// file's lines).
TEST_F(Progress, ExportAsksForOneFileAndSaysWhatBecameOfIt) {
    Practise(Kind("groups", 100), {{"abc", "abd"}});
    TProgress p(*Store);
    EXPECT_FALSE(p.Export(Chooser()));
    EXPECT_EQ(Values(Requests.size(), p.View().ExportStatus, Messages.size()), "1 |  | 0");
    for (const auto& entry : std::filesystem::directory_iterator(Dir.Path))
        EXPECT_EQ(entry.path().filename().string().rfind("history.sqlite", 0), 0u) << entry.path();

    const std::string nowhere = Dir.File("no-such-folder/history.csv");
    Answers = {nowhere};
    EXPECT_FALSE(p.Export(Chooser()));
    p.Refresh(); // keeps the status
    EXPECT_EQ(p.View().ExportStatus,
              "Nothing was exported: the history could not be written to " + nowhere + ".");

    const std::string path = Dir.File("june.csv");
    Answers = {path};
    EXPECT_TRUE(p.Export(Chooser()));
    ASSERT_EQ(Requests.size(), 3u);
    EXPECT_EQ(Values(Requests[2].Title, Requests[2].Folder, Requests[2].FileName),
              "Export the practice history as CSV |  | brindle-history.csv");
    EXPECT_TRUE(Holds(test::ReadWhole(path), ",abc,abd,0,2,c,d,substituted,"));
    EXPECT_EQ(p.View().ExportStatus, "Exported the practice history to " + path + ".");
}
