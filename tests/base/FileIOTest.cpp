#include "base/FileIO.h"

#include "support/FifoWriter.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace brindle;
namespace fs = std::filesystem;

namespace {

std::size_t FilesIn(const fs::path& dir) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {}));
}

std::string Numbered(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>('a' + i % 23);
    return bytes;
}

} // namespace

TEST(FileIO, WriteReadReplaceAndPatchAHeaderAndFailuresLeaveTheOldFile) {
    brindle::test::TTempDir dir;
    const std::string path = (dir.Path / "a.txt").string();
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(path, "first", error)) << error;
    ASSERT_TRUE(WriteFileAtomically(path, std::string("se\0cond", 7), error)) << error;
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(path, bytes, error));
    EXPECT_EQ(bytes, std::string("se\0cond", 7));
    EXPECT_EQ(FilesIn(dir.Path), 1u); // no temporary file left behind

    TAtomicFileWriter w;
    ASSERT_TRUE(w.Open(path, error));
    ASSERT_TRUE(w.Write("0000body", error));
    ASSERT_TRUE(w.WriteAt("HEAD", 0, error));
    ASSERT_TRUE(w.Commit(error));
    ASSERT_TRUE(ReadFileBytes(path, bytes, error));
    EXPECT_EQ(bytes, "HEADbody");

    // Failures leave the old file.
    bytes = "old";
    EXPECT_FALSE(ReadFileBytes((dir.Path / "missing").string(), bytes, error));
    EXPECT_EQ(error, "No such file or directory");
    EXPECT_FALSE(ReadFileBytes(dir.Path.string(), bytes, error));
    EXPECT_EQ(error, "Is a directory");
    bool truncated = true;
    int code = 0;
    bytes = "old";
    EXPECT_FALSE(ReadFileBytes(dir.Path.string(), bytes, error, 100, &truncated, &code));
    EXPECT_EQ(std::tie(error, code, bytes), std::make_tuple("Is a directory", EISDIR, "old"));
    EXPECT_FALSE(WriteFileAtomically((dir.Path / "no" / "such.txt").string(), "x", error));
    EXPECT_EQ(error, "No such file or directory");

    // A writer that is dropped before Commit leaves the old file as it was.
    ASSERT_TRUE(WriteFileAtomically(path, "old", error));
    {
        TAtomicFileWriter dropped;
        ASSERT_TRUE(dropped.Open(path, error));
        ASSERT_TRUE(dropped.Write("new and half", error));
    }
    ASSERT_TRUE(ReadFileBytes(path, bytes, error));
    EXPECT_EQ(bytes, "old");
    EXPECT_EQ(FilesIn(dir.Path), 1u);
}

// --- Reading with a limit ------------------------------------------------------------------------

// An empty file, and one read in several chunks.
TEST(FileIO, ARegularFileIsReadUpToTheLimit) {
    brindle::test::TTempDir dir;
    for (const std::size_t size : {std::size_t{0}, std::size_t{200'000}}) {
        const std::string path = dir.File(std::to_string(size));
        const std::string text = Numbered(size);
        std::string error;
        ASSERT_TRUE(WriteFileAtomically(path, text, error)) << error;
        for (const std::size_t limit : {0, 1, 65'537, 199'999, 200'000, 200'001, 1 << 20}) {
            std::string bytes = "old";
            bool truncated = limit >= size;
            ASSERT_TRUE(ReadFileBytes(path, bytes, error, limit, &truncated)) << error;
            EXPECT_EQ(bytes, text.substr(0, limit)) << size << " " << limit;
            EXPECT_EQ(truncated, limit < size) << size << " " << limit;
        }
    }
}

TEST(FileIO, AnEndlessDeviceIsReadUpToTheLimitOnly) {
    if (access("/dev/zero", R_OK) != 0) GTEST_SKIP() << "no /dev/zero";
    std::string bytes, error;
    bool truncated = false;
    ASSERT_TRUE(ReadFileBytes("/dev/zero", bytes, error, 1 << 20, &truncated)) << error;
    EXPECT_EQ(bytes, std::string(1 << 20, '\0'));
    EXPECT_TRUE(truncated);

    // A file wanted whole is refused when it is larger than the program ever reads whole.
    bytes = "old";
    int code = 0;
    EXPECT_FALSE(ReadFileBytes("/dev/zero", bytes, error, &code));
    EXPECT_EQ(error, "File too large");
    EXPECT_EQ(code, EFBIG);
    EXPECT_EQ(bytes, "old");
}

TEST(FileIO, AFifoIsReadToItsEndOrUpToTheLimit) {
    using brindle::test::TFifoWriter;
    brindle::test::TTempDir dir;
    std::string bytes, error;
    bool truncated = true;
    const std::string text = Numbered(300'000); // more than a pipe holds at once
    {
        TFifoWriter writer(dir.File("short"), text, TFifoWriter::TMode::Once);
        ASSERT_TRUE(writer.Ok());
        ASSERT_TRUE(ReadFileBytes(dir.File("short"), bytes, error, 1 << 20, &truncated)) << error;
    }
    EXPECT_EQ(bytes, text);
    EXPECT_FALSE(truncated);
    {
        TFifoWriter writer(dir.File("endless"), "y\n", TFifoWriter::TMode::Endless);
        ASSERT_TRUE(writer.Ok());
        ASSERT_TRUE(ReadFileBytes(dir.File("endless"), bytes, error, 100'001, &truncated)) << error;
    }
    ASSERT_EQ(bytes.size(), 100'001u);
    EXPECT_EQ(bytes.substr(0, 6), "y\ny\ny\n");
    EXPECT_TRUE(truncated);
}
