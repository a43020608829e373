// Owners of SQLite's connection and statement handles, with the few calls the history store makes
// through them (binding, stepping, reading columns). Nothing outside the history store includes
// this header.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace brindle::sql {

struct TCloseDb {
    void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};
// An open connection; closing it is the owner's last act.
using TDb = std::unique_ptr<sqlite3, TCloseDb>;

// One prepared statement. A failed bind is kept and returned by the next Step.
class TStatement {
public:
    TStatement() = default;
    // Prepares sql on db; rc gets SQLite's result.
    TStatement(sqlite3* db, std::string_view sql, int& rc);
    ~TStatement();
    TStatement(TStatement&& other) noexcept;
    TStatement& operator=(TStatement&& other) noexcept;
    TStatement(const TStatement&) = delete;
    TStatement& operator=(const TStatement&) = delete;

    explicit operator bool() const { return Stmt_ != nullptr; }

    // Parameters count from 1, as in SQLite.
    TStatement& Bind(int index, int64_t value);
    TStatement& Bind(int index, std::string_view text);
    TStatement& Bind(int index, std::optional<int> value); // NULL when empty
    // Bytes kept exactly as they are, whatever they hold.
    TStatement& BindBlob(int index, std::string_view bytes);
    TStatement& BindNull(int index);

    // SQLITE_ROW, SQLITE_DONE or the error.
    int Step();
    // Ready for the next use: the reading or writing ends, the bindings are cleared.
    void Reset();

    int64_t Int(int column) const;
    std::string Text(int column) const;
    // The text in SQLite's buffer: valid until the next Step or Reset.
    std::string_view TextView(int column) const;
    // The column's bytes, as a BLOB or a text holds them.
    std::string Blob(int column) const;
    bool IsNull(int column) const;
    std::optional<int> OptionalInt(int column) const;

    // Resets the statement when the scope of one use ends.
    class TUse {
    public:
        explicit TUse(TStatement& s) : S_(s) { S_.Reset(); }
        ~TUse() { S_.Reset(); }
        TUse(const TUse&) = delete;
        TUse& operator=(const TUse&) = delete;

    private:
        TStatement& S_;
    };

private:
    void Keep(int rc) {
        if (rc != SQLITE_OK && BindRc_ == SQLITE_OK) BindRc_ = rc;
    }

    sqlite3_stmt* Stmt_ = nullptr;
    int BindRc_ = SQLITE_OK;
};

// Runs statements that return no rows; SQLite's result.
int Exec(sqlite3* db, const char* sql);

} // namespace brindle::sql
