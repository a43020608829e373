// Whole-file reading and crash-safe writing. A save writes a temporary file in the same folder and
// renames it over the old one, so a file is either replaced whole or left as it was.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace brindle {

// Reads the whole file into bytes. On failure returns false and sets error to the system's reason
// (for example "No such file or directory", "Is a directory") and *code, when given, to the
// errno value.
bool ReadFileBytes(const std::string& path, std::string& bytes, std::string& error,
                   int* code = nullptr);

// The file name of a path without its folder, and the folder with its trailing "/" (empty when
// the path has none).
std::string FileBaseName(const std::string& path);
std::string FileFolder(const std::string& path);

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
