// Files the history cannot use: each gives one message that names the file and the reason, the
// history is off from then on, and the user's file keeps every byte.
#include "HistoryFixture.h"

#include "base/Random.h"
#include "support/Unprivileged.h"

#include <gtest/gtest.h>

#include <csignal>
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
        EXPECT_EQ(store.StartPractice(Groups()), 0);
        EXPECT_FALSE(store.AddItem(1, Item("abc", "abc")));
        EXPECT_FALSE(store.FinishPractice(1, false, 3, 3));
        EXPECT_TRUE(store.Practices().empty());
        EXPECT_TRUE(store.Items(1).empty());
        EXPECT_TRUE(store.CharAccuracy().empty());
        EXPECT_TRUE(store.CharAccuracy(7).empty());
        EXPECT_TRUE(store.Confusions().empty());
        EXPECT_TRUE(store.SlowestChars().empty());
        EXPECT_TRUE(store.CharStats("abc").empty());
        EXPECT_EQ(store.LessonDayTally(1, 'a'), TCharTally{});
        EXPECT_FALSE(store.ExportCsv(TCsvTable::Items, Dir.File("export.csv")));
        EXPECT_FALSE(fs::exists(Dir.File("export.csv")));
        EXPECT_EQ(Messages.size(), before);
    }

    // A history with one finished practice, closed again.
    void MakeHistory(const std::string& path) {
        THistoryStore store(path);
        const auto id = store.StartPractice(Groups());
        store.AddItem(id, Item("paris", "paros"));
        store.FinishPractice(id, false, 5, 4);
        ASSERT_TRUE(store.Available());
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
                       "PRAGMA user_version = 3; INSERT INTO goals(text) VALUES('150 cpm');");
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
        ExpectOneMessage(TSeverity::Warning, DbPath(), {"newer version", "3"});
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

TEST_F(HistoryFailure, LockedByAnotherProgram) {
    MakeHistory(DbPath());
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
    // Free again: the history works.
    Messages.clear();
    auto store = Open(DbPath());
    EXPECT_TRUE(store->Available());
    EXPECT_EQ(store->Practices().size(), 1u);
}

// Permissions hold only for an ordinary user: as root these checks run as "nobody".
TEST_F(HistoryFailure, AFolderWithoutWritePermission) {
    const fs::path folder = Dir.Path / "readonly";
    fs::create_directory(folder);
    const std::string path = (folder / "history.sqlite").string();
    ASSERT_EQ(chmod(folder.c_str(), 0500), 0);
    const int result = test::RunUnprivileged({Dir.Path.string(), folder.string()}, [&] {
        std::vector<TMessage> messages;
        THistoryOptions options;
        options.Messages = [&](const TMessage& m) { messages.push_back(m); };
        THistoryStore store(path, options);
        if (store.Available()) return 1;
        if (messages.size() != 1) return 2;
        if (messages[0].Text.find(path) == std::string::npos) return 3;
        if (messages[0].Text.find("cannot be opened") == std::string::npos) return 4;
        return store.StartPractice(Groups()) == 0 ? 0 : 5;
    });
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(HistoryFailure, AHistoryInAFolderWithoutWritePermission) {
    const fs::path folder = Dir.Path / "readonly";
    fs::create_directory(folder);
    const std::string path = (folder / "history.sqlite").string();
    MakeHistory(path);
    const std::string bytes = test::ReadWhole(path);
    ASSERT_EQ(chmod(folder.c_str(), 0500), 0);
    const int result = test::RunUnprivileged({Dir.Path.string(), folder.string(), path}, [&] {
        std::vector<TMessage> messages;
        THistoryOptions options;
        options.Messages = [&](const TMessage& m) { messages.push_back(m); };
        THistoryStore store(path, options);
        if (store.Available()) return 1;
        if (messages.size() != 1) return 2;
        return messages[0].Text.find(path) == std::string::npos ? 3 : 0;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(test::ReadWhole(path), bytes);
}

TEST_F(HistoryFailure, AFileWithoutWritePermission) {
    MakeHistory(DbPath());
    const std::string bytes = test::ReadWhole(DbPath());
    ASSERT_EQ(chmod(DbPath().c_str(), 0400), 0);
    const int result = test::RunUnprivileged({Dir.Path.string(), DbPath()}, [&] {
        std::vector<TMessage> messages;
        THistoryOptions options;
        options.Messages = [&](const TMessage& m) { messages.push_back(m); };
        THistoryStore store(DbPath(), options);
        if (store.Available()) return 1;
        if (messages.size() != 1) return 2;
        return messages[0].Text.find("cannot be written") == std::string::npos ? 3 : 0;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(test::ReadWhole(DbPath()), bytes);
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
            written += store.AddItem(id, CheckCopy({"abcdefghij"}, "abcdefghij").Items[0]);
        const bool finished = store.FinishPractice(id, false, 10 * written, 10 * written);
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
