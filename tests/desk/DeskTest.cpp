// The main window's logic without widgets: typing, prosigns, pasting, the sending controls, single
// mode, closing, and the output device check. The sound output runs on a backend in memory and is
// fed by the test, so the engine's sample clock is the test's clock.
#include "desk/Desk.h"
#include "support/DeskFixture.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <filesystem>
#include <sstream>

using namespace brindle;
using brindle::test::Port;
using brindle::test::TFakeSoundBackend;
using brindle::test::TVirtualTimer;
using brindle::test::Values;

namespace {

class Desk : public brindle::test::TDeskTest {
protected:
    // The output and what follows it, as one line: the output; what is enabled (tx, single, test,
    // com) and open (lines, sound); the stored port; the port list with its devices and the radio
    // item and entry chosen; each message, its severity first (0 information, 1 warning, 2 error).
    std::string Devices() {
        static const char* const names[] = {"NotChosen", "None", "Sound", "Com"};
        const auto& c = App->OutputChoice();
        std::string s = names[static_cast<int>(Output()) + 1];
        for (const auto& [on, word] : {std::pair{App->View().TXEnabled, " tx"},
                                       {App->View().SingleModeEnabled, " single"},
                                       {c.TestButtonEnabled, " test"},
                                       {c.ComEnabled, " com"},
                                       {App->SerialLines().IsOpen(), " lines"},
                                       {App->SoundOut().IsOpen(), " sound"}})
            if (on) s += word;
        s += " | port " + std::to_string(App->Output().ComPortNumber()) + " |";
        for (std::size_t i = 0; i < c.PortEntries.size(); ++i)
            s += " " + c.PortEntries[i] + (i < c.PortDevices.size() ? "=" + c.PortDevices[i] : "");
        s += " (" + std::to_string(c.Chosen) + " " + std::to_string(c.PortSelected) + ")";
        for (std::size_t i = 0; i < Messages.size(); ++i)
            s += " | " + std::to_string(static_cast<int>(Severities[i])) + " " + Messages[i];
        return s;
    }
};

std::string Code(const char* prosign) {
    return std::string(
        1, static_cast<char>(TMorseEngine::ProsignCode(TMorseEngine::ProsignIndex(prosign))));
}
const std::string Ar = Code("<ar>");
const std::string Pauses3 = "\xFF\xFF\xFF";

} // namespace

const std::string OnSound = "Sound tx single test sound | port 0 | none= (0 0)";

// Prosigns, Backspace and the characters typed.
TEST_F(Desk, TypingProsignsBackspaceAndMappedCharacters) {
    Start();
    // Keys typed on an empty screen ("\b": Backspace), and what is shown and queued then. Three
    // strokes give a prosign, in capitals too; its name is shown in small letters, as every string
    // is. Backspace takes a prosign whole, the three pauses of an unknown one, the two positions
    // of a half-typed one, never what came before, and never a new line.
    const std::string sos = Code("<sos>");
    const struct {
        const char* Keys;
        std::string Shown, Queued;
    } cases[] = {
        {"<ar", "<ar>", Ar},          {"<ar\b", "", ""},       {"<so<SO", "<sos><Sos>", sos + sos},
        {"<xy", "<?>", Pauses3},      {"<xy\b", "", ""},       {"<x\b", "", ""},
        {"<x\b<xy", "<?>", Pauses3},  {"ab<xy\b", "ab", "ab"}, {"ab\r\b", "ab\r\n", "ab\r"},
        {"ab\rc\b", "ab\r\n", "ab\r"}};
    for (const auto& c : cases) {
        App->ClearScreenClick();
        Type(c.Keys);
        EXPECT_EQ(Values(Shown(), Queued(), App->Sender().InProsignEntry()),
                  Values(c.Shown, c.Queued, false))
            << c.Keys;
    }
    // Sent text stays: Backspace does nothing when nothing waits.
    App->ClearScreenClick();
    Type("e");
    Play(1000);
    ASSERT_FALSE(App->Engine().HasChars());
    EXPECT_EQ(Display.SentMark(), Display.TextEnd());
    App->Backspace();
    EXPECT_EQ(Shown(), "e");
    App->ClearScreenClick();

    App->Params().SetEqKeyOpt(true);
    Type("a-_");
    App->KeyPress(223);  // sharp s is a question mark
    App->KeyPress(0x80); // the euro sign cannot be sent: dropped silently
    App->KeyPress(254);  // the buffer's own codes are not characters one can type
    App->KeyPress(255);
    EXPECT_EQ(Values(Queued(), Messages.size()), "a=-? | 0");
}

TEST_F(Desk, PastingRunsTheFilterChainAndAFullBufferGivesOneMessage) {
    Start();
    App->Paste("CQ <ar> <xy> ^");
    EXPECT_EQ(Queued(), "CQ " + Ar + " "); // the unknown group and the caret vanish
    EXPECT_EQ(Shown(), "CQ <ar> ");
    // The lines of a Linux text keep their line breaks.
    App->ClearScreenClick();
    App->Paste("cq cq\nde dl1abc\n");
    EXPECT_EQ(Values(Shown(), Queued()), "cq cq\r\nde dl1abc\r\n | cq cq\rde dl1abc\r");
    // Binary data and invalid UTF-8 never reach the buffer as anything unsendable.
    App->ClearScreenClick();
    App->Paste(std::string("a\0b\xC3\x28\x01", 6));
    for (char c : Queued())
        EXPECT_TRUE(App->Engine().IsSendable(static_cast<uint8_t>(c))) << int(c);

    App->ClearScreenClick();
    App->Paste(std::string(10 << 20, 'e')); // 10 MB; nothing plays: no sound is fed
    EXPECT_EQ(Messages, std::vector<std::string>{"Warning: Type-ahead buffer is full: 30000"});
    EXPECT_EQ(Display.TextEnd() - 1, 29999);
    Type("e"); // typing into a full buffer: the message again, nothing shown
    EXPECT_EQ(Values(Messages.size(), Display.TextEnd() - 1), "2 | 29999");
}

// Start opens the sound output of the settings; the engine runs in sound mode on one channel.
TEST_F(Desk, SentCharactersAreMarkedAsTheEngineReportsThemAndEscRemovesTheUnsentRest) {
    Start();
    EXPECT_EQ(Devices(), OnSound);
    EXPECT_EQ(Values(App->Engine().Running(), App->Engine().SoundMode(), App->SoundOut().Channels(),
                     App->View().SpeedText),
              "1 | 1 | 1 | 60");
    Type("paris");
    EXPECT_EQ(Values(Unsent(), App->View().TXCaption), "paris | AutoStart");
    Play(150); // PTT lead and the first elements
    EXPECT_EQ(Values(App->View().TXDown, App->View().TXCaption), "1 | Stop");
    EXPECT_EQ(App->View().PauseState, TPauseState::Pause);
    Play(5000);
    EXPECT_EQ(Unsent(), "");
    Play(3000); // the PTT hold time
    EXPECT_EQ(Values(App->View().TXDown, App->View().TXCaption), "0 | AutoStart");

    Type("paris paris");
    Play(400);
    App->Escape();
    EXPECT_EQ(Unsent(), "p");    // the character on the air stays until it is reported
    EXPECT_EQ(Queued(), "\xFE"); // an end-of-item pause, as something was removed
}

TEST_F(Desk, SpeedBoxEntryAndStepsAndPause) {
    Start();
    App->Params().SetShowWpM(true);
    EXPECT_EQ(App->View().SpeedText, "12.0");
    // The engine's speed and the box after each entry: 62.5 rounds to the even 62, 61.5 to 62; a
    // decimal comma is not a number; in CpM, not a number; the engine's limit.
    std::string speeds;
    for (const char* typed : {"12.5", "12.3", "12,5", "", "abc", "5000"}) {
        if (!*typed) App->Params().SetShowWpM(false);
        if (*typed) App->SetNewSpeedVal(typed);
        speeds += Values(App->Engine().Speed(), App->View().SpeedText) + ", ";
    }
    EXPECT_EQ(speeds, "62 | 12.4, 62 | 12.4, 62 | 12.4, 62 | 62, 62 | 62, 300 | 300, ");

    // The arrows: Shift 10, Ctrl alone 1, both 100. The up-down has moved one already; with Shift
    // the step is ten from where it was.
    App->SetNewSpeedVal("60");
    EXPECT_TRUE(App->CWSpeedArrow(true, {.Shift = true}));
    speeds = std::to_string(App->Engine().Speed());
    App->CWSpeedArrow(true, {.Ctrl = true});
    speeds += " " + std::to_string(App->Engine().Speed());
    App->CWSpeedArrow(true, {.Shift = true, .Ctrl = true});
    speeds += " " + std::to_string(App->Engine().Speed());
    App->CWSpeedArrow(false, {});
    speeds += " " + std::to_string(App->Engine().Speed());
    App->CWSpeedUpDownClick(171, {.Shift = true});
    speeds += " " + Values(App->Engine().Speed(), App->View().SpeedPosition);
    App->CWSpeedUpDownClick(179, {});
    EXPECT_EQ(speeds + " " + std::to_string(App->Engine().Speed()), "70 71 171 170 180 | 180 179");

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
    EXPECT_EQ(Values(App->Engine().HasChars(), Unsent()), "0 | ");
}

TEST_F(Desk, SingleModeItemsAndOneRepeatAndHiddenText) {
    Start();
    App->SetSingleMode();
    EXPECT_EQ(Values(App->View().SingleModeShown, App->View().SingleModeCaption),
              "1 | Stop Single Mode");
    Type("ab cd");
    EXPECT_EQ(Shown(), "ab cd");
    Play(4000); // "ab", then the engine holds after the separator
    EXPECT_EQ(Values(App->Engine().Hold(), App->Controls().ItemCharCount()), "1 | 3");
    EXPECT_EQ(App->View().PauseState, TPauseState::Resume);
    App->Backspace(); // repeat
    App->Backspace(); // a second repeat waits for the next item
    EXPECT_EQ(Values(App->Controls().RepeatingItem(), App->Engine().PeekChar()), "1 | a");
    Play(4000);
    EXPECT_EQ(Values(App->Engine().Hold(), App->Engine().PeekChar()), "1 | c");
    App->Enter(); // next item
    Play(4000);
    EXPECT_FALSE(App->Engine().HasChars());
    App->StopSingleMode();
    EXPECT_EQ(Values(App->View().SingleModeShown, App->Engine().Hold()), "0 | 0");

    App->ClearScreenClick();
    App->HideButtonClick(true);
    EXPECT_EQ(Values(App->View().DisplayVisible, App->View().HideCaption), "0 | Show Text");
    Type("ee");
    EXPECT_EQ(Shown(), "ee"); // still written
    App->HideButtonClick(false);
    EXPECT_EQ(Values(App->View().DisplayVisible, App->View().HideCaption), "1 | Hide Text");
}

TEST_F(Desk, CloseWithAskEndClosesOnce) {
    Settings.Main.AskEnd = true;
    Start();
    Type("paris");
    AnswerOk = false;
    App->RequestClose();
    EXPECT_EQ(Questions, std::vector<std::string>{"Do you really want to exit Brindle?"});
    EXPECT_EQ(App->CloseState(), TCloseState::Open);
    // Still queued and shown, and not held.
    EXPECT_EQ(Values(Shown(), App->Engine().HasChars(), App->Engine().Hold()), "paris | 1 | 0");
    AnswerOk = true;
    App->RequestClose();
    EXPECT_EQ(App->CloseState(), TCloseState::Ready); // nothing was on the air
    // The unsent characters left the display.
    EXPECT_EQ(Values(ReadyToClose, Shown(), App->Engine().Running()), "1 |  | 0");

    // A second close, or a signal, that arrives while the exit question is up used to run the
    // close a second time from inside the first one's wait.
    App.reset();
    ReadyToClose = 0;
    Start();
    int asked = 0;
    WhileAsked = [&] {
        ++asked;
        App->RequestClose();     // the close box again: absorbed
        App->RequestClose(true); // SIGTERM: the close goes on whatever the answer
    };
    AnswerOk = false;
    App->RequestClose();
    EXPECT_EQ(App->CloseState(), TCloseState::Ready);
    EXPECT_EQ(Values(asked, ReadyToClose), "1 | 1");
    App->RequestClose(true); // after it: nothing more
    EXPECT_EQ(Values(ReadyToClose, Questions.size()), "1 | 3");
}

TEST_F(Desk, TheCloseWaitsForTheCharacterOnTheAirWithoutAnEventLoop) {
    Start();
    Type("paris paris");
    Play(300); // "p" is being keyed
    ASSERT_TRUE(App->Engine().CharOnAir());
    App->RequestClose();
    EXPECT_EQ(App->CloseState(), TCloseState::Stopping);
    EXPECT_EQ(Values(App->View().Busy, App->View().TXEnabled), "Closing Brindle ... | 0");
    App->KeyPress('e'); // nothing new is taken while closing
    EXPECT_EQ(ReadyToClose, 0);
    Play(1500); // the engine finishes "p" and stops: its stop event finishes the close
    EXPECT_EQ(App->CloseState(), TCloseState::Ready);
    EXPECT_EQ(Values(ReadyToClose, App->Engine().Running(), Queued()), "1 | 0 | ");
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
    // Keys of windows not built yet come back too.
    EXPECT_EQ(
        Values(back.Main.Speed, back.Tutor.Characters, back.Form.BuLeft, back.TX.TXAudioDevice),
        "90 | abc | 321 | 0");
    EXPECT_EQ(back, App->Settings());
    std::filesystem::remove_all(folder);
}

// --- The output device check ---------------------------------------------------------------------

// The ports (COM1 first), whether there is a sound output, and the stored output at start; the
// devices then, and after the ports are unplugged (with ports) or a sound output arrives.
struct TDeviceCase {
    std::vector<TDetectedPort> Ports;
    bool Sound;
    int Stored;                 // 1 sound output, 2 COM port
    std::string AtStart, After; // After: empty when nothing changes
};
void PrintTo(const TDeviceCase& c, std::ostream* o) {
    *o << c.AtStart;
}
class DeviceCheck : public Desk, public testing::WithParamInterface<TDeviceCase> {};

TEST_P(DeviceCheck, AtStartAndAfterAChange) {
    const TDeviceCase& c = GetParam();
    Settings.TX.Output = c.Stored;
    if (c.Ports.size() == 5) Settings.TX.TXComPort = 5; // the USB port's
    Ports = c.Ports;
    if (!c.Sound) Sound.Outputs.clear();
    Start();
    EXPECT_EQ(Devices(), c.AtStart);
    if (c.After.empty()) return;
    if (!Ports.empty()) {
        Ports.clear(); // unplugged
        App->SerialPortsChanged();
        EXPECT_EQ(Devices(), c.After);
        return;
    }
    Sound.Outputs = {{"usb", "Headset"}};
    App->SoundOutputsChanged();
    EXPECT_EQ(Devices(), c.After);
    Type("e");
    Play(1000);
    EXPECT_EQ(Unsent(), ""); // and it is heard
}

const std::vector<TDetectedPort> Usb = {{}, {}, {}, {}, Port("ttyUSB0", "FT232R USB UART")};
const std::string ComOnUsb =
    "Com tx single test com lines | port 5 | COM5=ttyUSB0: FT232R USB UART (1 0)";
const std::string NoDevices = " | 1 There are no devices for Sound or COM Output";
const std::vector<TDeviceCase> DeviceCases = {
    // Only Bluetooth ports: no port.
    {{Port("rfcomm0", "Bluetooth serial"), Port("rfcomm1", "BLUETOOTH")}, true, 1, OnSound, ""},
    {{}, true, 2, OnSound, ""}, // a stored COM port without ports starts on sound, silently
    {Usb, true, 2, ComOnUsb, OnSound + " | 1 There is no device for COM Output: RESET"},
    {Usb, false, 2, ComOnUsb, "None | port 0 | none= (-1 0)" + NoDevices},
    {{}, false, 1, "None | port 0 | none= (-1 0)" + NoDevices, OnSound + NoDevices},
};
INSTANTIATE_TEST_SUITE_P(Desk, DeviceCheck, testing::ValuesIn(DeviceCases));

TEST_F(Desk, StoredPortIsSelectedKeptOrReplaced) {
    Ports.resize(5);
    Ports[2] = Port("ttyS2");
    Ports[4] = Port("ttyS4");
    Settings.TX.TXComPort = 5;
    Start();
    EXPECT_EQ(Devices(),
              "Sound tx single test com sound | port 5 | COM3=ttyS2: ttyS COM5=ttyS4: ttyS (0 1)");
    App->ChoosePort(0); // on sound: the lines open on the port chosen, the stored one stays
    EXPECT_EQ(Values(App->SerialLines().PortNumber(), App->Output().ComPortNumber()), "3 | 5");
    Ports.assign(4, {});
    Ports[2] = Port("ttyS2");
    Ports[3] = Port("ttyS3");
    App->SerialPortsChanged(); // the first listed port becomes the stored one
    EXPECT_EQ(Devices(),
              "Sound tx single test com sound | port 3 | COM3=ttyS2: ttyS COM4=ttyS3: ttyS (0 0)");
}

// A headset plugged in reorders the server's list: the tone stays on the output chosen, found
// again by its name, and so does a practice under way.
TEST_F(Desk, AnOutputPluggedInNeverTakesTheToneFromTheOneChosen) {
    Sound.Outputs = {{"speakers", "Speakers"}, {"hdmi", "HDMI"}};
    Settings.TX.TXAudioOutput = "hdmi";
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
    EXPECT_EQ(Devices(), "None test com | port 3 | COM3=ttyS2: ttyS (-1 0)");
    App->ChooseOutput(1); // the user chooses the port: kept to, and saved
    EXPECT_EQ(Output(), TOutputDevice::Com);
    EXPECT_EQ(App->Output().Requested(), TOutputDevice::Com);
    Sound.Outputs = {{"null", "Null Output"}}; // a sound output arrives: the port stays
    App->SoundOutputsChanged();
    EXPECT_EQ(Output(), TOutputDevice::Com);
}

TEST_F(Desk, SwitchingOutputsKeepsTheDisplayInStepAndTheLinesOff) {
    SendWithAPortOnCom5(); // "p" is on the air
    App->ChooseOutput(1);  // to COM: everything queued is dropped with the display
    EXPECT_EQ(Values(App->Output().Switching(), App->View().Busy, App->View().TXEnabled,
                     App->Engine().HasChars()),
              "1 | Switching the output ... | 0 | 0");
    Play(1500); // "p" ends, the engine stops, and the switch goes on from its stop event
    ASSERT_EQ(Output(), TOutputDevice::Com);
    EXPECT_EQ(Values(App->Output().Switching(), App->View().Busy), "0 | ");
    EXPECT_EQ(Display.TextEnd(), Display.SentMark());
    Type("ee");
    for (int i = 0; i < 2000 && App->Engine().HasChars(); ++i)
        Tick(1);
    Tick(1000);
    EXPECT_EQ(Unsent(), "");
    App->ChooseOutput(0);
    EXPECT_EQ(Output(), TOutputDevice::Sound); // nothing on the air: at once
    EXPECT_EQ(Values(App->SerialLines().IsOpen(), App->Output().ComKeyingActive()), "0 | 0");
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
    EXPECT_EQ(Values(App->Output().Switching(), App->Output().ComKeyingActive()), "0 | 1");

    Type("eeeee");
    Tick(150); // an "e" is on the air
    ASSERT_TRUE(App->Engine().CharOnAir());
    App->ChooseOutput(0);
    App->ChooseOutput(1); // asked for while the first switch waits ...
    App->ChooseOutput(0); // ... and changed again: the last request wins
    EXPECT_EQ(Output(), TOutputDevice::Com);
    Tick(600); // the "e" ends
    EXPECT_EQ(Output(), TOutputDevice::Sound);
    EXPECT_EQ(Values(App->Output().Switching(), App->SerialLines().IsOpen(), Messages.size()),
              "0 | 0 | 0");
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
