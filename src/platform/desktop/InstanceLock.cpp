#include "platform/desktop/InstanceLock.h"

#include <QDir>
#include <QStandardPaths>
#include <QSysInfo>

#include <cerrno>
#include <signal.h>
#include <utility>

namespace brindle {

namespace {

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
    if (!Lock_.getLockInfo(&pid, &host, &app) || pid <= 0) return false;
    if (!host.isEmpty() && host != QSysInfo::machineHostName()) return false;
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) return false;
    return Lock_.removeStaleLockFile();
}

} // namespace brindle
