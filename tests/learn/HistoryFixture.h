// What the history tests share: a temporary folder, a clock the test moves, recorders of the
// messages and of the status line, checked items made by the real copy check, and a plain SQLite
// connection to look into a file (or prepare one) behind the store's back.
#pragma once

#include "learn/CopyCheck.h"
#include "learn/HistoryStore.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace brindle::test {

// 2025-03-10 12:00:00 UTC: midday, so that practices an hour apart share a calendar day in every
// zone from UTC-11 to UTC+11.
inline TTimePoint Midday() {
    return std::chrono::system_clock::from_time_t(1741608000);
}

// A direct connection for looking into a file and for preparing old or foreign ones.
class TRawDb {
public:
    explicit TRawDb(const std::string& path,
                    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) {
        sqlite3* db = nullptr;
        Rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
        Db_.reset(db);
    }
    // Runs sql; SQLite's result.
    int Exec(const std::string& sql) {
        return sqlite3_exec(Db_.get(), sql.c_str(), nullptr, nullptr, nullptr);
    }
    // The first column of the first row as text; "" when there is none.
    std::string Value(const std::string& sql) {
        sqlite3_stmt* st = nullptr;
        std::string out;
        if (sqlite3_prepare_v2(Db_.get(), sql.c_str(), -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW && sqlite3_column_text(st, 0))
            out = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        sqlite3_finalize(st);
        return out;
    }
    int Rc = SQLITE_OK;

private:
    struct TClose {
        void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
    };
    std::unique_ptr<sqlite3, TClose> Db_;
};

class THistoryTest : public ::testing::Test {
protected:
    THistoryOptions Options() {
        THistoryOptions o;
        o.Messages = [this](const TMessage& m) { Messages.push_back(m); };
        o.Status = [this](const std::string& s) { Statuses.push_back(s); };
        o.Clock = [this] { return Now; };
        o.BusyTimeoutMs = 200;
        return o;
    }
    std::unique_ptr<THistoryStore> Open(const std::string& path) {
        return std::make_unique<THistoryStore>(path, Options());
    }
    std::string DbPath() const { return Dir.File("history.sqlite"); }

    // The checked item of one sent item and its copy.
    static TCheckedItem Item(const std::string& sent, const std::string& copy) {
        return CheckCopy({sent}, copy).Items.at(0);
    }
    // The end of a practice of these items, scored as the check scores it.
    static TPracticeEnd EndOf(const std::vector<TCheckedItem>& items, bool counts = true,
                              bool aborted = false) {
        TPracticeEnd end{aborted, counts};
        for (const TCheckedItem& item : items) {
            end.SentChars += item.SentChars();
            end.CorrectChars += item.CorrectChars;
            end.ExtraChars += item.ExtraChars;
        }
        return end;
    }
    static TPracticeStart Groups() { return TPracticeStart{"groups", 100, 80, std::nullopt}; }
    static TPracticeStart Course(TCourseOrder order, int lesson) {
        return TPracticeStart{"course", 100, 60, TCourseLesson{order, lesson}};
    }

    TTempDir Dir;
    TTimePoint Now = Midday();
    std::vector<TMessage> Messages;
    std::vector<std::string> Statuses;
};

} // namespace brindle::test
