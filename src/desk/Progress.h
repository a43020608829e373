// The progress window's rules, without widgets: what it reads from the practice history and how a
// long history is bunched into points, the period and order of the character figures, the rows of
// every table, every text the window shows, and the file of the CSV export.
#pragma once

#include "desk/DeskTypes.h"
#include "learn/HistoryStore.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace brindle {

// The time the character figures (accuracy, confusions, reaction times) cover.
enum class TProgressPeriod { Last30Days, AllTime };

// What one point of the accuracy chart stands for. A long history is bunched into days, weeks or
// months so that the chart keeps at most TProgress::MaxPoints points.
enum class TPointSpan { Practice, Day, Week, Month };

// One point of the accuracy chart.
struct TProgressPoint {
    int64_t TimeMs = 0; // [ms since 1970, UTC] the practice's start, or its span's local start
    double AccuracyPct = 0.0;  // [%] characters copied right, less the extra ones
    double Speed = 0.0;        // character speed in the unit shown [CpM or WpM], by characters sent
    std::optional<int> Lesson; // the course lesson; of a span, the highest one practised in it
    int Practices = 0;         // how many practices it stands for
    int SentChars = 0;
    int CorrectChars = 0;
    int ExtraChars = 0;
};

// A table as the window shows it: the text form of a chart, which a screen reader reads.
struct TTextTable {
    std::vector<std::string> Columns;
    std::vector<std::vector<std::string>> Rows;
};

// Accuracy and character speed over time, and the course lesson.
struct TAccuracyChart {
    std::string Title;
    std::vector<TProgressPoint> Points; // oldest first
    TPointSpan Span = TPointSpan::Practice;
    bool HasLessons = false; // some point has a course lesson: the lesson series and its axis
    int64_t FromMs = 0;      // [ms since 1970] the time axis
    int64_t ToMs = 0;
    std::string TimeFormat;   // the time axis's labels, as QDateTime formats them
    double AccuracyMin = 0.0; // [%] bottom of the accuracy axis; its top is 100
    int AccuracyTicks = 6;
    double SpeedMax = 0.0; // top of the speed axis, in the unit shown; its bottom is 0
    int SpeedTicks = 6;
    int LessonMax = 0; // top of the lesson axis; its bottom is 0
    int LessonTicks = 6;
    std::string AccuracyAxis;
    std::string SpeedAxis;
    std::string LessonAxis;
    std::string AccuracySeries;
    std::string SpeedSeries;
    std::string LessonSeries;
    std::string Note;        // what a point stands for
    std::string Description; // the chart's figures in words
    TTextTable Table;        // one row per point, newest first
};

// One bar, drawn from the top.
struct TBar {
    std::string Label; // "b (42)"
    double Value = 0.0;
};

// Accuracy per character, or the slowest characters.
struct TBarChart {
    std::string Title;
    std::string CategoryAxis;
    std::string ValueAxis;
    std::string ValueLabels; // how a bar's value is written on it, as Qt Charts formats it
    double ValueMax = 0.0;   // end of the value axis, which starts at 0
    int ValueTicks = 6;
    std::vector<TBar> Bars; // at most TProgress::MaxBars, the worst first
    std::string Empty;      // shown instead when there is nothing to draw
    std::string Description;
    TTextTable Table; // every character of the chart's kind, in the chart's order
};

// The characters most often copied as another one.
struct TConfusionList {
    std::string Title;
    std::vector<std::string> Lines; // "b → 6: 7 times", most frequent first
    std::string Empty;
    TTextTable Table; // sent, copied as, times; most frequent first
    // The same as sent × copied: a row per sent character (the most confused first), a column
    // per character copied in its place, the times in the cells.
    TTextTable Matrix;
};

// Everything the window draws.
struct TProgressView {
    bool ShowCharts = false; // false: Message alone
    std::string Message;     // an empty history, or none: the sentence shown instead of charts
    std::string Summary;     // one line above the charts
    TAccuracyChart Accuracy;
    TBarChart Chars;
    TConfusionList Confusions;
    TBarChart Slowest;
    bool CanExport = false;
    std::string ExportStatus; // what the last export wrote, or that it failed
};

// The window's fixed captions.
struct TProgressCaptions {
    static constexpr const char* Window = "Brindle Progress";
    static constexpr const char* Period = "Character figures &over:";
    static constexpr const char* Refresh = "&Refresh";
    static constexpr const char* Export = "&Export CSV…";
    static constexpr const char* Close = "Close";
    static constexpr const char* Tabs = "Progress views";
    static constexpr const char* RefreshHint = "Read the practice history again (F5)";
    static constexpr const char* ExportHint =
        "Write every sent character with its practice and item to a CSV file";
    // The views, in the order of the window's tabs; a chart's and a table's names follow them.
    static constexpr const char* Views[] = {"&Accuracy over time", "&Characters", "Co&nfusions",
                                            "&Slowest characters"};
    static constexpr const char* ChartName = ", chart";
    static constexpr const char* TableName = ", table";
    static constexpr const char* MatrixName = ", sent by copied";
};

// The progress window's logic on one history. Reads it when made and at Refresh, never on its
// own; the window draws View().
class TProgress {
public:
    static constexpr std::size_t MaxPoints = 400;    // points of the accuracy chart at most
    static constexpr std::size_t MaxBars = 15;       // bars of a chart; the tables list all
    static constexpr std::size_t MaxConfusions = 20; // rows of the confusion table
    static constexpr int RecentDays = 30;            // [days] of the period Last30Days

    // The file chosen to save to (UTF-8), empty when cancelled.
    using TChooseFile = std::function<std::string(const TOpenRequest&)>;

    explicit TProgress(THistoryStore& history, bool showWpM = false,
                       TProgressPeriod period = TProgressPeriod::Last30Days);

    const TProgressView& View() const { return View_; }
    TProgressPeriod Period() const { return Period_; }
    bool ShowWpM() const { return ShowWpM_; }

    // Reads the history again.
    void Refresh();
    // Reads the character figures of period.
    void SetPeriod(TProgressPeriod period);
    // Speeds in WpM, else CpM; reads nothing.
    void SetShowWpM(bool showWpM);

    // The export: asks choose for the file and writes the history to it (one row per sent
    // character). Cancelling exports nothing. A file that cannot be written is reported by the
    // history through its message sink (an error); View().ExportStatus tells the outcome. True
    // when the file was written.
    bool Export(const TChooseFile& choose);
    // The request for the export's file.
    static TOpenRequest ExportRequest();

    // The points of records (oldest first) in the unit asked for, bunched into the finest span
    // that gives at most maxPoints points. Days, weeks (from Monday) and months are local.
    static std::vector<TProgressPoint> Bunch(const std::vector<TPracticeRecord>& records,
                                             bool showWpM, TPointSpan& span,
                                             std::size_t maxPoints = MaxPoints);
    // The period's name in the window's choice, and the days it covers (none: all time).
    static std::string PeriodName(TProgressPeriod period);
    static std::optional<int> PeriodDays(TProgressPeriod period);

private:
    void ReadChars();
    void ComposeAccuracy();
    void ComposeSummary();

    THistoryStore& History_;
    bool ShowWpM_ = false;
    TProgressPeriod Period_ = TProgressPeriod::Last30Days;
    std::vector<TPracticeRecord> Records_; // every scored practice, oldest first
    std::vector<TPracticeRecord> Recent_;  // those of the last RecentDays
    TProgressView View_;
};

} // namespace brindle
