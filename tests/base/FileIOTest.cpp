#include "base/FileIO.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace brindle;
namespace fs = std::filesystem;

namespace {

std::size_t FilesIn(const fs::path& dir) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {}));
}

} // namespace

TEST(FileIO, WriteReadAndReplace) {
    brindle::test::TTempDir dir;
    const std::string path = (dir.Path / "a.txt").string();
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(path, "first", error)) << error;
    ASSERT_TRUE(WriteFileAtomically(path, std::string("se\0cond", 7), error)) << error;
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(path, bytes, error));
    EXPECT_EQ(bytes, std::string("se\0cond", 7));
    EXPECT_EQ(FilesIn(dir.Path), 1u); // no temporary file left behind
}

TEST(FileIO, FailuresLeaveTheOldFile) {
    brindle::test::TTempDir dir;
    std::string error;
    std::string bytes;
    EXPECT_FALSE(ReadFileBytes((dir.Path / "missing").string(), bytes, error));
    EXPECT_EQ(error, "No such file or directory");
    EXPECT_FALSE(ReadFileBytes(dir.Path.string(), bytes, error));
    EXPECT_EQ(error, "Is a directory");
    EXPECT_FALSE(WriteFileAtomically((dir.Path / "no" / "such.txt").string(), "x", error));
    EXPECT_EQ(error, "No such file or directory");

    // A writer that is dropped before Commit leaves the old file as it was.
    const std::string path = (dir.Path / "keep.txt").string();
    ASSERT_TRUE(WriteFileAtomically(path, "old", error));
    {
        TAtomicFileWriter w;
        ASSERT_TRUE(w.Open(path, error));
        ASSERT_TRUE(w.Write("new and half", error));
    }
    ASSERT_TRUE(ReadFileBytes(path, bytes, error));
    EXPECT_EQ(bytes, "old");
    EXPECT_EQ(FilesIn(dir.Path), 1u);
}

TEST(FileIO, WriteAtPatchesAHeader) {
    brindle::test::TTempDir dir;
    const std::string path = (dir.Path / "h.bin").string();
    std::string error;
    TAtomicFileWriter w;
    ASSERT_TRUE(w.Open(path, error));
    ASSERT_TRUE(w.Write("0000body", error));
    ASSERT_TRUE(w.WriteAt("HEAD", 0, error));
    ASSERT_TRUE(w.Commit(error));
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(path, bytes, error));
    EXPECT_EQ(bytes, "HEADbody");
}
