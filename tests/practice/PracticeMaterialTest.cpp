#include "practice/PracticeMaterial.h"
#include "base/FileIO.h"
#include "engine/CWout.h"

#include "support/TempDir.h"
#include "support/Unprivileged.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace brindle;
namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

namespace {

class Material : public ::testing::Test {
protected:
    std::string File(const std::string& name, const std::string& bytes) {
        const std::string path = (Dir / name).string();
        std::string error;
        EXPECT_TRUE(WriteFileAtomically(path, bytes, error)) << error;
        return path;
    }
    test::TTempDir Temp{"brindle-material"};
    const fs::path& Dir = Temp.Path;
    TCharSet Engine;
    TPracticeMaterial M;
};

} // namespace

TEST_F(Material, WordsFile) {
    const auto path = File("w.txt", "cq de<AR>  test\r\nk\r\n");
    const TLoadResult r = M.Load(TMaterialKind::Words, path, Engine);
    ASSERT_TRUE(r.Ok);
    EXPECT_EQ(M.WordList, (Strings{"cq", "de<ar>", "test", "k"}));
    EXPECT_EQ(r.Headline, "Loaded 4 words from file:");
    EXPECT_EQ(r.Path, path);
    EXPECT_EQ(r.TrainingMode, 1);
    EXPECT_EQ(M.WordFile, "w.txt");
    EXPECT_EQ(M.WordPath, path);
    EXPECT_EQ(M.InDir, Dir.string() + "/");
}

TEST_F(Material, WordsCleaning) {
    M.Load(TMaterialKind::Words, File("w.txt", "abc#def a+b x^y [q]"), Engine);
    EXPECT_EQ(M.WordList, (Strings{"abcdef", "a<ar>b", "xy", "q"}));
    std::string many;
    for (int i = 0; i < 1200; ++i)
        many += "w" + std::to_string(i % 10) + "\n";
    const auto r = M.Load(TMaterialKind::Words, File("many.txt", many), Engine);
    EXPECT_EQ(r.Count, 1200);
    EXPECT_EQ(r.Headline, "Loaded 1200 words from file:");
    EXPECT_EQ(M.Load(TMaterialKind::Words, File("one.txt", "one"), Engine).Headline,
              "Loaded only 1 word from file:");
}

TEST_F(Material, PhrasesFile) {
    const auto r = M.Load(TMaterialKind::Phrases,
                          File("p.txt", "\n  first\tphrase  \n\nsecond one\n   \n"), Engine);
    EXPECT_EQ(M.PhraseList, (Strings{"first phrase", "second one"}));
    EXPECT_EQ(r.Headline, "Loaded 2 phrases from file:");
    EXPECT_EQ(r.TrainingMode, 3);
    EXPECT_EQ(M.Load(TMaterialKind::Phrases, File("p1.txt", "only <sk>"), Engine).Headline,
              "Loaded only 1 phrase from file:");
    EXPECT_EQ(M.PhraseList, Strings{"only <sk>"});
}

TEST_F(Material, TextFile) {
    Engine.ExtraChars = false;
    const auto r = M.Load(TMaterialKind::Text,
                          File("t.txt", "It\xE2\x80\x99s  a <AR> t\xC3\xA4st\n\nend\n"), Engine);
    EXPECT_EQ(r.TrainingMode, 4);
    EXPECT_EQ(M.TextList, (Strings{"It's a + t\xE4st", "", "end"}));
    EXPECT_EQ(M.Text, "It's a + t\xE4st\r\n\r\nend\r\n");
    EXPECT_EQ(M.TextWordCount, 5); // "ä" is kept and counted
    EXPECT_EQ(r.Headline, "Loaded 5 'words' from text file:");
    const auto one = M.Load(TMaterialKind::Text, File("t1.txt", "\n\n\n"), Engine);
    EXPECT_EQ(one.Count, 0);
    EXPECT_EQ(one.Headline, "Loaded 0 'words' from text file:");
    EXPECT_EQ(M.TextList, (Strings{"", "", ""}));
}

TEST_F(Material, FailedReadKeepsTheOldList) {
    M.Load(TMaterialKind::Words, File("w.txt", "keep me"), Engine);
    for (const std::string& bad : {(Dir / "missing.txt").string(), Dir.string()}) {
        const auto r = M.Load(TMaterialKind::Words, bad, Engine);
        EXPECT_FALSE(r.Ok);
        EXPECT_EQ(r.Error.rfind("Error: cannot read file " + bad + " (", 0), 0u) << r.Error;
        EXPECT_EQ(M.WordList, (Strings{"keep", "me"}));
        EXPECT_EQ(M.WordFile, "w.txt");
    }
}

TEST_F(Material, BinaryAndOddFiles) {
    std::string binary;
    for (int i = 0; i < 100000; ++i)
        binary += static_cast<char>((i * 7919) & 0xFF);
    auto r = M.Load(TMaterialKind::Words, File("bin", binary), Engine);
    EXPECT_TRUE(r.Ok);
    for (const auto& w : M.WordList) {
        EXPECT_FALSE(w.empty());
        EXPECT_EQ(w.find(' '), std::string::npos);
    }
    r = M.Load(TMaterialKind::Phrases, File("nul", std::string("a\0b\nc\x01\x02 d", 9)), Engine);
    EXPECT_TRUE(r.Ok);
    EXPECT_EQ(M.PhraseList, (Strings{"ab", "c d"}));
    r = M.Load(TMaterialKind::Words, File("empty", ""), Engine);
    EXPECT_TRUE(r.Ok);
    EXPECT_EQ(r.Count, 0);
    EXPECT_EQ(r.Headline, "Loaded 0 words from file:");
}

TEST_F(Material, EveryWordAndPhraseOfALongListIsKept) {
    std::string words;
    words.reserve(2'000'000);
    for (int i = 0; i < 156'573; ++i)
        words += "w" + std::to_string(i) + (i % 7 == 6 ? "\n" : " ");
    const auto path = File("words.txt", words);
    const auto r = M.Load(TMaterialKind::Words, path, Engine);
    ASSERT_TRUE(r.Ok) << r.Error;
    EXPECT_EQ(r.Count, 156'573);
    EXPECT_EQ(r.Headline, "Loaded 156573 words from file:");
    ASSERT_EQ(M.WordList.size(), 156'573u);
    EXPECT_EQ(M.WordList.front(), "w0");
    EXPECT_EQ(M.WordList.back(), "w156572");
    const auto p = M.Load(TMaterialKind::Phrases, path, Engine);
    EXPECT_EQ(p.Count, (156'573 + 6) / 7);
    EXPECT_EQ(M.PhraseList.back(), "w156569 w156570 w156571 w156572");
}

TEST_F(Material, UnreadableFileGivesAMessage) {
    const auto path = File("locked.txt", "secret words");
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
    M.WordList = {"kept"};
    const int result = test::RunUnprivileged({Dir.string(), path}, [&] {
        const auto r = M.Load(TMaterialKind::Words, path, Engine);
        if (r.Ok) return 1;
        if (r.Error != "Error: cannot read file " + path + " (Permission denied)") return 2;
        if (M.WordList != Strings{"kept"}) return 3;
        return 0;
    });
    EXPECT_EQ(result, 0) << "1: read anyway, 2: wrong message, 3: list replaced";
}

// 100 MB runs in the benchmark (bench_material); here 10 MB under the sanitizers.
TEST_F(Material, LargeText) {
    std::string big;
    const std::string line = "the quick brown fox <ar> jumps over the lazy dog 73 \xE4\n\n";
    big.reserve(10'000'000 + line.size());
    while (big.size() < 10'000'000)
        big += line;
    const auto path = File("big.txt", big);
    big.clear();
    big.shrink_to_fit();
    const auto r = M.Load(TMaterialKind::Text, path, Engine);
    ASSERT_TRUE(r.Ok);
    const int lines = static_cast<int>(10'000'000 / line.size()) + 1;
    EXPECT_EQ(r.Count, lines * 12);
    EXPECT_EQ(M.TextList.size(), static_cast<std::size_t>(2 * lines));
    const auto w = M.Load(TMaterialKind::Words, path, Engine);
    EXPECT_EQ(w.Count, lines * 12);
}
