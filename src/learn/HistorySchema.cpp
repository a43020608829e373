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

constexpr std::array<std::string_view, SchemaVersion> kMigrations = {kVersion1, kVersion2};

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
    switch (version) {
    case 1: return v1;
    case 2: return v2;
    default: return none;
    }
}

} // namespace brindle::history
