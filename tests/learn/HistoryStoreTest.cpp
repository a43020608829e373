#include "HistoryFixture.h"

#include "learn/HistorySchema.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

using namespace brindle;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

class HistoryStore : public test::THistoryTest {};

// Columns of a table, in order.
std::string Columns(test::TRawDb& db, const std::string& table) {
    return db.Value("SELECT group_concat(name, ',') FROM pragma_table_info('" + table + "')");
}

// The schema of a file with its whitespace folded (none after "("), for comparing files.
std::string Schema(test::TRawDb& db) {
    std::string sql = db.Value("SELECT group_concat(type || ' ' || name || ' ' || "
                               "COALESCE(sql, ''), ';') FROM (SELECT * FROM sqlite_master "
                               "ORDER BY name)");
    std::string folded;
    for (const char c : sql) {
        const bool space = c == ' ' || c == '\n' || c == '\t';
        if (space && (folded.empty() || folded.back() == ' ' || folded.back() == '(')) continue;
        folded += space ? ' ' : c;
    }
    return folded;
}

} // namespace

// The history's file follows XDG_DATA_HOME; unset, empty or relative, the default under the home
// folder. Characters are stored as text, prosigns by name ("=" is one byte in the engine: <bt>).
TEST(HistoryPath, FollowsXdgDataHomeElseHomeAndTheCharactersAreStoredAsText) {
    EXPECT_EQ(HistoryPathFor("/data/me", "/home/me") + " " +
                  HistoryPathFor("/data/me/", "/home/me") + " " + HistoryPathFor("", "/home/me") +
                  " " + HistoryPathFor("data", "/home/me") + " '" + HistoryPathFor("", "") + "'",
              "/data/me/Brindle/history.sqlite /data/me/Brindle/history.sqlite "
              "/home/me/.local/share/Brindle/history.sqlite "
              "/home/me/.local/share/Brindle/history.sqlite ''");
    const char* saved = std::getenv("XDG_DATA_HOME");
    const std::string keep = saved ? saved : "";
    setenv("XDG_DATA_HOME", "/tmp/xdg-test", 1);
    EXPECT_EQ(DefaultHistoryPath(), "/tmp/xdg-test/Brindle/history.sqlite");
    if (saved)
        setenv("XDG_DATA_HOME", keep.c_str(), 1);
    else
        unsetenv("XDG_DATA_HOME");

    EXPECT_EQ(StoredChar('k') + StoredChar('+') + StoredChar('=') + StoredChar(0xE4) + " " +
                  StoredText("cq +\xE4"),
              "k<ar><bt>\xC3\xA4 cq <ar>\xC3\xA4");
    for (int c = 1; c < 256; ++c) // every byte comes back, prosign codes and odd ones included
        EXPECT_EQ(CharOfStored(StoredChar(static_cast<uint8_t>(c))), c) << c;
    EXPECT_EQ(CharOfStored(""), 0);
    EXPECT_EQ(CharOfStored("<"), '<');
}

TEST_F(HistoryStore, MakesItsFolderAndAnEmptyFileAndTakesAZeroByteOne) {
    const std::string path = (Dir.Path / "data" / "Brindle" / "history.sqlite").string();
    auto store = Open(path);
    ASSERT_TRUE(store->Available());
    for (const auto& folder : {Dir.Path / "data", Dir.Path / "data" / "Brindle"}) {
        struct stat st {};
        ASSERT_EQ(stat(folder.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u) << folder;
    }
    test::TRawDb raw(path);
    EXPECT_EQ(raw.Value("PRAGMA user_version"), std::to_string(history::SchemaVersion));
    EXPECT_EQ(raw.Value("PRAGMA journal_mode"), "wal");
    EXPECT_TRUE(store->Practices().empty());
    // A file of zero bytes is an empty history.
    std::ofstream(DbPath()).close();
    auto zero = Open(DbPath());
    EXPECT_TRUE(zero->Available());
    EXPECT_NE(zero->StartPractice(Groups()), 0);
    EXPECT_TRUE(Messages.empty());
}

TEST_F(HistoryStore, APracticeWithItsItemsAndCharacters) {
    auto store = Open(DbPath());
    const auto id = store->StartPractice(TPracticeStart{"groups", 100, 80, std::nullopt, 10});
    ASSERT_NE(id, 0);
    Now += 30s;
    const TCheckedItem first = Item("+b\xE4k", "+6\xE4"); // <ar>, b copied as 6, k missed
    const TCheckedItem second = Item("bk", "6kx");        // x copied with nothing sent
    ASSERT_EQ(second.ExtraChars, 1);
    ASSERT_TRUE(store->AddItem(id, first, TItemTiming{1200, {300, 500, std::nullopt, 100}}));
    ASSERT_TRUE(store->AddItem(id, second));
    ASSERT_TRUE(store->FinishPractice(id, EndOf({first, second})));

    const auto practices = store->Practices();
    ASSERT_EQ(practices.size(), 1u);
    EXPECT_EQ(test::Describe(practices[0]),
              "1 2025-03-10T12:00:00Z groups 100/80 6 sent 3 right 1 extra finished counts");
    EXPECT_DOUBLE_EQ(practices[0].Accuracy(), 2.0 / 6.0); // 3 wrong or missed and 1 extra of 6
    // UTF-8, prosigns by name.
    EXPECT_EQ(test::Describe(store->Items(id)),
              "1 <ar>b\xC3\xA4k '<ar>6\xC3\xA4' 4/2/0 1200 ms | 2 bk '6kx' 2/1/1");

    test::TRawDb raw(DbPath());
    EXPECT_EQ(
        raw.Value("SELECT group_concat(sent || '>' || copied || ' ' || "
                  "COALESCE(reaction_ms, '-'), ', ') FROM (SELECT * FROM chars ORDER BY seq, pos)"),
        "<ar>><ar> 300, b>6 500, \xC3\xA4>\xC3\xA4 -, k> 100, b>6 -, k>k -");
    EXPECT_EQ(raw.Value("SELECT planned_items || ' ' || extra_chars || ' ' || counts || ' ' || "
                        "ended FROM sessions"),
              "10 1 1 2025-03-10T12:00:30Z");
}

// Items, copies and ends wait in memory; a flush writes them together, a query or the end of the
// store flushes first.
TEST_F(HistoryStore, WritesWaitForAFlush) {
    THistoryStore::TPracticeId id = 0;
    {
        auto store = Open(DbPath());
        id = store->StartPractice(Groups());
        test::TRawDb raw(DbPath());
        EXPECT_EQ(raw.Value("SELECT COUNT(*) FROM sessions"), "1"); // the start at once
        EXPECT_TRUE(store->Flush());                                // nothing to write
        ASSERT_TRUE(store->AddItem(id, Item("abc", "abc")));
        ASSERT_TRUE(store->SaveCopy(id, 1, "abc"));
        const std::string written =
            "SELECT (SELECT COUNT(*) FROM items) || ' ' || COALESCE(copy, '-') FROM sessions";
        EXPECT_TRUE(store->PendingWrites());
        EXPECT_EQ(raw.Value(written), "0 -");
        EXPECT_TRUE(store->Flush());
        EXPECT_FALSE(store->PendingWrites());
        EXPECT_EQ(raw.Value(written), "1 abc");

        ASSERT_TRUE(store->AddItem(id, Item("def", "dex")));
        EXPECT_EQ(store->Items(id).size(), 2u); // the query flushed first
        ASSERT_TRUE(store->AddItem(id, Item("ghi", "ghi")));
        ASSERT_TRUE(store->FinishPractice(id, TPracticeEnd{false, true, 9, 8, 0}));
        EXPECT_EQ(raw.Value("SELECT COUNT(*) FROM sessions WHERE ended IS NOT NULL"), "0");
    } // the last changes written as the store goes
    test::TRawDb raw(DbPath());
    EXPECT_EQ(raw.Value("SELECT (SELECT COUNT(*) FROM items) || ' ' || sent_chars || ' ' || "
                        "correct_chars || ' ' || counts || ' ' || aborted FROM sessions WHERE "
                        "ended IS NOT NULL"),
              "3 9 8 1 0");
    EXPECT_TRUE(Messages.empty() && Statuses.empty());
}

// A practice copied on the run keeps each item as it is sent, with the copy typed so far, and
// writes it again when it is checked: the confusions then count only what was finally copied.
TEST_F(HistoryStore, AnItemWrittenAgainReplacesItsCharactersAndTheirConfusions) {
    auto store = Open(DbPath());
    const auto id = store->StartPractice(Groups());
    // Writing to no practice, or to item 0 (items count from 1), does nothing.
    const TCheckedItem abc = Item("abc", "abc");
    std::ostringstream refused;
    refused << store->AddItem(0, abc) << store->AddItem(id + 1, abc)
            << store->ReplaceItem(id, 0, abc) << store->SaveCopy(id + 1, 1, "abc")
            << store->SaveCopy(id, 0, "abc")
            << store->FinishPractice(id + 1, TPracticeEnd{false, true, 3, 3, 0})
            << store->CharAccuracy().size();
    EXPECT_EQ(refused.str(), "0000000");
    EXPECT_EQ(State(*store), "writable 1 pending 0, 0 statuses 0 messages");

    ASSERT_TRUE(store->AddItem(id, Item("bk", "")));  // sent, not yet copied
    ASSERT_TRUE(store->AddItem(id, Item("ab", "6"))); // half copied so far
    ASSERT_TRUE(store->ReplaceItem(id, 1, Item("bk", "6k"), TItemTiming{900, {}}));
    ASSERT_TRUE(store->ReplaceItem(id, 2, Item("ab", "ab")));
    EXPECT_FALSE(store->ReplaceItem(id + 1, 1, Item("bk", "bk"))); // no such practice
    EXPECT_EQ(test::Describe(store->Items(id)), "1 bk '6k' 2/1/0 900 ms | 2 ab 'ab' 2/2/0");
    EXPECT_EQ(store->Confusions(), (std::vector<TConfusion>{{'b', '6', 1}}));
    const auto accuracy = store->CharAccuracy(); // the worst first
    ASSERT_FALSE(accuracy.empty());
    EXPECT_EQ(test::Describe(accuracy[0]), "b 1/2 -0");
    test::TRawDb raw(DbPath());
    EXPECT_EQ(raw.Value("SELECT COUNT(*) || ' ' || (SELECT SUM(n) FROM char_pairs) FROM chars"),
              "4 4");
    // Copied right at last: its only confusion is gone.
    ASSERT_TRUE(store->ReplaceItem(id, 1, Item("bk", "bk")));
    EXPECT_TRUE(store->Confusions().empty());
    EXPECT_EQ(raw.Value("SELECT COUNT(*) FROM char_pairs WHERE n <= 0"), "0");
}

TEST_F(HistoryStore, ProgressQueries) {
    auto store = Open(DbPath());
    // Ten days ago: x is always copied as y.
    Now = test::Midday() - 240h;
    auto old = store->StartPractice(Groups());
    store->AddItem(old, Item("xxk", "yyk"), TItemTiming{{}, {900, 900, 100}});
    store->FinishPractice(old, EndOf({Item("xxk", "yyk")}));
    // Now: b copied as 6 three times, m as n once, one m missed; k always right.
    Now = test::Midday();
    auto recent = store->StartPractice(Groups());
    store->AddItem(recent, Item("bbbb", "b666"), TItemTiming{{}, {100, 200, 300, 400}});
    store->AddItem(recent, Item("mmmm", "mnm"), TItemTiming{{}, {500, 400, 600, 450}});
    store->AddItem(recent, Item("kkkk", "kkkk"), TItemTiming{{}, {300, 100, 200, std::nullopt}});
    store->FinishPractice(recent, TPracticeEnd{true, false, 12, 7, 0});

    // 0 %, 25 %, 50 %, 100 %.
    EXPECT_EQ(test::Describe(store->CharAccuracy()), "x 0/2 -0 | b 1/4 -0 | m 2/4 -1 | k 5/5 -0");
    EXPECT_EQ(test::Describe(store->CharAccuracy(7)), "b 1/4 -0 | m 2/4 -1 | k 4/4 -0");

    EXPECT_EQ(store->Confusions(),
              (std::vector<TConfusion>{{'b', '6', 3}, {'x', 'y', 2}, {'m', 'n', 1}}));
    EXPECT_EQ(store->Confusions({}, 1), (std::vector<TConfusion>{{'b', '6', 3}}));
    EXPECT_EQ(store->Confusions(7), (std::vector<TConfusion>{{'b', '6', 3}, {'m', 'n', 1}}));

    // Medians: x 900; m 400 450 500 600 -> 475; b 100..400 -> 250; k 100 100 200 300 -> 150,
    // and of this week 100 200 300 -> 200.
    EXPECT_EQ(test::Describe(store->SlowestChars()),
              "x 900 ms (2) | m 475 ms (4) | b 250 ms (4) | k 150 ms (4)");
    EXPECT_EQ(test::Describe(store->SlowestChars(7, 2)), "m 475 ms (4) | b 250 ms (4)");
    EXPECT_EQ(test::Describe(store->SlowestChars(7)), "m 475 ms (4) | b 250 ms (4) | k 200 ms (3)");

    EXPECT_EQ(test::Describe(store->Practices()),
              "1 2025-02-28T12:00:00Z groups 100/80 3 sent 1 right 0 extra finished counts | "
              "2 2025-03-10T12:00:00Z groups 100/80 12 sent 7 right 0 extra aborted finished");
    EXPECT_EQ(store->Practices(7).size(), 1u);
    EXPECT_EQ(store->Practices(10).size(), 2u); // one started exactly 10 days ago
}

// Only practices that count enter the course's figures: all copies, and the latest fifty.
TEST_F(HistoryStore, CharStatsCountAllCopiesAndTheLatestFiftyOfPracticesThatCount) {
    auto store = Open(DbPath());
    auto id = store->StartPractice(Groups());
    std::vector<TCheckedItem> items;
    for (int i = 0; i < 10; ++i)
        items.push_back(Item("kkk", "mmm")); // 30 wrong
    for (int i = 0; i < 10; ++i)
        items.push_back(Item("kkkkk", "kkkkk")); // 50 right, the latest
    for (const auto& item : items)
        store->AddItem(id, item);
    EXPECT_EQ(test::Describe(store->CharStats("k")), "k 0 0/0"); // not finished: not yet counted
    store->FinishPractice(id, EndOf(items));
    EXPECT_EQ(test::Describe(store->CharStats("kKr")), "k 80 50/50 | k 80 50/50 | r 0 0/0");

    // A practice that does not count (stopped, or short of its length) changes nothing.
    Practise(*store, Groups(), {Item("kkkk", "mmmm")}, false, true);
    EXPECT_EQ(test::Describe(store->CharStats("k")), "k 80 50/50");

    // The latest copies are the ones written last, across practices: 46 of the older right ones
    // and the new right one.
    const auto next = Practise(*store, Groups(), {Item("kkkk", "k")});
    EXPECT_EQ(test::Describe(store->CharStats("k")), "k 84 47/50");

    // An item of a counted practice written again, and its end written again as not counting:
    // the copies follow.
    store->ReplaceItem(next, 1, Item("kkkk", "kkkk"));
    EXPECT_EQ(test::Describe(store->CharStats("k")), "k 84 50/50");
    store->FinishPractice(next, EndOf({Item("kkkk", "kkkk")}, false));
    EXPECT_EQ(test::Describe(store->CharStats("k")), "k 80 50/50");
    test::TRawDb raw(DbPath());
    EXPECT_EQ(raw.Value("SELECT group_concat(sent || '=' || n) FROM counted_chars"), "k=80");
}

TEST_F(HistoryStore, NewestCharTallyReadsTheLessonsLatestCopiesThatCount) {
    auto store = Open(DbPath());
    const TCheckedItem tenRight = Item("rrrrrrrrrr", "rrrrrrrrrr");
    const TCheckedItem tenWrong = Item("rrrrrrrrrr", "kkkkkkkkkk");
    const TPracticeStart lesson4 = Course(TCourseOrder::Lcwo, 4);
    Now = test::Midday() - 48h;
    Practise(*store, lesson4, {tenRight, tenWrong}); // older: its last item first
    Now = test::Midday() - 24h;
    Practise(*store, lesson4,
             {tenRight, tenRight, tenRight, tenRight, Item("rrrrr", "rrrrr")}); // 45
    Now = test::Midday() - 72h;
    Practise(*store, lesson4, {tenWrong}); // written later, started earlier: the oldest
    Now = test::Midday();
    Practise(*store, lesson4, {tenWrong}, false);                 // does not count
    Practise(*store, Course(TCourseOrder::Lcwo, 3), {tenWrong});  // other lesson
    Practise(*store, Course(TCourseOrder::G4fon, 4), {tenWrong}); // other order
    Practise(*store, Groups(), {tenWrong});                       // not the course

    const TCourseLesson lesson{TCourseOrder::Lcwo, 4};
    EXPECT_EQ(store->NewestCharTally(lesson, 'r'), (TCharTally{50, 45}));
    EXPECT_EQ(store->NewestCharTally(lesson, 'R'), (TCharTally{50, 45}));
    EXPECT_EQ(store->NewestCharTally(lesson, 'r', 60), (TCharTally{60, 50}));
    EXPECT_EQ(store->NewestCharTally(lesson, 'r', 1000), (TCharTally{75, 55}));
    EXPECT_EQ(store->NewestCharTally(lesson, 'k'), (TCharTally{}));
    EXPECT_EQ(store->NewestCharTally(TCourseLesson{TCourseOrder::Cwops, 4}, 'r'), TCharTally{});

    // The oldest practice, of the course.
    const auto practices = store->Practices();
    ASSERT_FALSE(practices.empty());
    EXPECT_EQ(
        test::Describe(practices[0]),
        "3 2025-03-07T12:00:00Z course 100/60 10 sent 0 right 0 extra finished counts LCWO 4");
}

// The program ended during practices (it crashed, or was closed without finishing them). The
// next opening scores each as aborted, and none counts towards the course: one on its items as
// kept; a continuous one on the copy typed so far, saved beside its items as they were sent; an
// item-by-item one keeps the items checked with their copies, and its saved copy covers the item
// that was waiting.
TEST_F(HistoryStore, UnfinishedPracticesAreScoredAsAbortedAtTheNextOpening) {
    // Prosign codes and Windows-1252 bytes come back exactly.
    const std::string copy = "abcxde fghij +\xE4";
    {
        auto store = Open(DbPath());
        const auto plain = store->StartPractice(Course(TCourseOrder::Cwops, 2));
        store->AddItem(plain, Item("tea", "tea"));
        store->AddItem(plain, Item("eat", "e"));
        const auto continuous = store->StartPractice(Course(TCourseOrder::Lcwo, 2));
        for (const char* sent : {"abcde", "fghij", "klmno"})
            ASSERT_TRUE(store->AddItem(continuous, Item(sent, ""), TItemTiming{{}, {400, 500}}));
        ASSERT_TRUE(store->SaveCopy(continuous, 1, "ab"));
        ASSERT_TRUE(store->SaveCopy(continuous, 1, copy)); // the newer copy replaces the older
        const auto itemByItem = store->StartPractice(Groups());
        ASSERT_TRUE(store->AddItem(itemByItem, Item("abc", "")));
        ASSERT_TRUE(store->ReplaceItem(itemByItem, 1, Item("abc", "abd")));
        ASSERT_TRUE(store->AddItem(itemByItem, Item("klm", "")));
        ASSERT_TRUE(store->SaveCopy(itemByItem, 1, "ab")); // older, still waiting: replaced whole
        ASSERT_TRUE(store->SaveCopy(itemByItem, 2, "klm"));
        ASSERT_TRUE(store->Flush());
        // The store goes without a word about the practices.
    }
    {
        test::TRawDb raw(DbPath());
        ASSERT_EQ(raw.Value("SELECT copy_from || ':' || hex(copy) FROM sessions WHERE id = 2"),
                  "1:61626378646520666768696A202BE4");
        EXPECT_EQ(raw.Value("SELECT SUM(correct_chars) FROM items WHERE session = 2"), "0");
    }
    auto store = Open(DbPath());
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(test::Describe(store->Practices()),
              "1 2025-03-10T12:00:00Z course 100/60 6 sent 4 right 0 extra aborted CWops 2 | "
              "2 2025-03-10T12:00:00Z course 100/60 15 sent 10 right 1 extra aborted LCWO 2 | "
              "3 2025-03-10T12:00:00Z groups 100/80 6 sent 5 right 0 extra aborted");
    EXPECT_EQ(test::Describe(store->Items(1)), "1 tea 'tea' 3/3/0 | 2 eat 'e' 3/1/0");
    EXPECT_EQ(test::Describe(store->Items(2)),
              "1 abcde 'abcxde' 5/5/1 | 2 fghij 'fghij' 5/5/0 | 3 klmno '<ar>\xC3\xA4' 5/0/0");
    EXPECT_EQ(test::Describe(store->Items(3)), "1 abc 'abd' 3/2/0 | 2 klm 'klm' 3/3/0");
    auto confusions = store->Confusions(); // all once: in the order of the sent characters
    std::sort(confusions.begin(), confusions.end(),
              [](const TConfusion& a, const TConfusion& b) { return a.Sent < b.Sent; });
    EXPECT_EQ(confusions, (std::vector<TConfusion>{{'c', 'd', 1}, {'n', '+', 1}, {'o', 0xE4, 1}}));
    // The reaction times kept beside the characters stay.
    test::TRawDb raw(DbPath());
    EXPECT_EQ(raw.Value("SELECT group_concat(COALESCE(reaction_ms, '-'), ' ') FROM "
                        "(SELECT * FROM chars WHERE session = 2 AND seq = 2 ORDER BY pos)"),
              "400 500 - - -");
    EXPECT_EQ(test::Describe(store->CharStats("ae")), "a 0 0/0 | e 0 0/0");
    // New practices go on after them.
    EXPECT_EQ(store->StartPractice(Groups()), 4);
}

TEST_F(HistoryStore, AVersionOneFileIsBroughtToTheCurrentVersionInPlace) {
    {
        // What version 1 of the history wrote.
        test::TRawDb v1(DbPath());
        ASSERT_EQ(v1.Exec(R"sql(
CREATE TABLE sessions(id INTEGER PRIMARY KEY, started TEXT NOT NULL, ended TEXT,
    kind TEXT NOT NULL, char_cpm INTEGER NOT NULL, eff_cpm INTEGER NOT NULL,
    sent_chars INTEGER NOT NULL DEFAULT 0, correct_chars INTEGER NOT NULL DEFAULT 0,
    aborted INTEGER NOT NULL DEFAULT 0);
CREATE INDEX sessions_started ON sessions(started);
CREATE INDEX sessions_unfinished ON sessions(id) WHERE ended IS NULL;
CREATE TABLE items(session INTEGER NOT NULL, seq INTEGER NOT NULL, sent TEXT NOT NULL,
    copied TEXT NOT NULL, sent_chars INTEGER NOT NULL, correct_chars INTEGER NOT NULL,
    reaction_ms INTEGER, PRIMARY KEY(session, seq)) WITHOUT ROWID;
CREATE TABLE chars(session INTEGER NOT NULL, seq INTEGER NOT NULL, pos INTEGER NOT NULL,
    sent TEXT NOT NULL, copied TEXT NOT NULL, reaction_ms INTEGER,
    PRIMARY KEY(session, seq, pos)) WITHOUT ROWID;
CREATE INDEX chars_reaction ON chars(sent, reaction_ms) WHERE reaction_ms IS NOT NULL;
PRAGMA user_version = 1;
INSERT INTO sessions VALUES(1, '2025-01-05T18:00:00Z', '2025-01-05T18:05:00Z', 'groups', 120, 90,
                            4, 3, 0);
INSERT INTO sessions VALUES(2, '2025-01-06T18:00:00Z', NULL, 'words', 120, 90, 0, 0, 0);
INSERT INTO sessions VALUES(3, '2025-01-07T18:00:00Z', '2025-01-07T18:01:00Z', 'groups', 120, 90,
                            1, 1, 1);
INSERT INTO items VALUES(3, 1, 'e', 'e', 1, 1, NULL);
INSERT INTO chars VALUES(3, 1, 0, 'e', 'e', NULL);
INSERT INTO items VALUES(1, 1, 'b<ar>', 'b<ar>', 2, 2, NULL);
INSERT INTO items VALUES(1, 2, 'bk', '6k', 2, 1, 800);
INSERT INTO items VALUES(2, 1, 'paris', 'pari', 5, 4, NULL);
INSERT INTO chars VALUES(1, 1, 0, 'b', 'b', 300), (1, 1, 1, '<ar>', '<ar>', NULL),
    (1, 2, 0, 'b', '6', 700), (1, 2, 1, 'k', 'k', NULL), (2, 1, 0, 'p', 'p', NULL),
    (2, 1, 1, 'a', 'a', NULL), (2, 1, 2, 'r', 'r', NULL), (2, 1, 3, 'i', 'i', NULL),
    (2, 1, 4, 's', '', NULL);
)sql"),
                  SQLITE_OK);
    }
    auto store = Open(DbPath());
    ASSERT_TRUE(store->Available());
    EXPECT_TRUE(Messages.empty());
    {
        test::TRawDb raw(DbPath());
        EXPECT_EQ(raw.Value("SELECT user_version || ' ' || journal_mode FROM pragma_user_version, "
                            "pragma_journal_mode"),
                  "3 wal");
        EXPECT_EQ(Columns(raw, "sessions"),
                  "id,started,ended,kind,char_cpm,eff_cpm,sent_chars,correct_chars,aborted,"
                  "lesson,course_order,extra_chars,counts,planned_items,copy,copy_from");
        EXPECT_EQ(Columns(raw, "items"),
                  "session,seq,sent,copied,sent_chars,correct_chars,reaction_ms,extra_chars");
        // The practice finished without stopping counts; the one never finished and the one
        // stopped do not. None is of the course.
        EXPECT_EQ(raw.Value("SELECT group_concat(id || ':' || counts || ':' || COALESCE(lesson, "
                            "course_order, '-')) FROM sessions"),
                  "1:1:-,2:0:-,3:0:-");
        // The same schema as a file made new.
        auto fresh = Open(Dir.File("fresh.sqlite"));
        test::TRawDb made(Dir.File("fresh.sqlite"));
        EXPECT_EQ(Schema(raw), Schema(made));
    }
    // The data is kept: practices, items, characters, and the summary built from them.
    EXPECT_EQ(test::Describe(store->Practices()),
              "1 2025-01-05T18:00:00Z groups 120/90 4 sent 3 right 0 extra finished counts | "
              "2 2025-01-06T18:00:00Z words 120/90 5 sent 4 right 0 extra aborted | "
              "3 2025-01-07T18:00:00Z groups 120/90 1 sent 1 right 0 extra aborted finished");
    EXPECT_EQ(test::Describe(store->Items(1)), "1 b<ar> 'b<ar>' 2/2/0 | 2 bk '6k' 2/1/0 800 ms");
    EXPECT_EQ(store->Confusions(), (std::vector<TConfusion>{{'b', '6', 1}}));
    // s only in the practice that does not count, e only in the practice stopped.
    EXPECT_EQ(test::Describe(store->CharStats("b+se")), "b 2 1/2 | + 1 1/1 | s 0 0/0 | e 0 0/0");
    EXPECT_EQ(test::Describe(store->SlowestChars()), "b 500 ms (2)");
    // ... and it goes on from there.
    const auto id = store->StartPractice(Course(TCourseOrder::Lcwo, 1));
    EXPECT_EQ(id, 4);
    EXPECT_TRUE(store->AddItem(id, Item("km", "km")));
    EXPECT_EQ(test::Describe(store->CharStats("b")), "b 2 1/2");
}

TEST_F(HistoryStore, CsvExport) {
    auto store = Open(DbPath());
    const auto id = store->StartPractice(Course(TCourseOrder::G4fon, 3));
    const TCheckedItem first = Item("a,+", "a.+x");
    store->AddItem(id, first, TItemTiming{900, {350, std::nullopt, 200}});
    store->AddItem(id, Item("\"k", "\""));
    store->FinishPractice(id, EndOf({first, Item("\"k", "\"")}));
    const auto other = store->StartPractice(Groups());
    store->AddItem(other, Item("e", ""));
    const std::string path = Dir.File("history.csv");
    ASSERT_TRUE(store->ExportCsv(path)); // the queued writes go first
    EXPECT_EQ(test::ReadWhole(path),
              "started,kind,char_cpm,eff_cpm,aborted,counts,lesson,course_order,seq,item_sent,"
              "item_copied,item_extra_chars,pos,sent,copied,result,reaction_ms\r\n"
              "2025-03-10T12:00:00Z,course,100,60,0,1,3,g4fon,1,\"a,<ar>\",a.<ar>x,1,0,a,a,"
              "correct,350\r\n"
              "2025-03-10T12:00:00Z,course,100,60,0,1,3,g4fon,1,\"a,<ar>\",a.<ar>x,1,1,\",\",.,"
              "substituted,\r\n"
              "2025-03-10T12:00:00Z,course,100,60,0,1,3,g4fon,1,\"a,<ar>\",a.<ar>x,1,2,<ar>,<ar>,"
              "correct,200\r\n"
              "2025-03-10T12:00:00Z,course,100,60,0,1,3,g4fon,2,\"\"\"k\",\"\"\"\",0,0,\"\"\"\","
              "\"\"\"\",correct,\r\n"
              "2025-03-10T12:00:00Z,course,100,60,0,1,3,g4fon,2,\"\"\"k\",\"\"\"\",0,1,k,,missed,"
              "\r\n"
              "2025-03-10T12:00:00Z,groups,100,80,0,0,,,1,e,,0,0,e,,missed,\r\n");

    // A file that cannot be written: reported, the old file kept, the history still on.
    ASSERT_FALSE(store->ExportCsv(Dir.File("missing/history.csv")));
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_NE(Messages[0].Text.find("missing/history.csv"), std::string::npos);
    EXPECT_TRUE(store->Available());
    fs::create_directory(Dir.File("folder.csv"));
    EXPECT_FALSE(store->ExportCsv(Dir.File("folder.csv")));
    EXPECT_TRUE(fs::is_directory(Dir.File("folder.csv")));
}
