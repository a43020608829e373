// The practice history: every checked practice, item and character in one SQLite file, the
// queries of the progress window and of the course, and the CSV export. With its schema, the only
// code that speaks SQL. A file it cannot use is reported once; then it works as "no history".
// Writes wait in memory and go to the file in one transaction per flush.
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
#include <unordered_map>
#include <variant>
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
    TMessageSink Messages; // the one message when the file cannot be used or is read-only
    // The status bar: the file is busy and the practices wait in memory. Said once, and again
    // only after a write has succeeded in between.
    std::function<void(const std::string&)> Status;
    std::function<TTimePoint()> Clock = [] { return std::chrono::system_clock::now(); };
    int BusyTimeoutMs = 1000;    // [ms] waiting for another program: opening, a practice's start
    int FlushBusyTimeoutMs = 50; // [ms] waiting for it at a flush or a query during a practice
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
    int PlannedItems = 0; // items the practice is to send; 0: no set length
};

// How a practice ended, as its check scored it.
struct TPracticeEnd {
    bool Aborted = false;
    // It counts towards the course and the weighting of its characters: the caller's rule is a
    // practice checked after running its planned length (not aborted, at least 90 % of the
    // planned items heard, something sent).
    bool Counts = false;
    int SentChars = 0, CorrectChars = 0, ExtraChars = 0;
};

// Reaction times of an item, where they were measured.
struct TItemTiming {
    std::optional<int> ItemMs;              // [ms] for the item as a whole
    std::vector<std::optional<int>> CharMs; // [ms] per sent character, as in TCheckedItem::Chars
};

// A time as the history stores it (UTC, ISO 8601: "2026-12-07T14:05:00Z"); none when the text
// is not one.
std::optional<std::time_t> ParseStoredTime(const std::string& text);

// One practice as the progress window shows it.
struct TPracticeRecord {
    int64_t Id = 0;
    std::string Started; // UTC, ISO 8601
    std::string Kind;
    int CharCpm = 0; // [chars/min]
    int EffCpm = 0;  // [chars/min]
    int SentChars = 0;
    int CorrectChars = 0;
    int ExtraChars = 0; // copied with no sent character
    bool Aborted = false;
    bool Finished = false; // false: the program stopped during it; scored on what was kept
    bool Counts = false;   // towards the course and the weighting of its characters
    std::optional<TCourseLesson> Course;
    // As the check scores it: every substituted, missed and extra character is an error.
    double Accuracy() const {
        return TCopyCheck::ScoreOf(SentChars, SentChars - CorrectChars + ExtraChars);
    }
};

// One item as kept (UTF-8, prosigns by name).
struct TStoredItem {
    int Seq = 0; // 1, 2, ... within its practice
    std::string Sent;
    std::string Copied;
    int SentChars = 0;
    int CorrectChars = 0;
    int ExtraChars = 0;
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

// Writing is batched: a practice's items, its copy and its end wait in memory until Flush, which
// writes them all in one transaction; the caller flushes about once a second and after a
// practice, and the destructor flushes what is left. The file is in WAL mode with
// synchronous=NORMAL, SQLite's setting for WAL: a crash of the program loses nothing committed,
// only a power loss may lose the last transactions; no commit waits for the disk. A practice
// the program never finished (it crashed or was killed) is checked again at the next opening on
// the copy saved beside it and kept as aborted.
//
// One thread uses a store. Several stores (or programs) may open the same file. A file another
// program keeps busy does not turn the history off: the changes wait in memory, the status sink
// says so once, and later flushes write them. A file that can be read but not written is opened
// read-only: the queries work, nothing is written.
class THistoryStore {
public:
    using TPracticeId = int64_t; // 0: none (the history is off or read-only)

    // Opens or creates the file (and its folder, 0700), brings an older file to the current
    // version and scores practices that were never finished as aborted.
    explicit THistoryStore(std::string path, THistoryOptions options = {});
    // Writes what is queued; says nothing (the windows may be gone).
    ~THistoryStore();
    THistoryStore(const THistoryStore&) = delete;
    THistoryStore& operator=(const THistoryStore&) = delete;

    // False once the history is off: every call does nothing and queries are empty.
    bool Available() const { return Conn_ != nullptr && !Off_; }
    // False when off or read-only: nothing is kept.
    bool Writable() const { return Available() && Writable_; }
    const std::string& Path() const { return Path_; }

    // --- Writing.
    // Writes the practice's row at once (with what is queued) and returns its id; 0 when the
    // history is off, read-only or busy.
    TPracticeId StartPractice(const TPracticeStart& start);
    // The others only queue their change (no SQL) and return whether it was taken: false when
    // nothing is written or the practice was not started by this store.
    // The item's sequence number in its practice follows the items added before.
    bool AddItem(TPracticeId practice, const TCheckedItem& item, const TItemTiming& timing = {});
    // The item seq (1, 2, ...) of a practice written again, with what was copied for it now: a
    // practice copied on the run keeps each item as it is sent and rewrites it when checked.
    bool ReplaceItem(TPracticeId practice, int seq, const TCheckedItem& item,
                     const TItemTiming& timing = {});
    // The copy typed so far (engine form, as CheckCopy takes it), which covers the practice's
    // items from fromSeq on; replaces the one saved before.
    bool SaveCopy(TPracticeId practice, int fromSeq, std::string copyEngineForm);
    bool FinishPractice(TPracticeId practice, const TPracticeEnd& end);
    // Writes everything queued in one transaction: true when it is written (or nothing waited);
    // false when the history is off or read-only, or the file is busy: then the changes stay
    // queued for the next flush.
    bool Flush();
    bool PendingWrites() const { return !Queue_.empty(); }

    // --- The progress window. Each query flushes first. lastDays: the last so many 24 hours;
    // empty: all time.
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

    // --- The course: only practices that count (TPracticeEnd::Counts) enter these.
    // For each character of chars (engine form): all its copies, and its latest copies.
    std::vector<TCharStats> CharStats(std::string_view chars);
    // The last lastCopies copies of c in the practices of the lesson (its order and number):
    // the newest practices first, and in each its last items first.
    TCharTally NewestCharTally(const TCourseLesson& lesson, uint8_t c, int lastCopies = 50);

    // Writes one row per sent character, with its practice's and item's columns, as CSV (UTF-8,
    // a header line, CR LF) to path, replacing it whole or not at all. A failure is reported and
    // leaves the history on.
    bool ExportCsv(const std::string& path);

private:
    struct TConnection; // the open file and its prepared statements

    // The changes that wait for Flush, in the order they were made.
    struct TItemWrite {
        TPracticeId Practice = 0;
        int Seq = 0;
        bool Replace = false; // an item written before goes first
        TCheckedItem Item;
        TItemTiming Timing;
    };
    struct TCopyWrite {
        TPracticeId Practice = 0;
        int FromSeq = 1;
        std::string Copy; // engine form
    };
    struct TEndWrite {
        TPracticeId Practice = 0;
        std::string Ended; // UTC, ISO 8601
        TPracticeEnd End;
    };
    using TWrite = std::variant<TItemWrite, TCopyWrite, TEndWrite>;

    void Open();
    // Whether the file is ours (or empty) and its version; the SQLite error when it cannot be
    // read, with nothing said.
    int ReadVersion(sqlite3* db, int& version, std::vector<std::string>& names);
    // Refuses a file that is not ours, of a newer version, or missing a table or index.
    bool Ours(int version, const std::vector<std::string>& names);
    // The writes of opening, in the transaction: migrations, unfinished practices scored.
    int Migrate(sqlite3* db, int version);
    int ScoreUnfinished();
    // The file cannot be used (at opening) or can no longer be written: one message, then off.
    // A transaction under way is rolled back; the connection closes at the next call.
    void Refuse(const std::string& reason, TSeverity severity = TSeverity::Warning);
    // The file is busy: the status line, once until a write succeeds.
    void SayBusy();
    // False when the history is off; closes a connection that was refused.
    bool Live();
    // Refuses with SQLite's reason unless rc is one of the good results; a busy file after
    // opening is said, not refused.
    bool Check(int rc, TSeverity severity = TSeverity::Error);
    std::string ReasonOf(int rc, sqlite3* db) const;
    // The statement for sql (a constant), prepared once; none when the history is off.
    sql::TStatement* Prepare(const char* sql);
    // The same, refusing nothing: rc tells why there is none.
    sql::TStatement* Statement(const char* sql, int& rc);
    // Each write inside the transaction of a flush or of opening: SQLite's result.
    int Apply(const TWrite& write);
    int WriteItem(const TItemWrite& write);
    int WriteCopy(const TCopyWrite& write);
    int WriteEnd(const TEndWrite& write);
    // Whether the practice exists (found) and counts.
    int PracticeCounts(TPracticeId practice, bool& found, bool& counts);
    // An item's rows and their share of the summaries, gone or written.
    int RemoveItem(TPracticeId practice, int64_t seq, bool counts);
    int InsertItem(TPracticeId practice, int64_t seq, const TCheckedItem& item,
                   const TItemTiming& timing, bool counts);
    // Adds sign (+1 or -1) times the practice's characters to the copies that count.
    int CountPractice(TPracticeId practice, int sign);
    // Flushes before a query; the query runs whatever the flush met.
    void FlushForQuery();
    std::string Now() const;
    std::string Cutoff(std::optional<int> lastDays) const;

    std::string Path_;
    THistoryOptions Options_;
    std::unique_ptr<TConnection> Conn_; // none while the history is off
    bool Off_ = false;                  // refused: no more calls, no more messages
    bool Opening_ = true;
    bool Writable_ = false;
    bool Quiet_ = false;    // closing: nothing more is said
    bool BusySaid_ = false; // since the last write that succeeded
    std::vector<TWrite> Queue_;
    // The practices this store started, and the seq their next added item gets.
    std::unordered_map<TPracticeId, int> NextSeq_;
};

} // namespace brindle
