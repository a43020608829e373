// The parameters window's logic without widgets: the up-down step rule, the numeric fields, the
// character fields' commit chain, the effects on the engine and the main window, the enabling
// rules, and the values that go back into the settings.
#include "desk/Parameters.h"
#include "practice/TextFilters.h"
#include "support/DeskFixture.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace brindle;
using brindle::test::Values;

namespace {

class Params : public brindle::test::TDeskTest {
protected:
    TParameters& P() { return App->Params(); }
    const TNumberField& N(TUpDown u) { return P().Number(u); }
    const std::string& T(TCharField f) { return P().Text(f).Text; }
};

TEST(ParamText, CommitChainOfCharacterFieldsAndBackspaceOverAProsign) {
    // Spaces and tabs out, unknown prosigns and stray brackets out, prosigns as their codes.
    const std::string set = CharSetOfField("a b\tc<xx><bt>^<", true);
    EXPECT_EQ(CodesToProsignNames(set), "abc<bt>");
    EXPECT_EQ(set.find(' '), std::string::npos);
    // Upper-case names are prosigns too; the set is lower case.
    EXPECT_EQ(CodesToProsignNames(CharSetOfField("AB<AR>", true)), "ab<ar>");
    // Prosign fragments and control characters never survive.
    for (const char* bad : {"<a", "<>", "<<ar>", ">", "<ar", "a\x01\x7f\r\n"}) {
        std::string shown = CodesToProsignNames(CharSetOfField(bad, true));
        for (std::size_t p; (p = shown.find("<ar>")) != std::string::npos;)
            shown.erase(p, 4);
        EXPECT_EQ(shown.find_first_of("<>\x01\x7f\r\n"), std::string::npos) << bad;
    }
    // The standard set drops the extended characters.
    const std::string extended = "a\xe4\xf6";
    EXPECT_EQ(CharSetOfField(extended, true), extended);
    EXPECT_EQ(CharSetOfField(extended, false), "a");
    // Texts keep their spaces.
    EXPECT_EQ(CodesToProsignNames(SendableText("cq de <sk>\t", true)), "cq de <sk> ");
    // Whether it took a prosign name, the text and the caret after a Backspace at caret.
    const auto back = [](std::string t, int caret) {
        const bool prosign = ProsignBackspace(t, caret);
        return Values(prosign, t, caret);
    };
    EXPECT_EQ(back("ab<ar>", 6), "1 | ab | 2");
    EXPECT_EQ(back("abc>", 4), "0 | abc> | 4"); // no "<": an ordinary Backspace
    EXPECT_EQ(back("abc>", 2), "0 | abc> | 2"); // not behind ">"
}

TEST(ParamText, SavedWindowsAreBroughtFullyOntoTheScreensWithTheirFrames) {
    const TRect area{0, 30, 1280, 770};
    const std::vector<TRect> one{area};
    EXPECT_EQ(FitOnScreens({100, 100, 920, 750}, one), (TRect{100, 50, 920, 750}));
    EXPECT_EQ(FitOnScreens({100, 40, 920, 700}, one), (TRect{100, 40, 920, 700})); // inside
    // Taller than the work area: its height and top.
    EXPECT_EQ(FitOnScreens({100, 100, 920, 900}, one), (TRect{100, 30, 920, 770}));
    // Left=1600 on a 1280-pixel screen showed 68 pixels; Top=-99999 put it above the screen.
    EXPECT_EQ(FitOnScreens({1600, 100, 660, 440}, one), (TRect{620, 100, 660, 440}));
    EXPECT_EQ(FitOnScreens({100, -99999, 660, 440}, one), (TRect{100, 30, 660, 440}));
    EXPECT_EQ(FitOnScreens({-5000, 99999, 2000, 750}, one), (TRect{0, 50, 1280, 750}));
    // Two screens side by side: the one it overlaps most, else the nearest; never astride.
    const std::vector<TRect> two{{0, 0, 1280, 800}, {1280, 0, 1920, 1080}};
    EXPECT_EQ(FitOnScreens({1200, 100, 660, 440}, two), (TRect{1280, 100, 660, 440}));
    EXPECT_EQ(FitOnScreens({900, 100, 660, 440}, two), (TRect{620, 100, 660, 440}));
    EXPECT_EQ(FitOnScreens({5000, 500, 660, 440}, two), (TRect{2540, 500, 660, 440}));
    EXPECT_EQ(FitOnScreens({5, 5, 660, 440}, {}), (TRect{5, 5, 660, 440}));
    // The progress window, 700 pixels tall under a 24-pixel title bar, was moved up only until the
    // window itself fitted: its frame pushed the buttons 20 pixels below the screen.
    const std::vector<TRect> tall{{0, 0, 1280, 900}};
    EXPECT_EQ(FitFramedOnScreens({178, 220, 1040, 700}, 2, 26, tall), (TRect{178, 174, 1040, 700}));
    EXPECT_EQ(FitFramedOnScreens({100, 100, 1040, 700}, 2, 26, tall), (TRect{100, 100, 1040, 700}));
    // Taller or wider than the screen with its frame: the window gives up the frame's room.
    EXPECT_EQ(FitFramedOnScreens({0, 0, 1400, 1000}, 2, 26, tall), (TRect{0, 0, 1278, 874}));
    // Without a frame (not shown yet, or none drawn) it is FitOnScreens.
    EXPECT_EQ(FitFramedOnScreens({178, 220, 1040, 700}, 0, 0, tall),
              FitOnScreens({178, 220, 1040, 700}, tall));
}

TEST_F(Params, CreationAppliesTheSettings) {
    Settings.Tutor.Farnsworth = 2;
    Settings.Tutor.FarnsworthSpeed = 90;
    Settings.TX.Extended = 0;
    Settings.Tutor.Characters = "ab\xe4^c";
    Settings.Tutor.StartText = "vv<xx><ka>"; // unknown prosigns go
    Settings.Tutor.GrSize = 1;
    Settings.Tutor.VariSize = true;
    Settings.Main.CharSizeItem = 4;
    Settings.TX.OutputLevel = -75; // beyond the bar's 60
    Start();
    auto& cw = App->Engine();
    EXPECT_EQ(cw.Spacing(), TSpacing::Wordsworth);
    EXPECT_EQ(Values(cw.FWSpeed(), App->View().SpeedLabel, N(TUpDown::FarnswSpeed).Caption),
              "90 | Wordsworth | Wordsworth Speed for Words");
    EXPECT_EQ(
        Values(cw.ExtraChars(), T(TCharField::Chars1), P().CharSet1, T(TCharField::StartText)),
        "0 | abc | abc | vv<ka>");
    EXPECT_EQ(Values(App->Settings().Tutor.VariSize, P().View().VariSizeEnabled,
                     App->View().DisplayFontPoints),
              "0 | 0 | 24");
    EXPECT_EQ(Values(P().View().LevelPosition, cw.LogAmplitude(), P().View().LevelLabel,
                     N(TUpDown::Freq).Text, N(TUpDown::StartSpeed).Text),
              "60 | -60 | -60 dB | 800 | 30");
    EXPECT_EQ(Output(), TOutputDevice::Sound); // the device check ran
}

TEST_F(Params, SpeedFieldsInWpmAndNumbersFallBackAndClamp) {
    Settings.Main.ShowWpM = true;
    Start();
    P().ApplyEditField(TUpDown::StartSpeed, "12.5"); // 62.5 CpM, halves to even
    EXPECT_EQ(P().WorkStartSpeed, 62);
    EXPECT_EQ(N(TUpDown::StartSpeed).Text, "12.4");
    P().SetShowWpM(false);
    EXPECT_EQ(Values(N(TUpDown::StartSpeed).Text, P().View().Unit, App->View().SpeedUnit),
              "62 | CpM | CpM");
    P().ApplyEditField(TUpDown::StartSpeed, "5");
    EXPECT_EQ(N(TUpDown::StartSpeed).Text, "10");
    P().ApplyEditField(TUpDown::StartSpeed, "999");
    EXPECT_EQ(Values(N(TUpDown::StartSpeed).Text, P().WorkStartSpeed), "300 | 300");
    P().ApplyEditField(TUpDown::StartSpeed, "fast");
    EXPECT_EQ(N(TUpDown::StartSpeed).Text, "300"); // the previous number
    P().ApplyEditField(TUpDown::EndSpeed, "-40");
    EXPECT_EQ(P().WorkEndSpeed, 10);

    P().ApplyEditField(TUpDown::NumGroups, "abc");
    EXPECT_EQ(N(TUpDown::NumGroups).Text, "30");
    P().ApplyEditField(TUpDown::NumGroups, "5000");
    EXPECT_EQ(Values(N(TUpDown::NumGroups).Text, P().WorkGroupCount), "1000 | 1000");
    P().ApplyEditField(TUpDown::Freq, "x");
    EXPECT_EQ(App->Engine().Frequency(), 800);
    P().ApplyEditField(TUpDown::Freq, "99999999999999999999");
    EXPECT_EQ(App->Engine().Frequency(), 800); // out of every range: not a number here
    P().ApplyEditField(TUpDown::Freq, "5");
    EXPECT_EQ(Values(App->Engine().Frequency(), N(TUpDown::Freq).Text), "100 | 100");
    P().ApplyEditField(TUpDown::Slope, "10000");
    EXPECT_LE(App->Engine().Slope(), 500);
    EXPECT_EQ(N(TUpDown::Slope).Text, std::to_string(App->Engine().Slope()));
}

TEST_F(Params, StepRuleWithShiftAndCtrlAndCharacterFields) {
    Start();
    auto& cw = App->Engine();
    P().StepUpDown(TUpDown::Freq, 1, true, false);
    EXPECT_EQ(cw.Frequency(), 810);
    P().StepUpDown(TUpDown::Freq, 1, true, true);
    EXPECT_EQ(cw.Frequency(), 910);
    P().StepUpDown(TUpDown::Freq, -1, false, false);
    EXPECT_EQ(Values(cw.Frequency(), N(TUpDown::Freq).Text), "909 | 909");
    P().ApplyEditField(TUpDown::Freq, "1995");
    P().StepUpDown(TUpDown::Freq, 1, true, false);
    EXPECT_EQ(cw.Frequency(), 2000);
    P().StepUpDown(TUpDown::Freq, 1, true, true);
    // At the up-down's limit a click changes nothing.
    EXPECT_EQ(Values(cw.Frequency(), N(TUpDown::Freq).Position), "2000 | 2000");
    // Speeds step their working values inside 10..300.
    P().StepUpDown(TUpDown::StartSpeed, -1, true, true);
    EXPECT_EQ(P().WorkStartSpeed, 10);
    P().StepUpDown(TUpDown::StartSpeed, 1, true, false);
    EXPECT_EQ(P().WorkStartSpeed, 20);
    // The group count steps from the number in its field.
    P().StepUpDown(TUpDown::NumGroups, 1, true, false);
    EXPECT_EQ(P().WorkGroupCount, 40);
}

TEST_F(Params, GroupSizesKeepTheirOrder) {
    Start();
    P().SetVariSize(true);
    EXPECT_EQ(Values(N(TUpDown::SizeGroups).Caption, N(TUpDown::SizeMin).Enabled),
              "Max Size of Groups | 1");
    P().ApplyEditField(TUpDown::SizeMin, "5"); // equal to the group size
    EXPECT_EQ(Values(P().WorkMinGroupSize, N(TUpDown::SizeMin).Text), "4 | 4");
    P().ApplyEditField(TUpDown::SizeMin, "9");
    EXPECT_EQ(P().WorkMinGroupSize, 4);
    P().ApplyEditField(TUpDown::SizeGroups, "3"); // the minimum follows below it
    EXPECT_EQ(Values(P().WorkMinGroupSize, N(TUpDown::SizeMin).Text), "2 | 2");
    P().StepUpDown(TUpDown::SizeMin, 1, false, false);
    EXPECT_EQ(P().WorkMinGroupSize, 2);
    // With the minimum field off, a smaller size still takes the minimum below it.
    P().SetVariSize(false);
    P().ApplyEditField(TUpDown::SizeGroups, "9");
    P().StepUpDown(TUpDown::SizeMin, 1, true, false);
    P().StepUpDown(TUpDown::SizeGroups, -1, true, false);
    EXPECT_EQ(Values(P().WorkGroupSize, P().WorkMinGroupSize), "1 | 0");
    P().ApplyEditField(TUpDown::SizeGroups, "6");
    P().SetVariSize(true);
    P().ApplyEditField(TUpDown::SizeMin, "5");
    P().SetVariSize(false);
    P().ApplyEditField(TUpDown::SizeGroups, "3");
    EXPECT_EQ(P().WorkMinGroupSize, 2);
    P().SetVariSize(true);
    P().ApplyEditField(TUpDown::SizeGroups, "1");
    EXPECT_EQ(Values(App->Settings().Tutor.VariSize, P().View().VariSizeEnabled), "0 | 0");
    P().SetVariSize(true); // a group of one cannot vary
    EXPECT_EQ(Values(App->Settings().Tutor.VariSize, N(TUpDown::SizeMin).Text,
                     N(TUpDown::SizeGroups).Caption),
              "0 |  | Size of Groups");
    // A down arrow on the size that reaches the minimum pushes it below.
    P().ApplyEditField(TUpDown::SizeGroups, "5");
    P().SetVariSize(true);
    P().ApplyEditField(TUpDown::SizeMin, "4");
    P().StepUpDown(TUpDown::SizeGroups, -1, false, false);
    EXPECT_EQ(Values(P().WorkGroupSize, P().WorkMinGroupSize, N(TUpDown::SizeMin).Text),
              "4 | 3 | 3");

    P().ChooseCharField(2);
    P().ChooseCharField(0); // the hidden item: the previous field stays selected
    EXPECT_EQ(Values(P().View().CharSelected, P().LastCharField), "2 | 2");
    P().EnterCharField(1);
    EXPECT_EQ(P().View().CharSelected, 1);
    P().SetAllCaps(true);
    P().AllCharacters();
    EXPECT_EQ(T(TCharField::Chars1), "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.,/?<BT>");
    EXPECT_EQ(CodesToProsignNames(P().CharSet1), "abcdefghijklmnopqrstuvwxyz0123456789.,/?<bt>");
    EXPECT_EQ(Values(Display.AllCaps(), T(TCharField::StartText)), "1 | VVV<KA>");
    P().SetAllCaps(false);
    EXPECT_EQ(T(TCharField::Chars1), "abcdefghijklmnopqrstuvwxyz0123456789.,/?<bt>");
    // 10,000 characters pasted: the field keeps its 80 and the set what it shows.
    P().CommitText(TCharField::Chars2, std::string(10000, 'e') + "<ar>");
    EXPECT_EQ(Values(T(TCharField::Chars2).size(), P().CharSet2), "80 | " + std::string(80, 'e'));
    // The texts are cut to their 10 without half a prosign.
    P().CommitText(TCharField::StopText, "abcdefg<ar>");
    EXPECT_EQ(T(TCharField::StopText), "abcdefg");
}

TEST_F(Params, StandardCharactersLeaveEveryField) {
    Settings.Tutor.Characters = "ab\xe4";
    Settings.Tutor.Characters2 = "\xf6"
                                 "1";
    Settings.Tutor.StartText = "\xfc<ka>";
    Settings.Tutor.EndText = "e\xe4";
    Start();
    EXPECT_EQ(T(TCharField::Chars1), "ab\xe4");
    P().SetExtended(false);
    EXPECT_EQ(Values(T(TCharField::Chars1), T(TCharField::Chars2), T(TCharField::StartText),
                     T(TCharField::StopText), P().CharSet1, App->Engine().ExtraChars()),
              "ab | 1 | <ka> | e | ab | 0");
}

TEST_F(Params, MuteSetsTheStreamVolumeAndNoiseFollowsAndFarnsworthOffKeepsItsField) {
    Settings.TX.Noise = true;
    Start();
    ASSERT_EQ(Output(), TOutputDevice::Sound);
    EXPECT_TRUE(App->NoiseAdded());
    // Noise added, the muted labels, the noise box enabled.
    const auto mute = [&] {
        return Values(App->NoiseAdded(), App->View().SoundMutedShown, P().View().SoundMutedShown,
                      P().View().NoiseEnabled);
    };
    P().SetMute(true);
    EXPECT_EQ(Sound.Volume, 0.0);
    EXPECT_EQ(mute(), "0 | 1 | 1 | 0");
    P().SetMute(false);
    EXPECT_EQ(Sound.Volume, 1.0);
    EXPECT_EQ(mute(), "1 | 0 | 0 | 1"); // the box's state comes back
    EXPECT_EQ(App->Engine().LogAmplitude(), -10);

    // Farnsworth off keeps the speed field.
    P().ApplyEditField(TUpDown::FarnswSpeed, "90");
    EXPECT_EQ(App->Engine().FWSpeed(), 90);
    P().SetFarnsworth(TSpacing::Plain);
    EXPECT_EQ(App->Engine().Spacing(), TSpacing::Plain);
    // The engine's lowest (mode 0 does not use it); the field keeps its 90, disabled.
    EXPECT_EQ(Values(App->Engine().FWSpeed(), N(TUpDown::FarnswSpeed).Position,
                     N(TUpDown::FarnswSpeed).Enabled, App->View().SpeedLabel),
              "10 | 90 | 0 | Speed");
    P().SetFarnsworth(TSpacing::Farnsworth);
    EXPECT_EQ(App->Engine().Spacing(), TSpacing::Farnsworth);
    EXPECT_EQ(Values(App->Engine().FWSpeed(), App->View().SpeedLabel), "90 | Farnsworth");
}

TEST_F(Params, EnablingFollowsModeSessionAndOutputAndValuesGoBack) {
    Start();
    P().SetMorseMode(TTrainingMode::Text);
    EXPECT_EQ(Values(N(TUpDown::NumGroups).Enabled, N(TUpDown::SizeGroups).Enabled,
                     App->View().StartCaption),
              "0 | 0 | Start Sending Text");
    P().SetMorseMode(TTrainingMode::Phrases);
    EXPECT_EQ(Values(P().View().BlipEnabled, N(TUpDown::NumGroups).Enabled), "1 | 1");
    P().SetBlip(true);
    EXPECT_TRUE(App->Engine().BlipOn());
    P().SetRepeat(2);
    EXPECT_TRUE(P().View().FasterEnabled);
    App->ToggleSoundTest(); // a test runs: what would change it is locked
    // Locked, the test's caption, the start speed, the output, the increment; the tone, which
    // is not part of the session, stays free.
    EXPECT_EQ(Values(P().View().Locked, App->View().ParameterControlsEnabled,
                     P().View().TestCaption, N(TUpDown::StartSpeed).Enabled,
                     P().View().OutputSoundEnabled, P().View().FasterEnabled,
                     N(TUpDown::Freq).Enabled),
              "1 | 0 | Stop Test | 0 | 0 | 0 | 1");
    App->Escape(); // Esc stops the test
    EXPECT_EQ(State(), TSessionState::Idle);
    EXPECT_EQ(Values(P().View().TestCaption, N(TUpDown::StartSpeed).Enabled,
                     P().View().OutputSoundEnabled),
              "Test Sound and Speed | 1 | 1");
    // A display mode change stops what is sent.
    App->KeyPress('e');
    P().SetDispMode(TDisplayMode::SoundFirst);
    EXPECT_FALSE(App->Engine().HasChars());
    EXPECT_EQ(Display.ColorInText(), Display.BackgroundColor());

    P().ApplyEditField(TUpDown::Freq, "650");
    P().ApplyEditField(TUpDown::NumGroups, "12");
    P().SetLevel(25);
    P().SetNoiseLevel(40);
    P().SetAutoStart(false);
    P().SetPtt(true);
    P().SetEqKeyOpt(true);
    P().CommitText(TCharField::Chars1, "paris");
    P().StoreSettings();
    const auto& s = App->Settings();
    EXPECT_EQ(Values(s.TX.Frequency, s.Tutor.Groups, s.TX.OutputLevel, s.TX.NoiseLevel,
                     s.TX.AutoStart, s.TX.PTT, s.TX.EqKeyOpt, s.Tutor.Characters),
              "650 | 12 | -25 | -40 | 0 | 1 | 1 | paris");
}

} // namespace
