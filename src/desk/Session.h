// A practice session from its confirmation to its summary, and the speed and sound tests. Composes
// the session dialog from the parameters, feeds the engine one piece at a time (the start text,
// each item with its repetitions, the end text) at the engine's last-character events, runs the
// speed plan, and writes the summary into the display. Holds the practice material the File menu
// loads. No widgets: the dialog is asked through the platform; "now" comes from an injected
// monotonic clock and the random groups from an injected seed, so tests run a session exactly.
#pragma once

#include "practice/PracticeMaterial.h"
#include "practice/RandomChars.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace brindle {

class TLogoApp;

// What the session dialog shows: its caption and its six lines, from the top.
struct TSessionDialog {
    std::string Caption;
    std::array<std::string, 6> Lines;
    bool operator==(const TSessionDialog&) const = default;
};

// What the open dialog of a list shows: title, folder and file name (UTF-8; the folder empty for
// the data folder). Its filter is "Text files (*.txt)" and "all files (*.*)".
struct TOpenRequest {
    std::string Title;
    std::string Folder;
    std::string FileName;
};

// The entries of the parameters window's "Repeat" and "Increment Speed" lists.
inline constexpr std::array<const char*, 5> RepeatEntries = {"Send once", "Send 2x", "Send 3x",
                                                             "Send 4x", "Send 5x"};
inline constexpr std::array<const char*, 7> FasterEntries = {"x 1.0", "x 1.05", "x 1.1", "x 1.2",
                                                             "x 1.3", "x 1.4",  "x 1.5"};
// The factor of an "Increment Speed" entry: the number its last four characters form.
double FasterFactor(int fasterIndex);
// A speed in CpM (WpM: divided by 5) rounded to 3 significant digits, with 2 decimals and a
// decimal point whatever the locale, then " CpM" or " WpM" and a line break: "61.90 CpM\r".
std::string FormatOverallSpeed(double cpm, bool showWpM);
// A span as whole hours (at least two digits), minutes and seconds: "01:05:07".
std::string FormatSessionTime(int64_t spanMs);
// The shown character set cut for the dialog's lines 2 and 3: at 45 characters, or just before a
// "<" among the characters 41 to 45, so that no prosign is cut; line 3 takes 90 at most.
void CutCharacterLines(const std::string& shown, std::string& line2, std::string& line3);

class TSession {
public:
    using TClock = std::function<int64_t()>; // monotonic [ms]

    TSession(TLogoApp& app, TClock clock, TRandomChars::TSeedClock seed);

    // --- Commands ---------------------------------------------------------------------------
    // F3, the Work menu and the start button: the dialog, and on OK the session starts.
    void StartSession();
    // The Work menu's "Speed Test".
    void StartSpeedTest();
    // The parameters window's test button; the button, Esc and the TX button stop it.
    void ToggleSoundTest();
    void StopSoundTest();
    // Loads words, phrases or a text for the sessions; false (after the message) when the file
    // could not be read, and then nothing has changed.
    bool LoadMaterial(TMaterialKind kind, const std::string& path);
    TOpenRequest OpenRequest(TMaterialKind kind) const;

    // --- The engine's last-character event, by session state ---------------------------------
    void AdvanceSession();   // 1, 2, 8 and 3
    void SessionDone();      // 4: the end text has been sent
    void SpeedTestDone();    // 6
    void SpeedTestAborted(); // 7
    void SoundTestNext();    // 10
    // Queues the next piece by the session state.
    void ProduceItem();
    // Single mode: the user asks for the next item.
    void StepToNextItem();
    // Single mode: an item is repeated; the speed plan does not advance for it.
    void StepBackSpeedPlan();
    // The TX button went down: the measured stretch starts again.
    void RestartTimes();
    void ComputeOverallSpeed();

    // The dialog as last composed (also for tests).
    const TSessionDialog& Dialog() const { return Dialog_; }
    TRandomChars& Random() { return Random_; }
    TPracticeMaterial Material;

    // Session fields (names as the program has always used them).
    int ItemsProduced = 0;
    int RepeatsLeft = 0;
    std::string LastItem; // engine form, without the space or word-space separator
    int GroupSize = 0;
    int TextWordsFetched = 0;
    std::size_t TextPos = 0; // 0-based in Material.Text
    int StartSpeed = 30;     // [CpM]
    int EndSpeed = 40;       // [CpM]
    double CurrentSpeed = 30;
    double SpeedStep = 0;
    bool StartTextEmpty = false;
    bool EndTextEmpty = false;
    int64_t SessionStartTime = 0, ItemsStartTime = 0, ItemsEndTime = 0, SessionEndTime = 0; // [ms]
    double OverallSpeed = 0;                                                                // [CpM]
    int MaxBufferFill = 0; // the most characters queued at once since the session started

private:
    int64_t Now() const { return Clock_(); }
    bool ItemsDone() const;
    bool ComposeDialog(std::string& chars);
    std::string NewItem();
    void Queue(const std::string& text);
    void ApplyCurrentSpeed();
    void EndSpeedTest();
    void Info(const std::string& text);

    TLogoApp& App_;
    TClock Clock_;
    TRandomChars Random_;
    TSessionDialog Dialog_;
};

} // namespace brindle
