#include "settings/Settings.h"
#include "base/FileIO.h"
#include "settings/SettingsSamples.h"

#include "support/TempDir.h"
#include "support/Unprivileged.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using namespace brindle;
namespace fs = std::filesystem;

namespace {

// XDG_CONFIG_HOME set for one test, and put back afterwards.
class TConfigHome {
public:
    explicit TConfigHome(const std::string& value) {
        if (const char* old = std::getenv("XDG_CONFIG_HOME")) Old_ = old;
        setenv("XDG_CONFIG_HOME", value.c_str(), 1);
    }
    ~TConfigHome() {
        if (Old_)
            setenv("XDG_CONFIG_HOME", Old_->c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
    }

private:
    std::optional<std::string> Old_;
};

class SettingsFile : public ::testing::Test {
protected:
    // The settings file's bytes.
    std::string Written() const { return test::ReadWhole(SettingsPath(Folder)); }
    void WriteIni(const std::string& text) {
        fs::create_directories(Folder);
        std::string error;
        ASSERT_TRUE(WriteFileAtomically(SettingsPath(Folder), text, error));
    }
    test::TTempDir Temp{"brindle-settings"};
    const fs::path& Root = Temp.Path;
    std::string Folder = (Root / "Brindle").string() + "/";
    TScreenGeometry Screen{1000, 800, 600, 400, 920, 750};
    std::vector<std::string> Messages;
    TMessageSink Sink = [this](const TMessage& m) { Messages.push_back(m.Text); };
};

} // namespace

// The defaults' values and their order in the file are fixed by SettingsFormat; here the file
// itself: loading creates nothing, saving writes exactly the text of the settings, and every value
// reads back.
TEST_F(SettingsFile, FirstStartGivesEveryDefaultAndASaveReadsBack) {
    EXPECT_EQ(test::KeysDiffering(LoadIniSettings(Folder, Screen), DefaultSettings(Folder, Screen)),
              std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(Folder)); // loading creates nothing

    TSettings s = test::EveryKeyChanged();
    s.Tutor.StartText = "vvv ="; // the first "=" of a line ends the key
    ASSERT_TRUE(SaveIniSettings(Folder, s, false, Sink));
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(Written(), test::Saved(s, false));
    TSettings expected = s;
    expected.Main.Version.clear(); // written, never read
    EXPECT_EQ(test::KeysDiffering(LoadIniSettings(Folder, Screen), expected),
              std::vector<std::string>{});
}

// Every key read with its rule, and every other one at its default.
TEST_F(SettingsFile, ReadingRules) {
    WriteIni("[Main]\nAllCaps=1\nSpeed=5000\n[Tutor]\nCharField=3\nCharacters=ab^c\xE4\n"
             "GrSize=5\nGrMinSize=7\nStartSpeed=2\nEndSpeed=abc\nStartText=v^v\nMode=9\n"
             "Groups=0\n[TX]\nFrequency=20\nNoiseLevel=-200\n");
    TSettings expected = DefaultSettings(Folder, Screen);
    expected.Main.AllCaps = true;
    expected.Main.Speed = 300;
    expected.Tutor.Characters = "ABC\xC4"; // "^" removed, then capitals, from Windows-1252
    expected.Tutor.GrMinSize = 4;
    expected.Tutor.StartSpeed = 10;
    expected.Tutor.StartText = "vv"; // EndSpeed not a number and Mode out of the list: defaults
    expected.Tutor.Groups = 1;
    expected.TX.Frequency = 100;
    expected.TX.NoiseLevel = -80;
    EXPECT_EQ(test::KeysDiffering(LoadIniSettings(Folder, Screen), expected),
              std::vector<std::string>{});

    WriteIni("[Tutor]\nGrSize=1\nVariSize=1\nCharField=0\n");
    expected = DefaultSettings(Folder, Screen);
    expected.Tutor.GrSize = 1;
    expected.Tutor.GrMinSize = 0; // and no varying size
    EXPECT_EQ(test::KeysDiffering(LoadIniSettings(Folder, Screen), expected),
              std::vector<std::string>{});
}

// A save replaces the file with the settings written over it (what that writes, with unknown lines
// and a maximised main window: SettingsFormat). One section saved alone (a Koch lesson accepted
// mid-run) leaves every other line as it was.
TEST_F(SettingsFile, SaveWritesOverTheFileOrOneSectionAlone) {
    const std::string longValue(10000, 'x');
    const std::string before =
        "; my notes\r\n[Main]\r\nSpeed=70\r\nMystery=42\r\n[Form]\r\nTop=5\r\n"
        "[Tutor]\r\nCharacters=" +
        longValue;
    WriteIni(before);
    TSettings s = LoadIniSettings(Folder, Screen);
    EXPECT_EQ(s.Tutor.Characters, longValue);
    ASSERT_TRUE(SaveIniSettings(Folder, s, true, Sink));
    const std::string saved = Written();
    EXPECT_EQ(saved, test::Saved(s, true, before));

    s.Main.Speed = 123;
    s.Koch.Lesson = 7;
    ASSERT_TRUE(SaveIniSettings(Folder, s, false, Sink, "Koch"));
    std::string expected = saved;
    ASSERT_NE(expected.find("\nLesson=1\n"), std::string::npos);
    expected.replace(expected.find("\nLesson=1\n"), 10, "\nLesson=7\n");
    EXPECT_EQ(Written(), expected);
    EXPECT_TRUE(Messages.empty());
}

TEST_F(SettingsFile, SaveFailures) {
    // The folder cannot be made: its parent does not exist.
    const std::string deep = (Root / "no" / "Brindle").string() + "/";
    EXPECT_FALSE(SaveIniSettings(deep, TSettings{}, false, Sink));
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0], "Error: cannot create directory " + deep);

    // A read-only file: one message, the old file unchanged.
    WriteIni("[Main]\nSpeed=77\n");
    ASSERT_EQ(chmod(SettingsPath(Folder).c_str(), 0444), 0);
    Messages.clear();
    EXPECT_FALSE(SaveIniSettings(Folder, TSettings{}, false, Sink));
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0], "Cannot save to " + SettingsPath(Folder));
    EXPECT_EQ(Written(), "[Main]\nSpeed=77\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(Folder), {}), 1);
}

// A settings file that exists but cannot be read must not be replaced by one that has lost the
// user's other keys and comments.
TEST_F(SettingsFile, UnreadableFileIsLeftAsItWas) {
    const std::string kept = "; my notes\n[Main]\nSpeed=77\n[Mine]\nCall=DL1ABC\n";
    WriteIni(kept);
    const std::string path = SettingsPath(Folder);
    ASSERT_EQ(chmod(path.c_str(), 0200), 0); // writable, not readable
    const int result = test::RunUnprivileged({Root.string(), Folder, path}, [&] {
        std::vector<std::string> seen;
        const bool saved = SaveIniSettings(Folder, TSettings{}, false,
                                           [&](const TMessage& m) { seen.push_back(m.Text); });
        if (saved) return 1;
        if (seen != std::vector<std::string>{"Cannot save to " + path}) return 2;
        return 0;
    });
    EXPECT_EQ(result, 0) << "1: reported as saved, 2: wrong message";
    ASSERT_EQ(chmod(path.c_str(), 0600), 0);
    EXPECT_EQ(test::ReadWhole(path), kept);
    EXPECT_EQ(std::distance(fs::directory_iterator(Folder), {}), 1); // no temporary file left
}

// DataFolder follows XDG_CONFIG_HOME, else HOME. On a new account the user's configuration
// folder may not exist yet: it is made, private to the user, and the settings are saved.
TEST_F(SettingsFile, DataFolderFollowsXdgConfigHomeAndIsMadeWhenMissing) {
    {
        TConfigHome empty("");
        setenv("HOME", "/home/ham", 1);
        EXPECT_EQ(DataFolder(), "/home/ham/.config/Brindle/");
    }
    const std::string config = (Root / "fresh" / "config").string();
    TConfigHome home(config);
    const std::string folder = DataFolder();
    EXPECT_EQ(folder, config + "/Brindle/");
    EXPECT_TRUE(SaveIniSettings(folder, TSettings{}, false, Sink));
    EXPECT_TRUE(fs::exists(SettingsPath(folder)));
    EXPECT_EQ(fs::status(config).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_TRUE(Messages.empty());
}
