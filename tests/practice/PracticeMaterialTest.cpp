#include "practice/PracticeMaterial.h"
#include "base/FileIO.h"
#include "engine/MorseEngine.h"

#include "support/FifoWriter.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <tuple>
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
    EXPECT_EQ(M.WordFile, "w.txt");
    EXPECT_EQ(M.WordPath, path);
    EXPECT_EQ(M.InDir, Dir.string() + "/");
    // Code characters dropped, "+" as its prosign name, carets and brackets removed.
    M.Load(TMaterialKind::Words, File("c.txt", "abc#def a+b x^y [q]"), Engine);
    EXPECT_EQ(M.WordList, (Strings{"abcdef", "a<ar>b", "xy", "q"}));
    EXPECT_EQ(M.Load(TMaterialKind::Words, File("one.txt", "one"), Engine).Headline,
              "Loaded only 1 word from file:");
}

TEST_F(Material, PhrasesFileAndOddBytes) {
    const auto r = M.Load(TMaterialKind::Phrases,
                          File("p.txt", "\n  first\tphrase  \n\nsecond one\n   \n"), Engine);
    EXPECT_EQ(M.PhraseList, (Strings{"first phrase", "second one"}));
    EXPECT_EQ(r.Headline, "Loaded 2 phrases from file:");
    EXPECT_EQ(M.Load(TMaterialKind::Phrases, File("p1.txt", "only <sk>"), Engine).Headline,
              "Loaded only 1 phrase from file:");
    EXPECT_EQ(M.PhraseList, Strings{"only <sk>"});
    // NUL and other control bytes in a text file are dropped.
    EXPECT_TRUE(
        M.Load(TMaterialKind::Phrases, File("nul", std::string("a\0b\nc\x01\x02 d", 9)), Engine)
            .Ok);
    EXPECT_EQ(M.PhraseList, (Strings{"ab", "c d"}));
    // An empty file is read: the session then asks for a file with at least 1 word.
    const auto empty = M.Load(TMaterialKind::Words, File("empty", ""), Engine);
    EXPECT_TRUE(empty.Ok);
    EXPECT_EQ(empty.Count, 0);
    EXPECT_EQ(empty.Headline, "Loaded 0 words from file:");
    EXPECT_TRUE(M.WordList.empty());
}

TEST_F(Material, TextFile) {
    Engine.ExtraChars = false;
    const auto r = M.Load(TMaterialKind::Text,
                          File("t.txt", "It\xE2\x80\x99s  a <AR> t\xC3\xA4st\n\nend\n"), Engine);
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

TEST_F(Material, BinaryFilesAreRefusedAndTheOldListsStay) {
    M.Load(TMaterialKind::Words, File("w.txt", "keep me"), Engine);
    M.Load(TMaterialKind::Phrases, File("p.txt", "keep this phrase"), Engine);
    M.Load(TMaterialKind::Text, File("t.txt", "keep this text"), Engine);
    const TPracticeMaterial before = M;

    std::vector<std::string> binaries;
    // A program: the start of this test's own.
    std::string program, error;
    ASSERT_TRUE(ReadFilePart("/proc/self/exe", 0, 256 * 1024, program, error)) << error;
    ASSERT_EQ(program.substr(0, 4), "\x7F"
                                    "ELF");
    binaries.push_back(File("program", program));
    // Random bytes, as in an archive or a compressed image.
    std::mt19937 random(7);
    std::string noise(100'000, '\0');
    for (char& c : noise)
        c = static_cast<char>(random() & 0xFF);
    binaries.push_back(File("random.bin", noise));

    for (const auto& path : binaries) {
        for (const auto kind :
             {TMaterialKind::Words, TMaterialKind::Phrases, TMaterialKind::Text}) {
            const auto r = M.Load(kind, path, Engine);
            EXPECT_FALSE(r.Ok) << path;
            EXPECT_EQ(r.Error, "Error: " + path + " is not a text file");
        }
        EXPECT_EQ(std::tie(M.WordList, M.PhraseList, M.TextList, M.Text, M.TextPath, M.InDir),
                  std::tie(before.WordList, before.PhraseList, before.TextList, before.Text,
                           before.TextPath, before.InDir));
        EXPECT_EQ(M.WordFile, "w.txt");
    }
}

TEST_F(Material, Utf16IsRefusedWithItsName) {
    M.Load(TMaterialKind::Words, File("w.txt", "keep me"), Engine);
    std::string le = "\xFF\xFE", be = "\xFE\xFF", bare;
    for (const char c : std::string("cq de dl1abc\r\n")) {
        le += std::string{c, '\0'};
        be += std::string{'\0', c};
        bare += std::string{c, '\0'};
    }
    for (const auto& [name, bytes] :
         {std::pair{"le.txt", le}, {"be.txt", be}, {"bare.txt", bare}}) {
        const auto path = File(name, bytes);
        const auto r = M.Load(TMaterialKind::Words, path, Engine);
        EXPECT_FALSE(r.Ok);
        EXPECT_EQ(r.Error, "Error: " + path + " is UTF-16 text: save it as UTF-8 to load it");
        EXPECT_EQ(M.WordList, (Strings{"keep", "me"}));
    }
}

TEST_F(Material, TextsInBothEncodingsAndWithStrayControlsAreRead) {
    Engine.ExtraChars = true;
    // Windows-1252 and UTF-8 with accents, and a curly apostrophe (0x92 in Windows-1252).
    auto r = M.Load(TMaterialKind::Words, File("1252.txt", "gr\xFCn dich\r\nit\x92s caf\xE9\r\n"),
                    Engine);
    ASSERT_TRUE(r.Ok) << r.Error;
    EXPECT_EQ(M.WordList, (Strings{"gr\xFCn", "dich", "it's", "caf\xE9"}));
    r = M.Load(TMaterialKind::Words, File("utf8.txt", "\xEF\xBB\xBFgr\xC3\xBCn dich\n"), Engine);
    ASSERT_TRUE(r.Ok) << r.Error;
    EXPECT_EQ(M.WordList, (Strings{"gr\xFCn", "dich"}));
    // A few control characters (a DOS end-of-file mark, an escape, a form feed, a NUL) in a
    // longer text.
    std::string text;
    for (int i = 0; i < 20; ++i)
        text += "the quick brown fox jumps\n";
    text += std::string("\x1A\x1B[0m\x0C\0end", 9);
    r = M.Load(TMaterialKind::Words, File("stray.txt", text), Engine);
    ASSERT_TRUE(r.Ok) << r.Error;
    EXPECT_EQ(r.Count, 101);
}

TEST(FileText, TheRule) {
    EXPECT_EQ(ClassifyFileText(""), TFileText::Text);
    EXPECT_EQ(ClassifyFileText("\xEF\xBB\xBF"), TFileText::Text);
    EXPECT_EQ(ClassifyFileText("\t\r\n\f tab, line ends, form feed"), TFileText::Text);
    // Up to 4 odd characters are always forgiven; above that, 1 in 32 bytes.
    const std::string odd = "\x01\x02\x03\x04";
    EXPECT_EQ(ClassifyFileText(odd), TFileText::Text);
    EXPECT_EQ(ClassifyFileText(odd + "\x7F"), TFileText::NotText);
    EXPECT_EQ(ClassifyFileText(odd + "\x05" + std::string(154, 'a')), TFileText::NotText);
    EXPECT_EQ(ClassifyFileText(odd + "\x05" + std::string(155, 'a')), TFileText::Text);
    // Bytes that Windows-1252 leaves unassigned are odd in text that is not UTF-8...
    const std::string unassigned = "\x81\x8D\x8F\x90\x9D";
    EXPECT_EQ(ClassifyFileText(unassigned + "abc"), TFileText::NotText);
    EXPECT_EQ(ClassifyFileText("\x80\x84\x85\x91\x92\x93\x94\x96\x97 abc"), TFileText::Text);
    // ...and in UTF-8 the C1 controls, not the letters after them.
    EXPECT_EQ(ClassifyFileText("\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"), TFileText::NotText);
    EXPECT_EQ(ClassifyFileText("\xC2\xA0\xC2\xA9\xC2\xBF\xC3\x80\xC3\x9F\xC3\xBF"),
              TFileText::Text);
    // UTF-16 by its mark, or by NUL in every other byte; numbers of 16 bits are not text.
    EXPECT_EQ(ClassifyFileText("\xFF\xFE"
                               "a"),
              TFileText::Utf16);
    EXPECT_EQ(ClassifyFileText(std::string("a\0b\0c\0\r\0\n\0", 10)), TFileText::Utf16);
    EXPECT_EQ(ClassifyFileText(std::string("\0a\0b\0c", 6)), TFileText::Utf16);
    std::string numbers;
    for (int i = 0; i < 256; ++i)
        numbers += std::string{static_cast<char>(i), '\0'};
    EXPECT_EQ(ClassifyFileText(numbers), TFileText::NotText);
}

// Large loads run in the benchmark (bench_material); here a list of 1.2 MB.
TEST_F(Material, EveryWordPhraseAndLineOfALongListIsKept) {
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
    const auto t = M.Load(TMaterialKind::Text, path, Engine);
    EXPECT_EQ(t.Count, 156'573);
    EXPECT_EQ(M.TextList.size(), static_cast<std::size_t>((156'573 + 6) / 7));
    EXPECT_EQ(M.TextList.back(), "w156569 w156570 w156571 w156572");
}

TEST_F(Material, AFileLargerThanTheLimitIsRefused) {
    M.Load(TMaterialKind::Text, File("t.txt", "keep this"), Engine);
    auto expected = [&](const std::string& path) {
        return "Error: " + path + " is larger than 16 MB: files of up to 16 MB can be loaded";
    };
    const auto path = File("huge.txt", std::string(TPracticeMaterial::MaxFileBytes + 1, 'e'));
    auto r = M.Load(TMaterialKind::Text, path, Engine);
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.Error, expected(path));
    EXPECT_EQ(M.Text, "keep this\r\n");
    if (access("/dev/zero", R_OK) == 0) { // a device that never ends
        r = M.Load(TMaterialKind::Words, "/dev/zero", Engine);
        EXPECT_FALSE(r.Ok);
        EXPECT_EQ(r.Error, expected("/dev/zero"));
    }
    // Up to the limit, the file is read.
    std::string most(TPracticeMaterial::MaxFileBytes, ' ');
    most.replace(most.size() - 4, 4, "last");
    r = M.Load(TMaterialKind::Words, File("most.txt", most), Engine);
    ASSERT_TRUE(r.Ok) << r.Error;
    EXPECT_EQ(M.WordList, Strings{"last"});
}

TEST_F(Material, AListFromAPipeIsRead) {
    const std::string fifo = (Dir / "pipe").string();
    test::TFifoWriter writer(fifo, "from a\npipe\n", test::TFifoWriter::TMode::Once);
    ASSERT_TRUE(writer.Ok());
    const auto r = M.Load(TMaterialKind::Phrases, fifo, Engine);
    ASSERT_TRUE(r.Ok) << r.Error;
    EXPECT_EQ(M.PhraseList, (Strings{"from a", "pipe"}));
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
