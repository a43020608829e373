// The progress window's logic on a real history file with a fixed clock: the sentence for an
// empty or absent history, the points of the accuracy chart and their bunching, the character
// figures of a period worst first, the confusions, the slowest characters, the texts, and the
// CSV export to the file the test chooses.
#include "desk/Progress.h"

#include "engine/MorseTables.h"
#include "learn/HistoryFixture.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>

using namespace brindle;
using namespace std::chrono_literals;

namespace {

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
    TPracticeRecord r;
    r.Started = started;
    r.Kind = "groups";
    r.SentChars = sent;
    r.CorrectChars = correct;
    r.CharCpm = cpm;
    r.Finished = true;
    if (lesson) r.Course = TCourseLesson{TCourseOrder::Lcwo, *lesson};
    return r;
}

std::tm Local(int64_t ms) {
    const std::time_t t = static_cast<std::time_t>(ms / 1000);
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

} // namespace

TEST_F(Progress, AnEmptyHistoryShowsASentenceInsteadOfCharts) {
    TProgress p(*Store);
    EXPECT_FALSE(p.View().ShowCharts);
    EXPECT_NE(p.View().Message.find("Nothing to show yet"), std::string::npos);
    EXPECT_FALSE(p.View().CanExport);
    EXPECT_TRUE(p.View().Accuracy.Points.empty());
    EXPECT_TRUE(p.View().Chars.Bars.empty());
    EXPECT_TRUE(p.View().Summary.empty());
    // A practice that was started and never checked scores nothing: still nothing to show.
    Store->StartPractice(Groups());
    p.Refresh();
    EXPECT_FALSE(p.View().ShowCharts);
}

TEST_F(Progress, AHistoryThatIsOffSaysSoAndExportsNothing) {
    Store.reset();
    std::filesystem::remove(DbPath());
    std::ofstream(DbPath()) << "these bytes are not a database, not even a little bit of one";
    Store = Open(DbPath());
    ASSERT_FALSE(Store->Available());
    TProgress p(*Store);
    EXPECT_FALSE(p.View().ShowCharts);
    EXPECT_NE(p.View().Message.find("no practice history"), std::string::npos);
    EXPECT_NE(p.View().Message.find(DbPath()), std::string::npos);
    EXPECT_FALSE(p.View().CanExport);
    EXPECT_FALSE(p.Export(Chooser()));
    EXPECT_TRUE(Requests.empty());
}

TEST_F(Progress, OnePointPerPracticeWithItsSpeedAndItsLesson) {
    // Half an hour apart around midday UTC: one calendar day from UTC-11 to UTC+11.
    Now -= 30min;
    Practise(Kind("groups", 100), {{"abcde", "abcde"}, {"fghij", "fgh"}}); // 8 of 10
    Now += 30min;
    Practise(Course(TCourseOrder::Lcwo, 5), {{"kmkm", "kmkm"}}); // 4 of 4, 100 CpM
    Now += 30min;
    Practise(Kind("words", 60), {{"paris", "parks"}}); // 4 of 5

    TProgress p(*Store);
    const TAccuracyChart& c = p.View().Accuracy;
    ASSERT_TRUE(p.View().ShowCharts);
    EXPECT_TRUE(p.View().CanExport);
    EXPECT_EQ(c.Span, TPointSpan::Practice);
    ASSERT_EQ(c.Points.size(), 3u);
    EXPECT_DOUBLE_EQ(c.Points[0].AccuracyPct, 80.0);
    EXPECT_DOUBLE_EQ(c.Points[1].AccuracyPct, 100.0);
    EXPECT_DOUBLE_EQ(c.Points[2].AccuracyPct, 80.0);
    EXPECT_DOUBLE_EQ(c.Points[0].Speed, 100.0);
    EXPECT_DOUBLE_EQ(c.Points[2].Speed, 60.0);
    EXPECT_EQ(c.Points[0].Lesson, std::nullopt);
    EXPECT_EQ(c.Points[1].Lesson, 5);
    EXPECT_TRUE(c.HasLessons);
    EXPECT_EQ(c.LessonMax, 6); // lesson 5 and a step above it, in steps of 1
    EXPECT_EQ(c.LessonTicks, 7);
    EXPECT_EQ(c.Points[1].TimeMs - c.Points[0].TimeMs, 1800 * 1000);
    EXPECT_LT(c.FromMs, c.Points.front().TimeMs);
    EXPECT_GT(c.ToMs, c.Points.back().TimeMs);
    EXPECT_EQ(c.TimeFormat, "MM-dd HH:mm");
    EXPECT_EQ(c.SpeedAxis, "Character speed (CpM)");
    EXPECT_EQ(c.SpeedMax, 120.0); // 0, 20, ... 120
    EXPECT_EQ(c.SpeedTicks, 7);
    EXPECT_EQ(c.AccuracyMin, 70.0); // a step of 10 below the lowest point
    EXPECT_EQ(c.AccuracyTicks, 4);
    EXPECT_EQ(c.Title, "Accuracy per practice, with the character speed");
    EXPECT_EQ(c.Note, "Each point is one practice: 3 practices on 2025-03-10.");
    EXPECT_NE(c.Description.find("first 80.0 %, latest 80.0 %, lowest 80.0 %, highest 100.0 %"),
              std::string::npos);
    EXPECT_NE(c.Description.find("Course lesson 5 first, lesson 5 latest"), std::string::npos);

    // The table: newest first, the practice's kind and lesson.
    ASSERT_EQ(c.Table.Rows.size(), 3u);
    EXPECT_EQ(c.Table.Columns,
              (std::vector<std::string>{"When", "Practice", "Accuracy", "Speed (CpM)", "Lesson"}));
    EXPECT_EQ(c.Table.Rows[0][1], "Words");
    EXPECT_EQ(c.Table.Rows[0][2], "80.0 %");
    EXPECT_EQ(c.Table.Rows[0][3], "60");
    EXPECT_EQ(c.Table.Rows[1][1], "Course (LCWO)");
    EXPECT_EQ(c.Table.Rows[1][4], "5");
    EXPECT_EQ(c.Table.Rows[2][4], "");

    EXPECT_EQ(p.View().Summary, "3 practices on 2025-03-10, 84.2 % copied right. "
                                "Last 30 days: 3 practices, 84.2 %.");
}

TEST_F(Progress, SpeedsInWpmWithoutReadingAgain) {
    Practise(Kind("groups", 100), {{"abcde", "abcde"}});
    TProgress p(*Store, true);
    EXPECT_DOUBLE_EQ(p.View().Accuracy.Points.at(0).Speed, 20.0);
    EXPECT_EQ(p.View().Accuracy.SpeedAxis, "Character speed (WpM)");
    EXPECT_EQ(p.View().Accuracy.Table.Rows.at(0).at(3), "20.0");
    EXPECT_EQ(p.View().Accuracy.SpeedMax, 25.0);
    EXPECT_EQ(p.View().Accuracy.SpeedTicks, 6);
    EXPECT_FALSE(p.View().Accuracy.HasLessons);

    Practise(Kind("groups", 100), {{"abcde", "abcde"}}); // not read until Refresh
    p.SetShowWpM(false);
    EXPECT_EQ(p.View().Accuracy.Points.size(), 1u);
    EXPECT_DOUBLE_EQ(p.View().Accuracy.Points.at(0).Speed, 100.0);
    EXPECT_EQ(p.View().Accuracy.SpeedAxis, "Character speed (CpM)");
    p.Refresh();
    EXPECT_EQ(p.View().Accuracy.Points.size(), 2u);
}

TEST_F(Progress, AStoppedPracticeIsMarkedInTheTable) {
    const auto id = Store->StartPractice(Groups());
    Store->AddItem(id, Item("abcde", "abcde"));
    Store->FinishPractice(id, EndOf({Item("abcde", "abcde")}, false, true));
    TProgress p(*Store);
    EXPECT_EQ(p.View().Accuracy.Table.Rows.at(0).at(1), "Groups, stopped");
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
    EXPECT_EQ(span, TPointSpan::Practice);
    EXPECT_EQ(points.size(), 6u);

    points = TProgress::Bunch(records, false, span, 5);
    EXPECT_EQ(span, TPointSpan::Day);
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[0].Practices, 3);
    EXPECT_EQ(points[0].SentChars, 50);
    EXPECT_EQ(points[0].CorrectChars, 45);
    EXPECT_DOUBLE_EQ(points[0].AccuracyPct, 90.0);
    // The speed of the characters sent: (10 x 100 + 30 x 60 + 10 x 100) / 50.
    EXPECT_DOUBLE_EQ(points[0].Speed, 76.0);
    EXPECT_EQ(points[0].Lesson, 4); // the highest of the day
    EXPECT_EQ(points[1].Lesson, std::nullopt);
    EXPECT_DOUBLE_EQ(points[1].Speed, 74.0);
    // A point stands at its local midnight.
    for (const auto& point : points) {
        const std::tm tm = Local(point.TimeMs);
        EXPECT_EQ(tm.tm_hour, 0);
        EXPECT_EQ(tm.tm_min, 0);
    }
    EXPECT_EQ(Local(points[1].TimeMs).tm_mday, 11);

    points = TProgress::Bunch(records, true, span, 5);
    EXPECT_DOUBLE_EQ(points[0].Speed, 76.0 / 5);

    // A practice at local midnight starts the new day.
    const std::time_t midday = 1741608000;
    std::tm next{};
    localtime_r(&midday, &next);
    next.tm_mday += 1;
    next.tm_hour = next.tm_min = next.tm_sec = 0;
    next.tm_isdst = -1;
    const std::time_t midnight = std::mktime(&next);
    auto at = [](std::time_t t) {
        std::tm tm{};
        gmtime_r(&t, &tm);
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
        return Record(text, 10, 10, 100);
    };
    points =
        TProgress::Bunch({at(midnight - 3600), at(midnight), at(midnight + 3600)}, false, span, 2);
    EXPECT_EQ(span, TPointSpan::Day);
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[0].Practices, 1);
    EXPECT_EQ(points[1].Practices, 2);
}

TEST(ProgressBunch, YearsBecomeWeeksFromMondayThenMonths) {
    std::vector<TPracticeRecord> records;
    // One practice a day at midday UTC for 70 days from Monday 2025-03-10: 10 weeks.
    const std::time_t first = 1741608000;
    for (int d = 0; d < 70; ++d) {
        const std::time_t t = first + d * 86400;
        std::tm tm{};
        gmtime_r(&t, &tm);
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
        records.push_back(Record(text, 10, d % 10, 100));
    }
    TPointSpan span = TPointSpan::Practice;
    auto points = TProgress::Bunch(records, false, span, 10);
    EXPECT_EQ(span, TPointSpan::Week);
    ASSERT_EQ(points.size(), 10u);
    for (const auto& point : points) {
        EXPECT_EQ(Local(point.TimeMs).tm_wday, 1); // Monday
        EXPECT_EQ(point.Practices, 7);
        EXPECT_EQ(point.SentChars, 70);
    }
    points = TProgress::Bunch(records, false, span, 5);
    EXPECT_EQ(span, TPointSpan::Month);
    ASSERT_EQ(points.size(), 3u); // March, April, May
    EXPECT_EQ(Local(points[1].TimeMs).tm_mday, 1);
    EXPECT_EQ(Local(points[1].TimeMs).tm_mon, 3);
    EXPECT_EQ(points[0].Practices + points[1].Practices + points[2].Practices, 70);
    // Months are the coarsest: kept whatever their number.
    points = TProgress::Bunch(records, false, span, 1);
    EXPECT_EQ(span, TPointSpan::Month);
    EXPECT_EQ(points.size(), 3u);
    EXPECT_TRUE(TProgress::Bunch({}, false, span).empty());
}

TEST_F(Progress, TheNoteAndTableSayWhatABunchedPointStandsFor) {
    for (int day = 0; day < 3; ++day) {
        Practise(Kind("groups", 100), {{"abcde", "abcde"}});
        Now += 30min;
        Practise(Kind("groups", 100), {{"abcde", "abcd"}});
        Now += 23h + 30min;
    }
    TProgress p(*Store);
    // Six practices fit as they are; the bunching rule itself is TProgress::Bunch.
    EXPECT_EQ(p.View().Accuracy.Span, TPointSpan::Practice);
    TPointSpan span{};
    const auto days = TProgress::Bunch(Store->Practices(), false, span, 4);
    EXPECT_EQ(span, TPointSpan::Day);
    EXPECT_EQ(days.size(), 3u);
    EXPECT_DOUBLE_EQ(days[0].AccuracyPct, 90.0);
}

TEST_F(Progress, CharactersWorstFirstOverTheLast30DaysOrAllTime) {
    // Forty days ago b was copied as 6 twice; now b is right, and e is missed once of two.
    Now -= 40 * 24h;
    Practise(Kind("groups", 100), {{"bbb", "66b"}});
    Now += 40 * 24h;
    Practise(Kind("groups", 100), {{"ebe", "eb"}});

    TProgress p(*Store);
    EXPECT_EQ(p.Period(), TProgressPeriod::Last30Days);
    const TBarChart& recent = p.View().Chars;
    EXPECT_EQ(recent.Title, "Accuracy per character, worst first (last 30 days)");
    ASSERT_EQ(recent.Bars.size(), 2u);
    EXPECT_EQ(recent.Bars[0].Label, "e (2)");
    EXPECT_DOUBLE_EQ(recent.Bars[0].Value, 50.0);
    EXPECT_EQ(recent.Bars[1].Label, "b (1)");
    EXPECT_DOUBLE_EQ(recent.Bars[1].Value, 100.0);
    EXPECT_EQ(recent.Table.Rows.at(0), (std::vector<std::string>{"e", "50.0 %", "2", "0", "1"}));
    EXPECT_NE(recent.Description.find("Worst first: e 50.0 % of 2 copies; b 100.0 % of 1 copy"),
              std::string::npos);
    EXPECT_TRUE(p.View().Confusions.Lines.empty());
    EXPECT_EQ(p.View().Confusions.Empty,
              "No character was copied as another one in the last 30 days.");

    p.SetPeriod(TProgressPeriod::AllTime);
    const TBarChart& all = p.View().Chars;
    EXPECT_EQ(all.Title, "Accuracy per character, worst first (all time)");
    ASSERT_EQ(all.Bars.size(), 2u);
    EXPECT_EQ(all.Bars[0].Label, "b (4)");
    EXPECT_DOUBLE_EQ(all.Bars[0].Value, 50.0);
    EXPECT_EQ(all.Table.Rows.at(0), (std::vector<std::string>{"b", "50.0 %", "4", "2", "0"}));
    ASSERT_EQ(p.View().Confusions.Lines.size(), 1u);
    EXPECT_EQ(p.View().Confusions.Lines[0], "b → 6: 2 times");
    EXPECT_EQ(p.View().Confusions.Table.Rows.at(0), (std::vector<std::string>{"b", "6", "2"}));
    // The accuracy chart is all time whatever the period; the summary counts the last days.
    EXPECT_EQ(p.View().Accuracy.Points.size(), 2u);
    EXPECT_NE(p.View().Summary.find("Last 30 days: 1 practice,"), std::string::npos);
    EXPECT_EQ(p.View().Accuracy.TimeFormat, "yyyy-MM-dd");
}

TEST_F(Progress, ConfusionsAsSentByCopied) {
    Practise(Kind("groups", 100), {{"bbbbhhh", "66b8555"}, {"bsss", "ehhh"}});
    TProgress p(*Store);
    const TConfusionList& c = p.View().Confusions;
    EXPECT_EQ(c.Lines,
              (std::vector<std::string>{"h → 5: 3 times", "s → h: 3 times", "b → 6: 2 times",
                                        "b → 8: 1 time", "b → e: 1 time"}));
    // b was confused four times: the first row.
    EXPECT_EQ(c.Matrix.Columns,
              (std::vector<std::string>{"Sent ↓ copied →", "5", "h", "6", "8", "e"}));
    ASSERT_EQ(c.Matrix.Rows.size(), 3u);
    EXPECT_EQ(c.Matrix.Rows[0], (std::vector<std::string>{"b", "", "", "2", "1", "1"}));
    EXPECT_EQ(c.Matrix.Rows[1], (std::vector<std::string>{"h", "3", "", "", "", ""}));
    EXPECT_EQ(c.Matrix.Rows[2], (std::vector<std::string>{"s", "", "3", "", "", ""}));
}

TEST_F(Progress, AxesEndOnRoundNumbers) {
    Practise(Kind("groups", 300), {{"abcdefghij", "a"}}); // 10 %
    TProgress p(*Store);
    const TAccuracyChart& c = p.View().Accuracy;
    EXPECT_EQ(c.AccuracyMin, 0.0);
    EXPECT_EQ(c.AccuracyTicks, 6); // 0, 20, ... 100
    EXPECT_EQ(c.SpeedMax, 400.0);  // 330 in steps of 100
    EXPECT_EQ(c.SpeedTicks, 5);
    Store->StartPractice(Kind("groups", 300)); // nothing checked: the axes stay
    p.Refresh();
    EXPECT_EQ(c.SpeedMax, 400.0);
}

TEST_F(Progress, ProsignsByNameAndOneTime) {
    const std::string ar(1, static_cast<char>(ProsignCode(ProsignIndex("<ar>"))));
    const std::string bt(1, static_cast<char>(ProsignCode(ProsignIndex("<bt>"))));
    Practise(Kind("groups", 100), {{ar + "a", bt + "a"}});
    TProgress p(*Store);
    ASSERT_FALSE(p.View().Chars.Bars.empty());
    EXPECT_EQ(p.View().Chars.Bars[0].Label, "<ar> (1)");
    ASSERT_EQ(p.View().Confusions.Lines.size(), 1u);
    EXPECT_EQ(p.View().Confusions.Lines[0], "<ar> → <bt>: 1 time");
}

TEST_F(Progress, SlowestCharactersByMedianOrASentenceWhenNoneWasMeasured) {
    Practise(Kind("groups", 100), {{"ab", "ab"}});
    TProgress none(*Store);
    EXPECT_TRUE(none.View().Slowest.Bars.empty());
    EXPECT_NE(none.View().Slowest.Empty.find("No reaction times in the last 30 days"),
              std::string::npos);
    EXPECT_NE(none.View().Slowest.Empty.find("item-by-item practice"), std::string::npos);

    TItemTiming slow;
    slow.CharMs = {400, 900, 1200};
    TItemTiming fast;
    fast.CharMs = {300, 500, std::nullopt};
    Practise(Kind("single", 100), {{"abc", "abc"}, {"abc", "abc"}}, {slow, fast});
    TProgress p(*Store);
    const TBarChart& c = p.View().Slowest;
    ASSERT_EQ(c.Bars.size(), 3u);
    EXPECT_EQ(c.Bars[0].Label, "c (1)");
    EXPECT_DOUBLE_EQ(c.Bars[0].Value, 1200.0);
    EXPECT_EQ(c.Bars[1].Label, "b (2)");
    EXPECT_DOUBLE_EQ(c.Bars[1].Value, 700.0);
    EXPECT_EQ(c.Bars[2].Label, "a (2)");
    EXPECT_EQ(c.ValueMax, 1500.0); // 0, 500, 1000, 1500
    EXPECT_EQ(c.ValueTicks, 4);
    EXPECT_EQ(c.Table.Rows.at(1), (std::vector<std::string>{"b", "700 ms", "2"}));
    EXPECT_EQ(c.ValueAxis, "Median reaction time (ms)");
}

TEST_F(Progress, ExportAsksForOneFileAndWritesEverySentCharacter) {
    Practise(Kind("groups", 100), {{"abc", "abd"}});
    TProgress p(*Store);
    const std::string path = Dir.File("june.csv");
    Answers = {path};
    EXPECT_TRUE(p.Export(Chooser()));
    ASSERT_EQ(Requests.size(), 1u);
    EXPECT_EQ(Requests[0].Title, "Export the practice history as CSV");
    EXPECT_EQ(Requests[0].Folder, "");
    EXPECT_EQ(Requests[0].FileName, "brindle-history.csv");
    const std::string csv = test::ReadWhole(path);
    EXPECT_EQ(csv.rfind("started,kind,char_cpm,", 0), 0u);
    EXPECT_NE(csv.find(",abc,abd,0,2,c,d,substituted,"), std::string::npos);
    EXPECT_EQ(p.View().ExportStatus, "Exported the practice history to " + path + ".");
    EXPECT_TRUE(Messages.empty());
}

TEST_F(Progress, ExportCancelledWritesNothing) {
    Practise(Kind("groups", 100), {{"abc", "abc"}});
    TProgress p(*Store);
    EXPECT_FALSE(p.Export(Chooser()));
    EXPECT_EQ(Requests.size(), 1u);
    EXPECT_EQ(p.View().ExportStatus, "");
    for (const auto& entry : std::filesystem::directory_iterator(Dir.Path))
        EXPECT_EQ(entry.path().filename().string().rfind("history.sqlite", 0), 0u) << entry.path();
    EXPECT_TRUE(Messages.empty());
}

TEST_F(Progress, AnExportThatFailsIsAnErrorMessage) {
    Practise(Kind("groups", 100), {{"abc", "abc"}});
    TProgress p(*Store);
    const std::string nowhere = Dir.File("no-such-folder/history.csv");
    Answers = {nowhere};
    EXPECT_FALSE(p.Export(Chooser()));
    EXPECT_EQ(Requests.size(), 1u);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Severity, TSeverity::Error);
    EXPECT_NE(Messages[0].Text.find(nowhere), std::string::npos);
    EXPECT_EQ(p.View().ExportStatus,
              "Nothing was exported: the history could not be written to " + nowhere + ".");
    EXPECT_TRUE(p.View().ShowCharts); // the history itself is still there
    // A later refresh keeps the status until the next export.
    p.Refresh();
    EXPECT_FALSE(p.View().ExportStatus.empty());
}

TEST_F(Progress, PeriodNames) {
    EXPECT_EQ(TProgress::PeriodName(TProgressPeriod::Last30Days), "Last 30 days");
    EXPECT_EQ(TProgress::PeriodName(TProgressPeriod::AllTime), "All time");
    EXPECT_EQ(TProgress::PeriodDays(TProgressPeriod::Last30Days), 30);
    EXPECT_EQ(TProgress::PeriodDays(TProgressPeriod::AllTime), std::nullopt);
}
