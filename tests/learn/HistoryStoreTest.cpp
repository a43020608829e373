#include "HistoryFixture.h"

#include "learn/HistorySchema.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace brindle;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

class HistoryStore : public test::THistoryTest {};

// Columns of a table, in order.
std::string Columns(test::TRawDb& db, const std::string& table) {
    return db.Value("SELECT group_concat(name, ',') FROM pragma_table_info('" + table + "')");
}

// The schema of a file with its whitespace folded, for comparing files.
std::string Schema(test::TRawDb& db) {
    std::string sql = db.Value("SELECT group_concat(type || ' ' || name || ' ' || "
                               "COALESCE(sql, ''), ';') FROM (SELECT * FROM sqlite_master "
                               "ORDER BY name)");
    std::string folded;
    for (const char c : sql) {
        const bool space = c == ' ' || c == '\n' || c == '\t';
        if (space && (folded.empty() || folded.back() == ' ')) continue;
        folded += space ? ' ' : c;
    }
    return folded;
}

} // namespace

TEST(HistoryPath, FollowsXdgDataHomeElseHome) {
    EXPECT_EQ(HistoryPathFor("/data/me", "/home/me"), "/data/me/Brindle/history.sqlite");
    EXPECT_EQ(HistoryPathFor("/data/me/", "/home/me"), "/data/me/Brindle/history.sqlite");
    // Unset, empty or relative: the default under the home folder.
    EXPECT_EQ(HistoryPathFor("", "/home/me"), "/home/me/.local/share/Brindle/history.sqlite");
    EXPECT_EQ(HistoryPathFor("data", "/home/me"), "/home/me/.local/share/Brindle/history.sqlite");
    EXPECT_EQ(HistoryPathFor("", ""), "");

    const char* saved = std::getenv("XDG_DATA_HOME");
    const std::string keep = saved ? saved : "";
    setenv("XDG_DATA_HOME", "/tmp/xdg-test", 1);
    EXPECT_EQ(DefaultHistoryPath(), "/tmp/xdg-test/Brindle/history.sqlite");
    if (saved)
        setenv("XDG_DATA_HOME", keep.c_str(), 1);
    else
        unsetenv("XDG_DATA_HOME");
}

TEST(HistoryText, CharactersAndTextAsStored) {
    EXPECT_EQ(StoredChar('k'), "k");
    EXPECT_EQ(StoredChar('+'), "<ar>");
    EXPECT_EQ(StoredChar('='), "<bt>"); // one byte in the engine: the same sign
    EXPECT_EQ(StoredChar(0xE4), "\xC3\xA4");
    EXPECT_EQ(StoredText("cq +\xE4"), "cq <ar>\xC3\xA4");
    for (int c = 1; c < 256; ++c) // every byte comes back, prosign codes and odd ones included
        EXPECT_EQ(CharOfStored(StoredChar(static_cast<uint8_t>(c))), c) << c;
    EXPECT_EQ(CharOfStored(""), 0);
    EXPECT_EQ(CharOfStored("<"), '<');
}

TEST_F(HistoryStore, MakesItsFolderAndAnEmptyFile) {
    const std::string path = (Dir.Path / "data" / "Brindle" / "history.sqlite").string();
    auto store = Open(path);
    ASSERT_TRUE(store->Available());
    EXPECT_TRUE(Messages.empty());
    for (const auto& folder : {Dir.Path / "data", Dir.Path / "data" / "Brindle"}) {
        struct stat st {};
        ASSERT_EQ(stat(folder.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u) << folder;
    }
    test::TRawDb raw(path);
    EXPECT_EQ(raw.Value("PRAGMA user_version"), std::to_string(history::SchemaVersion));
    EXPECT_EQ(raw.Value("PRAGMA journal_mode"), "wal");
    EXPECT_TRUE(store->Practices().empty());
}

TEST_F(HistoryStore, AZeroByteFileIsAnEmptyHistory) {
    std::ofstream(DbPath()).close();
    auto store = Open(DbPath());
    EXPECT_TRUE(store->Available());
    EXPECT_TRUE(Messages.empty());
    EXPECT_NE(store->StartPractice(Groups()), 0);
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
    const TPracticeRecord& p = practices[0];
    EXPECT_EQ(p.Id, id);
    EXPECT_EQ(p.Started, "2025-03-10T12:00:00Z");
    EXPECT_EQ(p.Kind, "groups");
    EXPECT_EQ(p.CharCpm, 100);
    EXPECT_EQ(p.EffCpm, 80);
    EXPECT_EQ(p.SentChars, 6);
    EXPECT_EQ(p.CorrectChars, 3);
    EXPECT_EQ(p.ExtraChars, 1);
    EXPECT_DOUBLE_EQ(p.Accuracy(), 2.0 / 6.0); // 3 wrong or missed and 1 extra of 6
    EXPECT_FALSE(p.Aborted);
    EXPECT_TRUE(p.Finished);
    EXPECT_TRUE(p.Counts);
    EXPECT_FALSE(p.Course);

    const auto items = store->Items(id);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].Seq, 1);
    EXPECT_EQ(items[0].Sent, "<ar>b\xC3\xA4k"); // UTF-8, prosigns by name
    EXPECT_EQ(items[0].Copied, "<ar>6\xC3\xA4");
    EXPECT_EQ(items[0].SentChars, 4);
    EXPECT_EQ(items[0].CorrectChars, 2);
    EXPECT_EQ(items[0].ExtraChars, 0);
    EXPECT_EQ(items[0].ReactionMs, 1200);
    EXPECT_EQ(items[1].Seq, 2);
    EXPECT_EQ(items[1].ExtraChars, 1);
    EXPECT_FALSE(items[1].ReactionMs);

    test::TRawDb raw(DbPath());
    EXPECT_EQ(raw.Value("SELECT group_concat(sent || '>' || copied, ' ') FROM "
                        "(SELECT * FROM chars ORDER BY seq, pos)"),
              "<ar>><ar> b>6 \xC3\xA4>\xC3\xA4 k> b>6 k>k");
    EXPECT_EQ(raw.Value("SELECT group_concat(COALESCE(reaction_ms, '-'), ' ') FROM "
                        "(SELECT * FROM chars ORDER BY seq, pos)"),
              "300 500 - 100 - -");
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
        EXPECT_TRUE(store->PendingWrites());
        EXPECT_EQ(raw.Value("SELECT COUNT(*) FROM items"), "0");
        EXPECT_TRUE(store->Flush());
        EXPECT_FALSE(store->PendingWrites());
        EXPECT_EQ(raw.Value("SELECT COUNT(*) FROM items"), "1");
        EXPECT_EQ(raw.Value("SELECT copy FROM sessions"), "abc");

        ASSERT_TRUE(store->AddItem(id, Item("def", "dex")));
        EXPECT_EQ(store->Items(id).size(), 2u); // the query flushed first
        ASSERT_TRUE(store->AddItem(id, Item("ghi", "ghi")));
        ASSERT_TRUE(store->FinishPractice(id, TPracticeEnd{false, true, 9, 8, 0}));
        EXPECT_EQ(raw.Value("SELECT COUNT(*) FROM sessions WHERE ended IS NOT NULL"), "0");
    } // the last changes written as the store goes
    test::TRawDb raw(DbPath());
    EXPECT_EQ(raw.Value("SELECT COUNT(*) FROM items"), "3");
    EXPECT_EQ(raw.Value("SELECT sent_chars || ' ' || correct_chars || ' ' || counts || ' ' || "
                        "aborted FROM sessions WHERE ended IS NOT NULL"),
              "9 8 1 0");
    EXPECT_TRUE(Messages.empty());
    EXPECT_TRUE(Statuses.empty());
}

// A practice copied on the run keeps each item as it is sent, with the copy typed so far, and
// writes it again when it is checked: the confusions then count only what was finally copied.
TEST_F(HistoryStore, AnItemWrittenAgainReplacesItsCharactersAndTheirConfusions) {
    auto store = Open(DbPath());
    const auto id = store->StartPractice(Groups());
    ASSERT_TRUE(store->AddItem(id, Item("bk", "")));  // sent, not yet copied
    ASSERT_TRUE(store->AddItem(id, Item("ab", "6"))); // half copied so far
    ASSERT_TRUE(store->ReplaceItem(id, 1, Item("bk", "6k"), TItemTiming{900, {}}));
    ASSERT_TRUE(store->ReplaceItem(id, 2, Item("ab", "ab")));
    EXPECT_FALSE(store->ReplaceItem(id + 1, 1, Item("bk", "bk"))); // no such practice
    const auto items = store->Items(id);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].Seq, 1);
    EXPECT_EQ(items[0].Copied, "6k");
    EXPECT_EQ(items[0].CorrectChars, 1);
    EXPECT_EQ(items[0].ReactionMs, 900);
    EXPECT_EQ(items[1].Copied, "ab");
    EXPECT_EQ(store->Confusions(), (std::vector<TConfusion>{{'b', '6', 1}}));
    const auto accuracy = store->CharAccuracy();
    const auto b = std::find_if(accuracy.begin(), accuracy.end(),
                                [](const TCharAccuracy& a) { return a.Char == 'b'; });
    ASSERT_NE(b, accuracy.end());
    EXPECT_EQ(b->Copies, 2);
    EXPECT_EQ(b->Correct, 1);
    test::TRawDb raw(DbPath());
    EXPECT_EQ(raw.Value("SELECT COUNT(*) FROM chars"), "4");
    EXPECT_EQ(raw.Value("SELECT SUM(n) FROM char_pairs"), "4");
    // Copied right at last: its only confusion is gone.
    ASSERT_TRUE(store->ReplaceItem(id, 1, Item("bk", "bk")));
    EXPECT_TRUE(store->Confusions().empty());
    EXPECT_EQ(raw.Value("SELECT COUNT(*) FROM char_pairs WHERE n <= 0"), "0");
}

TEST_F(HistoryStore, WritingToNoPracticeDoesNothing) {
    auto store = Open(DbPath());
    const auto id = store->StartPractice(Groups());
    EXPECT_FALSE(store->AddItem(0, Item("abc", "abc")));
    EXPECT_FALSE(store->AddItem(id + 1, Item("abc", "abc")));
    EXPECT_FALSE(store->ReplaceItem(id, 0, Item("abc", "abc"))); // items count from 1
    EXPECT_FALSE(store->SaveCopy(id + 1, 1, "abc"));
    EXPECT_FALSE(store->SaveCopy(id, 0, "abc"));
    EXPECT_FALSE(store->FinishPractice(id + 1, TPracticeEnd{false, true, 3, 3, 0}));
    EXPECT_FALSE(store->PendingWrites());
    EXPECT_TRUE(store->Available());
    EXPECT_TRUE(store->Writable());
    EXPECT_TRUE(store->CharAccuracy().empty());
    EXPECT_TRUE(Messages.empty());
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

    const auto all = store->CharAccuracy();
    std::string order;
    for (const auto& a : all)
        order += static_cast<char>(a.Char);
    EXPECT_EQ(order, "xbmk"); // 0 %, 25 %, 50 %, 100 %
    auto of = [&](uint8_t c) {
        return std::find_if(all.begin(), all.end(), [c](const auto& a) { return a.Char == c; });
    };
    const auto b = of('b');
    ASSERT_NE(b, all.end());
    EXPECT_EQ(b->Copies, 4);
    EXPECT_EQ(b->Correct, 1);
    const auto m = of('m');
    ASSERT_NE(m, all.end());
    EXPECT_EQ(m->Missed, 1);
    const auto k = of('k');
    ASSERT_NE(k, all.end());
    EXPECT_EQ(k->Copies, 5);
    EXPECT_EQ(k->Correct, 5);

    const auto week = store->CharAccuracy(7);
    ASSERT_EQ(week.size(), 3u);
    EXPECT_EQ(week[0].Char, 'b');
    EXPECT_EQ(week[2].Char, 'k');
    EXPECT_EQ(week[2].Copies, 4);

    EXPECT_EQ(store->Confusions(),
              (std::vector<TConfusion>{{'b', '6', 3}, {'x', 'y', 2}, {'m', 'n', 1}}));
    EXPECT_EQ(store->Confusions({}, 1), (std::vector<TConfusion>{{'b', '6', 3}}));
    EXPECT_EQ(store->Confusions(7), (std::vector<TConfusion>{{'b', '6', 3}, {'m', 'n', 1}}));

    // Medians: x 900; m 400 450 500 600 -> 475; b 100..400 -> 250; k 100 100 200 300 -> 150.
    const auto slow = store->SlowestChars();
    ASSERT_EQ(slow.size(), 4u);
    EXPECT_EQ(slow[0].Char, 'x');
    EXPECT_EQ(slow[0].MedianMs, 900);
    EXPECT_EQ(slow[1].Char, 'm');
    EXPECT_EQ(slow[1].MedianMs, 475);
    EXPECT_EQ(slow[2].Char, 'b');
    EXPECT_EQ(slow[2].MedianMs, 250);
    EXPECT_EQ(slow[3].Char, 'k');
    EXPECT_EQ(slow[3].MedianMs, 150);
    EXPECT_EQ(slow[3].Count, 4);
    const auto slowWeek = store->SlowestChars(7, 2);
    ASSERT_EQ(slowWeek.size(), 2u);
    EXPECT_EQ(slowWeek[0].Char, 'm');
    EXPECT_EQ(slowWeek[1].MedianMs, 250);
    const auto slowAll = store->SlowestChars(7);
    ASSERT_EQ(slowAll.size(), 3u);
    EXPECT_EQ(slowAll[2].MedianMs, 200); // k of this week: 100 200 300

    const auto practices = store->Practices();
    ASSERT_EQ(practices.size(), 2u);
    EXPECT_EQ(practices[0].Id, old);
    EXPECT_TRUE(practices[1].Aborted);
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
    EXPECT_EQ(store->CharStats("k")[0].Copies, 0); // not finished: it does not count yet
    store->FinishPractice(id, EndOf(items));
    const auto stats = store->CharStats("kKr");
    ASSERT_EQ(stats.size(), 3u);
    EXPECT_EQ(stats[0].Char, 'k');
    EXPECT_EQ(stats[0].Copies, 80);
    EXPECT_EQ(stats[0].RecentCopies, TCharStats::RecentWindow);
    EXPECT_EQ(stats[0].RecentCorrect, 50);
    EXPECT_EQ(stats[1].Char, 'k'); // case folded
    EXPECT_EQ(stats[2].Copies, 0);
    EXPECT_EQ(stats[2].RecentCopies, 0);

    // A practice that does not count (stopped, or short of its length) changes nothing.
    auto stopped = store->StartPractice(Groups());
    store->AddItem(stopped, Item("kkkk", "mmmm"));
    store->FinishPractice(stopped, EndOf({Item("kkkk", "mmmm")}, false, true));
    auto after = store->CharStats("k");
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].Copies, 80);
    EXPECT_EQ(after[0].RecentCorrect, 50);

    // The latest copies are the ones written last, across practices.
    auto next = store->StartPractice(Groups());
    store->AddItem(next, Item("kkkk", "k"));
    store->FinishPractice(next, EndOf({Item("kkkk", "k")}));
    after = store->CharStats("k");
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].Copies, 84);
    EXPECT_EQ(after[0].RecentCorrect, 47); // 46 of the older right ones and the new right one

    // An item of a counted practice written again, and its end written again as not counting:
    // the copies follow.
    store->ReplaceItem(next, 1, Item("kkkk", "kkkk"));
    after = store->CharStats("k");
    EXPECT_EQ(after[0].Copies, 84);
    EXPECT_EQ(after[0].RecentCorrect, 50);
    store->FinishPractice(next, EndOf({Item("kkkk", "kkkk")}, false));
    after = store->CharStats("k");
    EXPECT_EQ(after[0].Copies, 80);
    test::TRawDb raw(DbPath());
    EXPECT_EQ(raw.Value("SELECT group_concat(sent || '=' || n) FROM counted_chars"), "k=80");
}

TEST_F(HistoryStore, NewestCharTallyReadsTheLessonsLatestCopiesThatCount) {
    auto store = Open(DbPath());
    auto practice = [&](const TPracticeStart& start, const std::vector<TCheckedItem>& items,
                        bool counts = true) {
        const auto id = store->StartPractice(start);
        for (const auto& item : items)
            store->AddItem(id, item);
        store->FinishPractice(id, EndOf(items, counts));
        return id;
    };
    const TCheckedItem tenRight = Item("rrrrrrrrrr", "rrrrrrrrrr");
    const TCheckedItem tenWrong = Item("rrrrrrrrrr", "kkkkkkkkkk");
    const TPracticeStart lesson4 = Course(TCourseOrder::Lcwo, 4);
    Now = test::Midday() - 48h;
    practice(lesson4, {tenRight, tenWrong}); // older: its last item first
    Now = test::Midday() - 24h;
    practice(lesson4, {tenRight, tenRight, tenRight, tenRight, Item("rrrrr", "rrrrr")}); // 45
    Now = test::Midday() - 72h;
    practice(lesson4, {tenWrong}); // written later, started earlier: the oldest
    Now = test::Midday();
    practice(lesson4, {tenWrong}, false);                 // does not count
    practice(Course(TCourseOrder::Lcwo, 3), {tenWrong});  // other lesson
    practice(Course(TCourseOrder::G4fon, 4), {tenWrong}); // other order
    practice(Groups(), {tenWrong});                       // not the course

    const TCourseLesson lesson{TCourseOrder::Lcwo, 4};
    EXPECT_EQ(store->NewestCharTally(lesson, 'r'), (TCharTally{50, 45}));
    EXPECT_EQ(store->NewestCharTally(lesson, 'R'), (TCharTally{50, 45}));
    EXPECT_EQ(store->NewestCharTally(lesson, 'r', 60), (TCharTally{60, 50}));
    EXPECT_EQ(store->NewestCharTally(lesson, 'r', 1000), (TCharTally{75, 55}));
    EXPECT_EQ(store->NewestCharTally(lesson, 'k'), (TCharTally{}));
    EXPECT_EQ(store->NewestCharTally(TCourseLesson{TCourseOrder::Cwops, 4}, 'r'), TCharTally{});

    const auto practices = store->Practices();
    ASSERT_FALSE(practices.empty());
    const auto withCourse = std::find_if(practices.begin(), practices.end(),
                                         [](const auto& p) { return p.Course.has_value(); });
    ASSERT_NE(withCourse, practices.end());
    EXPECT_EQ(withCourse->Course->Order, TCourseOrder::Lcwo);
    EXPECT_EQ(withCourse->Course->Lesson, 4);
}

TEST_F(HistoryStore, KeptAcrossRunsAndUnfinishedPracticesAreScoredAsAborted) {
    THistoryStore::TPracticeId id = 0;
    {
        auto store = Open(DbPath());
        id = store->StartPractice(Course(TCourseOrder::Cwops, 2));
        store->AddItem(id, Item("tea", "tea"));
        store->AddItem(id, Item("eat", "e"));
        // the program ends without finishing it
    }
    auto store = Open(DbPath());
    const auto practices = store->Practices();
    ASSERT_EQ(practices.size(), 1u);
    EXPECT_EQ(practices[0].Id, id);
    EXPECT_TRUE(practices[0].Aborted);
    EXPECT_FALSE(practices[0].Finished);
    EXPECT_EQ(practices[0].SentChars, 6);
    EXPECT_EQ(practices[0].CorrectChars, 4);
    EXPECT_EQ(store->Items(id).size(), 2u);
    // New practices go on after it.
    const auto next = store->StartPractice(Groups());
    EXPECT_GT(next, id);
}

// The program crashed during a continuous practice: the items were kept as sent, the copy typed
// so far beside them. The next opening checks the copy and keeps what was copied.
TEST_F(HistoryStore, AnUnfinishedPracticeIsCheckedOnItsSavedCopy) {
    THistoryStore::TPracticeId id = 0;
    // Prosign codes and Windows-1252 bytes come back exactly.
    const std::string copy = "abcxde fghij +\xE4";
    {
        auto store = Open(DbPath());
        id = store->StartPractice(Course(TCourseOrder::Lcwo, 2));
        for (const char* sent : {"abcde", "fghij", "klmno"})
            ASSERT_TRUE(store->AddItem(id, Item(sent, ""), TItemTiming{{}, {400, 500}}));
        ASSERT_TRUE(store->SaveCopy(id, 1, "ab"));
        ASSERT_TRUE(store->SaveCopy(id, 1, copy)); // the newer copy replaces the older
        ASSERT_TRUE(store->Flush());
        // A crash: the store goes without a word about the practice.
    }
    {
        test::TRawDb raw(DbPath());
        ASSERT_EQ(raw.Value("SELECT copy_from || ':' || hex(copy) FROM sessions"),
                  "1:61626378646520666768696A202BE4");
        EXPECT_EQ(raw.Value("SELECT SUM(correct_chars) FROM items"), "0");
    }
    auto store = Open(DbPath());
    EXPECT_TRUE(Messages.empty());
    const auto practices = store->Practices();
    ASSERT_EQ(practices.size(), 1u);
    const TPracticeRecord& p = practices[0];
    EXPECT_TRUE(p.Aborted);
    EXPECT_FALSE(p.Finished);
    EXPECT_FALSE(p.Counts);
    EXPECT_EQ(p.SentChars, 15);
    EXPECT_EQ(p.CorrectChars, 10);
    EXPECT_GE(p.ExtraChars, 1);
    const auto items = store->Items(id);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].Copied.find("abc"), 0u);
    EXPECT_EQ(items[0].CorrectChars, 5);
    EXPECT_EQ(items[0].ExtraChars, 1); // the x
    EXPECT_EQ(items[1].Copied, "fghij");
    EXPECT_EQ(items[1].CorrectChars, 5);
    EXPECT_EQ(items[2].CorrectChars, 0);
    EXPECT_EQ(p.ExtraChars, items[0].ExtraChars + items[1].ExtraChars + items[2].ExtraChars);
    // The reaction times kept beside the characters stay.
    test::TRawDb raw(DbPath());
    EXPECT_EQ(raw.Value("SELECT group_concat(COALESCE(reaction_ms, '-'), ' ') FROM "
                        "(SELECT * FROM chars WHERE seq = 2 ORDER BY pos)"),
              "400 500 - - -");
    // It does not count towards the course.
    EXPECT_EQ(store->CharStats("a")[0].Copies, 0);
}

// Item by item, the items checked are kept with their copies; the saved copy covers the item
// that was waiting.
TEST_F(HistoryStore, AnUnfinishedItemByItemPracticeChecksOnlyTheWaitingItem) {
    THistoryStore::TPracticeId id = 0;
    {
        auto store = Open(DbPath());
        id = store->StartPractice(Groups());
        ASSERT_TRUE(store->AddItem(id, Item("abc", "")));
        ASSERT_TRUE(store->ReplaceItem(id, 1, Item("abc", "abd")));
        ASSERT_TRUE(store->AddItem(id, Item("klm", "")));
        ASSERT_TRUE(store->SaveCopy(id, 1, "ab")); // older, still waiting: replaced whole
        ASSERT_TRUE(store->SaveCopy(id, 2, "klm"));
    } // written as the store goes, and not finished
    auto store = Open(DbPath());
    const auto items = store->Items(id);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].Copied, "abd");
    EXPECT_EQ(items[0].CorrectChars, 2);
    EXPECT_EQ(items[1].Copied, "klm");
    EXPECT_EQ(items[1].CorrectChars, 3);
    const auto practices = store->Practices();
    ASSERT_EQ(practices.size(), 1u);
    EXPECT_TRUE(practices[0].Aborted);
    EXPECT_EQ(practices[0].CorrectChars, 5);
    EXPECT_EQ(store->Confusions(), (std::vector<TConfusion>{{'c', 'd', 1}}));
}

TEST_F(HistoryStore, APracticeKilledWhileWritingKeepsItsItems) {
    const std::string path = DbPath();
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(ready[0]);
        THistoryStore store(path);
        const auto id = store.StartPractice(TPracticeStart{"groups", 100, 100, std::nullopt});
        for (int i = 0;; ++i) {
            const auto item = CheckCopy({"abcde"}, i % 2 == 0 ? "abxde" : "abcde").Items[0];
            if (!store.AddItem(id, item) || !store.Flush()) _exit(1);
            if (i == 2 && write(ready[1], "3", 1) != 1) _exit(1);
        }
    }
    close(ready[1]);
    char got = 0;
    const bool wroteThree = read(ready[0], &got, 1) == 1;
    close(ready[0]);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(wroteThree) << "the child could not write its items";

    auto store = Open(path);
    ASSERT_TRUE(store->Available());
    EXPECT_TRUE(Messages.empty());
    const auto practices = store->Practices();
    ASSERT_EQ(practices.size(), 1u);
    const auto items = store->Items(practices[0].Id);
    ASSERT_GE(items.size(), 3u);
    int sent = 0, correct = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i].Seq, static_cast<int>(i) + 1); // no gap, no half item
        sent += items[i].SentChars;
        correct += items[i].CorrectChars;
    }
    EXPECT_TRUE(practices[0].Aborted);
    EXPECT_EQ(practices[0].SentChars, sent);
    EXPECT_EQ(practices[0].CorrectChars, correct);
    // The characters and their summary agree with the items.
    int copies = 0;
    for (const auto& a : store->CharAccuracy())
        copies += a.Copies;
    EXPECT_EQ(copies, sent);
}

TEST_F(HistoryStore, AVersionOneFileIsBroughtToTheCurrentVersionInPlace) {
    {
        // What version 1 of the history wrote.
        test::TRawDb v1(DbPath());
        ASSERT_EQ(v1.Exec(R"sql(
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
INSERT INTO chars VALUES(1, 1, 0, 'b', 'b', 300);
INSERT INTO chars VALUES(1, 1, 1, '<ar>', '<ar>', NULL);
INSERT INTO chars VALUES(1, 2, 0, 'b', '6', 700);
INSERT INTO chars VALUES(1, 2, 1, 'k', 'k', NULL);
INSERT INTO chars VALUES(2, 1, 0, 'p', 'p', NULL);
INSERT INTO chars VALUES(2, 1, 1, 'a', 'a', NULL);
INSERT INTO chars VALUES(2, 1, 2, 'r', 'r', NULL);
INSERT INTO chars VALUES(2, 1, 3, 'i', 'i', NULL);
INSERT INTO chars VALUES(2, 1, 4, 's', '', NULL);
)sql"),
                  SQLITE_OK);
    }
    auto store = Open(DbPath());
    ASSERT_TRUE(store->Available());
    EXPECT_TRUE(Messages.empty());
    {
        test::TRawDb raw(DbPath());
        EXPECT_EQ(raw.Value("PRAGMA user_version"), "3");
        EXPECT_EQ(raw.Value("PRAGMA journal_mode"), "wal");
        EXPECT_EQ(Columns(raw, "sessions"),
                  "id,started,ended,kind,char_cpm,eff_cpm,sent_chars,correct_chars,aborted,"
                  "lesson,course_order,extra_chars,counts,planned_items,copy,copy_from");
        EXPECT_EQ(Columns(raw, "items"),
                  "session,seq,sent,copied,sent_chars,correct_chars,reaction_ms,extra_chars");
        // The practice finished without stopping counts; the one never finished and the one
        // stopped do not.
        EXPECT_EQ(raw.Value("SELECT group_concat(id || ':' || counts) FROM sessions"),
                  "1:1,2:0,3:0");
        EXPECT_EQ(raw.Value("SELECT COUNT(*) FROM sessions WHERE lesson IS NOT NULL OR "
                            "course_order IS NOT NULL"),
                  "0");
        // The same schema as a file made new.
        auto fresh = Open(Dir.File("fresh.sqlite"));
        test::TRawDb made(Dir.File("fresh.sqlite"));
        EXPECT_EQ(Schema(raw), Schema(made));
    }
    // The data is kept: practices, items, characters, and the summary built from them.
    const auto practices = store->Practices();
    ASSERT_EQ(practices.size(), 3u);
    EXPECT_EQ(practices[0].Started, "2025-01-05T18:00:00Z");
    EXPECT_EQ(practices[0].CorrectChars, 3);
    EXPECT_TRUE(practices[1].Aborted); // never finished: scored on its item
    EXPECT_EQ(practices[1].SentChars, 5);
    EXPECT_EQ(practices[1].CorrectChars, 4);
    const auto items = store->Items(1);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].Sent, "b<ar>");
    EXPECT_EQ(items[1].ReactionMs, 800);
    EXPECT_EQ(store->Confusions(), (std::vector<TConfusion>{{'b', '6', 1}}));
    const auto stats = store->CharStats("b+s");
    ASSERT_EQ(stats.size(), 3u);
    EXPECT_EQ(stats[0].Copies, 2);
    EXPECT_EQ(stats[0].RecentCorrect, 1);
    EXPECT_EQ(stats[1].Copies, 1); // <ar>
    EXPECT_EQ(stats[2].Copies, 0); // only in the practice that does not count
    EXPECT_EQ(stats[2].RecentCopies, 0);
    const auto stopped = store->CharStats("e"); // only in the practice stopped
    ASSERT_EQ(stopped.size(), 1u);
    EXPECT_EQ(stopped[0].Copies, 0);
    const auto slowest = store->SlowestChars();
    ASSERT_FALSE(slowest.empty());
    EXPECT_EQ(slowest[0].MedianMs, 500);
    // ... and it goes on from there.
    const auto id = store->StartPractice(Course(TCourseOrder::Lcwo, 1));
    EXPECT_EQ(id, 4);
    EXPECT_TRUE(store->AddItem(id, Item("km", "km")));
    EXPECT_EQ(store->CharStats("b")[0].Copies, 2);
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
