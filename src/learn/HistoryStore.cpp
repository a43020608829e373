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
#include <type_traits>
#include <unistd.h>
#include <unordered_map>
#include <variant>

namespace brindle {

// ----------------------------------------------------------------------------------------------
// The SQL, all of it. Texts are constants: their addresses key the prepared statements. A CROSS
// JOIN keeps SQLite from reading every character to find the few of some days: it fixes the
// order of the loops to the practices (by the index on their start) first.

namespace {

constexpr const char* kInsertSession =
    "INSERT INTO sessions(started, kind, char_cpm, eff_cpm, lesson, course_order, planned_items) "
    "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)";
constexpr const char* kSessionCounts = "SELECT counts FROM sessions WHERE id = ?1";
constexpr const char* kInsertItem =
    "INSERT INTO items(session, seq, sent, copied, sent_chars, correct_chars, extra_chars, "
    "reaction_ms) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)";
constexpr const char* kInsertChar = "INSERT INTO chars(session, seq, pos, sent, copied, "
                                    "reaction_ms) VALUES(?1, ?2, ?3, ?4, ?5, ?6)";
constexpr const char* kCountPair = "INSERT INTO char_pairs(sent, copied, n) VALUES(?1, ?2, 1) "
                                   "ON CONFLICT(sent, copied) DO UPDATE SET n = n + 1";
// ?2: +1 or -1; a row that falls to 0 is dropped with kDropEmptyCounted.
constexpr const char* kCountCounted = "INSERT INTO counted_chars(sent, n) VALUES(?1, ?2) "
                                      "ON CONFLICT(sent) DO UPDATE SET n = n + excluded.n";
constexpr const char* kCountPractice =
    "INSERT INTO counted_chars(sent, n) SELECT sent, COUNT(*) * ?2 FROM chars WHERE session = ?1 "
    "GROUP BY sent ON CONFLICT(sent) DO UPDATE SET n = n + excluded.n";
constexpr const char* kOldPairs = "SELECT sent, copied FROM chars WHERE session = ?1 AND seq = ?2";
constexpr const char* kUncountPair =
    "UPDATE char_pairs SET n = n - 1 WHERE sent = ?1 AND copied = ?2";
constexpr const char* kDropEmptyPairs = "DELETE FROM char_pairs WHERE n <= 0";
constexpr const char* kDropEmptyCounted = "DELETE FROM counted_chars WHERE n <= 0";
constexpr const char* kDeleteChars = "DELETE FROM chars WHERE session = ?1 AND seq = ?2";
constexpr const char* kDeleteItem = "DELETE FROM items WHERE session = ?1 AND seq = ?2";
constexpr const char* kSaveCopy = "UPDATE sessions SET copy = ?2, copy_from = ?3 WHERE id = ?1";
constexpr const char* kFinish =
    "UPDATE sessions SET ended = ?2, aborted = ?3, counts = ?4, sent_chars = ?5, "
    "correct_chars = ?6, extra_chars = ?7 WHERE id = ?1";

// Practices the program never finished and that were not scored since: checked again on the
// copy saved beside them, then aborted, on the sums of their items. (Older versions left such
// practices aborted with ended NULL; they are done.)
constexpr const char* kAnyUnfinished =
    "SELECT 1 FROM sessions WHERE ended IS NULL AND aborted = 0 LIMIT 1";
constexpr const char* kUnfinished =
    "SELECT id, copy, copy_from FROM sessions WHERE ended IS NULL AND aborted = 0";
constexpr const char* kItemsFrom =
    "SELECT seq, sent, reaction_ms FROM items WHERE session = ?1 AND seq >= ?2 ORDER BY seq";
constexpr const char* kCharTimes =
    "SELECT pos, reaction_ms FROM chars WHERE session = ?1 AND seq = ?2 ORDER BY pos";
constexpr const char* kScoreAborted =
    "UPDATE sessions SET aborted = 1, counts = 0, "
    "sent_chars = (SELECT COALESCE(SUM(sent_chars), 0) FROM items WHERE session = ?1), "
    "correct_chars = (SELECT COALESCE(SUM(correct_chars), 0) FROM items WHERE session = ?1), "
    "extra_chars = (SELECT COALESCE(SUM(extra_chars), 0) FROM items WHERE session = ?1) "
    "WHERE id = ?1";

constexpr const char* kPractices =
    "SELECT id, started, kind, char_cpm, eff_cpm, sent_chars, correct_chars, aborted, "
    "ended IS NOT NULL, course_order, lesson, extra_chars, counts FROM sessions "
    "WHERE started >= ?1 AND sent_chars > 0 ORDER BY started, id";
constexpr const char* kItems =
    "SELECT seq, sent, copied, sent_chars, correct_chars, extra_chars, reaction_ms FROM items "
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
constexpr const char* kCopiesOf = "SELECT COALESCE(SUM(n), 0) FROM counted_chars WHERE sent = ?1";
// Backwards through the character's index; the practice of each copy says whether it counts.
constexpr const char* kLatestOf =
    "SELECT COUNT(*), COALESCE(SUM(copied = sent), 0) FROM (SELECT c.sent, c.copied FROM chars c "
    "CROSS JOIN sessions s ON s.id = c.session WHERE c.sent = ?1 AND s.counts = 1 "
    "ORDER BY c.session DESC, c.seq DESC, c.pos DESC LIMIT ?2)";
// Backwards through the lesson's practices (the course index), each one's characters backwards.
constexpr const char* kNewestTally =
    "SELECT COUNT(*), COALESCE(SUM(copied = sent), 0) FROM (SELECT c.sent, c.copied "
    "FROM sessions s CROSS JOIN chars c ON c.session = s.id "
    "WHERE s.course_order = ?1 AND s.lesson = ?2 AND s.counts = 1 AND c.sent = ?3 "
    "ORDER BY s.started DESC, s.id DESC, c.seq DESC, c.pos DESC LIMIT ?4)";
constexpr const char* kExport =
    "SELECT s.started, s.kind, s.char_cpm, s.eff_cpm, s.aborted, s.counts, s.lesson, "
    "s.course_order, i.seq, i.sent, i.copied, i.extra_chars, c.pos, c.sent, c.copied, "
    "c.reaction_ms FROM chars c JOIN items i ON i.session = c.session AND i.seq = c.seq "
    "JOIN sessions s ON s.id = c.session ORDER BY c.session, c.seq, c.pos";

constexpr std::string_view kCourseOrderNames[CourseOrderCount] = {"lcwo", "g4fon", "cwops",
                                                                  "custom"};

bool Good(int rc) {
    return rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE;
}

bool Busy(int rc) {
    return (rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED;
}

constexpr const char* kBusyStatus = "The practice history is busy (another program has it open); "
                                    "the practices are kept and written when it is free.";

// ----------------------------------------------------------------------------------------------
// Times: UTC in ISO 8601 with seconds, which sorts as text.

std::string IsoUtc(std::time_t t) {
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
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

// The URI that opens path as a file nobody changes: SQLite then needs no -shm beside it.
std::string ImmutableUri(const std::string& path) {
    std::string uri = "file:";
    for (const char c : path) {
        if (c == '%' || c == '?' || c == '#') {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(c));
            uri += escaped;
        } else {
            uri += c;
        }
    }
    return uri + "?immutable=1";
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

THistoryStore::~THistoryStore() {
    if (!Live() || !Writable_ || Queue_.empty()) return;
    // The last changes are worth the longer wait; no sink is called any more.
    Quiet_ = true;
    sqlite3_busy_timeout(Conn_->Db.get(), Options_.BusyTimeoutMs);
    Flush();
}

void THistoryStore::Refuse(const std::string& reason, TSeverity severity) {
    if (Off_) return;
    Off_ = true;
    Queue_.clear();
    NextSeq_.clear();
    if (Conn_ && Conn_->Db && sqlite3_get_autocommit(Conn_->Db.get()) == 0)
        sql::Exec(Conn_->Db.get(), "ROLLBACK");
    if (Quiet_) return;
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

void THistoryStore::SayBusy() {
    if (BusySaid_ || Quiet_) return;
    BusySaid_ = true;
    if (Options_.Status) Options_.Status(kBusyStatus);
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
    if (Busy(rc) && !Opening_) {
        SayBusy();
        return false;
    }
    Refuse(ReasonOf(rc, Conn_ ? Conn_->Db.get() : nullptr), severity);
    return false;
}

sql::TStatement* THistoryStore::Statement(const char* text, int& rc) {
    rc = SQLITE_MISUSE;
    if (!Conn_ || Off_) return nullptr;
    return Conn_->Get(text, rc);
}

sql::TStatement* THistoryStore::Prepare(const char* text) {
    int rc = SQLITE_OK;
    sql::TStatement* s = Statement(text, rc);
    if (!s && Conn_ && !Off_) Check(rc);
    return s;
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
// Opening: look first, write only to a file that is ours, and only when something needs writing.

int THistoryStore::ReadVersion(sqlite3* db, int& version, std::vector<std::string>& names) {
    int rc = SQLITE_OK;
    {
        sql::TStatement s(db, "PRAGMA user_version", rc);
        if (rc != SQLITE_OK) return rc;
        if ((rc = s.Step()) != SQLITE_ROW) return rc;
        version = static_cast<int>(s.Int(0));
    }
    names.clear();
    sql::TStatement s(db,
                      "SELECT name FROM sqlite_master WHERE name NOT LIKE 'sqlite!_%' "
                      "ESCAPE '!' ORDER BY name",
                      rc);
    if (rc != SQLITE_OK) return rc;
    while ((rc = s.Step()) == SQLITE_ROW)
        names.push_back(s.Text(0));
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

bool THistoryStore::Ours(int version, const std::vector<std::string>& names) {
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
    std::string folder = FileFolder(Path_);
    if (folder.empty()) folder = ".";
    struct stat st {};
    if (stat(Path_.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return Refuse("it is a folder");
        if (!S_ISREG(st.st_mode)) return Refuse("it is not a file");
        // A write-ahead log needs the folder for its -wal and -shm files.
        const bool writable = access(Path_.c_str(), W_OK) == 0 && access(folder.c_str(), W_OK) == 0;
        // A look on a connection that cannot write: a file that is not ours is never touched,
        // not even by the checkpoint a closing writer makes.
        auto look = [&](const std::string& name, int flags, sql::TDb& db, int& version,
                        std::vector<std::string>& names) {
            sqlite3* raw = nullptr;
            int rc = sqlite3_open_v2(name.c_str(), &raw, flags, nullptr);
            db.reset(raw);
            if (rc != SQLITE_OK) return rc;
            sqlite3_busy_timeout(raw, Options_.BusyTimeoutMs);
            return ReadVersion(raw, version, names);
        };
        sql::TDb db;
        int version = 0;
        std::vector<std::string> names;
        int rc = look(Path_, SQLITE_OPEN_READONLY, db, version, names);
        if (rc != SQLITE_OK && !writable) {
            // A log cannot be opened beside it: read it as a file nobody changes.
            rc = look(ImmutableUri(Path_), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, db, version,
                      names);
        }
        if (rc != SQLITE_OK) return Refuse(ReasonOf(rc, db.get()));
        if (!Ours(version, names)) return;
        if (!writable) {
            if (version < history::SchemaVersion)
                return Refuse(version == 0 ? std::string("it is empty and cannot be written")
                                           : "it cannot be written, and it was written by an "
                                             "older version of Brindle");
            Conn_ = std::make_unique<TConnection>();
            Conn_->Db = std::move(db);
            ShowMessage(Options_.Messages, TSeverity::Warning,
                        "The practice history " + Path_ +
                            " is read-only: new practices are not kept.");
            return;
        }
    } else if (errno == ENOENT || errno == ENOTDIR) {
        std::string error;
        if (!MakeFolders(FileFolder(Path_), error))
            return Refuse("its folder cannot be made: " + error);
        if (access(folder.c_str(), W_OK) != 0)
            return Refuse("it cannot be made in the folder " + folder + " (" +
                          std::strerror(errno) + ")");
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
    std::vector<std::string> names;
    // Again: it might have changed in between.
    if (!Check(ReadVersion(db, version, names), TSeverity::Warning) || !Ours(version, names))
        return;
    std::string journal;
    {
        int rc = SQLITE_OK;
        sql::TStatement s(db, "PRAGMA journal_mode", rc);
        if (!Check(rc, TSeverity::Warning) || !Check(rc = s.Step(), TSeverity::Warning)) return;
        journal = Lower1252(s.Text(0));
    }
    bool unfinished = false;
    if (version == history::SchemaVersion) {
        int rc = SQLITE_OK;
        sql::TStatement s(db, kAnyUnfinished, rc);
        if (!Check(rc, TSeverity::Warning) || !Check(rc = s.Step(), TSeverity::Warning)) return;
        unfinished = rc == SQLITE_ROW;
    }

    // The writes of opening in one transaction, before the file becomes a write-ahead log: a
    // migration that fails leaves every byte of the file as it was.
    if (version < history::SchemaVersion || unfinished) {
        if (!Check(sql::Exec(db, "BEGIN IMMEDIATE"), TSeverity::Warning)) return;
        if (!Check(ReadVersion(db, version, names), TSeverity::Warning) || !Ours(version, names))
            return;
        if (!Check(Migrate(db, version), TSeverity::Warning)) return;
        if (!Check(ScoreUnfinished(), TSeverity::Warning)) return;
        if (!Check(sql::Exec(db, "COMMIT"), TSeverity::Warning)) return;
    }
    if (journal != "wal") {
        int rc = SQLITE_OK;
        sql::TStatement s(db, "PRAGMA journal_mode=WAL", rc);
        if (!Check(rc, TSeverity::Warning) || !Check(rc = s.Step(), TSeverity::Warning)) return;
        if (rc != SQLITE_ROW || Lower1252(s.Text(0)) != "wal")
            return Refuse("it cannot keep a write-ahead log");
    }
    // In WAL mode a commit is safe from a crash of the program without waiting for the disk.
    if (!Check(sql::Exec(db, "PRAGMA synchronous=NORMAL"), TSeverity::Warning)) return;
    sqlite3_busy_timeout(db, Options_.FlushBusyTimeoutMs);
    Writable_ = true;
}

int THistoryStore::Migrate(sqlite3* db, int version) {
    for (int v = version; v < history::SchemaVersion; ++v)
        if (const int rc = sql::Exec(db, std::string(history::Migration(v)).c_str());
            rc != SQLITE_OK)
            return rc;
    if (version == history::SchemaVersion) return SQLITE_OK;
    const std::string setVersion =
        "PRAGMA user_version = " + std::to_string(history::SchemaVersion);
    return sql::Exec(db, setVersion.c_str());
}

int THistoryStore::ScoreUnfinished() {
    struct TUnfinished {
        TPracticeId Id = 0;
        std::optional<std::string> Copy;
        int FromSeq = 1;
    };
    std::vector<TUnfinished> practices;
    int rc = SQLITE_OK;
    {
        sql::TStatement* s = Statement(kUnfinished, rc);
        if (!s) return rc;
        sql::TStatement::TUse use(*s);
        while ((rc = s->Step()) == SQLITE_ROW) {
            TUnfinished p;
            p.Id = s->Int(0);
            if (!s->IsNull(1)) p.Copy = s->Blob(1);
            p.FromSeq = s->OptionalInt(2).value_or(1);
            practices.push_back(std::move(p));
        }
        if (rc != SQLITE_DONE) return rc;
    }
    for (const TUnfinished& p : practices) {
        if (p.Copy) {
            // The items the copy covers, checked on it as the practice's check would have.
            struct TKept {
                int64_t Seq = 0;
                TItemTiming Timing;
            };
            std::vector<TKept> kept;
            std::vector<std::string> sent;
            {
                sql::TStatement* s = Statement(kItemsFrom, rc);
                if (!s) return rc;
                sql::TStatement::TUse use(*s);
                s->Bind(1, p.Id).Bind(2, int64_t{p.FromSeq});
                while ((rc = s->Step()) == SQLITE_ROW) {
                    kept.push_back(TKept{s->Int(0), TItemTiming{s->OptionalInt(2), {}}});
                    sent.push_back(ProsignsToCodes(Utf8To1252(s->TextView(1))));
                }
                if (rc != SQLITE_DONE) return rc;
            }
            for (TKept& k : kept) {
                sql::TStatement* s = Statement(kCharTimes, rc);
                if (!s) return rc;
                sql::TStatement::TUse use(*s);
                s->Bind(1, p.Id).Bind(2, k.Seq);
                while ((rc = s->Step()) == SQLITE_ROW) {
                    const auto pos = static_cast<std::size_t>(s->Int(0));
                    if (pos >= k.Timing.CharMs.size()) k.Timing.CharMs.resize(pos + 1);
                    k.Timing.CharMs[pos] = s->OptionalInt(1);
                }
                if (rc != SQLITE_DONE) return rc;
            }
            if (!kept.empty()) {
                const TCopyCheck check = CheckCopy(sent, *p.Copy);
                for (std::size_t i = 0; i < kept.size() && i < check.Items.size(); ++i) {
                    if ((rc = RemoveItem(p.Id, kept[i].Seq, false)) != SQLITE_OK) return rc;
                    rc = InsertItem(p.Id, kept[i].Seq, check.Items[i], kept[i].Timing, false);
                    if (rc != SQLITE_OK) return rc;
                }
            }
        }
        sql::TStatement* s = Statement(kScoreAborted, rc);
        if (!s) return rc;
        sql::TStatement::TUse use(*s);
        s->Bind(1, p.Id);
        if ((rc = s->Step()) != SQLITE_DONE) return rc;
    }
    return SQLITE_OK;
}

// ----------------------------------------------------------------------------------------------
// Writing: queued in memory, written by Flush.

THistoryStore::TPracticeId THistoryStore::StartPractice(const TPracticeStart& start) {
    if (!Live() || !Writable_) return 0;
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
    s->Bind(7, int64_t{std::max(start.PlannedItems, 0)});
    // Before the practice runs: worth the longer wait.
    sqlite3* db = Conn_->Db.get();
    sqlite3_busy_timeout(db, Options_.BusyTimeoutMs);
    const int rc = s->Step();
    sqlite3_busy_timeout(db, Options_.FlushBusyTimeoutMs);
    if (!Check(rc)) return 0;
    const TPracticeId id = sqlite3_last_insert_rowid(db);
    NextSeq_[id] = 1;
    BusySaid_ = false;
    return id;
}

bool THistoryStore::AddItem(TPracticeId practice, const TCheckedItem& item,
                            const TItemTiming& timing) {
    if (!Live() || !Writable_) return false;
    const auto next = NextSeq_.find(practice);
    if (next == NextSeq_.end()) return false;
    Queue_.emplace_back(TItemWrite{practice, next->second++, false, item, timing});
    return true;
}

bool THistoryStore::ReplaceItem(TPracticeId practice, int seq, const TCheckedItem& item,
                                const TItemTiming& timing) {
    if (!Live() || !Writable_ || seq < 1) return false;
    const auto next = NextSeq_.find(practice);
    if (next == NextSeq_.end()) return false;
    next->second = std::max(next->second, seq + 1);
    Queue_.emplace_back(TItemWrite{practice, seq, true, item, timing});
    return true;
}

bool THistoryStore::SaveCopy(TPracticeId practice, int fromSeq, std::string copyEngineForm) {
    if (!Live() || !Writable_ || fromSeq < 1 || !NextSeq_.contains(practice)) return false;
    // Only the latest copy matters: one waits per practice.
    for (TWrite& w : Queue_)
        if (auto* copy = std::get_if<TCopyWrite>(&w); copy && copy->Practice == practice) {
            copy->FromSeq = fromSeq;
            copy->Copy = std::move(copyEngineForm);
            return true;
        }
    Queue_.emplace_back(TCopyWrite{practice, fromSeq, std::move(copyEngineForm)});
    return true;
}

bool THistoryStore::FinishPractice(TPracticeId practice, const TPracticeEnd& end) {
    if (!Live() || !Writable_ || !NextSeq_.contains(practice)) return false;
    Queue_.emplace_back(TEndWrite{practice, Now(), end});
    return true;
}

bool THistoryStore::Flush() {
    if (!Live() || !Writable_) return false;
    if (Queue_.empty()) return true;
    sqlite3* db = Conn_->Db.get();
    int rc = sql::Exec(db, "BEGIN IMMEDIATE");
    for (std::size_t i = 0; i < Queue_.size() && Good(rc); ++i)
        rc = Apply(Queue_[i]);
    if (Good(rc)) rc = sql::Exec(db, "COMMIT");
    if (Good(rc)) {
        Queue_.clear();
        BusySaid_ = false;
        return true;
    }
    // Nothing of it is written; the queue stays for the next flush unless the file failed.
    if (sqlite3_get_autocommit(db) == 0) sql::Exec(db, "ROLLBACK");
    Check(rc);
    return false;
}

void THistoryStore::FlushForQuery() {
    if (Live() && Writable_ && !Queue_.empty()) Flush();
}

int THistoryStore::Apply(const TWrite& write) {
    return std::visit(
        [this](const auto& w) {
            using T = std::decay_t<decltype(w)>;
            if constexpr (std::is_same_v<T, TItemWrite>)
                return WriteItem(w);
            else if constexpr (std::is_same_v<T, TCopyWrite>)
                return WriteCopy(w);
            else
                return WriteEnd(w);
        },
        write);
}

int THistoryStore::PracticeCounts(TPracticeId practice, bool& found, bool& counts) {
    int rc = SQLITE_OK;
    sql::TStatement* s = Statement(kSessionCounts, rc);
    if (!s) return rc;
    sql::TStatement::TUse use(*s);
    s->Bind(1, practice);
    rc = s->Step();
    found = rc == SQLITE_ROW;
    counts = found && s->Int(0) != 0;
    return Good(rc) ? SQLITE_OK : rc;
}

int THistoryStore::WriteItem(const TItemWrite& w) {
    bool found = false, counts = false;
    int rc = PracticeCounts(w.Practice, found, counts);
    if (rc != SQLITE_OK || !found) return rc; // a practice gone from the file takes nothing
    if (w.Replace && (rc = RemoveItem(w.Practice, w.Seq, counts)) != SQLITE_OK) return rc;
    return InsertItem(w.Practice, w.Seq, w.Item, w.Timing, counts);
}

int THistoryStore::WriteCopy(const TCopyWrite& w) {
    int rc = SQLITE_OK;
    sql::TStatement* s = Statement(kSaveCopy, rc);
    if (!s) return rc;
    sql::TStatement::TUse use(*s);
    s->Bind(1, w.Practice).BindBlob(2, w.Copy).Bind(3, int64_t{w.FromSeq});
    rc = s->Step();
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

int THistoryStore::WriteEnd(const TEndWrite& w) {
    bool found = false, counted = false;
    int rc = PracticeCounts(w.Practice, found, counted);
    if (rc != SQLITE_OK || !found) return rc;
    {
        sql::TStatement* s = Statement(kFinish, rc);
        if (!s) return rc;
        sql::TStatement::TUse use(*s);
        s->Bind(1, w.Practice)
            .Bind(2, w.Ended)
            .Bind(3, int64_t{w.End.Aborted ? 1 : 0})
            .Bind(4, int64_t{w.End.Counts ? 1 : 0})
            .Bind(5, int64_t{w.End.SentChars})
            .Bind(6, int64_t{w.End.CorrectChars})
            .Bind(7, int64_t{w.End.ExtraChars});
        if ((rc = s->Step()) != SQLITE_DONE) return rc;
    }
    if (counted == w.End.Counts) return SQLITE_OK;
    return CountPractice(w.Practice, w.End.Counts ? 1 : -1);
}

int THistoryStore::CountPractice(TPracticeId practice, int sign) {
    int rc = SQLITE_OK;
    sql::TStatement* s = Statement(kCountPractice, rc);
    if (!s) return rc;
    {
        sql::TStatement::TUse use(*s);
        s->Bind(1, practice).Bind(2, int64_t{sign});
        if ((rc = s->Step()) != SQLITE_DONE) return rc;
    }
    return sign < 0 ? sql::Exec(Conn_->Db.get(), kDropEmptyCounted) : SQLITE_OK;
}

int THistoryStore::RemoveItem(TPracticeId practice, int64_t seq, bool counts) {
    // The old characters leave the summaries before they go.
    int rc = SQLITE_OK;
    sql::TStatement* old = Statement(kOldPairs, rc);
    if (!old) return rc;
    std::vector<std::pair<std::string, std::string>> pairs;
    {
        sql::TStatement::TUse use(*old);
        old->Bind(1, practice).Bind(2, seq);
        while ((rc = old->Step()) == SQLITE_ROW)
            pairs.emplace_back(old->Text(0), old->Text(1));
        if (rc != SQLITE_DONE) return rc;
    }
    if (!pairs.empty()) {
        sql::TStatement* uncount = Statement(kUncountPair, rc);
        if (!uncount) return rc;
        sql::TStatement* counted = Statement(kCountCounted, rc);
        if (!counted) return rc;
        for (const auto& [sent, copied] : pairs) {
            {
                sql::TStatement::TUse use(*uncount);
                uncount->Bind(1, sent).Bind(2, copied);
                if ((rc = uncount->Step()) != SQLITE_DONE) return rc;
            }
            if (!counts) continue;
            sql::TStatement::TUse use(*counted);
            counted->Bind(1, sent).Bind(2, int64_t{-1});
            if ((rc = counted->Step()) != SQLITE_DONE) return rc;
        }
        if ((rc = sql::Exec(Conn_->Db.get(), kDropEmptyPairs)) != SQLITE_OK) return rc;
        if (counts && (rc = sql::Exec(Conn_->Db.get(), kDropEmptyCounted)) != SQLITE_OK) return rc;
    }
    for (const char* remove : {kDeleteChars, kDeleteItem}) {
        sql::TStatement* d = Statement(remove, rc);
        if (!d) return rc;
        sql::TStatement::TUse use(*d);
        d->Bind(1, practice).Bind(2, seq);
        if ((rc = d->Step()) != SQLITE_DONE) return rc;
    }
    return SQLITE_OK;
}

int THistoryStore::InsertItem(TPracticeId practice, int64_t seq, const TCheckedItem& item,
                              const TItemTiming& timing, bool counts) {
    int rc = SQLITE_OK;
    {
        sql::TStatement* s = Statement(kInsertItem, rc);
        if (!s) return rc;
        sql::TStatement::TUse use(*s);
        s->Bind(1, practice)
            .Bind(2, seq)
            .Bind(3, StoredText(item.Sent))
            .Bind(4, StoredText(item.Copied))
            .Bind(5, int64_t{item.SentChars()})
            .Bind(6, int64_t{item.CorrectChars})
            .Bind(7, int64_t{item.ExtraChars})
            .Bind(8, timing.ItemMs);
        if ((rc = s->Step()) != SQLITE_DONE) return rc;
    }
    sql::TStatement* ch = Statement(kInsertChar, rc);
    if (!ch) return rc;
    sql::TStatement* pair = Statement(kCountPair, rc);
    if (!pair) return rc;
    sql::TStatement* counted = Statement(kCountCounted, rc);
    if (!counted) return rc;
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
            if ((rc = ch->Step()) != SQLITE_DONE) return rc;
        }
        {
            sql::TStatement::TUse use(*pair);
            pair->Bind(1, sent).Bind(2, copied);
            if ((rc = pair->Step()) != SQLITE_DONE) return rc;
        }
        if (!counts) continue;
        sql::TStatement::TUse use(*counted);
        counted->Bind(1, sent).Bind(2, int64_t{1});
        if ((rc = counted->Step()) != SQLITE_DONE) return rc;
    }
    return SQLITE_OK;
}

// ----------------------------------------------------------------------------------------------
// The progress window

std::vector<TPracticeRecord> THistoryStore::Practices(std::optional<int> lastDays) {
    FlushForQuery();
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
        r.ExtraChars = static_cast<int>(s->Int(11));
        r.Counts = s->Int(12) != 0;
        out.push_back(std::move(r));
    }
    if (!Check(rc)) out.clear();
    return out;
}

std::vector<TStoredItem> THistoryStore::Items(TPracticeId practice) {
    FlushForQuery();
    if (!Live()) return {};
    std::vector<TStoredItem> out;
    sql::TStatement* s = Prepare(kItems);
    if (!s) return out;
    sql::TStatement::TUse use(*s);
    s->Bind(1, practice);
    int rc = SQLITE_OK;
    while ((rc = s->Step()) == SQLITE_ROW) {
        TStoredItem item;
        item.Seq = static_cast<int>(s->Int(0));
        item.Sent = s->Text(1);
        item.Copied = s->Text(2);
        item.SentChars = static_cast<int>(s->Int(3));
        item.CorrectChars = static_cast<int>(s->Int(4));
        item.ExtraChars = static_cast<int>(s->Int(5));
        item.ReactionMs = s->OptionalInt(6);
        out.push_back(std::move(item));
    }
    if (!Check(rc)) out.clear();
    return out;
}

std::vector<TCharAccuracy> THistoryStore::CharAccuracy(std::optional<int> lastDays) {
    FlushForQuery();
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
    FlushForQuery();
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
    FlushForQuery();
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
    FlushForQuery();
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

TCharTally THistoryStore::NewestCharTally(const TCourseLesson& lesson, uint8_t c, int lastCopies) {
    FlushForQuery();
    if (!Live() || lastCopies <= 0) return {};
    sql::TStatement* s = Prepare(kNewestTally);
    if (!s) return {};
    sql::TStatement::TUse use(*s);
    s->Bind(1, static_cast<int64_t>(lesson.Order))
        .Bind(2, int64_t{lesson.Lesson})
        .Bind(3, StoredChar(FoldCase(c)))
        .Bind(4, int64_t{lastCopies});
    if (!Check(s->Step())) return {};
    return TCharTally{static_cast<int>(s->Int(0)), static_cast<int>(s->Int(1))};
}

// ----------------------------------------------------------------------------------------------
// Export

bool THistoryStore::ExportCsv(const std::string& path) {
    FlushForQuery();
    if (!Live()) return false;
    sql::TStatement* s = Prepare(kExport);
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
    std::string chunk = "started,kind,char_cpm,eff_cpm,aborted,counts,lesson,course_order,seq,"
                        "item_sent,item_copied,item_extra_chars,pos,sent,copied,result,"
                        "reaction_ms\r\n";
    int rc = SQLITE_OK;
    while ((rc = s->Step()) == SQLITE_ROW) {
        const auto order = s->OptionalInt(7);
        const std::string course = order && *order >= 0 && *order < CourseOrderCount
                                       ? std::string(kCourseOrderNames[*order])
                                       : std::string();
        const std::string_view sent = s->TextView(13);
        const std::string_view copied = s->TextView(14);
        const char* result = copied.empty() ? "missed" : copied == sent ? "correct" : "substituted";
        chunk += CsvField(s->TextView(0)) + ',' + CsvField(s->TextView(1)) + ',' +
                 CsvNumber(*s, 2) + ',' + CsvNumber(*s, 3) + ',' + CsvNumber(*s, 4) + ',' +
                 CsvNumber(*s, 5) + ',' + CsvNumber(*s, 6) + ',' + course + ',' + CsvNumber(*s, 8) +
                 ',' + CsvField(s->TextView(9)) + ',' + CsvField(s->TextView(10)) + ',' +
                 CsvNumber(*s, 11) + ',' + CsvNumber(*s, 12) + ',' + CsvField(sent) + ',' +
                 CsvField(copied) + ',' + result + ',' + CsvNumber(*s, 15) + "\r\n";
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
