// The text buffers and the screen text files without widgets: the buffer files at start and exit,
// their limits and encodings, Repeat, all caps, and loading and saving the screen's text.
#include "desk/Buffers.h"
#include "base/FileIO.h"
#include "desk/Parameters.h"
#include "desk/TextChecks.h"
#include "support/DeskFixture.h"
#include "support/TempDir.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

using namespace brindle;
using brindle::test::Holds;
using brindle::test::ReadWhole;
using brindle::test::TTempDir;
using brindle::test::Values;
namespace fs = std::filesystem;

namespace {

void Write(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

// The data folder with the buffer files, under the buffers of B().
template <class Base> class TBufferFolder : public Base {
protected:
    virtual TTextBuffers& B() = 0;
    const TBuffer& Buf(int n) { return B().View().Buffers[static_cast<std::size_t>(n)]; }
    std::string Data() const { return Dir.Path.string() + "/data/"; }
    fs::path File(int n) const {
        return fs::path(Data()) / ("CWBuffer" + std::to_string(n) + ".txt");
    }
    TTempDir Dir;
};

// The files of the buffers: the buffers alone, as the facade builds them, without the rest of
// the main window's logic.
class BufferFiles : public TBufferFolder<::testing::Test> {
protected:
    void Start(bool allCaps = false) {
        Buffers_ = std::make_unique<TTextBuffers>(TTextBuffersNeeds{
            .Settings = Settings,
            .Engine = Engine,
            .SessionIdle = [] { return true; },
            .Messages = [this](const TMessage& m) { Messages.push_back(m.Text); },
        });
        Sent = Buffers_->OnSend.Connect([this](const std::string& text) { Queued += text; });
        ASSERT_TRUE(B().Create(Data(), allCaps));
    }
    TTextBuffers& B() override { return *Buffers_; }
    TSettings Settings = DefaultSettings("/nonexistent/", {});
    TMorseEngine Engine;
    std::vector<std::string> Messages;
    std::string Queued; // what the buffers gave to be sent
    std::unique_ptr<TTextBuffers> Buffers_;
    TConnection Sent;
};

// The buffers in the main window: the function keys, Repeat, and the screen's text files.
class Buffers : public TBufferFolder<brindle::test::TDeskTest> {
protected:
    void Start(bool allCaps = false) {
        TDeskTest::Start();
        ASSERT_TRUE(B().Create(Data(), allCaps));
    }
    TTextBuffers& B() override { return App->Buffers(); }
};

} // namespace

TEST_F(BufferFiles, FirstStartCreatesFourEmptyFilesAndAnUntouchedBufferKeepsItsFile) {
    Start();
    for (int n = 1; n <= 4; ++n)
        EXPECT_EQ(Values(fs::exists(File(n)), fs::exists(File(n)) ? fs::file_size(File(n)) : 1u),
                  "1 | 0");
    Buffers_.reset();
    Write(File(1), "cq cq de dl1abc");
    const auto before = fs::last_write_time(File(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    Start();
    EXPECT_EQ(Values(Buf(0).Text, Buf(0).Modified), "cq cq de dl1abc | 0");
    B().New(1); // erase buffer 2
    B().SaveChanged();
    EXPECT_EQ(fs::last_write_time(File(1)), before); // untouched: not rewritten, date included
    EXPECT_EQ(Values(ReadWhole(File(1)), ReadWhole(File(2))), "cq cq de dl1abc | ");
}

TEST_F(BufferFiles, LongFilesNulBytesAndEncodings) {
    fs::create_directories(Data());
    Write(File(1), std::string(100, 'e'));
    Write(File(2), std::string("abc\0def", 7));
    // 70 characters of two bytes each in UTF-8: 60 whole characters, none cut in half.
    std::string umlauts;
    for (int i = 0; i < 70; ++i)
        umlauts += "\xC3\xA4";
    Write(File(3), umlauts);
    Write(File(4), "gr\xFC\xDF"); // Windows-1252, not UTF-8
    Start();
    EXPECT_EQ(Values(Buf(0).Text, Buf(1).Text, Buf(2).Text, Buf(3).Text, Messages.size()),
              Values(std::string(60, 'e'), "abc", std::string(60, '\xE4'), "gr\xFC\xDF", 0));
}

TEST_F(BufferFiles, LoadFromAnotherFileExitAndSavingInUtf8) {
    Start();
    const fs::path other = Dir.Path / "other.txt";
    Write(other, "tu 73 <sk>\n");
    ASSERT_TRUE(B().Load(2, other.string()));
    EXPECT_EQ(Values(Buf(2).Text, B().SaveRequest(2).Title, B().LoadRequest(0).Title),
              "tu 73 <sk> | Save Buffer 3 to File: | Load Buffer 1 from File:");
    EXPECT_EQ(B().SaveRequest(2).FileName, other.string());
    B().Transmit(2); // given to be sent as it stands, prosigns by name
    EXPECT_EQ(Queued, "tu 73 <sk>");
    B().SaveChanged();
    // The other file is not touched.
    EXPECT_EQ(Values(ReadWhole(File(3)), ReadWhole(other)), "tu 73 <sk> | tu 73 <sk>\n");
    // A file that is not there changes nothing.
    EXPECT_FALSE(B().Load(1, (Dir.Path / "gone.txt").string()));
    EXPECT_EQ(Messages,
              std::vector<std::string>{"Cannot find file " + (Dir.Path / "gone.txt").string()});

    Messages.clear();
    B().Edited(0, "cq de \x80 \xE4 <ar> <xx> ~ k");
    const fs::path out = Dir.Path / "saved.txt";
    ASSERT_TRUE(B().Save(0, out.string()));
    EXPECT_EQ(ReadWhole(out), "cq de  \xC3\xA4 <ar>   k");
    EXPECT_EQ(B().SaveRequest(0).FileName, out.string());
    // A folder that cannot be written is said, and the buffer stays as it was.
    fs::create_directories(Dir.Path / "ro");
    fs::permissions(Dir.Path / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    const bool root = geteuid() == 0;
    if (!root) {
        EXPECT_FALSE(B().Save(0, (Dir.Path / "ro" / "x.txt").string()));
        ASSERT_EQ(Messages.size(), 1u);
        EXPECT_TRUE(Holds(Messages[0], "Cannot write file"));
    }
    // A directory chosen as the file to save to.
    EXPECT_FALSE(B().Save(0, (Dir.Path / "ro").string()));
    EXPECT_TRUE(Holds(Messages.back(), "Cannot write file"));
    fs::permissions(Dir.Path / "ro", fs::perms::owner_all);
}

TEST_F(BufferFiles, BufferFilesReplacedByDirectoriesAreReportedAndNothingIsLost) {
    fs::create_directories(File(2));
    Write(File(1), "first");
    Start();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_TRUE(Holds(Messages[0], "CWBuffer2.txt"));
    EXPECT_EQ(Buf(0).Text, "first");
    B().Edited(1, "typed");
    B().SaveChanged(); // cannot replace the folder: said, the folder stays
    EXPECT_EQ(Values(Messages.size(), fs::is_directory(File(2)), ReadWhole(File(1))),
              "2 | 1 | first");
}

TEST_F(Buffers, RepeatOnlyOneNeverAnEmptyAndItLoopsUntilReleased) {
    Start();
    B().RepeatClick(0, true); // empty buffer 1: stays released
    EXPECT_EQ(B().View().Repeating, -1);
    B().Edited(0, "vvv");
    B().Edited(3, "test");
    B().RepeatClick(3, true); // nothing was being sent: Repeat alone starts it
    EXPECT_EQ(Values(B().View().Repeating, Queued()), "3 | test");
    B().RepeatClick(0, true); // buffer 1 takes over from buffer 4, but waits for what is sent
    EXPECT_EQ(Values(B().View().Repeating, Queued()), "0 | test");
    App->ClearScreenClick();

    // Sent, and sent again when the engine has sent its last character.
    B().Transmit(0);
    std::string sent;
    const TConnection heard =
        App->OnCharStart.Connect([&](uint8_t ch) { sent += static_cast<char>(ch); });
    for (int i = 0; i < 400 && sent.size() < 11; ++i)
        Play(50);
    EXPECT_EQ(sent.substr(0, 11), "vvv vvv vvv");
    App->Escape(); // Esc releases it
    EXPECT_EQ(B().View().Repeating, -1);
    B().RepeatClick(1, true);
    B().Edited(1, "x");
    B().RepeatClick(1, true);
    App->StopAllSending();
    EXPECT_EQ(B().View().Repeating, -1);
}

// Repeat alone used to wait for Transmit, and the repetitions ran together ("...TUUR RST...").
// That Repeat waits for what is being sent is RepeatOnlyOneNeverAnEmptyAndItLoopsUntilReleased.
TEST_F(Buffers, RepeatAloneStartsAndTheRepetitionsAreWordsApart) {
    Start();
    B().Edited(2, "ur rst 5nn tu");
    B().RepeatClick(2, true);
    EXPECT_EQ(Queued(), "ur rst 5nn tu");
    for (int i = 0; i < 2000 && Shown().size() < 30; ++i)
        Play(50);
    EXPECT_EQ(Shown().substr(0, 27), "ur rst 5nn tu ur rst 5nn tu");
}

TEST_F(Buffers, AllCapsTransmitAndTheFunctionKeys) {
    fs::create_directories(Data());
    Write(File(2), "cq de <ar>");
    Start(true);
    EXPECT_EQ(Buf(1).Text, "CQ DE <AR>");
    App->Params().SetAllCaps(false);
    EXPECT_EQ(Buf(1).Text, "cq de <ar>");
    App->KeyDown(TDeskKey::F6, {});
    const std::string ar(
        1, static_cast<char>(TMorseEngine::ProsignCode(TMorseEngine::ProsignIndex("<ar>"))));
    EXPECT_EQ(Values(Shown(), Queued()), "cq de <ar> | cq de " + ar);
    // While a test runs a transmit only normalises the field.
    B().Edited(0, "a~b");
    App->Params().TestButtonClick();
    const std::string test = Queued();
    App->KeyDown(TDeskKey::F5, {});
    EXPECT_EQ(Values(Buf(0).Text, Queued()), "ab | " + test);
}

// --- Screen text files ---------------------------------------------------------------------------

// Then Esc during a long load stops it and says how much was read.
TEST_F(Buffers, LoadingAFileToTheScreenWhileSendingStartsItWhenAllIsLoadedAndEscStopsIt) {
    Start();
    Type("eeeeeeeeee");
    Play(300);
    const fs::path file = Dir.Path / "text.txt";
    Write(file, "cq cq\r\nde dl1abc <AR>\r\n");
    // Everything is queued before the first character goes, though the sound plays on.
    int startedWhileLoading = 0;
    const TConnection counted = App->OnCharStart.Connect([&](uint8_t) {
        if (App->Sender().Loading()) ++startedWhileLoading;
    });
    ASSERT_TRUE(App->LoadScreenText(file.string()));
    EXPECT_TRUE(App->View().LoadingNoticeShown);
    while (RunNextLater())
        Play(20);
    // The file alone: the typed rest was cleared.
    EXPECT_EQ(Values(startedWhileLoading, App->View().LoadingNoticeShown,
                     App->Engine().BufferCount(), Shown(), App->Engine().Hold()),
              "0 | 0 | 18 | cq cq\r\nde dl1abc <ar>\r\n | 0");
    EXPECT_EQ(Values(App->Settings().Main.InFile, App->Settings().Main.InDir,
                     App->ScreenOpenRequest().FileName, App->ScreenOpenRequest().Title),
              "text.txt | " + Dir.Path.string() +
                  "/ | text.txt | Load text from file to screen, like typing:");

    const fs::path longFile = Dir.Path / "long.txt";
    std::string text;
    while (text.size() < 3'000'000)
        text += "abcdefghi\n";
    Write(longFile, text);
    ASSERT_TRUE(App->LoadScreenText(longFile.string()));
    // The load goes on in steps from the event loop: Esc comes between two of them.
    for (int step = 0; step < 3; ++step)
        ASSERT_TRUE(RunNextLater());
    const int queuedAtEsc = App->Engine().BufferCount();
    App->Escape();
    RunLater();
    ASSERT_EQ(Messages.size(), 1u);
    ASSERT_GT(queuedAtEsc, 1000);
    EXPECT_EQ(Messages[0], "Loading from file interrupted. Read: " + std::to_string(queuedAtEsc));
    // What was loaded is sent.
    EXPECT_EQ(Values(Severities[0] == TSeverity::Information, App->Sender().Loading(),
                     App->Engine().BufferCount(), App->Engine().Hold()),
              Values(true, false, queuedAtEsc, false));
}

// A file that fills the buffer gives the buffer's one message; a load reads at most 4 MB.
TEST_F(Buffers, AFullBufferGivesOneMessageAndAScreenLoadReadsAtMost4MB) {
    Start();
    const fs::path huge = Dir.Path / "huge.txt";
    std::string line(99, 'e');
    line += '\n';
    std::string lines;
    for (int i = 0; i < 50'000; ++i) // 5 MB: beyond the buffer and the limit, which is not said
        lines += line;
    Write(huge, lines);
    ASSERT_TRUE(App->LoadScreenText(huge.string()));
    RunLater();
    EXPECT_EQ(Messages, std::vector<std::string>{"Warning: Type-ahead buffer is full: 30000"});
    EXPECT_EQ(Values(App->Engine().BufferCount() > 29000, App->View().LoadingNoticeShown), "1 | 0");
    App->ClearScreenClick();
    Messages.clear();
    Severities.clear();

    auto stopped = [](const std::string& path) {
        return "Warning: " + path + " is larger than 4 MB: only the first 4 MB are read";
    };
    // Up to the limit the file is read: nothing in it is sent but its last letter.
    const fs::path most = Dir.Path / "most.txt";
    const std::string unsent(TSender::LoadMaxBytes - 1, '[');
    Write(most, unsent + "e");
    ASSERT_TRUE(App->LoadScreenText(most.string()));
    RunLater();
    EXPECT_EQ(Values(Messages.size(), Shown()), "0 | e");
    // One byte more, and the load stops at the limit with a message.
    const fs::path more = Dir.Path / "more.txt";
    Write(more, unsent + "ef");
    ASSERT_TRUE(App->LoadScreenText(more.string()));
    RunLater();
    EXPECT_EQ(Messages, std::vector<std::string>{stopped(more.string())});
    EXPECT_EQ(Values(Severities[0] == TSeverity::Warning, Shown(), App->Sender().Loading(),
                     App->Engine().Hold()),
              "1 | e | 0 | 0");
    // A device that never ends and whose bytes are never sent.
    if (access("/dev/zero", R_OK) != 0) return;
    Messages.clear();
    ASSERT_TRUE(App->LoadScreenText("/dev/zero"));
    RunLater();
    EXPECT_EQ(Messages, std::vector<std::string>{stopped("/dev/zero")});
    EXPECT_EQ(Values(Shown(), App->Sender().Loading(), App->View().LoadingNoticeShown), " | 0 | 0");
}

TEST_F(Buffers, BinaryFilesFoldersAndVanishedFilesGiveAMessageAndLeaveTheScreen) {
    Start();
    Type("abc");
    const fs::path binary = Dir.Path / "a.out";
    std::string bytes;
    for (int i = 0; i < 4096; ++i)
        bytes += static_cast<char>(i * 7 % 256);
    Write(binary, bytes);
    ASSERT_TRUE(App->LoadScreenText(binary.string())); // what is sendable of it is sent
    RunLater();
    EXPECT_TRUE(Messages.empty());
    for (char c : Shown())
        EXPECT_TRUE(c == '\r' || c == '\n' || static_cast<uint8_t>(c) >= 32);
    const std::string shown = Shown();
    EXPECT_FALSE(App->LoadScreenText(Dir.Path.string()));
    EXPECT_FALSE(App->LoadScreenText((Dir.Path / "deleted.txt").string()));
    ASSERT_EQ(Messages.size(), 2u);
    EXPECT_EQ(Values(Messages[0].find("Is a directory") != std::string::npos,
                     Messages[1].find("No such file") != std::string::npos, Shown() == shown),
              "1 | 1 | 1");
}

TEST_F(Buffers, SavingTheScreenProposesMainWindowTxtAndRespectsAllCaps) {
    Start();
    EXPECT_EQ(Values(App->ScreenSaveRequest().FileName, App->ScreenSaveRequest().Title),
              "MainWindow.txt | Save text from screen to file:");
    Type("cq de dl1abc\r<ar>");
    Display.AddInfoText("\rinfo");
    App->Params().SetAllCaps(true);
    const fs::path out = Dir.Path / "screen.txt";
    ASSERT_TRUE(App->SaveScreenText(out.string()));
    EXPECT_EQ(
        Values(ReadWhole(out), App->ScreenSaveRequest().FileName, App->ScreenSaveRequest().Folder),
        "CQ DE DL1ABC\n<AR>\nINFO\n | screen.txt | " + Dir.Path.string() + "/");
    EXPECT_FALSE(App->SaveScreenText(Dir.Path.string()));
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_TRUE(Holds(Messages[0], "cannot write file"));
}
