// The display's positions, sent mark and colours, checked against a view that keeps a document
// as the widget would (one character per line break) with a colour per character.
#include "display/DisplayModel.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

using namespace brindle;

namespace {

constexpr TRgb Red = 0xFF0000, Green = 0x008000, Black = 0x000000;

class TRecordingView : public IDisplayView {
public:
    void AppendText(const std::string& t, TRgb c) override {
        Doc += t;
        Colours.insert(Colours.end(), t.size(), c);
        ++Calls;
    }
    void RemoveLast(int n) override {
        ASSERT_LE(n, static_cast<int>(Doc.size()));
        Doc.resize(Doc.size() - static_cast<std::size_t>(n));
        Colours.resize(Doc.size());
        ++Calls;
    }
    void SetColour(int start, int length, TRgb c) override {
        ASSERT_GE(start, 0);
        ASSERT_LE(start + length, static_cast<int>(Doc.size()));
        for (int i = start; i < start + length; ++i)
            Colours[static_cast<std::size_t>(i)] = c;
        ++Calls;
        Touched += length;
    }
    void ClearText() override {
        Doc.clear();
        Colours.clear();
    }
    void ReplaceText(const std::string& t, TRgb c) override {
        Doc = t;
        Colours.assign(t.size(), c);
    }
    std::string Doc;
    std::vector<TRgb> Colours;
    int Calls = 0;
    long long Touched = 0;
};

class Display : public ::testing::Test {
protected:
    TRecordingView View;
    TDisplayModel Model{&View};
    // The document drawn, then each character's colour as a letter: r waiting (red), g
    // information (green), k sent (black).
    std::string Drawn() const {
        std::string s = View.Doc + "/";
        for (const TRgb c : View.Colours)
            s += c == Red ? 'r' : c == Green ? 'g' : c == Black ? 'k' : '?';
        return s;
    }
    // The document drawn matches the model's text with its line breaks folded.
    void ExpectViewMatchesModel() {
        std::string folded;
        for (char c : Model.Text())
            if (c != '\r') folded += c;
        EXPECT_EQ(View.Doc, folded);
    }
};

} // namespace

// Marked sent one by one or in a run, never past the end; sent text is never deleted; unmarked, a
// repeated item shows as waiting again, and the mark stops at the start.
TEST_F(Display, MarkDeleteAndUnmark) {
    Model.AddChar('a');
    EXPECT_EQ(Model.TextEnd(), 2);
    EXPECT_EQ(Drawn(), "a/r");
    Model.MarkOneSent();
    EXPECT_EQ(std::make_tuple(Model.SentMark(), Model.TextEnd(), Drawn()),
              std::make_tuple(2, 2, "a/k"));
    Model.MarkOneSent(); // everything sent: nothing changes
    Model.MarkSent(3);
    EXPECT_EQ(Model.SentMark(), 2);

    Model.AddText("bc");
    Model.MarkSent(1);
    Model.DeleteLast(10);
    EXPECT_EQ(std::make_tuple(Model.Text(), Model.SentMark(), Drawn()),
              std::make_tuple("ab", 3, "ab/kk"));

    Model.UnmarkSent(2);
    EXPECT_EQ(std::make_tuple(Model.SentMark(), Drawn()), std::make_tuple(1, "ab/rr"));
    Model.MarkSent(2);
    Model.UnmarkSent(9); // more than there is
    EXPECT_EQ(Model.SentMark(), 1);
}

// Line breaks count two and go whole; after many, the positions colour the right characters.
TEST_F(Display, LineBreaksCountTwoAndGoWholeAndColourTheRightCharactersAfterThem) {
    Model.AddText("ab");
    Model.AddChar(13);
    EXPECT_EQ(std::make_tuple(Model.TextEnd(), Model.Text(), Drawn()),
              std::make_tuple(5, "ab\r\n", "ab\n/rrr"));
    Model.DeleteLast(1); // the whole break
    EXPECT_EQ(std::make_tuple(Model.TextEnd(), Model.Text(), Drawn(), Model.LastChar()),
              std::make_tuple(3, "ab", "ab/rr", 'b'));
    Model.DeleteLast(2);
    for (int i = 0; i < 3; ++i) {
        Model.AddText("xy");
        Model.AddChar(13);
    }
    Model.AddText("zw"); // model positions 13 and 14, document 9 and 10
    Model.MarkSent(12);  // three lines and their breaks
    EXPECT_EQ(Drawn(), "xy\nxy\nxy\nzw/kkkkkkkkkrr");
    Model.MarkOneSent();
    EXPECT_EQ(Drawn(), "xy\nxy\nxy\nzw/kkkkkkkkkkr");
    // Both halves of a break give its one character.
    EXPECT_EQ(std::make_tuple(Model.DocPos(13), Model.DocPos(12), Model.DocPos(11)),
              std::make_tuple(9, 8, 8));
    ExpectViewMatchesModel();
}

TEST_F(Display, StringsTurnSmallSingleCharactersKeepTheirCaseAndAllCapsKeepsTheWaitingRed) {
    Model.AddText("<AR>");
    Model.AddChar('A');
    EXPECT_EQ(Model.Text(), "<ar>A");
    Model.SetZeroSlash(true);
    Model.AddText("0K");
    Model.AddChar('0');
    EXPECT_EQ(Model.Text(), "<ar>A\xD8K\xD8"); // a string keeps its case with the slashed zero
    Model.DeleteLast(10);
    Model.SetZeroSlash(false);

    // All caps keeps the waiting part red.
    Model.AddText("abc");
    Model.AddInfoText(" info");
    Model.AddText("de");
    EXPECT_EQ(std::make_tuple(Model.SentMark(), Drawn()),
              std::make_tuple(9, "abc infode/rrrgggggrr"));
    Model.SetAllCaps(true);
    EXPECT_EQ(View.Doc, "ABC INFODE");
    EXPECT_EQ(std::make_tuple(View.Colours[0], View.Colours[8], View.Colours[9]),
              std::make_tuple(Black, Red, Red));
    const int calls = View.Calls;
    Model.SetAllCaps(true); // the same value: nothing
    EXPECT_EQ(View.Calls, calls);
    Model.SetAllCaps(false);
    EXPECT_EQ(View.Doc, "abc infode");
}

// Each append and mark touches only its own characters, at character 100,000 as at 100.
TEST_F(Display, WorkPerCharacterDoesNotGrowWithTheText) {
    for (int i = 0; i < 100000; ++i) {
        Model.AddChar(i % 50 == 49 ? 13 : 'e');
        Model.MarkOneSent();
        if (i % 50 == 49) Model.MarkOneSent();
    }
    EXPECT_EQ(Model.SentMark(), Model.TextEnd());
    EXPECT_LE(View.Touched, 100000 + 2 * 2000);
    for (std::size_t i = 0; i < View.Colours.size(); ++i)
        ASSERT_EQ(View.Colours[i], Black) << i;
    ExpectViewMatchesModel();
}
