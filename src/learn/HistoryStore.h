// The practice history: every checked practice, item and character in one SQLite file, the
// queries of the progress window and of the course, and the CSV export. With its schema, the only
// code that speaks SQL. A file it cannot use is reported once; then it works as "no history".
#pragma once

#include "base/MessageSink.h"
#include "learn/CopyCheck.h"
#include "learn/LearnTypes.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace brindle {

namespace sql {
class TStatement;
}

using TTimePoint = std::chrono::system_clock::time_point;

// $XDG_DATA_HOME/Brindle/history.sqlite, else ~/.local/share/Brindle/history.sqlite.
std::string DefaultHistoryPath();
// The same from the variables' values (empty: unset). XDG_DATA_HOME counts only when absolute.
// Empty when neither names a folder.
std::string HistoryPathFor(std::string_view xdgDataHome, std::string_view home);

// How a character is written in the history (UTF-8, a prosign by its name) and read back.
std::string StoredChar(uint8_t c);
uint8_t CharOfStored(std::string_view stored);
// Engine text as the history writes it.
std::string StoredText(std::string_view text);

struct THistoryOptions {
    TMessageSink Messages; // the one message when it fails
    std::function<TTimePoint()> Clock = [] { return std::chrono::system_clock::now(); };
    int BusyTimeoutMs = 1000; // [ms] waiting for another program
};

// The lesson a course practice belongs to.
struct TCourseLesson {
    TCourseOrder Order = TCourseOrder::Lcwo;
    int Lesson = 1;
};

struct TPracticeStart {
    std::string Kind; // what was practised ("groups", "words", ...), as the caller names it
    int CharCpm = 0;  // [chars/min] character speed
    int EffCpm = 0;   // [chars/min] effective speed
    std::optional<TCourseLesson> Course;
};

// Reaction times of an item, where they were measured.
struct TItemTiming {
    std::optional<int> ItemMs;              // [ms] for the item as a whole
    std::vector<std::optional<int>> CharMs; // [ms] per sent character, as in TCheckedItem::Chars
};

// One practice as the progress window shows it.
// A time as the history stores it (UTC, ISO 8601: "2026-12-07T14:05:00Z"); none when the text
// is not one.
std::optional<std::time_t> ParseStoredTime(const std::string& text);

struct TPracticeRecord {
    int64_t Id = 0;
    std::string Started; // UTC, ISO 8601
    std::string Kind;
    int CharCpm = 0; // [chars/min]
    int EffCpm = 0;  // [chars/min]
    int SentChars = 0;
    int CorrectChars = 0;
    bool Aborted = false;
    bool Finished = false; // false: the program stopped during it; scored on the items kept
    std::optional<TCourseLesson> Course;
    double Accuracy() const {
        return SentChars == 0 ? 0.0 : static_cast<double>(CorrectChars) / SentChars;
    }
};

// One item as kept (UTF-8, prosigns by name).
struct TStoredItem {
    int Seq = 0; // 1, 2, ... within its practice
    std::string Sent;
    std::string Copied;
    int SentChars = 0;
    int CorrectChars = 0;
    std::optional<int> ReactionMs; // [ms]
};

struct TCharAccuracy {
    uint8_t Char = 0; // engine form
    int Copies = 0;
    int Correct = 0;
    int Missed = 0;
    double Accuracy() const { return Copies == 0 ? 0.0 : static_cast<double>(Correct) / Copies; }
};

// A character copied as another one.
struct TConfusion {
    uint8_t Sent = 0;
    uint8_t Copied = 0;
    int Count = 0;
    bool operator==(const TConfusion&) const = default;
};

struct TCharReaction {
    uint8_t Char = 0;
    int MedianMs = 0; // [ms]
    int Count = 0;    // reaction times measured
};

enum class TCsvTable {
    Items, // one row per item
    Chars, // one row per sent character
};

// One thread uses a store. Several stores (or programs) may open the same file; each write
// waits up to the busy timeout for the others.
class THistoryStore {
public:
    using TPracticeId = int64_t; // 0: none (the history is off)

    // Opens or creates the file (and its folder, 0700), brings an older file to the current
    // version and scores practices that were never finished as aborted.
    explicit THistoryStore(std::string path, THistoryOptions options = {});
    ~THistoryStore();
    THistoryStore(const THistoryStore&) = delete;
    THistoryStore& operator=(const THistoryStore&) = delete;

    // False once the history is off: every call does nothing and queries are empty.
    bool Available() const { return Conn_ != nullptr && !Off_; }
    const std::string& Path() const { return Path_; }

    // --- Writing: one transaction each, so that a crash loses at most the item being written.
    TPracticeId StartPractice(const TPracticeStart& start);
    // The item's sequence number in its practice follows from the items already kept.
    bool AddItem(TPracticeId practice, const TCheckedItem& item, const TItemTiming& timing = {});
    // The item seq (1, 2, ...) of a practice written again, with what was copied for it now: a
    // practice copied on the run keeps each item as it is sent and rewrites it when checked.
    bool ReplaceItem(TPracticeId practice, int seq, const TCheckedItem& item,
                     const TItemTiming& timing = {});
    bool FinishPractice(TPracticeId practice, bool aborted, int sentChars, int correctChars);

    // --- The progress window. lastDays: the last so many 24 hours; empty: all time.
    // Scored practices (at least one character sent), oldest first.
    std::vector<TPracticeRecord> Practices(std::optional<int> lastDays = {});
    std::vector<TStoredItem> Items(TPracticeId practice);
    // Worst first; among equals the most copied first.
    std::vector<TCharAccuracy> CharAccuracy(std::optional<int> lastDays = {});
    // Characters copied as another one, most frequent first.
    std::vector<TConfusion> Confusions(std::optional<int> lastDays = {}, std::size_t limit = 20);
    // Characters by their median reaction time, slowest first.
    std::vector<TCharReaction> SlowestChars(std::optional<int> lastDays = {},
                                            std::size_t limit = 20);

    // --- The course.
    // For each character of chars (engine form): all its copies, and its latest copies.
    std::vector<TCharStats> CharStats(std::string_view chars);
    // Copies of c in the practice and in the other practices of its course lesson and order
    // that started on the same local day.
    TCharTally LessonDayTally(TPracticeId practice, uint8_t c);

    // Writes the table as CSV (UTF-8, a header line, CR LF) to path, replacing it whole or not
    // at all. A failure is reported and leaves the history on.
    bool ExportCsv(TCsvTable table, const std::string& path);

private:
    struct TConnection; // the open file and its prepared statements

    void Open();
    // The rows of an item (the transaction is the caller's).
    bool InsertItem(TPracticeId practice, int64_t seq, const TCheckedItem& item,
                    const TItemTiming& timing);
    // Whether the file is ours (or empty) and its version, on a connection that only reads.
    bool Inspect(sqlite3* db, int& version);
    // The file cannot be used (at opening) or can no longer be written: one message, then off.
    // A transaction under way is rolled back; the connection closes at the next call.
    void Refuse(const std::string& reason, TSeverity severity = TSeverity::Warning);
    // False when the history is off; closes a connection that was refused.
    bool Live();
    // Refuses with SQLite's reason unless rc is one of the good results.
    bool Check(int rc, TSeverity severity = TSeverity::Error);
    std::string ReasonOf(int rc, sqlite3* db) const;
    // The statement for sql (a constant), prepared once; none when the history is off.
    sql::TStatement* Prepare(const char* sql);
    bool Begin();
    bool Commit();
    // Inside a transaction just begun: whether the practice exists; when not, the transaction
    // is rolled back.
    bool PracticeExistsElseRollBack(TPracticeId practice);
    std::string Now() const;
    std::string Cutoff(std::optional<int> lastDays) const;

    std::string Path_;
    THistoryOptions Options_;
    std::unique_ptr<TConnection> Conn_; // none while the history is off
    bool Off_ = false;                  // refused: no more calls, no more messages
    bool Opening_ = true;
};

} // namespace brindle
