// Whole-file reading and crash-safe writing. A save writes a temporary file in the same folder and
// renames it over the old one, so a file is either replaced whole or left as it was.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace brindle {

// Reads a file from its start into bytes, at most maxBytes of it, so that no file makes the
// program read forever: a regular file, a device such as /dev/zero, a FIFO or a terminal. When
// there is more, bytes holds the first maxBytes and *truncated is set (one byte past maxBytes is
// read to know it; the rest is left unread); otherwise *truncated is cleared. The caller decides
// whether the first part is of use or the file is refused. A folder is refused. On failure
// returns false and sets error to the system's reason (for example "No such file or directory",
// "Is a directory") and *code, when given, to the errno value.
bool ReadFileBytes(const std::string& path, std::string& bytes, std::string& error,
                   std::size_t maxBytes, bool* truncated, int* code = nullptr);

// The most ReadFileBytes reads of a file that is wanted whole (64 MiB), far above any settings
// file. [bytes]
inline constexpr std::size_t WholeFileMaxBytes = std::size_t{64} << 20;

// Reads the whole file into bytes. A file larger than WholeFileMaxBytes (or an endless stream)
// fails with "File too large" (EFBIG). Other errors as above.
bool ReadFileBytes(const std::string& path, std::string& bytes, std::string& error,
                   int* code = nullptr);

// The file name of a path without its folder, and the folder with its trailing "/" (empty when
// the path has none).
std::string FileBaseName(const std::string& path);
std::string FileFolder(const std::string& path);
// The path without the extension of its file name ("a/b.mp3" -> "a/b"; "a.b/c" stays).
std::string FileStem(const std::string& path);

// Reads at most maxBytes from offset into bytes (fewer at the end of the file; none past it), for
// files that are read in pieces or of which only the start matters. Errors as ReadFileBytes.
bool ReadFilePart(const std::string& path, long long offset, std::size_t maxBytes,
                  std::string& bytes, std::string& error);

// Writes a new version of a file beside it and renames it over the old one on Commit. A read-only
// file is refused ("Permission denied") rather than replaced. Destroyed
// without Commit, it removes what it wrote and the old file stays as it was.
class TAtomicFileWriter {
public:
    TAtomicFileWriter() = default;
    ~TAtomicFileWriter();
    TAtomicFileWriter(const TAtomicFileWriter&) = delete;
    TAtomicFileWriter& operator=(const TAtomicFileWriter&) = delete;

    // Creates the temporary file in the folder of path.
    bool Open(const std::string& path, std::string& error);
    bool Write(std::string_view bytes, std::string& error);
    // Overwrites bytes at offset of what was written so far (for headers written last).
    bool WriteAt(std::string_view bytes, long long offset, std::string& error);
    // Flushes to disk and renames over path.
    bool Commit(std::string& error);
    void Discard();
    // The temporary file being written (empty when none is open), for tools that rewrite it.
    const std::string& TempPath() const { return Tmp_; }

private:
    bool WriteAll(std::string_view bytes, long long offset, std::string& error);

    std::string Path_;
    std::string Tmp_;
    int Fd_ = -1;
};

// Replaces path with bytes atomically. On failure returns false, sets error to the system's
// reason, removes the temporary file and leaves the old file unchanged.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string& error);

} // namespace brindle
