// Files the history cannot use: each gives one message that names the file and the reason, the
// history is off from then on, and the user's file keeps every byte. A file it can only read is
// read; a file another program keeps busy is written later.
#include "HistoryFixture.h"

#include "base/Random.h"
#include "learn/HistorySchema.h"
#include "support/Unprivileged.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace brindle;
namespace fs = std::filesystem;

namespace {

class HistoryFailure : public test::THistoryTest {
protected:
    // Exactly one message, of the severity, naming the file and with every word given.
    void ExpectOneMessage(TSeverity severity, const std::string& file,
                          std::initializer_list<const char*> words) {
        ASSERT_EQ(Messages.size(), 1u);
        const TMessage& m = Messages[0];
        EXPECT_EQ(m.Severity, severity) << m.Text;
        EXPECT_NE(m.Text.find(file), std::string::npos) << m.Text;
        for (const char* w : words)
            EXPECT_NE(m.Text.find(w), std::string::npos) << w << " in: " << m.Text;
    }

    // Everything does nothing now, and says nothing more.
    void ExpectOff(THistoryStore& store) {
        const std::size_t before = Messages.size();
        EXPECT_FALSE(store.Available());
        EXPECT_FALSE(store.Writable());
        EXPECT_EQ(store.StartPractice(Groups()), 0);
        EXPECT_FALSE(store.AddItem(1, Item("abc", "abc")));
        EXPECT_FALSE(store.SaveCopy(1, 1, "abc"));
        EXPECT_FALSE(store.FinishPractice(1, TPracticeEnd{false, true, 3, 3, 0}));
        EXPECT_FALSE(store.Flush());
        EXPECT_FALSE(store.PendingWrites());
        EXPECT_TRUE(store.Practices().empty());
        EXPECT_TRUE(store.Items(1).empty());
        EXPECT_TRUE(store.CharAccuracy().empty());
        EXPECT_TRUE(store.CharAccuracy(7).empty());
        EXPECT_TRUE(store.Confusions().empty());
        EXPECT_TRUE(store.SlowestChars().empty());
        EXPECT_TRUE(store.CharStats("abc").empty());
        EXPECT_EQ(store.NewestCharTally(TCourseLesson{}, 'a'), TCharTally{});
        EXPECT_FALSE(store.ExportCsv(Dir.File("export.csv")));
        EXPECT_FALSE(fs::exists(Dir.File("export.csv")));
        EXPECT_EQ(Messages.size(), before);
    }

    // A history with one finished practice, closed again; and when unfinished, one more that
    // the program never finished.
    void MakeHistory(const std::string& path, bool unfinished = false) {
        THistoryStore store(path);
        const auto id = store.StartPractice(Groups());
        store.AddItem(id, Item("paris", "paros"));
        store.FinishPractice(id, EndOf({Item("paris", "paros")}));
        if (unfinished) store.AddItem(store.StartPractice(Groups()), Item("tokyo", "tokio"));
        ASSERT_TRUE(store.Flush());
        ASSERT_TRUE(store.Available());
    }

    // Whether this process can still create a file in folder (root, or a file system that
    // ignores permissions): then a test of permissions proves nothing.
    static bool CanCreateIn(const fs::path& folder) {
        const fs::path probe = folder / "probe";
        const int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        if (fd < 0) return false;
        close(fd);
        unlink(probe.c_str());
        return true;
    }

    static std::string RandomBytes(std::size_t count, uint32_t seed) {
        TRandomSource r(seed);
        std::string bytes(count, '\0');
        for (char& c : bytes)
            c = static_cast<char>(r.Below(256));
        return bytes;
    }

    static void Write(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
};

} // namespace

TEST_F(HistoryFailure, APathThatIsAFolder) {
    fs::create_directory(DbPath());
    auto store = Open(DbPath());
    ExpectOneMessage(TSeverity::Warning, DbPath(), {"folder"});
    ExpectOff(*store);
    EXPECT_TRUE(fs::is_directory(DbPath()));
    EXPECT_TRUE(fs::is_empty(DbPath()));
}

TEST_F(HistoryFailure, AFolderThatCannotBeMade) {
    // A file where a folder of the path should be.
    Write(Dir.File("data"), "my notes");
    const std::string path = Dir.File("data") + "/Brindle/history.sqlite";
    auto store = Open(path);
    ExpectOneMessage(TSeverity::Warning, path, {"not a folder"});
    ExpectOff(*store);
    EXPECT_EQ(test::ReadWhole(Dir.File("data")), "my notes");
}

TEST_F(HistoryFailure, RandomBytes) {
    const std::string bytes = RandomBytes(20000, 7);
    Write(DbPath(), bytes);
    {
        auto store = Open(DbPath());
        ExpectOneMessage(TSeverity::Warning, DbPath(), {"not a database"});
        ExpectOff(*store);
    }
    EXPECT_EQ(test::ReadWhole(DbPath()), bytes);
    EXPECT_FALSE(fs::exists(DbPath() + "-wal"));
}

TEST_F(HistoryFailure, ADamagedHistory) {
    MakeHistory(DbPath());
    // The first page (the list of tables) stays; the pages of the tables become noise.
    std::string bytes = test::ReadWhole(DbPath());
    ASSERT_GT(bytes.size(), 8192u);
    const std::string noise = RandomBytes(bytes.size() - 4096, 11);
    bytes.replace(4096, noise.size(), noise);
    Write(DbPath(), bytes);
    {
        auto store = Open(DbPath());
        if (store->Available()) store->CharAccuracy(); // found at the latest when read
        ExpectOneMessage(TSeverity::Warning, DbPath(), {"damaged"});
        ExpectOff(*store);
    }
    EXPECT_EQ(test::ReadWhole(DbPath()), bytes);
}

TEST_F(HistoryFailure, AHistoryFromANewerVersion) {
    // The newer program stopped without closing it: its latest changes are still in the
    // write-ahead log, which the next writer to close the file would copy into it.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        test::TRawDb newer(DbPath());
        const int rc =
            newer.Exec("PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0; "
                       "CREATE TABLE sessions(id INTEGER PRIMARY KEY, started TEXT); "
                       "CREATE TABLE goals(id INTEGER PRIMARY KEY, text TEXT); "
                       "PRAGMA user_version = 4; INSERT INTO goals(text) VALUES('150 cpm');");
        _exit(rc == SQLITE_OK ? 0 : 1); // without closing
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::string file = test::ReadWhole(DbPath());
    const std::string log = test::ReadWhole(DbPath() + "-wal");
    ASSERT_FALSE(log.empty());
    {
        auto store = Open(DbPath());
        ExpectOneMessage(TSeverity::Warning, DbPath(), {"newer version", "4"});
        ExpectOff(*store);
    }
    EXPECT_EQ(test::ReadWhole(DbPath()), file);
    EXPECT_EQ(test::ReadWhole(DbPath() + "-wal"), log);
}

TEST_F(HistoryFailure, ADatabaseOfSomethingElse) {
    {
        test::TRawDb other(DbPath());
        ASSERT_EQ(other.Exec("CREATE TABLE contacts(call TEXT, name TEXT); "
                             "INSERT INTO contacts VALUES('DL1ABC', 'Fritz');"),
                  SQLITE_OK);
    }
    const std::string bytes = test::ReadWhole(DbPath());
    {
        auto store = Open(DbPath());
        ExpectOneMessage(TSeverity::Warning, DbPath(), {"not Brindle's", "contacts"});
        ExpectOff(*store);
    }
    EXPECT_EQ(test::ReadWhole(DbPath()), bytes);

    // Ours, with a table someone added.
    const std::string ours = Dir.File("ours.sqlite");
    MakeHistory(ours);
    ASSERT_EQ(test::TRawDb(ours).Exec("CREATE TABLE notes(text TEXT)"), SQLITE_OK);
    const std::string oursBytes = test::ReadWhole(ours);
    Messages.clear();
    {
        auto store = Open(ours);
        ExpectOneMessage(TSeverity::Warning, ours, {"not Brindle's", "notes"});
    }
    EXPECT_EQ(test::ReadWhole(ours), oursBytes);
}

// Another program holds the write lock while the history is opened. A file that needs writing
// at opening (here: a practice left unfinished to be scored) is left alone for this run.
TEST_F(HistoryFailure, LockedByAnotherProgramWhenItNeedsWriting) {
    MakeHistory(DbPath(), true);
    const std::string bytes = test::ReadWhole(DbPath());
    int locked[2], release[2];
    ASSERT_EQ(pipe(locked), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(locked[0]);
        close(release[1]);
        test::TRawDb other(DbPath());
        if (other.Exec("BEGIN EXCLUSIVE") != SQLITE_OK) _exit(1);
        if (write(locked[1], "L", 1) != 1) _exit(1);
        char c = 0;
        if (read(release[0], &c, 1) < 0) _exit(1); // until the parent is done (or gone)
        _exit(0);
    }
    close(locked[1]);
    close(release[0]);
    char c = 0;
    ASSERT_EQ(read(locked[0], &c, 1), 1);
    {
        auto store = Open(DbPath());
        ExpectOneMessage(TSeverity::Warning, DbPath(), {"locked by another program"});
        ExpectOff(*store);
    }
    close(release[1]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(test::ReadWhole(DbPath()), bytes);
    // Free again: the history works, and the practice left unfinished is scored.
    Messages.clear();
    auto store = Open(DbPath());
    EXPECT_TRUE(store->Writable());
    const auto practices = store->Practices();
    ASSERT_EQ(practices.size(), 2u);
    EXPECT_TRUE(practices[1].Aborted);
    EXPECT_TRUE(Messages.empty());
}

// Another program writes to the file while practices are kept: the changes wait in memory, the
// status line says so once, and a flush after the other program is done writes them all.
TEST_F(HistoryFailure, ABusyFileKeepsTheChangesUntilItIsFree) {
    auto store = Open(DbPath());
    const auto id = store->StartPractice(Groups());
    ASSERT_NE(id, 0);
    test::TRawDb other(DbPath());
    ASSERT_EQ(other.Exec("BEGIN IMMEDIATE"), SQLITE_OK);
    ASSERT_TRUE(store->AddItem(id, Item("abc", "abc")));
    EXPECT_FALSE(store->Flush());
    EXPECT_TRUE(store->PendingWrites());
    ASSERT_EQ(Statuses.size(), 1u);
    EXPECT_EQ(Statuses[0], "The practice history is busy (another program has it open); the "
                           "practices are kept and written when it is free.");
    // Still busy: said once, the queries read what was written, the practice goes on.
    ASSERT_TRUE(store->AddItem(id, Item("def", "dex")));
    ASSERT_TRUE(store->FinishPractice(id, EndOf({Item("abc", "abc"), Item("def", "dex")})));
    EXPECT_FALSE(store->Flush());
    EXPECT_TRUE(store->Items(id).empty());
    EXPECT_EQ(store->StartPractice(Groups()), 0); // a new practice cannot be kept meanwhile
    EXPECT_EQ(Statuses.size(), 1u);
    EXPECT_TRUE(store->Writable());
    EXPECT_TRUE(Messages.empty());

    ASSERT_EQ(other.Exec("COMMIT"), SQLITE_OK);
    EXPECT_TRUE(store->Flush());
    EXPECT_FALSE(store->PendingWrites());
    EXPECT_EQ(other.Value("SELECT COUNT(*) FROM items"), "2");
    const auto practices = store->Practices();
    ASSERT_EQ(practices.size(), 1u);
    EXPECT_EQ(practices[0].CorrectChars, 5);

    // Busy again after a write went through: said again.
    ASSERT_EQ(other.Exec("BEGIN IMMEDIATE"), SQLITE_OK);
    const auto next = store->StartPractice(Groups());
    EXPECT_EQ(next, 0);
    EXPECT_EQ(Statuses.size(), 2u);
    ASSERT_EQ(other.Exec("ROLLBACK"), SQLITE_OK);
    EXPECT_NE(store->StartPractice(Groups()), 0);
    EXPECT_TRUE(Messages.empty());
}

// The step to the current version fails half way (here: an older file that has, against its
// version, a column the step adds). Nothing of it stays: not even the switch to a write-ahead
// log, which would change the file's header.
TEST_F(HistoryFailure, AMigrationThatFailsLeavesTheFileAsItWas) {
    {
        test::TRawDb v2(DbPath());
        ASSERT_EQ(v2.Exec(std::string(history::Migration(0)) + std::string(history::Migration(1)) +
                          "ALTER TABLE sessions ADD COLUMN counts INTEGER;"
                          "INSERT INTO sessions(started, ended, kind, char_cpm, eff_cpm) "
                          "VALUES('2025-01-05T18:00:00Z', NULL, 'groups', 100, 80);"
                          "PRAGMA user_version = 2;"),
                  SQLITE_OK);
        ASSERT_EQ(v2.Value("PRAGMA journal_mode"), "delete");
    }
    const std::string bytes = test::ReadWhole(DbPath());
    {
        auto store = Open(DbPath());
        ExpectOneMessage(TSeverity::Warning, DbPath(), {"cannot be used"});
        ExpectOff(*store);
    }
    EXPECT_EQ(test::ReadWhole(DbPath()), bytes);
    for (const char* beside : {"-wal", "-shm", "-journal"})
        EXPECT_FALSE(fs::exists(DbPath() + beside)) << beside;
    test::TRawDb raw(DbPath());
    EXPECT_EQ(raw.Value("PRAGMA user_version"), "2");
    EXPECT_EQ(raw.Value("PRAGMA journal_mode"), "delete");
}

// Permissions hold only for an ordinary user: as root these checks run as "nobody". Where even
// that user can write, they are skipped.
constexpr int kCanWriteAnyway = 77;

TEST_F(HistoryFailure, AFolderWithoutWritePermission) {
    const fs::path folder = Dir.Path / "readonly";
    fs::create_directory(folder);
    const std::string path = (folder / "history.sqlite").string();
    ASSERT_EQ(chmod(folder.c_str(), 0500), 0);
    const int result = test::RunUnprivileged({Dir.Path.string(), folder.string()}, [&] {
        if (CanCreateIn(folder)) return kCanWriteAnyway;
        std::vector<TMessage> messages;
        THistoryOptions options;
        options.Messages = [&](const TMessage& m) { messages.push_back(m); };
        THistoryStore store(path, options);
        if (store.Available()) return 1;
        if (messages.size() != 1) return 2;
        if (messages[0].Text.find(path) == std::string::npos) return 3;
        // The reason is the folder, not a file that is missing.
        if (messages[0].Text.find("cannot be made in the folder " + folder.string()) ==
            std::string::npos)
            return 4;
        if (messages[0].Text.find("Permission denied") == std::string::npos) return 5;
        return store.StartPractice(Groups()) == 0 ? 0 : 6;
    });
    if (result == kCanWriteAnyway) GTEST_SKIP() << "the folder can be written anyway";
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(fs::exists(path));
}

// A history that can be read but not written is read: the progress window shows it, and the one
// message says that new practices are not kept.
TEST_F(HistoryFailure, AHistoryThatCanOnlyBeRead) {
    struct TCase {
        const char* Name;
        bool FolderReadOnly;
    };
    for (const TCase& c : {TCase{"folder", true}, TCase{"file", false}}) {
        SCOPED_TRACE(c.Name);
        const fs::path folder = Dir.Path / c.Name;
        fs::create_directory(folder);
        const std::string path = (folder / "history.sqlite").string();
        MakeHistory(path);
        const std::string bytes = test::ReadWhole(path);
        ASSERT_EQ(
            chmod(c.FolderReadOnly ? folder.c_str() : path.c_str(), c.FolderReadOnly ? 0500 : 0400),
            0);
        const int result = test::RunUnprivileged({Dir.Path.string(), folder.string(), path}, [&] {
            if (c.FolderReadOnly ? CanCreateIn(folder) : access(path.c_str(), W_OK) == 0)
                return kCanWriteAnyway;
            std::vector<TMessage> messages;
            THistoryOptions options;
            options.Messages = [&](const TMessage& m) { messages.push_back(m); };
            THistoryStore store(path, options);
            if (!store.Available()) return 1;
            if (store.Writable()) return 2;
            if (messages.size() != 1) return 3;
            if (messages[0].Text !=
                "The practice history " + path + " is read-only: new practices are not kept.")
                return 4;
            const auto practices = store.Practices();
            if (practices.size() != 1 || practices[0].CorrectChars != 4) return 5;
            if (store.Items(practices[0].Id).size() != 1 || store.CharAccuracy().empty()) return 6;
            if (store.StartPractice(Groups()) != 0) return 7;
            if (store.AddItem(practices[0].Id, Item("abc", "abc"))) return 8;
            if (store.Flush() || store.PendingWrites()) return 9;
            return messages.size() == 1 ? 0 : 10;
        });
        if (result == kCanWriteAnyway) GTEST_SKIP() << "the " << c.Name << " can be written anyway";
        EXPECT_EQ(result, 0);
        EXPECT_EQ(test::ReadWhole(path), bytes);
    }
}

// The disk fills up during a practice: one message, no history for the rest of the run, and
// what was written before stays.
TEST_F(HistoryFailure, TheDiskFillsUpDuringAPractice) {
    const std::string path = DbPath();
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(report[0]);
        // Files of this process end at 200 KB, as on a full disk.
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{200 * 1024 + 1000, 200 * 1024 + 1000};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(1);
        std::vector<TMessage> messages;
        THistoryOptions options;
        options.Messages = [&](const TMessage& m) { messages.push_back(m); };
        THistoryStore store(path, options);
        const auto id = store.StartPractice(Groups());
        int written = 0;
        for (int i = 0; i < 300; ++i)
            written += store.AddItem(id, CheckCopy({"abcdefghij"}, "abcdefghij").Items[0]) &&
                       store.Flush();
        const bool finished =
            store.FinishPractice(id, TPracticeEnd{false, true, 10 * written, 10 * written, 0});
        // written items, the messages, and the first one's severity and text
        std::string out = std::to_string(written) + "\n" + std::to_string(messages.size()) + "\n" +
                          std::to_string(finished) + "\n";
        if (!messages.empty())
            out += std::to_string(static_cast<int>(messages[0].Severity)) + "\n" + messages[0].Text;
        if (write(report[1], out.data(), out.size()) != static_cast<ssize_t>(out.size())) _exit(1);
        _exit(0);
    }
    close(report[1]);
    std::string got;
    char buffer[512];
    for (ssize_t n; (n = read(report[0], buffer, sizeof buffer)) > 0;)
        got.append(buffer, static_cast<std::size_t>(n));
    close(report[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << got;
    std::istringstream lines(got);
    int written = 0, messages = 0, finished = 0, severity = 0;
    lines >> written >> messages >> finished >> severity;
    std::string text;
    std::getline(lines >> std::ws, text);
    EXPECT_GT(written, 0);
    EXPECT_LT(written, 300);
    EXPECT_EQ(messages, 1);
    EXPECT_EQ(finished, 0);
    EXPECT_EQ(severity, static_cast<int>(TSeverity::Error));
    EXPECT_NE(text.find(path), std::string::npos) << text;
    EXPECT_NE(text.find("no history for the rest of this run"), std::string::npos) << text;

    // The next run finds the items written before the disk was full, the practice aborted.
    auto store = Open(path);
    ASSERT_TRUE(store->Available());
    const auto practices = store->Practices();
    ASSERT_EQ(practices.size(), 1u);
    EXPECT_TRUE(practices[0].Aborted);
    EXPECT_EQ(practices[0].SentChars, 10 * written);
    EXPECT_EQ(store->Items(practices[0].Id).size(), static_cast<std::size_t>(written));
}
