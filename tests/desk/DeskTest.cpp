// The main window's logic without widgets: typing, prosigns, pasting, the sending controls, single
// mode, closing, and the output device check. The sound output runs on a backend in memory and is
// fed by the test, so the engine's sample clock is the test's clock.
#include "desk/Desk.h"
#include "support/DeskFixture.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <filesystem>

using namespace brindle;
using brindle::test::Port;
using brindle::test::TFakeSoundBackend;
using brindle::test::TVirtualTimer;

namespace {

using Desk = brindle::test::TDeskTest;

const std::string
    Ar(1, static_cast<char>(TMorseEngine::ProsignCode(TMorseEngine::ProsignIndex("<ar>"))));
const std::string Pauses3 = "\xFF\xFF\xFF";

} // namespace

TEST_F(Desk, StartOpensTheSoundOutputOfTheSettings) {
    Start();
    EXPECT_EQ(Output(), TOutputDevice::Sound);
    EXPECT_TRUE(App->SoundOut().IsOpen());
    EXPECT_TRUE(App->Engine().Running());
    EXPECT_TRUE(App->Engine().SoundMode());
    EXPECT_EQ(App->SoundOut().Channels(), 1);
    EXPECT_TRUE(App->View().TXEnabled);
    EXPECT_EQ(App->View().TXCaption, "AutoStart");
    EXPECT_EQ(App->View().SpeedText, "60");
    EXPECT_TRUE(Messages.empty());
}

TEST_F(Desk, ProsignTyping) {
    Start();
    Type("<ar");
    EXPECT_EQ(Shown(), "<ar>");
    EXPECT_FALSE(App->Sender().InProsignEntry());
    App->Backspace(); // all four positions at once
    EXPECT_EQ(Shown(), "");
    EXPECT_FALSE(App->Engine().HasChars());

    Type("<so"); // three strokes give "<sos>"
    EXPECT_EQ(Shown(), "<sos>");
    Type("<SO"); // the completed name is shown in small letters, as every string is
    EXPECT_EQ(Shown(), "<sos><Sos>");
    App->ClearScreenClick();

    Type("<xy");
    EXPECT_EQ(Shown(), "<?>");
    App->Backspace(); // the display and all three pauses go
    EXPECT_EQ(Shown(), "");
    EXPECT_EQ(Queued(), "");

    Type("<x");
    App->Backspace(); // half-typed: two positions
    EXPECT_EQ(Shown(), "");
    Type("<xy");
    EXPECT_EQ(Queued(), Pauses3);
    App->ClearScreenClick();

    // Backspace over an unknown prosign takes exactly its three pauses, never what came before.
    Type("ab<xy");
    App->Backspace();
    EXPECT_EQ(Shown(), "ab");
    EXPECT_EQ(Queued(), "ab");
}

TEST_F(Desk, BackspaceRules) {
    Start();
    Type("ab\r");
    App->Backspace(); // a new line cannot be taken back
    EXPECT_EQ(Shown(), "ab\r\n");
    Type("c");
    App->Backspace();
    EXPECT_EQ(Shown(), "ab\r\n");
    // Sent text stays: Backspace does nothing when nothing waits.
    App->ClearScreenClick();
    Type("e");
    Play(1000);
    ASSERT_FALSE(App->Engine().HasChars());
    EXPECT_EQ(Display.SentMark(), Display.TextEnd());
    App->Backspace();
    EXPECT_EQ(Shown(), "e");
}

TEST_F(Desk, TypedCharactersAreMappedAndFiltered) {
    Start();
    App->Params().SetEqKeyOpt(true);
    Type("a-_");
    App->KeyPress(223);  // sharp s is a question mark
    App->KeyPress(0x80); // the euro sign cannot be sent: dropped silently
    App->KeyPress(254);  // the buffer's own codes are not characters one can type
    App->KeyPress(255);
    EXPECT_EQ(Queued(), "a=-?");
    EXPECT_TRUE(Messages.empty());
}

TEST_F(Desk, PastingRunsTheFilterChain) {
    Start();
    App->Paste("CQ <ar> <xy> ^");
    EXPECT_EQ(Queued(), "CQ " + Ar + " "); // the unknown group and the caret vanish
    EXPECT_EQ(Shown(), "CQ <ar> ");
    // Binary data and invalid UTF-8 never reach the buffer as anything unsendable.
    App->ClearScreenClick();
    App->Paste(std::string("a\0b\xC3\x28\x01", 6));
    for (char c : Queued())
        EXPECT_TRUE(App->Engine().IsSendable(static_cast<uint8_t>(c))) << int(c);
}

TEST_F(Desk, AFullBufferGivesOneMessageAndKeepsWhatWasQueued) {
    Start();
    App->Paste(std::string(40000, 'e')); // nothing plays: no sound is fed
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0], "Warning: Type-ahead buffer is full: 30000");
    EXPECT_EQ(Display.TextEnd() - 1, 29999);
    Type("e"); // typing into a full buffer: the message again, nothing shown
    EXPECT_EQ(Messages.size(), 2u);
    EXPECT_EQ(Display.TextEnd() - 1, 29999);
}

TEST_F(Desk, SentCharactersAreMarkedAsTheEngineReportsThem) {
    Start();
    Type("paris");
    EXPECT_EQ(Unsent(), "paris");
    EXPECT_EQ(App->View().TXCaption, "AutoStart");
    Play(150); // PTT lead and the first elements
    EXPECT_TRUE(App->View().TXDown);
    EXPECT_EQ(App->View().TXCaption, "Stop");
    EXPECT_EQ(App->View().PauseState, TPauseState::Pause);
    Play(5000);
    EXPECT_EQ(Unsent(), "");
    Play(3000); // the PTT hold time
    EXPECT_FALSE(App->View().TXDown);
    EXPECT_EQ(App->View().TXCaption, "AutoStart");
}

TEST_F(Desk, EscRemovesTheUnsentRest) {
    Start();
    Type("paris paris");
    Play(400);
    App->Escape();
    EXPECT_EQ(Unsent(), "p");    // the character on the air stays until it is reported
    EXPECT_EQ(Queued(), "\xFE"); // an end-of-item pause, as something was removed
}

TEST_F(Desk, SpeedBoxEntry) {
    Start();
    App->Params().SetShowWpM(true);
    EXPECT_EQ(App->View().SpeedText, "12.0");
    App->SetNewSpeedVal("12.5"); // 62.5 rounds to the even 62
    EXPECT_EQ(App->Engine().Speed(), 62);
    App->SetNewSpeedVal("12.3"); // 61.5 rounds to 62
    EXPECT_EQ(App->Engine().Speed(), 62);
    EXPECT_EQ(App->View().SpeedText, "12.4");
    App->SetNewSpeedVal("12,5"); // not a number with a decimal point: unchanged
    EXPECT_EQ(App->Engine().Speed(), 62);
    App->Params().SetShowWpM(false);
    App->SetNewSpeedVal("abc");
    EXPECT_EQ(App->View().SpeedText, "62");
    App->SetNewSpeedVal("5000"); // the engine's limit
    EXPECT_EQ(App->Engine().Speed(), 300);
}

TEST_F(Desk, SpeedSteps) {
    Start();
    ASSERT_EQ(App->Engine().Speed(), 60);
    EXPECT_TRUE(App->CWSpeedArrow(true, {.Shift = true}));
    EXPECT_EQ(App->Engine().Speed(), 70);
    App->CWSpeedArrow(true, {.Ctrl = true}); // Ctrl alone: 1
    EXPECT_EQ(App->Engine().Speed(), 71);
    App->CWSpeedArrow(true, {.Shift = true, .Ctrl = true});
    EXPECT_EQ(App->Engine().Speed(), 171);
    App->CWSpeedArrow(false, {});
    EXPECT_EQ(App->Engine().Speed(), 170);
    // The up-down has moved one already; with Shift the step is ten from where it was.
    App->CWSpeedUpDownClick(171, {.Shift = true});
    EXPECT_EQ(App->Engine().Speed(), 180);
    EXPECT_EQ(App->View().SpeedPosition, 180);
    App->CWSpeedUpDownClick(179, {});
    EXPECT_EQ(App->Engine().Speed(), 179);
}

TEST_F(Desk, PauseFinishesTheCharacterAndResumes) {
    Start();
    Type("eeeeeeeeee");
    Play(200);
    App->PauseButtonClick(true);
    EXPECT_EQ(App->View().PauseState, TPauseState::Resume);
    Play(2000);
    const int held = Display.SentMark();
    Play(2000);
    EXPECT_EQ(Display.SentMark(), held); // waits
    EXPECT_TRUE(App->Engine().HasChars());
    App->PauseButtonClick(false);
    EXPECT_EQ(App->View().PauseState, TPauseState::Pause);
    Play(5000);
    EXPECT_FALSE(App->Engine().HasChars());
    EXPECT_EQ(Unsent(), "");
}

TEST_F(Desk, SingleModeItemsAndOneRepeat) {
    Start();
    App->SetSingleMode();
    EXPECT_TRUE(App->View().SingleModeShown);
    EXPECT_EQ(App->View().SingleModeCaption, "Stop Single Mode");
    Type("ab cd");
    EXPECT_EQ(Shown(), "ab cd");
    Play(4000); // "ab", then the engine holds after the separator
    EXPECT_TRUE(App->Engine().Hold());
    EXPECT_EQ(App->View().PauseState, TPauseState::Resume);
    EXPECT_EQ(App->Controls().ItemCharCount(), 3);
    App->Backspace(); // repeat
    App->Backspace(); // a second repeat waits for the next item
    EXPECT_TRUE(App->Controls().RepeatingItem());
    EXPECT_EQ(App->Engine().PeekChar(), 'a');
    Play(4000);
    EXPECT_TRUE(App->Engine().Hold());
    EXPECT_EQ(App->Engine().PeekChar(), 'c');
    App->Enter(); // next item
    Play(4000);
    EXPECT_FALSE(App->Engine().HasChars());
    App->StopSingleMode();
    EXPECT_FALSE(App->View().SingleModeShown);
    EXPECT_FALSE(App->Engine().Hold());
}

TEST_F(Desk, HideText) {
    Start();
    App->HideButtonClick(true);
    EXPECT_FALSE(App->View().DisplayVisible);
    EXPECT_EQ(App->View().HideCaption, "Show Text");
    Type("ee");
    EXPECT_EQ(Shown(), "ee"); // still written
    App->HideButtonClick(false);
    EXPECT_TRUE(App->View().DisplayVisible);
    EXPECT_EQ(App->View().HideCaption, "Hide Text");
}

TEST_F(Desk, CloseWithAskEnd) {
    Settings.Main.AskEnd = true;
    Start();
    Type("paris");
    AnswerOk = false;
    App->RequestClose();
    ASSERT_EQ(Questions.size(), 1u);
    EXPECT_EQ(Questions[0], "Do you really want to exit Brindle?");
    EXPECT_EQ(App->CloseState(), TCloseState::Open);
    EXPECT_EQ(Shown(), "paris"); // still queued and shown
    EXPECT_TRUE(App->Engine().HasChars());
    EXPECT_FALSE(App->Engine().Hold());
    AnswerOk = true;
    App->RequestClose();
    EXPECT_EQ(App->CloseState(), TCloseState::Ready); // nothing was on the air
    EXPECT_EQ(ReadyToClose, 1);
    EXPECT_EQ(Shown(), ""); // the unsent characters left the display
    EXPECT_FALSE(App->Engine().Running());
}

TEST_F(Desk, TheCloseWaitsForTheCharacterOnTheAirWithoutAnEventLoop) {
    Start();
    Type("paris paris");
    Play(300); // "p" is being keyed
    ASSERT_TRUE(App->Engine().CharOnAir());
    App->RequestClose();
    EXPECT_EQ(App->CloseState(), TCloseState::Stopping);
    EXPECT_EQ(App->View().Busy, "Closing Brindle ...");
    EXPECT_FALSE(App->View().TXEnabled);
    App->KeyPress('e'); // nothing new is taken while closing
    EXPECT_EQ(ReadyToClose, 0);
    Play(1500); // the engine finishes "p" and stops: its stop event finishes the close
    EXPECT_EQ(App->CloseState(), TCloseState::Ready);
    EXPECT_EQ(ReadyToClose, 1);
    EXPECT_FALSE(App->Engine().Running());
    EXPECT_EQ(Queued(), "");
}

// A second close, or a signal, that arrives while the exit question is up used to run the close
// a second time from inside the first one's wait.
TEST_F(Desk, ASecondCloseOrASignalDuringTheExitQuestionClosesOnce) {
    Settings.Main.AskEnd = true;
    Start();
    int asked = 0;
    WhileAsked = [&] {
        ++asked;
        App->RequestClose();     // the close box again: absorbed
        App->RequestClose(true); // SIGTERM: the close goes on whatever the answer
    };
    AnswerOk = false;
    App->RequestClose();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(App->CloseState(), TCloseState::Ready);
    EXPECT_EQ(ReadyToClose, 1);
    App->RequestClose(true); // after it: nothing more
    EXPECT_EQ(ReadyToClose, 1);
    EXPECT_EQ(Questions.size(), 1u);
}

TEST_F(Desk, SettingsComeBackAsTheyWere) {
    Settings.Main.Speed = 88;
    Settings.Tutor.Characters = "abc";
    Settings.Form.BuLeft = 321;
    Start();
    App->ChangeSpeedBy(2);
    const std::string folder = testing::TempDir() + "brindle-desk-settings/";
    std::filesystem::remove_all(folder);
    ASSERT_TRUE(App->FormClose(folder, false));
    const TSettings back = LoadIniSettings(folder, {});
    EXPECT_EQ(back.Main.Speed, 90);
    EXPECT_EQ(back.Tutor.Characters, "abc"); // keys of windows not built yet
    EXPECT_EQ(back.Form.BuLeft, 321);
    EXPECT_EQ(back.TX.TXAudioDeviceName, "null");
    TSettings expected = App->Settings();
    EXPECT_EQ(back, expected);
    std::filesystem::remove_all(folder);
}

// --- The output device check ---------------------------------------------------------------------

TEST_F(Desk, OnlyBluetoothPortsGiveNone) {
    Ports = {Port("rfcomm0", "Bluetooth serial"), Port("rfcomm1", "BLUETOOTH")};
    Start();
    EXPECT_EQ(App->OutputChoice().PortEntries, std::vector<std::string>{"none"});
    EXPECT_FALSE(App->OutputChoice().ComEnabled);
    EXPECT_EQ(App->Output().ComPortNumber(), 0);
    EXPECT_EQ(App->OutputChoice().Chosen, 0);
}

TEST_F(Desk, StoredPortIsSelectedOrReplaced) {
    Ports.resize(5);
    Ports[2] = Port("ttyS2");
    Ports[4] = Port("ttyS4");
    Settings.TX.TXComPort = 5;
    Start();
    EXPECT_EQ(App->OutputChoice().PortEntries, (std::vector<std::string>{"COM3", "COM5"}));
    EXPECT_EQ(App->OutputChoice().PortSelected, 1);
    EXPECT_EQ(App->Output().ComPortNumber(), 5);

    Ports.assign(4, {});
    Ports[2] = Port("ttyS2");
    Ports[3] = Port("ttyS3");
    App->SerialPortsChanged();
    EXPECT_EQ(App->OutputChoice().PortSelected, 0);
    EXPECT_EQ(App->Output().ComPortNumber(), 3); // the first listed port becomes the stored one
}

TEST_F(Desk, StoredComOutputWithoutPortsStartsOnSoundSilently) {
    Settings.TX.Output = 2;
    Start();
    EXPECT_EQ(Output(), TOutputDevice::Sound);
    EXPECT_TRUE(Messages.empty());
}

TEST_F(Desk, ComOutputLost) {
    Ports.resize(5);
    Ports[4] = Port("ttyUSB0", "FT232R USB UART");
    Settings.TX.Output = 2;
    Settings.TX.TXComPort = 5;
    Start();
    ASSERT_EQ(Output(), TOutputDevice::Com) << (Messages.empty() ? "" : Messages[0]);
    EXPECT_EQ(App->OutputChoice().PortDevices[0], "ttyUSB0: FT232R USB UART");
    Ports.clear(); // unplugged
    App->SerialPortsChanged();
    EXPECT_EQ(Output(), TOutputDevice::Sound);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0], "There is no device for COM Output: RESET");
    EXPECT_EQ(Severities[0], TSeverity::Warning);
    EXPECT_EQ(App->OutputChoice().PortEntries, std::vector<std::string>{"none"});
}

TEST_F(Desk, ComOutputLostWithoutSound) {
    Ports.resize(5);
    Ports[4] = Port("ttyUSB0");
    Settings.TX.Output = 2;
    Settings.TX.TXComPort = 5;
    Sound.Outputs.clear();
    Start();
    ASSERT_EQ(Output(), TOutputDevice::Com);
    Ports.clear();
    App->SerialPortsChanged();
    EXPECT_EQ(Output(), TOutputDevice::None);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0], "There are no devices for Sound or COM Output");
    EXPECT_FALSE(App->View().TXEnabled);
    EXPECT_FALSE(App->View().SingleModeEnabled);
}

// A sound server that restarts (or a resume from suspend) takes every sound output away for a
// moment. A port present then must never take over: it would key a transmitter nobody asked for.
TEST_F(Desk, ALostSoundOutputLeavesNoOutputAndComesBackByItself) {
    Ports.resize(5);
    Ports[2] = Port("ttyS2");
    Start();
    ASSERT_EQ(Output(), TOutputDevice::Sound);
    Sound.Outputs.clear();
    App->SoundOutputsChanged();
    EXPECT_EQ(Output(), TOutputDevice::None);
    EXPECT_FALSE(App->Output().ComKeyingActive());
    EXPECT_FALSE(App->SerialLines().IsOpen());
    EXPECT_FALSE(App->View().TXEnabled);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0], "There is no device for Sound Output: RESET");
    EXPECT_EQ(App->Output().Requested(), TOutputDevice::Sound);

    Sound.Outputs = {{"null", "Null Output"}}; // the server is back
    App->SoundOutputsChanged();
    EXPECT_EQ(Output(), TOutputDevice::Sound);
    EXPECT_TRUE(App->SoundOut().IsOpen());
    Type("e");
    Play(1000);
    EXPECT_EQ(Unsent(), ""); // heard again
    const std::string folder = testing::TempDir() + "brindle-desk-lost/";
    std::filesystem::remove_all(folder);
    ASSERT_TRUE(App->FormClose(folder, false));
    EXPECT_EQ(LoadIniSettings(folder, {}).TX.Output, 1); // the user's choice stays
    std::filesystem::remove_all(folder);
}

// A headset plugged in reorders the server's list: the tone stays on the output chosen, found
// again by its name, and so does a practice under way.
TEST_F(Desk, AnOutputPluggedInNeverTakesTheToneFromTheOneChosen) {
    Sound.Outputs = {{"speakers", "Speakers"}, {"hdmi", "HDMI"}};
    Settings.TX.TXAudioDevice = 1;
    Settings.TX.TXAudioDeviceName = "hdmi";
    Start();
    ASSERT_EQ(Sound.LastDevice, 1);
    Type("paris");
    Play(300);
    Sound.Outputs = {{"headset", "Headset"}, {"speakers", "Speakers"}, {"hdmi", "HDMI"}};
    App->SoundOutputsChanged();
    EXPECT_EQ(Sound.LastDevice, 2);
    Sound.Outputs = {{"speakers", "Speakers"}, {"hdmi", "HDMI"}}; // and unplugged again
    App->SoundOutputsChanged();
    EXPECT_EQ(Sound.LastDevice, 1);
    Play(10000);
    EXPECT_EQ(Unsent(), ""); // heard to its end
}

TEST_F(Desk, APortIsNeverTakenUnlessTheUserChoseIt) {
    Ports.resize(5);
    Ports[2] = Port("ttyS2");
    Settings.TX.TXComPort = 3;
    Sound.Outputs.clear();
    Start(); // no sound at all, a port present: no output
    EXPECT_EQ(Output(), TOutputDevice::None);
    EXPECT_TRUE(App->OutputChoice().ComEnabled);
    EXPECT_FALSE(App->SerialLines().IsOpen());
    App->ChooseOutput(1); // the user chooses the port: kept to, and saved
    EXPECT_EQ(Output(), TOutputDevice::Com);
    EXPECT_EQ(App->Output().Requested(), TOutputDevice::Com);
    Sound.Outputs = {{"null", "Null Output"}}; // a sound output arrives: the port stays
    App->SoundOutputsChanged();
    EXPECT_EQ(Output(), TOutputDevice::Com);
}

TEST_F(Desk, NoDevicesThenASoundDevice) {
    Sound.Outputs.clear();
    Start();
    EXPECT_EQ(Output(), TOutputDevice::None);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0], "There are no devices for Sound or COM Output");
    EXPECT_FALSE(App->View().TXEnabled);
    EXPECT_FALSE(App->OutputChoice().TestButtonEnabled);
    Sound.Outputs = {{"usb", "Headset"}};
    App->SoundOutputsChanged();
    EXPECT_EQ(Output(), TOutputDevice::Sound);
    EXPECT_TRUE(App->SoundOut().IsOpen());
    EXPECT_TRUE(App->View().TXEnabled);
    EXPECT_TRUE(App->OutputChoice().TestButtonEnabled);
    Type("e");
    Play(1000);
    EXPECT_EQ(Unsent(), ""); // and it is heard
}

TEST_F(Desk, ChoosingAPortWhileOnSoundKeepsTheStoredOne) {
    Ports.resize(5);
    Ports[2] = Port("ttyS2");
    Ports[4] = Port("ttyS4");
    Settings.TX.TXComPort = 3;
    Start();
    ASSERT_EQ(Output(), TOutputDevice::Sound);
    App->ChoosePort(1);
    EXPECT_EQ(App->SerialLines().PortNumber(), 5);
    EXPECT_EQ(App->Output().ComPortNumber(), 3);
}

TEST_F(Desk, SwitchingOutputsKeepsTheDisplayInStepAndTheLinesOff) {
    SendWithAPortOnCom5(); // "p" is on the air
    App->ChooseOutput(1);  // to COM: everything queued is dropped with the display
    EXPECT_TRUE(App->Output().Switching());
    EXPECT_EQ(App->View().Busy, "Switching the output ...");
    EXPECT_FALSE(App->View().TXEnabled);
    EXPECT_FALSE(App->Engine().HasChars());
    Play(1500); // "p" ends, the engine stops, and the switch goes on from its stop event
    ASSERT_EQ(Output(), TOutputDevice::Com);
    EXPECT_FALSE(App->Output().Switching());
    EXPECT_TRUE(App->View().Busy.empty());
    EXPECT_EQ(Display.TextEnd(), Display.SentMark());
    Type("ee");
    for (int i = 0; i < 2000 && App->Engine().HasChars(); ++i)
        Tick(1);
    Tick(1000);
    EXPECT_EQ(Unsent(), "");
    App->ChooseOutput(0);
    EXPECT_EQ(Output(), TOutputDevice::Sound); // nothing on the air: at once
    EXPECT_FALSE(App->SerialLines().IsOpen());
    EXPECT_FALSE(App->Output().ComKeyingActive());
}

// A switch asked for while one waits for the engine used to run inside the first one's wait.
TEST_F(Desk, ASwitchAskedForDuringASwitchIsTakenWhenItEnds) {
    SendWithAPortOnCom5();
    App->ChooseOutput(1);
    ASSERT_TRUE(App->Output().Switching());
    App->ChooseOutput(0); // back to sound: waits for the first switch
    App->ChooseOutput(1); // and to COM again: the last request wins
    EXPECT_TRUE(App->Output().Switching());
    Play(1500);
    EXPECT_EQ(Output(), TOutputDevice::Com);
    EXPECT_FALSE(App->Output().Switching());
    EXPECT_TRUE(App->Output().ComKeyingActive());

    Type("eeeee");
    Tick(150); // an "e" is on the air
    ASSERT_TRUE(App->Engine().CharOnAir());
    App->ChooseOutput(0);
    App->ChooseOutput(1); // asked for while the first switch waits ...
    App->ChooseOutput(0); // ... and changed again: the last request wins
    EXPECT_EQ(Output(), TOutputDevice::Com);
    Tick(600); // the "e" ends
    EXPECT_EQ(Output(), TOutputDevice::Sound);
    EXPECT_FALSE(App->Output().Switching());
    EXPECT_FALSE(App->SerialLines().IsOpen());
    EXPECT_TRUE(Messages.empty());
}

TEST_F(Desk, ASwitchEndsAfterItsTimeLimitWhenTheEngineNeverStops) {
    SendWithAPortOnCom5();
    App->ChooseOutput(1);
    ASSERT_TRUE(App->Output().Switching());
    // The sound server asks for nothing more: the engine never reaches the end of "p".
    LaterNow += TOutputSwitch::StopLimitMs;
    RunLater();
    EXPECT_EQ(Output(), TOutputDevice::Com);
    EXPECT_FALSE(App->Engine().SoundMode());
}

TEST_F(Desk, PastedLinesOfALinuxTextKeepTheirLineBreaks) {
    Start();
    App->Paste("cq cq\nde dl1abc\n");
    EXPECT_EQ(Shown(), "cq cq\r\nde dl1abc\r\n");
    EXPECT_EQ(Queued(), "cq cq\rde dl1abc\r");
}
