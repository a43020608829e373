#include "platform/desktop/InstanceLock.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QSysInfo>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <signal.h>
#include <thread>
#include <utility>

namespace brindle {

namespace {

// QLockFile makes the lock file, takes its flock with the next call and then writes the owner's
// number into it. An empty file is given this long before it counts as left behind, so that a
// start caught between the first two steps keeps its lock.
constexpr qint64 kFillMs = 250;

QString ResolveFolder(QString folder) {
    if (!folder.isEmpty()) return folder;
    folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return folder.isEmpty() ? QDir::tempPath() : folder;
}

} // namespace

TInstanceLock::TInstanceLock(QString folder)
    : Folder_(ResolveFolder(std::move(folder))),
      FilePath_(QDir(Folder_).filePath(QString::fromLatin1(FileName))), Lock_(FilePath_) {
    // An age would let a long session's lock look abandoned; only a dead owner counts.
    Lock_.setStaleLockTime(0);
}

TInstanceLock::TResult TInstanceLock::TryAcquire() {
    if (Lock_.isLocked()) return TResult::Acquired;
    if (!QDir().mkpath(Folder_)) return TResult::Failed;
    if (Lock_.tryLock(0)) return TResult::Acquired;
    if (Lock_.error() != QLockFile::LockFailedError) return TResult::Failed;
    // QLockFile clears a dead owner's file itself, but backs off while another process is
    // clearing it; look once more so a crashed instance never blocks the next start.
    if (RemoveIfOwnerGone() && Lock_.tryLock(0)) return TResult::Acquired;
    return Lock_.error() == QLockFile::LockFailedError ? TResult::HeldByAnother : TResult::Failed;
}

bool TInstanceLock::RemoveIfOwnerGone() {
    // The same guard file QLockFile takes for its own clean-up, so two starters never remove
    // each other's fresh lock.
    QLockFile guard(FilePath_ + QStringLiteral(".rmlock"));
    if (!guard.tryLock(0)) return false;
    qint64 pid = 0;
    QString host;
    QString app;
    if (!Lock_.getLockInfo(&pid, &host, &app)) return RemoveIfNeverFilled();
    if (pid <= 0) return false;
    if (!host.isEmpty() && host != QSysInfo::machineHostName()) return false;
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) return false;
    return Lock_.removeStaleLockFile();
}

// A start that died after making the lock file but before writing its number into it (killed or
// crashed at that moment) leaves an empty file that names no owner, and QLockFile would call it
// held for ever. Such a file is removed once nobody holds its flock: removeStaleLockFile takes the
// flock before it unlinks, and a living owner keeps it from its first moments on.
bool TInstanceLock::RemoveIfNeverFilled() {
    QFileInfo file(FilePath_);
    if (!file.exists() || file.size() != 0) return false;
    const qint64 age = file.lastModified().msecsTo(QDateTime::currentDateTime());
    const qint64 wait = age < 0 ? kFillMs : std::max<qint64>(kFillMs - age, 0);
    if (wait > 0) std::this_thread::sleep_for(std::chrono::milliseconds(wait));
    file.refresh();
    if (!file.exists() || file.size() != 0) return false;
    return Lock_.removeStaleLockFile();
}

} // namespace brindle
