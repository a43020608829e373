// Keeps a second copy of Brindle from running beside the first: a lock file in the runtime folder
// that another process sees as taken, held until this object goes, and that does not outlive a
// crashed owner.
#pragma once

#include <QLockFile>
#include <QString>

namespace brindle {

class TInstanceLock {
public:
    // folder empty: the user's runtime folder, or the temporary folder when there is none.
    explicit TInstanceLock(QString folder = {});
    TInstanceLock(const TInstanceLock&) = delete;
    TInstanceLock& operator=(const TInstanceLock&) = delete;

    // Failed: the lock file could not be made at all; the program then starts anyway.
    enum class TResult { Acquired, HeldByAnother, Failed };
    TResult TryAcquire();

    const QString& FilePath() const { return FilePath_; }

    static constexpr const char* AlreadyRunningText =
        "Another instance of Brindle is already running.";
    static constexpr const char* Caption = "Brindle";
    static constexpr const char* FileName = "Brindle.lock";

private:
    bool RemoveIfOwnerGone();
    bool RemoveIfNeverFilled();

    QString Folder_;
    QString FilePath_;
    QLockFile Lock_;
};

} // namespace brindle
