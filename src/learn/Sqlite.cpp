#include "learn/Sqlite.h"

#include <utility>

namespace brindle::sql {

TStatement::TStatement(sqlite3* db, std::string_view sql, int& rc) {
    rc = sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                            &Stmt_, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(Stmt_);
        Stmt_ = nullptr;
    }
}

TStatement::~TStatement() {
    sqlite3_finalize(Stmt_);
}

TStatement::TStatement(TStatement&& other) noexcept
    : Stmt_(std::exchange(other.Stmt_, nullptr)), BindRc_(other.BindRc_) {}

TStatement& TStatement::operator=(TStatement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(Stmt_);
        Stmt_ = std::exchange(other.Stmt_, nullptr);
        BindRc_ = other.BindRc_;
    }
    return *this;
}

TStatement& TStatement::Bind(int index, int64_t value) {
    Keep(sqlite3_bind_int64(Stmt_, index, value));
    return *this;
}

TStatement& TStatement::Bind(int index, std::string_view text) {
    Keep(
        sqlite3_bind_text64(Stmt_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8));
    return *this;
}

TStatement& TStatement::Bind(int index, std::optional<int> value) {
    return value ? Bind(index, static_cast<int64_t>(*value)) : BindNull(index);
}

TStatement& TStatement::BindBlob(int index, std::string_view bytes) {
    // A BLOB of no bytes is still a value, not NULL: SQLite binds a null pointer as NULL.
    Keep(sqlite3_bind_blob64(Stmt_, index, bytes.empty() ? "" : bytes.data(), bytes.size(),
                             SQLITE_TRANSIENT));
    return *this;
}

TStatement& TStatement::BindNull(int index) {
    Keep(sqlite3_bind_null(Stmt_, index));
    return *this;
}

int TStatement::Step() {
    if (BindRc_ != SQLITE_OK) return BindRc_;
    return sqlite3_step(Stmt_);
}

void TStatement::Reset() {
    sqlite3_reset(Stmt_);
    sqlite3_clear_bindings(Stmt_);
    BindRc_ = SQLITE_OK;
}

int64_t TStatement::Int(int column) const {
    return sqlite3_column_int64(Stmt_, column);
}

std::string TStatement::Text(int column) const {
    return std::string(TextView(column));
}

std::string_view TStatement::TextView(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(Stmt_, column));
    if (!text) return {};
    return std::string_view(text, static_cast<std::size_t>(sqlite3_column_bytes(Stmt_, column)));
}

std::string TStatement::Blob(int column) const {
    const void* bytes = sqlite3_column_blob(Stmt_, column);
    if (!bytes) return {};
    return std::string(static_cast<const char*>(bytes),
                       static_cast<std::size_t>(sqlite3_column_bytes(Stmt_, column)));
}

bool TStatement::IsNull(int column) const {
    return sqlite3_column_type(Stmt_, column) == SQLITE_NULL;
}

std::optional<int> TStatement::OptionalInt(int column) const {
    if (IsNull(column)) return std::nullopt;
    return static_cast<int>(Int(column));
}

int Exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

} // namespace brindle::sql
