#include "learn/HistoryStore.h"

#include "base/FileIO.h"
#include "base/Text1252.h"
#include "engine/MorseTables.h"
#include "learn/HistorySchema.h"
#include "learn/Sqlite.h"
#include "practice/TextFilters.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace brindle {

// ----------------------------------------------------------------------------------------------
// The SQL, all of it. Texts are constants: their addresses key the prepared statements. A CROSS
// JOIN keeps SQLite from reading every character to find the few of some days: it fixes the
// order of the loops to the practices (by the index on their start) first.

namespace {

constexpr const char* kInsertSession =
    "INSERT INTO sessions(started, kind, char_cpm, eff_cpm, lesson, course_order) "
    "VALUES(?1, ?2, ?3, ?4, ?5, ?6)";
constexpr const char* kSessionExists = "SELECT 1 FROM sessions WHERE id = ?1";
constexpr const char* kNextSeq = "SELECT COALESCE(MAX(seq), 0) + 1 FROM items WHERE session = ?1";
constexpr const char* kInsertItem =
    "INSERT INTO items(session, seq, sent, copied, sent_chars, correct_chars, reaction_ms) "
    "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)";
constexpr const char* kInsertChar = "INSERT INTO chars(session, seq, pos, sent, copied, "
                                    "reaction_ms) VALUES(?1, ?2, ?3, ?4, ?5, ?6)";
constexpr const char* kCountPair = "INSERT INTO char_pairs(sent, copied, n) VALUES(?1, ?2, 1) "
                                   "ON CONFLICT(sent, copied) DO UPDATE SET n = n + 1";
constexpr const char* kOldPairs = "SELECT sent, copied FROM chars WHERE session = ?1 AND seq = ?2";
constexpr const char* kUncountPair =
    "UPDATE char_pairs SET n = n - 1 WHERE sent = ?1 AND copied = ?2";
constexpr const char* kDropEmptyPairs = "DELETE FROM char_pairs WHERE n <= 0";
constexpr const char* kDeleteChars = "DELETE FROM chars WHERE session = ?1 AND seq = ?2";
constexpr const char* kDeleteItem = "DELETE FROM items WHERE session = ?1 AND seq = ?2";
constexpr const char* kFinish =
    "UPDATE sessions SET ended = ?2, aborted = ?3, sent_chars = ?4, correct_chars = ?5 "
    "WHERE id = ?1";
// Practices the program never finished: aborted, and scored on the items it kept.
constexpr const char* kScoreUnfinished =
    "UPDATE sessions SET aborted = 1, "
    "sent_chars = (SELECT COALESCE(SUM(sent_chars), 0) FROM items WHERE session = sessions.id), "
    "correct_chars = (SELECT COALESCE(SUM(correct_chars), 0) FROM items "
    "WHERE session = sessions.id) "
    "WHERE ended IS NULL";

constexpr const char* kPractices =
    "SELECT id, started, kind, char_cpm, eff_cpm, sent_chars, correct_chars, aborted, "
    "ended IS NOT NULL, course_order, lesson FROM sessions "
    "WHERE started >= ?1 AND sent_chars > 0 ORDER BY started, id";
constexpr const char* kItems =
    "SELECT seq, sent, copied, sent_chars, correct_chars, reaction_ms FROM items "
    "WHERE session = ?1 ORDER BY seq";
constexpr const char* kCharAccuracyAll =
    "SELECT sent, SUM(n), SUM(CASE WHEN copied = sent THEN n ELSE 0 END), "
    "SUM(CASE WHEN copied = '' THEN n ELSE 0 END) FROM char_pairs GROUP BY sent";
constexpr const char* kCharAccuracySince =
    "SELECT c.sent, COUNT(*), SUM(c.copied = c.sent), SUM(c.copied = '') "
    "FROM sessions s CROSS JOIN chars c ON c.session = s.id WHERE s.started >= ?1 GROUP BY c.sent";
constexpr const char* kConfusionsAll =
    "SELECT sent, copied, n FROM char_pairs WHERE copied <> sent AND copied <> '' "
    "ORDER BY n DESC, sent, copied LIMIT ?1";
constexpr const char* kConfusionsSince =
    "SELECT c.sent, c.copied, COUNT(*) AS n FROM sessions s CROSS JOIN chars c ON c.session = s.id "
    "WHERE s.started >= ?1 AND c.copied <> c.sent AND c.copied <> '' "
    "GROUP BY c.sent, c.copied ORDER BY n DESC, c.sent, c.copied LIMIT ?2";
// In the order of the partial index: each character's times come sorted.
constexpr const char* kReactionsAll =
    "SELECT sent, reaction_ms FROM chars WHERE reaction_ms IS NOT NULL "
    "ORDER BY sent, reaction_ms";
constexpr const char* kReactionsSince =
    "SELECT c.sent, c.reaction_ms FROM sessions s CROSS JOIN chars c ON c.session = s.id "
    "WHERE s.started >= ?1 AND c.reaction_ms IS NOT NULL";
constexpr const char* kCopiesOf = "SELECT COALESCE(SUM(n), 0) FROM char_pairs WHERE sent = ?1";
constexpr const char* kLatestOf =
    "SELECT COUNT(*), COALESCE(SUM(copied = sent), 0) FROM (SELECT sent, copied FROM chars "
    "WHERE sent = ?1 ORDER BY session DESC, seq DESC, pos DESC LIMIT ?2)";
constexpr const char* kPracticeCourse =
    "SELECT started, course_order, lesson FROM sessions WHERE id = ?1";
constexpr const char* kLessonDayTally =
    "SELECT COUNT(*), COALESCE(SUM(c.copied = c.sent), 0) "
    "FROM sessions s CROSS JOIN chars c ON c.session = s.id "
    "WHERE s.course_order = ?1 AND s.lesson = ?2 AND s.started >= ?3 AND s.started < ?4 "
    "AND c.sent = ?5";
constexpr const char* kPracticeTally =
    "SELECT COUNT(*), COALESCE(SUM(copied = sent), 0) FROM chars WHERE session = ?1 AND sent = ?2";
constexpr const char* kExportItems =
    "SELECT s.id, s.started, s.kind, s.course_order, s.lesson, i.seq, i.sent, i.copied, "
    "i.sent_chars, i.correct_chars, i.reaction_ms "
    "FROM items i JOIN sessions s ON s.id = i.session ORDER BY i.session, i.seq";
constexpr const char* kExportChars =
    "SELECT s.id, s.started, c.seq, c.pos, c.sent, c.copied, c.reaction_ms "
    "FROM chars c JOIN sessions s ON s.id = c.session ORDER BY c.session, c.seq, c.pos";

constexpr std::string_view kCourseOrderNames[CourseOrderCount] = {"lcwo", "g4fon", "cwops",
                                                                  "custom"};

bool Good(int rc) {
    return rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE;
}

// ----------------------------------------------------------------------------------------------
// Times: UTC in ISO 8601 with seconds, which sorts as text.

std::string IsoUtc(std::time_t t) {
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

// The local calendar day around t, as a UTC range [from, to).
std::pair<std::string, std::string> LocalDayOf(std::time_t t) {
    std::tm day{};
    localtime_r(&t, &day);
    day.tm_hour = day.tm_min = day.tm_sec = 0;
    day.tm_isdst = -1;
    std::tm next = day;
    next.tm_mday += 1;
    return {IsoUtc(std::mktime(&day)), IsoUtc(std::mktime(&next))};
}

// ----------------------------------------------------------------------------------------------

// Makes the missing folders of path (0700 each); an error names the folder and the reason.
bool MakeFolders(const std::string& folder, std::string& error) {
    std::string prefix;
    std::size_t pos = 0;
    while (pos <= folder.size()) {
        const std::size_t slash = folder.find('/', pos);
        const std::size_t end = slash == std::string::npos ? folder.size() : slash;
        prefix = folder.substr(0, end);
        pos = end + 1;
        if (prefix.empty()) continue;
        struct stat st {};
        if (stat(prefix.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode)) {
                error = prefix + " is not a folder";
                return false;
            }
            continue;
        }
        if (errno != ENOENT || (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)) {
            error = prefix + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

// A field of RFC 4180: quoted when it holds a comma, a quote or a line end, or starts or ends
// with a space.
std::string CsvField(std::string_view text) {
    if (text.empty() || (text.find_first_of(",\"\r\n") == std::string_view::npos &&
                         text.front() != ' ' && text.back() != ' '))
        return std::string(text);
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + '"';
}

std::string CsvNumber(const sql::TStatement& s, int column) {
    return s.IsNull(column) ? std::string() : std::to_string(s.Int(column));
}

} // namespace

std::optional<std::time_t> ParseStoredTime(const std::string& text) {
    std::tm tm{};
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday,
                    &tm.tm_hour, &tm.tm_min, &tm.tm_sec) != 6)
        return std::nullopt;
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    return timegm(&tm);
}

// ----------------------------------------------------------------------------------------------

std::string HistoryPathFor(std::string_view xdgDataHome, std::string_view home) {
    std::string folder;
    if (!xdgDataHome.empty() && xdgDataHome.front() == '/')
        folder = std::string(xdgDataHome);
    else if (!home.empty())
        folder = std::string(home) + "/.local/share";
    else
        return {};
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder + "/Brindle/history.sqlite";
}

std::string DefaultHistoryPath() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    std::string homeFolder = home ? home : "";
    if (homeFolder.empty()) {
        if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) homeFolder = pw->pw_dir;
    }
    return HistoryPathFor(xdg ? xdg : "", homeFolder);
}

std::string StoredChar(uint8_t c) {
    if (const int prosign = ProsignOfCode(c); prosign != 0)
        return std::string(ProsignName(prosign));
    return Cp1252ToUtf8(std::string(1, static_cast<char>(c)));
}

uint8_t CharOfStored(std::string_view stored) {
    if (stored.size() > 2 && stored.front() == '<')
        if (const int prosign = ProsignIndex(stored); prosign != 0) return ProsignCode(prosign);
    const std::string bytes = Utf8To1252(stored);
    return bytes.empty() ? 0 : static_cast<uint8_t>(bytes.front());
}

std::string StoredText(std::string_view text) {
    return Cp1252ToUtf8(CodesToProsignNames(text));
}

// ----------------------------------------------------------------------------------------------

struct THistoryStore::TConnection {
    sql::TDb Db;
    std::unordered_map<const char*, sql::TStatement> Statements; // finalized before Db closes

    sql::TStatement* Get(const char* text, int& rc) {
        rc = SQLITE_OK;
        if (auto it = Statements.find(text); it != Statements.end()) return &it->second;
        sql::TStatement s(Db.get(), text, rc);
        if (rc != SQLITE_OK) return nullptr;
        return &Statements.emplace(text, std::move(s)).first->second;
    }
};

THistoryStore::THistoryStore(std::string path, THistoryOptions options)
    : Path_(std::move(path)), Options_(std::move(options)) {
    if (!Options_.Clock) Options_.Clock = [] { return std::chrono::system_clock::now(); };
    Open();
    Opening_ = false;
    Live();
}

THistoryStore::~THistoryStore() = default;

void THistoryStore::Refuse(const std::string& reason, TSeverity severity) {
    if (Off_) return;
    Off_ = true;
    if (Conn_ && Conn_->Db && sqlite3_get_autocommit(Conn_->Db.get()) == 0)
        sql::Exec(Conn_->Db.get(), "ROLLBACK");
    if (Path_.empty()) {
        ShowMessage(Options_.Messages, severity,
                    "No practice history can be kept: " + reason +
                        ". Brindle goes on without one.");
    } else if (Opening_) {
        ShowMessage(Options_.Messages, severity,
                    "The practice history " + Path_ + " cannot be used: " + reason +
                        ". Brindle goes on without a history and leaves the file as it is.");
    } else {
        ShowMessage(Options_.Messages, severity,
                    "The practice history " + Path_ + " can no longer be used: " + reason +
                        ". Brindle keeps no history for the rest of this run.");
    }
}

bool THistoryStore::Live() {
    if (Off_) Conn_.reset(); // no statement of it is in use between calls
    return Conn_ != nullptr;
}

std::string THistoryStore::ReasonOf(int rc, sqlite3* db) const {
    const int system = db ? sqlite3_system_errno(db) : 0;
    const std::string detail = system != 0 ? std::string(" (") + std::strerror(system) + ")" : "";
    switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return "it is locked by another program";
    case SQLITE_NOTADB: return "it is not a database";
    case SQLITE_CORRUPT: return "it is damaged";
    case SQLITE_FULL: return "the disk is full";
    case SQLITE_READONLY: return "it cannot be written" + detail;
    case SQLITE_CANTOPEN: return "it cannot be opened" + detail;
    case SQLITE_PERM:
    case SQLITE_AUTH: return "access to it is denied" + detail;
    case SQLITE_IOERR: return "reading or writing it failed" + detail;
    case SQLITE_NOMEM: return "there is not enough memory";
    default: return sqlite3_errstr(rc);
    }
}

bool THistoryStore::Check(int rc, TSeverity severity) {
    if (Good(rc)) return true;
    Refuse(ReasonOf(rc, Conn_ ? Conn_->Db.get() : nullptr), severity);
    return false;
}

sql::TStatement* THistoryStore::Prepare(const char* text) {
    if (!Conn_ || Off_) return nullptr;
    int rc = SQLITE_OK;
    sql::TStatement* s = Conn_->Get(text, rc);
    if (!s) Check(rc);
    return s;
}

bool THistoryStore::Begin() {
    return Conn_ && !Off_ && Check(sql::Exec(Conn_->Db.get(), "BEGIN IMMEDIATE"));
}

bool THistoryStore::Commit() {
    return Conn_ && !Off_ && Check(sql::Exec(Conn_->Db.get(), "COMMIT"));
}

std::string THistoryStore::Now() const {
    return IsoUtc(std::chrono::system_clock::to_time_t(Options_.Clock()));
}

std::string THistoryStore::Cutoff(std::optional<int> lastDays) const {
    if (!lastDays) return {}; // before every time
    const auto now = std::chrono::system_clock::to_time_t(Options_.Clock());
    return IsoUtc(now - static_cast<std::time_t>(*lastDays) * 86400);
}

// ----------------------------------------------------------------------------------------------
// Opening: look first, write only to a file that is ours.

bool THistoryStore::Inspect(sqlite3* db, int& version) {
    auto refused = [&](int rc) {
        Refuse(ReasonOf(rc, db));
        return false;
    };
    int rc = SQLITE_OK;
    {
        sql::TStatement s(db, "PRAGMA user_version", rc);
        if (rc != SQLITE_OK) return refused(rc);
        if ((rc = s.Step()) != SQLITE_ROW) return refused(rc);
        version = static_cast<int>(s.Int(0));
    }
    std::vector<std::string> names;
    {
        sql::TStatement s(db,
                          "SELECT name FROM sqlite_master WHERE name NOT LIKE 'sqlite!_%' "
                          "ESCAPE '!' ORDER BY name",
                          rc);
        if (rc != SQLITE_OK) return refused(rc);
        while ((rc = s.Step()) == SQLITE_ROW)
            names.push_back(s.Text(0));
        if (rc != SQLITE_DONE) return refused(rc);
    }
    if (version > history::SchemaVersion || version < 0) {
        Refuse("it was written by a newer version of Brindle (history version " +
               std::to_string(version) + ")");
        return false;
    }
    const auto& expected = history::ObjectsOf(version);
    for (const std::string& name : names)
        if (std::find(expected.begin(), expected.end(), name) == expected.end()) {
            Refuse("it holds data that is not Brindle's (\"" + name + "\")");
            return false;
        }
    for (const std::string_view name : expected)
        if (std::find(names.begin(), names.end(), name) == names.end()) {
            Refuse("it is damaged (\"" + std::string(name) + "\" is missing)");
            return false;
        }
    return true;
}

void THistoryStore::Open() {
    if (Path_.empty()) return Refuse("no home folder is known");
    struct stat st {};
    if (stat(Path_.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return Refuse("it is a folder");
        if (!S_ISREG(st.st_mode)) return Refuse("it is not a file");
        // A look on a connection that cannot write: a file that is not ours is never touched,
        // not even by the checkpoint a closing writer makes.
        sqlite3* raw = nullptr;
        const int rc = sqlite3_open_v2(Path_.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
        const sql::TDb look(raw);
        if (rc != SQLITE_OK) return Refuse(ReasonOf(rc, raw));
        sqlite3_busy_timeout(raw, Options_.BusyTimeoutMs);
        int version = 0;
        if (!Inspect(raw, version)) return;
    } else if (errno == ENOENT || errno == ENOTDIR) {
        std::string error;
        if (!MakeFolders(FileFolder(Path_), error))
            return Refuse("its folder cannot be made: " + error);
    } else {
        return Refuse(std::strerror(errno));
    }

    sqlite3* raw = nullptr;
    const int opened =
        sqlite3_open_v2(Path_.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    Conn_ = std::make_unique<TConnection>();
    Conn_->Db.reset(raw);
    if (!Check(opened, TSeverity::Warning)) return;
    sqlite3* db = raw;
    if (sqlite3_db_readonly(db, "main") == 1) return Refuse("it cannot be written");
    sqlite3_busy_timeout(db, Options_.BusyTimeoutMs);
    int version = 0;
    if (!Inspect(db, version)) return; // again: it might have changed in between

    // Ours (or empty): a write-ahead log, each commit on the disk before it returns.
    int rc = SQLITE_OK;
    {
        sql::TStatement s(db, "PRAGMA journal_mode=WAL", rc);
        if (!Check(rc, TSeverity::Warning)) return;
        if (!Check(rc = s.Step(), TSeverity::Warning)) return;
        if (rc != SQLITE_ROW || Lower1252(s.Text(0)) != "wal")
            return Refuse("it cannot keep a write-ahead log");
    }
    if (!Check(sql::Exec(db, "PRAGMA synchronous=FULL"), TSeverity::Warning)) return;
    if (!Check(sql::Exec(db, "BEGIN IMMEDIATE"), TSeverity::Warning)) return;
    for (int v = version; v < history::SchemaVersion; ++v)
        if (!Check(sql::Exec(db, std::string(history::Migration(v)).c_str()), TSeverity::Warning))
            return;
    const std::string setVersion =
        "PRAGMA user_version = " + std::to_string(history::SchemaVersion);
    if (!Check(sql::Exec(db, setVersion.c_str()), TSeverity::Warning)) return;
    if (!Check(sql::Exec(db, kScoreUnfinished), TSeverity::Warning)) return;
    Check(sql::Exec(db, "COMMIT"), TSeverity::Warning);
}

// ----------------------------------------------------------------------------------------------
// Writing

THistoryStore::TPracticeId THistoryStore::StartPractice(const TPracticeStart& start) {
    if (!Live()) return 0;
    sql::TStatement* s = Prepare(kInsertSession);
    if (!s) return 0;
    sql::TStatement::TUse use(*s);
    s->Bind(1, Now())
        .Bind(2, start.Kind)
        .Bind(3, int64_t{start.CharCpm})
        .Bind(4, int64_t{start.EffCpm});
    if (start.Course) {
        s->Bind(5, int64_t{start.Course->Lesson})
            .Bind(6, static_cast<int64_t>(start.Course->Order));
    } else {
        s->BindNull(5).BindNull(6);
    }
    if (!Check(s->Step())) return 0;
    return sqlite3_last_insert_rowid(Conn_->Db.get());
}

bool THistoryStore::PracticeExistsElseRollBack(TPracticeId practice) {
    sql::TStatement* exists = Prepare(kSessionExists);
    if (!exists) return false;
    sql::TStatement::TUse use(*exists);
    exists->Bind(1, practice);
    const int rc = exists->Step();
    if (!Check(rc)) return false;
    if (rc == SQLITE_DONE) { // no such practice: nothing to add to or to replace
        Check(sql::Exec(Conn_->Db.get(), "ROLLBACK"));
        return false;
    }
    return true;
}

bool THistoryStore::AddItem(TPracticeId practice, const TCheckedItem& item,
                            const TItemTiming& timing) {
    if (!Live() || practice == 0 || !Begin()) return false;
    int64_t seq = 0;
    if (!PracticeExistsElseRollBack(practice)) return false;
    {
        sql::TStatement* next = Prepare(kNextSeq);
        if (!next) return false;
        sql::TStatement::TUse use(*next);
        next->Bind(1, practice);
        if (!Check(next->Step())) return false;
        seq = next->Int(0);
    }
    return InsertItem(practice, seq, item, timing) && Commit();
}

bool THistoryStore::ReplaceItem(TPracticeId practice, int seq, const TCheckedItem& item,
                                const TItemTiming& timing) {
    if (!Live() || practice == 0 || seq < 1 || !Begin()) return false;
    if (!PracticeExistsElseRollBack(practice)) return false;
    {
        // The old characters leave the summary of confusions before they go.
        sql::TStatement* old = Prepare(kOldPairs);
        sql::TStatement* uncount = Prepare(kUncountPair);
        if (!old || !uncount) return false;
        std::vector<std::pair<std::string, std::string>> pairs;
        {
            sql::TStatement::TUse use(*old);
            old->Bind(1, practice).Bind(2, int64_t{seq});
            for (;;) {
                const int rc = old->Step();
                if (!Check(rc)) return false;
                if (rc != SQLITE_ROW) break;
                pairs.emplace_back(old->Text(0), old->Text(1));
            }
        }
        for (const auto& [sent, copied] : pairs) {
            sql::TStatement::TUse use(*uncount);
            uncount->Bind(1, sent).Bind(2, copied);
            if (!Check(uncount->Step())) return false;
        }
        if (!Check(sql::Exec(Conn_->Db.get(), kDropEmptyPairs))) return false;
    }
    for (const char* remove : {kDeleteChars, kDeleteItem}) {
        sql::TStatement* d = Prepare(remove);
        if (!d) return false;
        sql::TStatement::TUse use(*d);
        d->Bind(1, practice).Bind(2, int64_t{seq});
        if (!Check(d->Step())) return false;
    }
    return InsertItem(practice, seq, item, timing) && Commit();
}

bool THistoryStore::InsertItem(TPracticeId practice, int64_t seq, const TCheckedItem& item,
                               const TItemTiming& timing) {
    {
        sql::TStatement* s = Prepare(kInsertItem);
        if (!s) return false;
        sql::TStatement::TUse use(*s);
        s->Bind(1, practice)
            .Bind(2, seq)
            .Bind(3, StoredText(item.Sent))
            .Bind(4, StoredText(item.Copied))
            .Bind(5, int64_t{item.SentChars()})
            .Bind(6, int64_t{item.CorrectChars})
            .Bind(7, timing.ItemMs);
        if (!Check(s->Step())) return false;
    }
    sql::TStatement* ch = Prepare(kInsertChar);
    sql::TStatement* pair = Prepare(kCountPair);
    if (!ch || !pair) return false;
    for (std::size_t pos = 0; pos < item.Chars.size(); ++pos) {
        const TCheckedChar& c = item.Chars[pos];
        const std::string sent = StoredChar(c.Sent);
        const std::string copied = c.Copied == 0 ? std::string() : StoredChar(c.Copied);
        {
            sql::TStatement::TUse use(*ch);
            ch->Bind(1, practice)
                .Bind(2, seq)
                .Bind(3, static_cast<int64_t>(pos))
                .Bind(4, sent)
                .Bind(5, copied)
                .Bind(6, pos < timing.CharMs.size() ? timing.CharMs[pos] : std::nullopt);
            if (!Check(ch->Step())) return false;
        }
        sql::TStatement::TUse use(*pair);
        pair->Bind(1, sent).Bind(2, copied);
        if (!Check(pair->Step())) return false;
    }
    return true;
}

bool THistoryStore::FinishPractice(TPracticeId practice, bool aborted, int sentChars,
                                   int correctChars) {
    if (!Live() || practice == 0) return false;
    sql::TStatement* s = Prepare(kFinish);
    if (!s) return false;
    sql::TStatement::TUse use(*s);
    s->Bind(1, practice)
        .Bind(2, Now())
        .Bind(3, int64_t{aborted ? 1 : 0})
        .Bind(4, int64_t{sentChars})
        .Bind(5, int64_t{correctChars});
    return Check(s->Step()) && sqlite3_changes(Conn_->Db.get()) == 1;
}

// ----------------------------------------------------------------------------------------------
// The progress window

std::vector<TPracticeRecord> THistoryStore::Practices(std::optional<int> lastDays) {
    if (!Live()) return {};
    std::vector<TPracticeRecord> out;
    sql::TStatement* s = Prepare(kPractices);
    if (!s) return out;
    sql::TStatement::TUse use(*s);
    s->Bind(1, Cutoff(lastDays));
    int rc = SQLITE_OK;
    while ((rc = s->Step()) == SQLITE_ROW) {
        TPracticeRecord r;
        r.Id = s->Int(0);
        r.Started = s->Text(1);
        r.Kind = s->Text(2);
        r.CharCpm = static_cast<int>(s->Int(3));
        r.EffCpm = static_cast<int>(s->Int(4));
        r.SentChars = static_cast<int>(s->Int(5));
        r.CorrectChars = static_cast<int>(s->Int(6));
        r.Aborted = s->Int(7) != 0;
        r.Finished = s->Int(8) != 0;
        const auto order = s->OptionalInt(9);
        if (order && *order >= 0 && *order < CourseOrderCount && !s->IsNull(10))
            r.Course =
                TCourseLesson{static_cast<TCourseOrder>(*order), static_cast<int>(s->Int(10))};
        out.push_back(std::move(r));
    }
    if (!Check(rc)) out.clear();
    return out;
}

std::vector<TStoredItem> THistoryStore::Items(TPracticeId practice) {
    if (!Live()) return {};
    std::vector<TStoredItem> out;
    sql::TStatement* s = Prepare(kItems);
    if (!s) return out;
    sql::TStatement::TUse use(*s);
    s->Bind(1, practice);
    int rc = SQLITE_OK;
    while ((rc = s->Step()) == SQLITE_ROW)
        out.push_back(TStoredItem{static_cast<int>(s->Int(0)), s->Text(1), s->Text(2),
                                  static_cast<int>(s->Int(3)), static_cast<int>(s->Int(4)),
                                  s->OptionalInt(5)});
    if (!Check(rc)) out.clear();
    return out;
}

std::vector<TCharAccuracy> THistoryStore::CharAccuracy(std::optional<int> lastDays) {
    if (!Live()) return {};
    std::vector<TCharAccuracy> out;
    sql::TStatement* s = Prepare(lastDays ? kCharAccuracySince : kCharAccuracyAll);
    if (!s) return out;
    sql::TStatement::TUse use(*s);
    if (lastDays) s->Bind(1, Cutoff(lastDays));
    int rc = SQLITE_OK;
    while ((rc = s->Step()) == SQLITE_ROW)
        out.push_back(TCharAccuracy{CharOfStored(s->Text(0)), static_cast<int>(s->Int(1)),
                                    static_cast<int>(s->Int(2)), static_cast<int>(s->Int(3))});
    if (!Check(rc)) return {};
    std::sort(out.begin(), out.end(), [](const TCharAccuracy& a, const TCharAccuracy& b) {
        // a.Correct / a.Copies < b.Correct / b.Copies, without rounding
        const int64_t left = int64_t{a.Correct} * b.Copies;
        const int64_t right = int64_t{b.Correct} * a.Copies;
        if (left != right) return left < right;
        if (a.Copies != b.Copies) return a.Copies > b.Copies;
        return a.Char < b.Char;
    });
    return out;
}

std::vector<TConfusion> THistoryStore::Confusions(std::optional<int> lastDays, std::size_t limit) {
    if (!Live()) return {};
    std::vector<TConfusion> out;
    sql::TStatement* s = Prepare(lastDays ? kConfusionsSince : kConfusionsAll);
    if (!s) return out;
    sql::TStatement::TUse use(*s);
    const auto max = static_cast<int64_t>(std::min<std::size_t>(limit, INT32_MAX));
    if (lastDays)
        s->Bind(1, Cutoff(lastDays)).Bind(2, max);
    else
        s->Bind(1, max);
    int rc = SQLITE_OK;
    while ((rc = s->Step()) == SQLITE_ROW)
        out.push_back(TConfusion{CharOfStored(s->Text(0)), CharOfStored(s->Text(1)),
                                 static_cast<int>(s->Int(2))});
    if (!Check(rc)) out.clear();
    return out;
}

std::vector<TCharReaction> THistoryStore::SlowestChars(std::optional<int> lastDays,
                                                       std::size_t limit) {
    if (!Live()) return {};
    std::vector<TCharReaction> out;
    sql::TStatement* s = Prepare(lastDays ? kReactionsSince : kReactionsAll);
    if (!s) return out;
    sql::TStatement::TUse use(*s);
    if (lastDays) s->Bind(1, Cutoff(lastDays));
    // Per stored character; all time, the rows come grouped by character and sorted.
    std::vector<std::pair<std::string, std::vector<int>>> times;
    int rc = SQLITE_OK;
    while ((rc = s->Step()) == SQLITE_ROW) {
        const std::string_view stored = s->TextView(0);
        auto at = times.empty() || times.back().first != stored
                      ? std::find_if(times.begin(), times.end(),
                                     [&](const auto& t) { return t.first == stored; })
                      : times.end() - 1;
        if (at == times.end()) at = times.insert(at, {std::string(stored), {}});
        at->second.push_back(static_cast<int>(s->Int(1)));
    }
    if (!Check(rc)) return out;
    for (auto& [stored, ms] : times) {
        if (lastDays) std::sort(ms.begin(), ms.end());
        const std::size_t n = ms.size();
        const int median = n % 2 == 1 ? ms[n / 2] : (ms[n / 2 - 1] + ms[n / 2]) / 2;
        out.push_back(TCharReaction{CharOfStored(stored), median, static_cast<int>(n)});
    }
    std::sort(out.begin(), out.end(), [](const TCharReaction& a, const TCharReaction& b) {
        if (a.MedianMs != b.MedianMs) return a.MedianMs > b.MedianMs;
        return a.Char < b.Char;
    });
    if (out.size() > limit) out.resize(limit);
    return out;
}

// ----------------------------------------------------------------------------------------------
// The course

std::vector<TCharStats> THistoryStore::CharStats(std::string_view chars) {
    if (!Live()) return {};
    std::vector<TCharStats> out;
    sql::TStatement* copies = Prepare(kCopiesOf);
    sql::TStatement* latest = Prepare(kLatestOf);
    if (!copies || !latest) return out;
    for (const char ch : chars) {
        TCharStats stats;
        stats.Char = FoldCase(static_cast<uint8_t>(ch));
        const std::string stored = StoredChar(stats.Char);
        {
            sql::TStatement::TUse use(*copies);
            copies->Bind(1, stored);
            if (!Check(copies->Step())) return {};
            stats.Copies = static_cast<int>(copies->Int(0));
        }
        {
            sql::TStatement::TUse use(*latest);
            latest->Bind(1, stored).Bind(2, int64_t{TCharStats::RecentWindow});
            if (!Check(latest->Step())) return {};
            stats.RecentCopies = static_cast<int>(latest->Int(0));
            stats.RecentCorrect = static_cast<int>(latest->Int(1));
        }
        out.push_back(stats);
    }
    return out;
}

TCharTally THistoryStore::LessonDayTally(TPracticeId practice, uint8_t c) {
    if (!Live()) return {};
    sql::TStatement* p = Prepare(kPracticeCourse);
    if (!p) return {};
    std::string started;
    std::optional<int> order;
    std::optional<int> lesson;
    {
        sql::TStatement::TUse use(*p);
        p->Bind(1, practice);
        const int rc = p->Step();
        if (!Check(rc) || rc != SQLITE_ROW) return {};
        started = p->Text(0);
        order = p->OptionalInt(1);
        lesson = p->OptionalInt(2);
    }
    const std::string stored = StoredChar(FoldCase(c));
    const auto when = ParseStoredTime(started);
    sql::TStatement* s = Prepare(order && lesson && when ? kLessonDayTally : kPracticeTally);
    if (!s) return {};
    sql::TStatement::TUse use(*s);
    if (order && lesson && when) {
        const auto [from, to] = LocalDayOf(*when);
        s->Bind(1, int64_t{*order})
            .Bind(2, int64_t{*lesson})
            .Bind(3, from)
            .Bind(4, to)
            .Bind(5, stored);
    } else { // not a course practice: itself alone
        s->Bind(1, practice).Bind(2, stored);
    }
    if (!Check(s->Step())) return {};
    return TCharTally{static_cast<int>(s->Int(0)), static_cast<int>(s->Int(1))};
}

// ----------------------------------------------------------------------------------------------
// Export

bool THistoryStore::ExportCsv(TCsvTable table, const std::string& path) {
    if (!Live()) return false;
    sql::TStatement* s = Prepare(table == TCsvTable::Items ? kExportItems : kExportChars);
    if (!s) return false;
    sql::TStatement::TUse use(*s);
    TAtomicFileWriter file;
    std::string error;
    auto failed = [&] {
        ShowMessage(Options_.Messages, TSeverity::Error,
                    "The practice history could not be exported to " + path + ": " + error + ".");
        return false;
    };
    if (!file.Open(path, error)) return failed();
    std::string chunk = table == TCsvTable::Items
                            ? "practice,started,kind,course,lesson,item,sent,copied,sent_chars,"
                              "correct_chars,reaction_ms\r\n"
                            : "practice,started,item,position,sent,copied,result,reaction_ms\r\n";
    int rc = SQLITE_OK;
    while ((rc = s->Step()) == SQLITE_ROW) {
        std::string line;
        if (table == TCsvTable::Items) {
            const auto order = s->OptionalInt(3);
            const std::string course = order && *order >= 0 && *order < CourseOrderCount
                                           ? std::string(kCourseOrderNames[*order])
                                           : std::string();
            line = CsvNumber(*s, 0) + ',' + CsvField(s->Text(1)) + ',' + CsvField(s->Text(2)) +
                   ',' + course + ',' + CsvNumber(*s, 4) + ',' + CsvNumber(*s, 5) + ',' +
                   CsvField(s->Text(6)) + ',' + CsvField(s->Text(7)) + ',' + CsvNumber(*s, 8) +
                   ',' + CsvNumber(*s, 9) + ',' + CsvNumber(*s, 10);
        } else {
            const std::string sent = s->Text(4);
            const std::string copied = s->Text(5);
            const char* result = copied.empty()   ? "missed"
                                 : copied == sent ? "correct"
                                                  : "substituted";
            line = CsvNumber(*s, 0) + ',' + CsvField(s->Text(1)) + ',' + CsvNumber(*s, 2) + ',' +
                   CsvNumber(*s, 3) + ',' + CsvField(sent) + ',' + CsvField(copied) + ',' + result +
                   ',' + CsvNumber(*s, 6);
        }
        chunk += line + "\r\n";
        if (chunk.size() >= 1 << 16) {
            if (!file.Write(chunk, error)) return failed();
            chunk.clear();
        }
    }
    if (!Check(rc)) return false; // the history itself failed: reported, and off
    if (!file.Write(chunk, error) || !file.Commit(error)) return failed();
    return true;
}

} // namespace brindle
