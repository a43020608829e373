// What the history tests share: a temporary folder, a clock the test moves, recorders of the
// messages and of the status line, checked items made by the real copy check, and a plain SQLite
// connection to look into a file (or prepare one) behind the store's back.
#pragma once

#include "learn/CopyCheck.h"
#include "learn/HistoryStore.h"
#include "learn/KochCourse.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace brindle::test {

// 2025-03-10 12:00:00 UTC: midday, so that practices an hour apart share a calendar day in every
// zone from UTC-11 to UTC+11.
inline TTimePoint Midday() {
    return std::chrono::system_clock::from_time_t(1741608000);
}

// What the store gives, one line each, so that one comparison shows every field. A practice:
// "id started kind 100/80 (cpm) 6 sent 3 right 1 extra aborted finished counts lcwo 4".
inline std::string Describe(const TPracticeRecord& p) {
    std::ostringstream s;
    s << p.Id << " " << p.Started << " " << p.Kind << " " << p.CharCpm << "/" << p.EffCpm << " "
      << p.SentChars << " sent " << p.CorrectChars << " right " << p.ExtraChars << " extra"
      << (p.Aborted ? " aborted" : "") << (p.Finished ? " finished" : "")
      << (p.Counts ? " counts" : "");
    if (p.Course) s << " " << CourseOrderName(p.Course->Order) << " " << p.Course->Lesson;
    return s.str();
}
// seq sent 'copied' sent/right/extra, and the reaction time.
inline std::string Describe(const TStoredItem& i) {
    std::ostringstream s;
    s << i.Seq << " " << i.Sent << " '" << i.Copied << "' " << i.SentChars << "/" << i.CorrectChars
      << "/" << i.ExtraChars;
    if (i.ReactionMs) s << " " << *i.ReactionMs << " ms";
    return s.str();
}
// char right/copies, missed.
inline std::string Describe(const TCharAccuracy& a) {
    return std::string(1, static_cast<char>(a.Char)) + " " + std::to_string(a.Correct) + "/" +
           std::to_string(a.Copies) + " -" + std::to_string(a.Missed);
}
// char median ms, of so many.
inline std::string Describe(const TCharReaction& r) {
    return std::string(1, static_cast<char>(r.Char)) + " " + std::to_string(r.MedianMs) + " ms (" +
           std::to_string(r.Count) + ")";
}
// char copies, recent right/recent copies.
inline std::string Describe(const TCharStats& c) {
    return std::string(1, static_cast<char>(c.Char)) + " " + std::to_string(c.Copies) + " " +
           std::to_string(c.RecentCorrect) + "/" + std::to_string(c.RecentCopies);
}
template <class T> std::string Describe(const std::vector<T>& all) {
    std::string s;
    for (const T& one : all)
        s += (s.empty() ? "" : " | ") + Describe(one);
    return s;
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
    // A practice of these items in store, finished as the check scores it; its id.
    static THistoryStore::TPracticeId Practise(THistoryStore& store, const TPracticeStart& start,
                                               const std::vector<TCheckedItem>& items,
                                               bool counts = true, bool aborted = false) {
        const auto id = store.StartPractice(start);
        for (const TCheckedItem& item : items)
            store.AddItem(id, item);
        store.FinishPractice(id, EndOf(items, counts, aborted));
        return id;
    }
    // Whether the store takes changes and has some waiting, and how much it has said:
    // "writable 1 pending 0, 1 statuses 0 messages".
    std::string State(THistoryStore& store) const {
        std::ostringstream s;
        s << "writable " << store.Writable() << " pending " << store.PendingWrites() << ", "
          << Statuses.size() << " statuses " << Messages.size() << " messages";
        return s.str();
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
