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
#include <functional>
#include <map>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

using namespace brindle;
namespace fs = std::filesystem;

namespace {

class HistoryFailure : public test::THistoryTest {
protected:
    // Exactly one message, of the severity, naming the file and with every word given.
    void ExpectOneMessage(TSeverity severity, const std::string& file,
                          const std::vector<std::string>& words) {
        ASSERT_EQ(Messages.size(), 1u);
        const TMessage& m = Messages[0];
        EXPECT_EQ(m.Severity, severity) << m.Text;
        EXPECT_NE(m.Text.find(file), std::string::npos) << m.Text;
        for (const std::string& w : words)
            EXPECT_NE(m.Text.find(w), std::string::npos) << w << " in: " << m.Text;
    }

    // Everything does nothing now, and says nothing more: not available nor writable; no practice
    // or change taken, nothing waiting; every query empty; no export, no message.
    void ExpectOff(THistoryStore& s) {
        const std::size_t before = Messages.size();
        std::ostringstream got;
        got << "state " << s.Available() << s.Writable() << ", writes " << s.StartPractice(Groups())
            << s.AddItem(1, Item("abc", "abc")) << s.SaveCopy(1, 1, "abc")
            << s.FinishPractice(1, TPracticeEnd{false, true, 3, 3, 0}) << s.Flush()
            << s.PendingWrites() << ", queries " << s.Practices().size() << s.Items(1).size()
            << s.CharAccuracy().size() << s.CharAccuracy(7).size() << s.Confusions().size()
            << s.SlowestChars().size() << s.CharStats("abc").size()
            << (s.NewestCharTally(TCourseLesson{}, 'a') == TCharTally{}) << ", export "
            << s.ExportCsv(Dir.File("export.csv")) << fs::exists(Dir.File("export.csv"))
            << ", messages " << Messages.size() - before;
        EXPECT_EQ(got.str(), "state 00, writes 000000, queries 00000001, export 00, messages 0");
    }

    // A history with one finished practice, closed again; and when unfinished, one more that
    // the program never finished.
    void MakeHistory(const std::string& path, bool unfinished = false) {
        THistoryStore store(path, Options());
        Practise(store, Groups(), {Item("paris", "paros")});
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

    // Every file and folder under folder with its bytes; not SQLite's shared-memory index, nor an
    // empty write-ahead log.
    static std::map<std::string, std::string> Snapshot(const fs::path& folder) {
        std::map<std::string, std::string> all;
        for (const auto& e : fs::recursive_directory_iterator(folder)) {
            const std::string name = e.path().string();
            if (name.ends_with("-shm") || (name.ends_with("-wal") && fs::is_empty(e.path())))
                continue;
            all[name] = e.is_directory() ? "(folder)" : test::ReadWhole(e.path());
        }
        return all;
    }
};

} // namespace

// Each kind of file the history cannot use: one warning that names the file and the reason, the
// history off, and everything in the file's folder as it was.
TEST_F(HistoryFailure, FilesItCannotUse) {
    struct TCase {
        const char* Name;
        // Prepares the folder; the path the history is opened at.
        std::function<std::string(const fs::path& folder, const std::string& path)> Make;
        std::vector<std::string> Words;
    };
    const std::vector<TCase> cases = {
        {"folder",
         [](const fs::path&, const std::string& path) {
             fs::create_directory(path);
             return path;
         },
         {"folder"}},
        // A file where a folder of the path should be.
        {"nofolder",
         [](const fs::path& folder, const std::string&) {
             Write((folder / "data").string(), "my notes");
             return (folder / "data" / "Brindle" / "history.sqlite").string();
         },
         {"not a folder"}},
        {"random",
         [](const fs::path&, const std::string& path) {
             Write(path, RandomBytes(20000, 7));
             return path;
         },
         {"not a database"}},
        // The first page (the list of tables) stays; the pages of the tables become noise.
        {"damaged",
         [this](const fs::path&, const std::string& path) {
             MakeHistory(path);
             std::string bytes = test::ReadWhole(path);
             EXPECT_GT(bytes.size(), 8192u);
             const std::string noise = RandomBytes(bytes.size() - 4096, 11);
             Write(path, bytes.replace(4096, noise.size(), noise));
             return path;
         },
         {"damaged"}},
        // The newer program stopped without closing it: its latest changes are still in the
        // write-ahead log, which the next writer to close the file would copy into it.
        {"newer",
         [](const fs::path&, const std::string& path) {
             const pid_t child = fork();
             if (child == 0) {
                 test::TRawDb newer(path);
                 _exit(newer.Exec("PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0; "
                                  "CREATE TABLE sessions(id INTEGER PRIMARY KEY, started TEXT); "
                                  "CREATE TABLE goals(id INTEGER PRIMARY KEY, text TEXT); "
                                  "PRAGMA user_version = 4; "
                                  "INSERT INTO goals(text) VALUES('150 cpm');") != SQLITE_OK);
             }
             int status = 0;
             EXPECT_TRUE(child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
                         WEXITSTATUS(status) == 0);
             EXPECT_FALSE(test::ReadWhole(path + "-wal").empty());
             return path;
         },
         {"newer version", "4"}},
        {"other",
         [](const fs::path&, const std::string& path) {
             EXPECT_EQ(test::TRawDb(path).Exec("CREATE TABLE contacts(call TEXT, name TEXT); "
                                               "INSERT INTO contacts VALUES('DL1ABC', 'Fritz');"),
                       SQLITE_OK);
             return path;
         },
         {"not Brindle's", "contacts"}},
        // Ours, with a table someone added.
        {"added",
         [this](const fs::path&, const std::string& path) {
             MakeHistory(path);
             EXPECT_EQ(test::TRawDb(path).Exec("CREATE TABLE notes(text TEXT)"), SQLITE_OK);
             return path;
         },
         {"not Brindle's", "notes"}},
        // The step to the current version fails half way (here: an older file that has, against
        // its version, a column the step adds). Nothing of it stays: not even the switch to a
        // write-ahead log, which would change the file's header.
        {"migration",
         [](const fs::path&, const std::string& path) {
             test::TRawDb v2(path);
             EXPECT_EQ(v2.Exec(std::string(history::Migration(0)) +
                               std::string(history::Migration(1)) +
                               "ALTER TABLE sessions ADD COLUMN counts INTEGER;"
                               "INSERT INTO sessions(started, ended, kind, char_cpm, eff_cpm) "
                               "VALUES('2025-01-05T18:00:00Z', NULL, 'groups', 100, 80);"
                               "PRAGMA user_version = 2;"),
                       SQLITE_OK);
             EXPECT_EQ(v2.Value("PRAGMA journal_mode"), "delete");
             return path;
         },
         {"cannot be used"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const fs::path folder = Dir.Path / c.Name;
        fs::create_directory(folder);
        const std::string path = c.Make(folder, (folder / "history.sqlite").string());
        const auto before = Snapshot(folder);
        Messages.clear();
        {
            auto store = Open(path);
            if (store->Available()) store->CharAccuracy(); // found at the latest when read
            ExpectOneMessage(TSeverity::Warning, path, c.Words);
            ExpectOff(*store);
        }
        EXPECT_EQ(Snapshot(folder), before);
    }
    for (const char* beside : {"-wal", "-shm", "-journal"}) // of the migration that failed
        EXPECT_FALSE(fs::exists(Dir.Path / "migration" / ("history.sqlite" + std::string(beside))));
}

// Another program holds the write lock while the history is opened. A file that needs writing
// at opening (here: a practice left unfinished to be scored) is left alone for this run.
TEST_F(HistoryFailure, LockedByAnotherProgramWhenItNeedsWriting) {
    MakeHistory(DbPath(), true);
    const std::string bytes = test::ReadWhole(DbPath());
    {
        test::TRawDb other(DbPath());
        ASSERT_EQ(other.Exec("BEGIN EXCLUSIVE"), SQLITE_OK);
        auto store = Open(DbPath());
        ExpectOneMessage(TSeverity::Warning, DbPath(), {"locked by another program"});
        ExpectOff(*store);
    }
    EXPECT_EQ(test::ReadWhole(DbPath()), bytes);
    // Free again: the history works, and the practice left unfinished is scored.
    Messages.clear();
    auto store = Open(DbPath());
    EXPECT_TRUE(store->Writable());
    EXPECT_EQ(test::Describe(store->Practices()),
              "1 2025-03-10T12:00:00Z groups 100/80 5 sent 4 right 0 extra finished counts | "
              "2 2025-03-10T12:00:00Z groups 100/80 5 sent 4 right 0 extra aborted");
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
    EXPECT_EQ(State(*store), "writable 1 pending 1, 1 statuses 0 messages");
    ASSERT_FALSE(Statuses.empty());
    EXPECT_EQ(Statuses[0], "The practice history is busy (another program has it open); the "
                           "practices are kept and written when it is free.");
    // Still busy: said once, the queries read what was written, the practice goes on.
    ASSERT_TRUE(store->AddItem(id, Item("def", "dex")));
    ASSERT_TRUE(store->FinishPractice(id, EndOf({Item("abc", "abc"), Item("def", "dex")})));
    EXPECT_FALSE(store->Flush());
    EXPECT_TRUE(store->Items(id).empty());
    EXPECT_EQ(store->StartPractice(Groups()), 0); // a new practice cannot be kept meanwhile
    EXPECT_EQ(State(*store), "writable 1 pending 1, 1 statuses 0 messages");

    ASSERT_EQ(other.Exec("COMMIT"), SQLITE_OK);
    EXPECT_TRUE(store->Flush());
    EXPECT_EQ(State(*store), "writable 1 pending 0, 1 statuses 0 messages");
    EXPECT_EQ(other.Value("SELECT COUNT(*) FROM items"), "2");
    EXPECT_EQ(test::Describe(store->Practices()),
              "1 2025-03-10T12:00:00Z groups 100/80 6 sent 5 right 0 extra finished counts");

    // Busy again after a write went through: said again.
    ASSERT_EQ(other.Exec("BEGIN IMMEDIATE"), SQLITE_OK);
    EXPECT_EQ(store->StartPractice(Groups()), 0);
    EXPECT_EQ(Statuses.size(), 2u);
    ASSERT_EQ(other.Exec("ROLLBACK"), SQLITE_OK);
    EXPECT_NE(store->StartPractice(Groups()), 0);
    EXPECT_EQ(State(*store), "writable 1 pending 0, 2 statuses 0 messages");
}

// Permissions hold only for an ordinary user: as root these checks run as "nobody". Where even
// that user can write, they are skipped.
constexpr int kCanWriteAnyway = 77;

// A folder where the file cannot be made: the history is off, and the message gives the folder as
// the reason, not a file that is missing. A history that can be read but not written (its folder
// or the file read-only) is read: the progress window shows it, and the one message says that new
// practices are not kept.
TEST_F(HistoryFailure, WithoutWritePermission) {
    struct TCase {
        const char* Name;
        bool WithFile;
        bool FolderReadOnly;
    };
    for (const TCase& c :
         {TCase{"nofile", false, true}, TCase{"folder", true, true}, TCase{"file", true, false}}) {
        SCOPED_TRACE(c.Name);
        const fs::path folder = Dir.Path / c.Name;
        fs::create_directory(folder);
        const std::string path = (folder / "history.sqlite").string();
        if (c.WithFile) MakeHistory(path);
        const std::string bytes = c.WithFile ? test::ReadWhole(path) : "";
        ASSERT_EQ(
            chmod(c.FolderReadOnly ? folder.c_str() : path.c_str(), c.FolderReadOnly ? 0500 : 0400),
            0);
        std::vector<std::string> owned = {Dir.Path.string(), folder.string()};
        if (c.WithFile) owned.push_back(path);
        const int result = test::RunUnprivileged(owned, [&] {
            if (c.FolderReadOnly ? CanCreateIn(folder) : access(path.c_str(), W_OK) == 0)
                return kCanWriteAnyway;
            std::vector<TMessage> messages;
            THistoryOptions options;
            options.Messages = [&](const TMessage& m) { messages.push_back(m); };
            THistoryStore store(path, options);
            if (messages.size() != 1 || messages[0].Text.find(path) == std::string::npos) return 1;
            if (!c.WithFile) {
                if (store.Available()) return 2;
                if (messages[0].Text.find("cannot be made in the folder " + folder.string()) ==
                        std::string::npos ||
                    messages[0].Text.find("Permission denied") == std::string::npos)
                    return 3;
                return store.StartPractice(Groups()) == 0 ? 0 : 4;
            }
            if (!store.Available()) return 5;
            if (store.Writable()) return 6;
            if (messages[0].Text !=
                "The practice history " + path + " is read-only: new practices are not kept.")
                return 7;
            const auto practices = store.Practices();
            if (practices.size() != 1 || practices[0].CorrectChars != 4) return 8;
            if (store.Items(practices[0].Id).size() != 1 || store.CharAccuracy().empty()) return 9;
            if (store.StartPractice(Groups()) != 0) return 10;
            if (store.AddItem(practices[0].Id, Item("abc", "abc"))) return 11;
            if (store.Flush() || store.PendingWrites()) return 12;
            return messages.size() == 1 ? 0 : 13;
        });
        if (result == kCanWriteAnyway) GTEST_SKIP() << "the " << c.Name << " can be written anyway";
        EXPECT_EQ(result, 0);
        if (c.WithFile) {
            EXPECT_EQ(test::ReadWhole(path), bytes);
        } else {
            EXPECT_FALSE(fs::exists(path));
        }
    }
}

// The disk fills up during a practice: one message, no history for the rest of the run, and
// what was written before stays.
TEST_F(HistoryFailure, TheDiskFillsUpDuringAPractice) {
    const std::string path = DbPath();
    const std::string report = Dir.File("report");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::vector<TMessage> messages;
        THistoryOptions options;
        options.Messages = [&](const TMessage& m) { messages.push_back(m); };
        // Files of this process end at 200 KB, as on a full disk.
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{200 * 1024 + 1000, 200 * 1024 + 1000};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(1);
        THistoryStore store(path, options);
        const auto id = store.StartPractice(Groups());
        int written = 0;
        for (int i = 0; i < 300; ++i)
            written += store.AddItem(id, Item("abcdefghij", "abcdefghij")) && store.Flush();
        const bool finished =
            store.FinishPractice(id, TPracticeEnd{false, true, 10 * written, 10 * written, 0});
        // The items written; the messages, whether it finished, the first message's severity
        // and text.
        std::ofstream(report) << written << "\n"
                              << messages.size() << " " << finished << " "
                              << (messages.empty() ? -1 : static_cast<int>(messages[0].Severity))
                              << "\n"
                              << (messages.empty() ? "" : messages[0].Text);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::istringstream lines(test::ReadWhole(report));
    int written = 0;
    std::string summary, text;
    lines >> written;
    std::getline(lines >> std::ws, summary);
    std::getline(lines, text);
    EXPECT_GT(written, 0);
    EXPECT_LT(written, 300);
    EXPECT_EQ(summary, "1 0 " + std::to_string(static_cast<int>(TSeverity::Error)));
    EXPECT_NE(text.find(path), std::string::npos) << text;
    EXPECT_NE(text.find("no history for the rest of this run"), std::string::npos) << text;

    // The next run finds the items written before the disk was full, whole, the practice aborted,
    // and the characters' summary agreeing with them.
    auto store = Open(path);
    ASSERT_TRUE(store->Available());
    const auto practices = store->Practices();
    ASSERT_EQ(practices.size(), 1u);
    EXPECT_EQ(std::make_tuple(practices[0].Aborted, practices[0].SentChars,
                              store->Items(practices[0].Id).size()),
              std::make_tuple(true, 10 * written, static_cast<std::size_t>(written)));
    int copies = 0;
    for (const auto& a : store->CharAccuracy())
        copies += a.Copies;
    EXPECT_EQ(copies, 10 * written);
}
