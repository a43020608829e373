// The single-instance lock across real processes: forked children stand in for a second start
// and for a crashed first one. Children touch nothing but the lock and leave with _exit.
#include "platform/desktop/InstanceLock.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

#include <QFile>
#include <QLockFile>
#include <QString>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace brindle {
namespace {

using TResult = TInstanceLock::TResult;

constexpr int kChildBroke = 100;

QString Folder(const test::TTempDir& dir) {
    return QString::fromStdString(dir.Path.string());
}

int WaitExit(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs body in a child process and gives back what it returned (-1: the child did not exit).
int InChild(const std::function<int()>& body) {
    const pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) _exit(body() & 0xFF);
    return WaitExit(pid);
}

int TryInChild(const QString& folder) {
    return InChild([&] { return static_cast<int>(TInstanceLock(folder).TryAcquire()); });
}

// A child that takes the lock and keeps it until it is killed.
class THolder {
public:
    explicit THolder(const QString& folder) {
        int fds[2];
        if (pipe(fds) != 0) return;
        Pid_ = fork();
        if (Pid_ == 0) {
            close(fds[0]);
            TInstanceLock lock(folder);
            const char result = static_cast<char>(lock.TryAcquire());
            if (write(fds[1], &result, 1) != 1) _exit(kChildBroke);
            for (;;)
                pause();
        }
        close(fds[1]);
        char result = -1;
        ssize_t got = 0;
        while ((got = read(fds[0], &result, 1)) < 0 && errno == EINTR) {}
        close(fds[0]);
        if (got == 1) Result = static_cast<TResult>(result);
    }
    ~THolder() { Kill(); }
    THolder(const THolder&) = delete;
    THolder& operator=(const THolder&) = delete;

    // SIGKILL gives the lock no chance to clean up, as a crash would; reaped so the pid is gone.
    void Kill() {
        if (Pid_ <= 0) return;
        kill(Pid_, SIGKILL);
        WaitExit(Pid_);
        Pid_ = -1;
    }
    pid_t Pid() const { return Pid_; }

    std::optional<TResult> Result;

private:
    pid_t Pid_ = -1;
};

qint64 OwnerPid(const QString& path) {
    qint64 pid = 0;
    QString host;
    QString app;
    QLockFile probe(path);
    return probe.getLockInfo(&pid, &host, &app) ? pid : -1;
}

// A second process sees the lock and leaves the first holding it; the lock goes with its object.
// A holder killed (a crash) leaves its file behind, and the next start sees through it.
TEST(InstanceLockTest, OneProcessAtATimeHoldsTheLockUntilItEndsOrIsKilled) {
    test::TTempDir dir;
    QString path;
    {
        TInstanceLock first(Folder(dir));
        ASSERT_EQ(first.TryAcquire(), TResult::Acquired);
        path = first.FilePath();
        EXPECT_TRUE(path.endsWith(QStringLiteral("/Brindle.lock")));
        EXPECT_EQ(TryInChild(Folder(dir)), static_cast<int>(TResult::HeldByAnother));
        // The refused process neither took nor removed the file on its way out.
        EXPECT_EQ(OwnerPid(path), getpid());
        EXPECT_EQ(first.TryAcquire(), TResult::Acquired);
    }
    EXPECT_FALSE(QFile::exists(path));

    THolder holder(Folder(dir));
    ASSERT_EQ(holder.Result, TResult::Acquired);
    TInstanceLock next(Folder(dir));
    EXPECT_EQ(next.TryAcquire(), TResult::HeldByAnother);
    EXPECT_EQ(next.TryAcquire(), TResult::HeldByAnother);
    EXPECT_EQ(OwnerPid(path), holder.Pid());
    holder.Kill();
    ASSERT_TRUE(QFile::exists(path));
    EXPECT_EQ(next.TryAcquire(), TResult::Acquired);
    EXPECT_EQ(OwnerPid(path), getpid());
    EXPECT_EQ(TryInChild(Folder(dir)), static_cast<int>(TResult::HeldByAnother));
}

// A missing folder is made; one that cannot be made, or is read-only, fails.
TEST(InstanceLockTest, MissingFolderIsCreatedAndOneThatCannotBeMadeOrWrittenFails) {
    test::TTempDir dir;
    TInstanceLock lock(Folder(dir) + QStringLiteral("/run/brindle"));
    EXPECT_EQ(lock.TryAcquire(), TResult::Acquired);
    EXPECT_TRUE(QFile::exists(lock.FilePath()));
    // A plain file where a folder would have to go stops even root.
    const std::string blocker = dir.File("file");
    const int fd = open(blocker.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    close(fd);
    TInstanceLock blocked(QString::fromStdString(blocker) + QStringLiteral("/sub"));
    EXPECT_EQ(blocked.TryAcquire(), TResult::Failed);

    const std::string folder = dir.File("ro");
    ASSERT_EQ(mkdir(folder.c_str(), 0555), 0);
    ASSERT_EQ(chmod(dir.Path.c_str(), 0755), 0);
    EXPECT_EQ(
        test::RunUnprivileged({},
                              [&] {
                                  return static_cast<int>(
                                      TInstanceLock(QString::fromStdString(folder)).TryAcquire());
                              }),
        static_cast<int>(TResult::Failed));
}

} // namespace
} // namespace brindle
