#include "learn/HistorySchema.h"

#include <array>

namespace brindle::history {

namespace {

// Version 1: practices, their items and one row per sent character. Text is UTF-8 with prosigns
// by their names ("<ar>"); times are UTC, ISO 8601.
constexpr std::string_view kVersion1 = R"sql(
CREATE TABLE sessions(
    id INTEGER PRIMARY KEY,
    started TEXT NOT NULL,
    ended TEXT,
    kind TEXT NOT NULL,
    char_cpm INTEGER NOT NULL,
    eff_cpm INTEGER NOT NULL,
    sent_chars INTEGER NOT NULL DEFAULT 0,
    correct_chars INTEGER NOT NULL DEFAULT 0,
    aborted INTEGER NOT NULL DEFAULT 0);
CREATE INDEX sessions_started ON sessions(started);
CREATE INDEX sessions_unfinished ON sessions(id) WHERE ended IS NULL;
CREATE TABLE items(
    session INTEGER NOT NULL,
    seq INTEGER NOT NULL,
    sent TEXT NOT NULL,
    copied TEXT NOT NULL,
    sent_chars INTEGER NOT NULL,
    correct_chars INTEGER NOT NULL,
    reaction_ms INTEGER,
    PRIMARY KEY(session, seq)) WITHOUT ROWID;
CREATE TABLE chars(
    session INTEGER NOT NULL,
    seq INTEGER NOT NULL,
    pos INTEGER NOT NULL,
    sent TEXT NOT NULL,
    copied TEXT NOT NULL,
    reaction_ms INTEGER,
    PRIMARY KEY(session, seq, pos)) WITHOUT ROWID;
CREATE INDEX chars_reaction ON chars(sent, reaction_ms) WHERE reaction_ms IS NOT NULL;
)sql";

// Version 2: the course. Its lesson and order on each practice; every character's latest copies
// through an index; all copies of each character, and what they were copied as, in a summary
// that every written item keeps up to date (filled here from the characters already kept).
constexpr std::string_view kVersion2 = R"sql(
ALTER TABLE sessions ADD COLUMN lesson INTEGER;
ALTER TABLE sessions ADD COLUMN course_order INTEGER;
CREATE INDEX sessions_course ON sessions(course_order, lesson, started)
    WHERE course_order IS NOT NULL;
CREATE INDEX chars_sent ON chars(sent);
CREATE TABLE char_pairs(
    sent TEXT NOT NULL,
    copied TEXT NOT NULL,
    n INTEGER NOT NULL,
    PRIMARY KEY(sent, copied)) WITHOUT ROWID;
INSERT INTO char_pairs(sent, copied, n) SELECT sent, copied, COUNT(*) FROM chars
    GROUP BY sent, copied;
)sql";

// Version 3: extra characters are kept, the copy typed so far is saved beside a practice under
// way (so that a practice the program never finished is checked on what was typed), and whether
// a practice counts towards the course. The practices older files finished without stopping,
// with something sent, count; their extra characters were never kept and stay 0. The copies of
// each character in the practices that count are summed up like char_pairs.
constexpr std::string_view kVersion3 = R"sql(
ALTER TABLE items ADD COLUMN extra_chars INTEGER NOT NULL DEFAULT 0;
ALTER TABLE sessions ADD COLUMN extra_chars INTEGER NOT NULL DEFAULT 0;
ALTER TABLE sessions ADD COLUMN counts INTEGER NOT NULL DEFAULT 0;
ALTER TABLE sessions ADD COLUMN planned_items INTEGER NOT NULL DEFAULT 0;
ALTER TABLE sessions ADD COLUMN copy BLOB;
ALTER TABLE sessions ADD COLUMN copy_from INTEGER;
UPDATE sessions SET counts = 1 WHERE ended IS NOT NULL AND aborted = 0 AND sent_chars > 0;
CREATE TABLE counted_chars(
    sent TEXT NOT NULL PRIMARY KEY,
    n INTEGER NOT NULL) WITHOUT ROWID;
INSERT INTO counted_chars(sent, n) SELECT c.sent, COUNT(*) FROM sessions s
    CROSS JOIN chars c ON c.session = s.id WHERE s.counts = 1 GROUP BY c.sent;
)sql";

constexpr std::array<std::string_view, SchemaVersion> kMigrations = {kVersion1, kVersion2,
                                                                     kVersion3};

} // namespace

std::string_view Migration(int fromVersion) {
    if (fromVersion < 0 || fromVersion >= SchemaVersion) return {};
    return kMigrations[static_cast<std::size_t>(fromVersion)];
}

const std::vector<std::string_view>& ObjectsOf(int version) {
    static const std::vector<std::string_view> none;
    static const std::vector<std::string_view> v1 = {
        "sessions", "sessions_started", "sessions_unfinished", "items", "chars", "chars_reaction"};
    static const std::vector<std::string_view> v2 = {
        "sessions",       "sessions_started", "sessions_unfinished", "items",     "chars",
        "chars_reaction", "sessions_course",  "chars_sent",          "char_pairs"};
    static const std::vector<std::string_view> v3 = [] {
        std::vector<std::string_view> names = v2;
        names.push_back("counted_chars");
        return names;
    }();
    switch (version) {
    case 1: return v1;
    case 2: return v2;
    case 3: return v3;
    default: return none;
    }
}

} // namespace brindle::history
