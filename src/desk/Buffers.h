// The text buffers window's logic without widgets: four one-line buffers that are sent with one
// click or repeated, loaded from and saved to text files, and kept between runs in the files
// "CWBuffer1.txt" ... "CWBuffer4.txt" of the data folder. A buffer's file is written at exit only
// when the buffer was changed. Files are UTF-8 (read as Windows-1252 when not valid UTF-8); in
// memory a buffer is Windows-1252, prosigns as their names.
#pragma once

#include "base/MessageSink.h"
#include "base/Signal.h"

#include <array>
#include <functional>
#include <string>

namespace brindle {

class TMorseEngine;
struct TSettings;

// What the text buffers work with: the settings (the case shown), the engine (whether something
// is being sent), whether a session runs, and the messages.
struct TTextBuffersNeeds {
    const TSettings& Settings;
    const TMorseEngine& Engine;
    std::function<bool()> SessionIdle;
    TMessageSink Messages;
};

inline constexpr int BufferCount = 4;
inline constexpr std::size_t BufferMaxLength = 60; // [characters]

// The characters of the Morse tables, prosigns by their names; everything else goes.
std::string NormalizeText(const std::string& text1252);
// The first BufferMaxLength characters of a buffer file, up to a NUL byte; false (with the
// system's reason) when it cannot be read.
bool ReadBufferFile(const std::string& path, std::string& text1252, std::string& error);
// The normalised text as UTF-8, replacing the file atomically; false with the reason.
bool WriteBufferFile(const std::string& path, const std::string& text1252, std::string& error);

struct TBuffer {
    std::string Text;      // Windows-1252
    bool Modified = false; // typed, erased or loaded: written at exit
    std::string FileName;  // the file last used, UTF-8
};

// What the buffers window shows and enables.
struct TBufferView {
    std::array<TBuffer, BufferCount> Buffers;
    int Repeating = -1; // the buffer whose Repeat button is down, -1 none
};

// What an open or save dialog of a buffer shows.
struct TBufferFileRequest {
    std::string Title;
    std::string FileName; // full path, UTF-8
};

class TTextBuffers {
public:
    explicit TTextBuffers(TTextBuffersNeeds needs);

    // At start: the data folder (ending in "/") is made when missing and the buffer files read;
    // a missing one is created empty. The fields follow the all-caps flag.
    bool Create(const std::string& dataFolder, bool allCaps);
    // At exit: every changed buffer is written to its own buffer file.
    void SaveChanged();

    const TBufferView& View() const { return View_; }
    TSignal<> OnChanged;                // View() may have changed
    TSignal<const std::string&> OnSend; // a buffer's text (Windows-1252) to send

    // Row n = 0..3.
    void New(int n);
    TBufferFileRequest LoadRequest(int n) const;
    TBufferFileRequest SaveRequest(int n) const;
    bool Load(int n, const std::string& path);
    bool Save(int n, const std::string& path);
    void Transmit(int n);
    // The Repeat button was clicked: down is its new state.
    void RepeatClick(int n, bool down);
    void ReleaseRepeatButtons();
    // The field's text as the user left it (typed): marked for saving.
    void Edited(int n, const std::string& text1252);
    // Enter, Esc or leaving the field: the field's text normalised.
    void Normalize(int n);
    void SetAllCaps(bool on);
    // The engine has sent its last character: a repeating buffer is sent again.
    void RepeatIfSet();

private:
    void Changed();
    std::string OwnFile(int n) const;

    TTextBuffersNeeds N_;
    TBufferView View_;
    std::string DataFolder_;
};

} // namespace brindle
