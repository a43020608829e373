// The history file's schema in one place: its version (kept in PRAGMA user_version), the steps
// that bring a file of each older version to the next, and the objects each version holds, so
// that a file holding anything else is known not to be ours. docs/history-schema.md describes it.
#pragma once

#include <string_view>
#include <vector>

namespace brindle::history {

inline constexpr int SchemaVersion = 3;

// The SQL that brings a file from version k to k + 1 (k = 0: an empty file). A new file runs them
// all, so a new file and a migrated one are the same.
std::string_view Migration(int fromVersion);

// The tables and indexes a file of the version holds, by name (SQLite's own excluded).
const std::vector<std::string_view>& ObjectsOf(int version);

} // namespace brindle::history
