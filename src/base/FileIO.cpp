#include "base/FileIO.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brindle {

namespace {

std::string SystemReason(int err) {
    return std::strerror(err);
}

class TFd {
public:
    explicit TFd(int fd) : Fd_(fd) {}
    ~TFd() {
        if (Fd_ >= 0) ::close(Fd_);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return Fd_; }
    void Reset(int fd) {
        if (Fd_ >= 0) ::close(Fd_);
        Fd_ = fd;
    }
    int Release() {
        const int fd = Fd_;
        Fd_ = -1;
        return fd;
    }

private:
    int Fd_ = -1;
};

} // namespace

namespace {

// Opens a file to read it; a folder is refused. On failure returns errno's value, else 0.
int OpenToRead(const std::string& path, TFd& fd, struct stat& st) {
    fd.Reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) return errno;
    if (::fstat(fd.Get(), &st) != 0) return errno;
    return S_ISDIR(st.st_mode) ? EISDIR : 0;
}

} // namespace

bool ReadFileBytes(const std::string& path, std::string& bytes, std::string& error,
                   std::size_t maxBytes, bool* truncated, int* code) {
    auto fail = [&](int err) {
        error = SystemReason(err);
        if (code) *code = err;
        return false;
    };
    if (truncated) *truncated = false;
    TFd fd(-1);
    struct stat st {};
    if (const int err = OpenToRead(path, fd, st)) return fail(err);
    std::string data;
    // The size of a regular file is only a hint: it may grow while it is read, and files under
    // /proc say 0.
    if (S_ISREG(st.st_mode) && st.st_size > 0)
        data.reserve(std::min(static_cast<std::size_t>(st.st_size), maxBytes));
    char chunk[65536];
    for (;;) {
        // Up to maxBytes the file is read in chunks; then one byte tells whether there is more.
        const std::size_t want =
            data.size() < maxBytes ? std::min(sizeof chunk, maxBytes - data.size()) : 1;
        const ssize_t got = ::read(fd.Get(), chunk, want);
        if (got < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        if (got == 0) break;
        if (data.size() == maxBytes) {
            if (truncated) *truncated = true;
            break;
        }
        data.append(chunk, static_cast<std::size_t>(got));
    }
    bytes.swap(data);
    return true;
}

bool ReadFileBytes(const std::string& path, std::string& bytes, std::string& error, int* code) {
    bool truncated = false;
    std::string data;
    if (!ReadFileBytes(path, data, error, WholeFileMaxBytes, &truncated, code)) return false;
    if (truncated) {
        error = SystemReason(EFBIG);
        if (code) *code = EFBIG;
        return false;
    }
    bytes.swap(data);
    return true;
}

std::string FileBaseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FileFolder(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FileStem(const std::string& path) {
    const auto dot = path.find_last_of('.');
    const auto slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path;
    return path.substr(0, dot);
}

bool ReadFilePart(const std::string& path, long long offset, std::size_t maxBytes,
                  std::string& bytes, std::string& error) {
    auto fail = [&](int err) {
        error = SystemReason(err);
        return false;
    };
    TFd fd(-1);
    struct stat st {};
    if (const int err = OpenToRead(path, fd, st)) return fail(err);
    std::string data(maxBytes, '\0');
    std::size_t have = 0;
    while (have < maxBytes) {
        const ssize_t got = ::pread(fd.Get(), data.data() + have, maxBytes - have,
                                    static_cast<off_t>(offset + static_cast<long long>(have)));
        if (got < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        if (got == 0) break;
        have += static_cast<std::size_t>(got);
    }
    data.resize(have);
    bytes.swap(data);
    return true;
}

TAtomicFileWriter::~TAtomicFileWriter() {
    Discard();
}

bool TAtomicFileWriter::Open(const std::string& path, std::string& error) {
    Discard();
    // A file the user made read-only is not replaced behind their back (renaming over it would
    // succeed, as the folder is what the rename needs).
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0 &&
        ((existing.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ||
         (::access(path.c_str(), W_OK) != 0 && errno == EACCES))) {
        error = SystemReason(EACCES);
        return false;
    }
    std::string tmp = path + ".XXXXXX";
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0) {
        error = SystemReason(errno);
        return false;
    }
    Fd_ = fd;
    Tmp_ = tmp;
    Path_ = path;
    // Keep the permissions of the file being replaced; a new file gets the usual 0644.
    struct stat old {};
    const mode_t mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    if (::fchmod(Fd_, mode) != 0) {
        error = SystemReason(errno);
        Discard();
        return false;
    }
    return true;
}

// Writes all of bytes at offset (or at the file position when offset is negative).
bool TAtomicFileWriter::WriteAll(std::string_view bytes, long long offset, std::string& error) {
    if (Fd_ < 0) {
        error = SystemReason(EBADF);
        return false;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const char* from = bytes.data() + done;
        const std::size_t left = bytes.size() - done;
        const ssize_t put =
            offset < 0 ? ::write(Fd_, from, left)
                       : ::pwrite(Fd_, from, left,
                                  static_cast<off_t>(offset + static_cast<long long>(done)));
        if (put < 0) {
            if (errno == EINTR) continue;
            error = SystemReason(errno);
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    return true;
}

bool TAtomicFileWriter::Write(std::string_view bytes, std::string& error) {
    return WriteAll(bytes, -1, error);
}

bool TAtomicFileWriter::WriteAt(std::string_view bytes, long long offset, std::string& error) {
    return offset >= 0 && WriteAll(bytes, offset, error);
}

bool TAtomicFileWriter::Commit(std::string& error) {
    if (Fd_ < 0) {
        error = SystemReason(EBADF);
        return false;
    }
    if (::fsync(Fd_) != 0) {
        error = SystemReason(errno);
        Discard();
        return false;
    }
    const int fd = Fd_;
    Fd_ = -1;
    if (::close(fd) != 0 || ::rename(Tmp_.c_str(), Path_.c_str()) != 0) {
        error = SystemReason(errno);
        ::unlink(Tmp_.c_str());
        Tmp_.clear();
        return false;
    }
    Tmp_.clear();
    return true;
}

void TAtomicFileWriter::Discard() {
    if (Fd_ >= 0) {
        ::close(Fd_);
        Fd_ = -1;
    }
    if (!Tmp_.empty()) {
        ::unlink(Tmp_.c_str());
        Tmp_.clear();
    }
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string& error) {
    TAtomicFileWriter file;
    return file.Open(path, error) && file.Write(bytes, error) && file.Commit(error);
}

} // namespace brindle
