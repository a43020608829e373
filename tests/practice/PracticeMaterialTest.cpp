#include "practice/PracticeMaterial.h"
#include "base/FileIO.h"
#include "engine/MorseEngine.h"

#include "support/FifoWriter.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
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
    // A load's outcome: its headline (or error) and the list of that kind, one entry after each
    // "|".
    std::string Loaded(TMaterialKind kind, const std::string& path) {
        const TLoadResult r = M.Load(kind, path, Engine);
        std::string s = r.Ok ? r.Headline : r.Error;
        for (const std::string& entry : kind == TMaterialKind::Words     ? M.WordList
                                        : kind == TMaterialKind::Phrases ? M.PhraseList
                                                                         : M.TextList)
            s += "|" + entry;
        return s;
    }
    // Everything a load sets.
    static auto State(const TPracticeMaterial& m) {
        return std::tie(m.WordList, m.PhraseList, m.TextList, m.Text, m.TextWordCount, m.WordFile,
                        m.WordPath, m.PhrasesFile, m.PhrasesPath, m.TextFile, m.TextPath, m.InDir);
    }
    test::TTempDir Temp{"brindle-material"};
    const fs::path& Dir = Temp.Path;
    TCharSet Engine;
    TPracticeMaterial M;
};

} // namespace

// Code characters dropped, "+" as its prosign name, carets and brackets removed, NUL and other
// control bytes dropped; Windows-1252 and UTF-8, a curly apostrophe (0x92 in Windows-1252).
TEST_F(Material, FilesOfEachKind) {
    using enum TMaterialKind;
    struct TCase {
        TMaterialKind Kind;
        bool ExtraChars;
        std::string Bytes;
        std::string Expected;
    };
    const std::vector<TCase> cases = {
        {Words, true, "cq de<AR>  test\r\nk\r\n", "Loaded 4 words from file:|cq|de<ar>|test|k"},
        {Words, true, "abc#def a+b x^y [q]", "Loaded 4 words from file:|abcdef|a<ar>b|xy|q"},
        {Words, true, "one", "Loaded only 1 word from file:|one"},
        // An empty file is read: the session then asks for a file with at least 1 word.
        {Words, true, "", "Loaded 0 words from file:"},
        {Words, true, "gr\xFCn dich\r\nit\x92s caf\xE9\r\n",
         "Loaded 4 words from file:|gr\xFCn|dich|it's|caf\xE9"},
        {Words, true, "\xEF\xBB\xBFgr\xC3\xBCn dich\n", "Loaded 2 words from file:|gr\xFCn|dich"},
        {Phrases, true, "\n  first\tphrase  \n\nsecond one\n   \n",
         "Loaded 2 phrases from file:|first phrase|second one"},
        {Phrases, true, "only <sk>", "Loaded only 1 phrase from file:|only <sk>"},
        {Phrases, true, std::string("a\0b\nc\x01\x02 d", 9), "Loaded 2 phrases from file:|ab|c d"},
        {Text, false, "\n\n\n", "Loaded 0 'words' from text file:|||"},
        // "ä" is kept and counted even without the extended characters.
        {Text, false, "It\xE2\x80\x99s  a <AR> t\xC3\xA4st\n\nend\n",
         "Loaded 5 'words' from text file:|It's a + t\xE4st||end"},
    };
    int n = 0;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Expected);
        Engine.ExtraChars = c.ExtraChars;
        EXPECT_EQ(Loaded(c.Kind, File("f" + std::to_string(++n), c.Bytes)), c.Expected);
    }
    EXPECT_EQ(std::tie(M.Text, M.TextWordCount),
              std::make_tuple("It's a + t\xE4st\r\n\r\nend\r\n", 5));
    const std::string first = (Dir / "f1").string();
    const auto r = M.Load(TMaterialKind::Words, first, Engine);
    EXPECT_EQ(std::tie(r.Path, M.WordFile, M.WordPath, M.InDir),
              std::make_tuple(first, "f1", first, Dir.string() + "/"));
    // A few control characters (a DOS end-of-file mark, an escape, a form feed, a NUL) in a
    // longer text.
    std::string text;
    for (int i = 0; i < 20; ++i)
        text += "the quick brown fox jumps\n";
    const auto stray = M.Load(TMaterialKind::Words,
                              File("stray", text + std::string("\x1A\x1B[0m\x0C\0end", 9)), Engine);
    EXPECT_TRUE(stray.Ok) << stray.Error;
    EXPECT_EQ(stray.Count, 101);
}

// Missing, a folder, a program, random bytes, UTF-16 in either order or without its mark, larger
// than the limit or endless: refused as every kind, with a message, every list as it was.
TEST_F(Material, RefusedFilesLeaveEveryListAsItWas) {
    M.Load(TMaterialKind::Words, File("w.txt", "keep me"), Engine);
    M.Load(TMaterialKind::Phrases, File("p.txt", "keep this phrase"), Engine);
    M.Load(TMaterialKind::Text, File("t.txt", "keep this text"), Engine);
    const TPracticeMaterial before = M;

    std::string program, error;
    ASSERT_TRUE(ReadFilePart("/proc/self/exe", 0, 256 * 1024, program, error)) << error;
    ASSERT_EQ(program.substr(0, 4), "\x7F"
                                    "ELF");
    std::mt19937 random(7); // random bytes, as in an archive or a compressed image
    std::string noise(100'000, '\0');
    for (char& c : noise)
        c = static_cast<char>(random() & 0xFF);
    std::string le = "\xFF\xFE", be = "\xFE\xFF", bare;
    for (const char c : std::string("cq de dl1abc\r\n")) {
        le += std::string{c, '\0'};
        be += std::string{'\0', c};
        bare += std::string{c, '\0'};
    }
    const std::string missing = (Dir / "missing.txt").string();
    std::vector<std::pair<std::string, std::string>> cases = {
        {missing, "Error: cannot read file " + missing + " (No such file or directory)"},
        {Dir.string(), "Error: cannot read file " + Dir.string() + " (Is a directory)"}};
    for (const std::string& path : {File("program", program), File("random.bin", noise)})
        cases.push_back({path, "Error: " + path + " is not a text file"});
    for (const std::string& path : {File("le", le), File("be", be), File("bare", bare)})
        cases.push_back({path, "Error: " + path + " is UTF-16 text: save it as UTF-8 to load it"});
    const std::string huge = File("huge", std::string(TPracticeMaterial::MaxFileBytes + 1, 'e'));
    for (const std::string& path : {huge, std::string("/dev/zero")}) // a device that never ends
        if (access(path.c_str(), R_OK) == 0)
            cases.push_back(
                {path,
                 "Error: " + path + " is larger than 16 MB: files of up to 16 MB can be loaded"});
    for (const auto& [path, expected] : cases)
        for (const auto kind :
             {TMaterialKind::Words, TMaterialKind::Phrases, TMaterialKind::Text}) {
            const auto r = M.Load(kind, path, Engine);
            EXPECT_FALSE(r.Ok) << path;
            EXPECT_EQ(r.Error, expected);
            EXPECT_EQ(State(M), State(before)) << path;
        }
    // Up to the limit, the file is read.
    std::string most(TPracticeMaterial::MaxFileBytes, ' ');
    most.replace(most.size() - 4, 4, "last");
    EXPECT_EQ(Loaded(TMaterialKind::Words, File("most.txt", most)),
              "Loaded only 1 word from file:|last");
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
    const std::string lastLine = "w156569 w156570 w156571 w156572";
    EXPECT_EQ(Loaded(TMaterialKind::Words, path).substr(0, 34),
              "Loaded 156573 words from file:|w0|");
    ASSERT_EQ(M.WordList.size(), 156'573u);
    EXPECT_EQ(M.WordList.back(), "w156572");
    for (const auto kind : {TMaterialKind::Phrases, TMaterialKind::Text}) {
        const auto r = M.Load(kind, path, Engine);
        const auto& list = kind == TMaterialKind::Phrases ? M.PhraseList : M.TextList;
        ASSERT_EQ(list.size(), (156'573u + 6) / 7);
        EXPECT_EQ(std::make_tuple(r.Count, list.back()),
                  std::make_tuple(kind == TMaterialKind::Text ? 156'573 : 22'368, lastLine));
    }
}

TEST_F(Material, AListFromAPipeIsRead) {
    const std::string fifo = (Dir / "pipe").string();
    test::TFifoWriter writer(fifo, "from a\npipe\n", test::TFifoWriter::TMode::Once);
    ASSERT_TRUE(writer.Ok());
    const auto r = M.Load(TMaterialKind::Phrases, fifo, Engine);
    ASSERT_TRUE(r.Ok) << r.Error;
    EXPECT_EQ(M.PhraseList, (Strings{"from a", "pipe"}));
}
