// Which sound output plays, and what the learner is told while it is gone: the system's default
// output unless one was picked, a sound-server restart said in the status bar only, a notice
// only when the outputs stay away, and a stand-in output that plays to nothing.
#include "desk/SoundAbsence.h"
#include "settings/Settings.h"
#include "support/DeskFixture.h"

#include <filesystem>

using namespace brindle;
using brindle::test::Values;

namespace {

class SoundOutput : public brindle::test::TDeskTest {
protected:
    std::string Choice() {
        const auto& c = App->OutputChoice();
        std::string entries;
        for (const auto& e : c.SoundEntries)
            entries += (entries.empty() ? "" : ", ") + e;
        return Values(entries, c.SoundSelected, Sound.LastDevice, App->Settings().TX.TXAudioOutput);
    }
    std::string Told() {
        return Values(App->View().SoundStatus, App->View().SoundNotice, Messages.size());
    }
};

} // namespace

// A first start plays on the system's default output, also where another is listed first (HDMI
// before the speakers), and saves no choice. A pick is kept by its name while the list reorders;
// while it is absent the default plays; the default picked again forgets it.
TEST_F(SoundOutput, TheDefaultPlaysUnlessOneIsPickedAndAPickIsKeptByName) {
    Sound.Outputs = {{"hdmi", "HDMI"}, {"speakers", "Speakers"}};
    Sound.Default = 1;
    Start();
    EXPECT_EQ(Choice(), "Default output (Speakers), HDMI, Speakers | 0 | -1 | ");
    Sound.Default = 0; // the user makes HDMI the system's default: it is named so
    App->SoundOutputsChanged();
    EXPECT_EQ(Choice(), "Default output (HDMI), HDMI, Speakers | 0 | -1 | ");

    App->ChooseSoundOutput(2);
    EXPECT_EQ(Choice(), "Default output (HDMI), HDMI, Speakers | 2 | 1 | speakers");
    Sound.Outputs = {{"headset", "Headset"}, {"hdmi", "HDMI"}, {"speakers", "Speakers"}};
    App->SoundOutputsChanged();
    EXPECT_EQ(Choice(), "Default output (Headset), Headset, HDMI, Speakers | 3 | 2 | speakers");
    Sound.Outputs = {
        {"hdmi", "HDMI"}}; // the picked one unplugged: the default plays, the pick waits
    App->SoundOutputsChanged();
    EXPECT_EQ(Choice(), "Default output (HDMI), HDMI | 0 | -1 | speakers");
    Type("e");
    Play(1000);
    EXPECT_EQ(Unsent(), "");

    const std::string folder = testing::TempDir() + "brindle-sound-output/";
    std::filesystem::remove_all(folder);
    ASSERT_TRUE(App->FormClose(folder, false));
    const TSettings back = LoadIniSettings(folder, {});
    EXPECT_EQ(Values(back.TX.TXAudioOutput, back.TX.TXAudioDevice), "speakers | 0");
    std::filesystem::remove_all(folder);
}

TEST_F(SoundOutput, ANameSavedByAnEarlierVersionIsNoPick) {
    Sound.Outputs = {{"hdmi", "HDMI"}, {"speakers", "Speakers"}};
    Sound.Default = 1;
    Settings.TX.TXAudioDevice = 0;
    Settings.TX.TXAudioDeviceName = "hdmi";
    Start();
    EXPECT_EQ(Choice(), "Default output (Speakers), HDMI, Speakers | 0 | -1 | ");
}

// The server goes and comes back within a second (an update restarts it): the status bar says
// so while it is away, and nothing else is shown. Away for longer: a notice, which goes by
// itself with the sound back. A session under way is stopped, and that is said too.
TEST_F(SoundOutput, ARestartIsSaidInTheStatusBarAndOnlyALastingAbsenceInANotice) {
    Start();
    Type("paris");
    Play(300);
    Sound.Outputs.clear();
    App->SoundOutputsChanged();
    EXPECT_EQ(Told(), Values(TSoundAbsence::RestartingText, "", 0));
    Play(500);
    Sound.Outputs = {{"null", "Null Output"}};
    App->SoundOutputsChanged();
    EXPECT_EQ(Output(), TOutputDevice::Sound);
    Play(TSoundAbsence::GraceMs);
    EXPECT_EQ(Told(), Values("", "", 0));
    Type("e");
    Play(1000);
    EXPECT_EQ(Unsent(), ""); // heard again

    App->StartSession();
    Play(3000);
    ASSERT_NE(State(), TSessionState::Idle);
    Sound.Outputs.clear();
    Fake->FailStream();
    Fake->RunPosted();
    App->SoundOutputsChanged();
    EXPECT_EQ(NameOf(State()), std::string("idle"));
    const std::string stopped = TSoundAbsence::SessionStoppedText;
    EXPECT_EQ(Told(), Values(TSoundAbsence::RestartingText + stopped, "", 0));
    Play(TSoundAbsence::GraceMs);
    EXPECT_EQ(Told(),
              Values(TSoundAbsence::NoOutputText + stopped, TSoundAbsence::GoneText + stopped, 0));
    Type("ee"); // typed while it is gone: kept, and sent when it is back
    Sound.Outputs = {{"null", "Null Output"}};
    App->SoundOutputsChanged();
    EXPECT_EQ(Told(), Values("", "", 0));
    EXPECT_EQ(Output(), TOutputDevice::Sound);
    EXPECT_EQ(Unsent(), "ee");
    Play(6000);
    EXPECT_EQ(Values(Shown(), Unsent()), "ee | ");
}

// PipeWire puts its stand-in in when the last real output goes: it plays, to nothing, and the
// status bar says so until a real output is there.
TEST_F(SoundOutput, AStandInOutputIsSaidToPlayToNothing) {
    Sound.Outputs = {{"auto_null", "Dummy Output", true}};
    Start();
    EXPECT_EQ(Output(), TOutputDevice::Sound);
    EXPECT_EQ(Told(), Values(TSoundAbsence::DummyText, "", 0));
    Sound.Outputs = {{"auto_null", "Dummy Output", true}, {"usb", "Headset"}};
    App->SoundOutputsChanged();
    EXPECT_EQ(Told(), Values("", "", 0));
}
