// Text into the type-ahead buffer and onto the display: typed characters with the prosign entry
// ("<", two letters, and "<so" becomes "<sos>"), Backspace over what is not yet sent, texts from
// the session, the buffers and the clipboard, and the screen files: a text file loaded to the
// screen as if typed (in steps from the event loop, so that Esc can stop a long load and
// nothing is sent until all is loaded) and the display's text saved to a file.
#pragma once

#include "base/MessageSink.h"
#include "base/Signal.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace brindle {

class TMorseEngine;
class TDisplayModel;
struct TOpenRequest;
struct TCharSet;
struct TSettings;
struct TQueueStyle;

// What the sender works with: the engine's type-ahead buffer, the display, the settings (the
// case shown and the screen file's place), the messages, the style the session queues in, whether
// the pause button is down, and the calls for later.
struct TSenderNeeds {
    TMorseEngine& Engine;
    TDisplayModel& Display;
    TSettings& Settings;
    TMessageSink Messages;
    std::function<TQueueStyle()> QueueStyle;
    std::function<bool()> PauseDown;
    std::function<void(int ms, std::function<void()> call)> Later;
};

// How a queued text is coded and shown.
struct TQueueStyle {
    bool SingleMode = false;     // line ends become item ends, spaces pauses
    bool SpacesArePauses = true; // in single mode; not for phrases, whose words stay together
    bool Shown = true;           // the display shows the text (an empty start or end text is not)
    bool ItemEndShown = true;    // an item end shows as a line break (not after the last phrase)
};

class TSender {
public:
    // A file loaded to the screen is read in parts of this size, each cut after its last line
    // end, so that a huge file is never held whole. [bytes]
    static constexpr std::size_t PartBytes = 1 << 20;
    // What one step of a screen load queues, at most. [characters]
    static constexpr std::size_t StepChars = 4096;
    // A screen load reads at most this much of a file (4 MiB), far more than the type-ahead
    // buffer's 30,000 characters need, and stops there with a message, so that a device such
    // as /dev/zero, whose bytes are never sent and never fill the buffer, is not read forever.
    // [bytes]
    static constexpr std::size_t LoadMaxBytes = std::size_t{4} << 20;

    explicit TSender(TSenderNeeds needs) : N_(std::move(needs)) {}

    TSignal<> OnChanged;       // what the main window shows may have changed
    TSignal<> OnScreenCleared; // a file is loaded to the screen: what was there is gone
    TSignal<> OnScreenLoaded;  // the file is on the screen, its start to be shown

    // --- Typing --------------------------------------------------------------------------------
    // A typed character (Windows-1252); false (after the message) when the buffer is full.
    bool SendTypedChar(uint8_t ch);
    // Backspace over the typed text that is not yet sent; a new line stays.
    void Backspace();
    bool InProsignEntry() const { return Entry_ != TEntry::None; }

    // --- Texts -------------------------------------------------------------------------------
    // Queues and shows a text in engine form (prosigns as names or codes) in the session's style;
    // false (after the message) when the type-ahead buffer is full.
    bool Queue(const std::string& text1252);
    void Paste(const std::string& clipboardUtf8);

    // --- Screen files ------------------------------------------------------------------------
    TOpenRequest ScreenOpenRequest() const;
    TOpenRequest ScreenSaveRequest() const;
    // Starts loading a file to the screen and the type-ahead buffer; false (after the message)
    // when it cannot be read. The load goes on in steps from the event loop.
    bool LoadScreenText(const std::string& path);
    bool Loading() const { return Load_.Active; }
    // Esc: the load stops after its current step and says how much was read.
    void InterruptLoading() { Load_.Interrupt = Load_.Active; }
    // The program closes: the load ends where it is, without a word.
    void CancelLoading() { Load_.Active = Load_.Interrupt = false; }
    // The display's whole text as UTF-8 lines; false (after the message) when not written.
    bool SaveScreenText(const std::string& path);
    const std::string& ScreenTextPath() const { return ScreenTextPath_; }

    // Display positions a queued character takes (a prosign its name's length).
    static int DisplayWidth(uint8_t ch);

private:
    enum class TEntry { None, Open, Letter }; // "<" typed; "<" and one letter typed
    struct TLoad {
        bool Active = false;
        bool Interrupt = false;
        bool LastPart = false;
        bool OverLimit = false; // the file goes on past LoadMaxBytes
        std::string Path;
        long long Offset = 0;   // [bytes] of the file read so far
        std::string Text;       // the current part, filtered
        std::size_t Pos = 0;    // in Text
        std::size_t Queued = 0; // characters of the filtered text queued so far
    };
    void ShowBufferFull();
    void TakePart(std::string part);
    void LoadStep();
    void FinishLoad();

    TSenderNeeds N_;
    TEntry Entry_ = TEntry::None;
    std::string PendingProsign_;
    TLoad Load_;
    std::string ScreenTextPath_;
};

// The filters a pasted or loaded text passes before it is queued (UTF-8 or Windows-1252 in,
// Windows-1252 out, prosigns as their names).
std::string PasteChain(const std::string& clipboard, const TCharSet& chars);

} // namespace brindle
