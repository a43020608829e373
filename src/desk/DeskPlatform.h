// What the main window's logic needs from around it: timers, the sound backend, the message
// boxes, the questions and dialogs, the ports, the clock and the seed. The program gives the real
// things; tests give fakes and step time themselves.
#pragma once

#include "audio/SoundBackend.h"
#include "base/MessageSink.h"
#include "engine/MsTimer.h"
#include "serial/SerialLines.h"
#include "serial/SerialPorts.h"
#include "settings/Settings.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace brindle {

struct TSessionDialog;

struct TDeskPlatform {
    IMsTimer* Timer = nullptr;                      // the engine's timer for keying a port
    std::unique_ptr<ISoundBackend> SoundBackend;    // empty: PulseAudio
    TMessageSink Messages;                          // queued message boxes
    std::function<void(const std::string&)> Status; // a line in the status bar
    std::function<bool(const std::string& question)> AskOkCancel; // modal; true = OK
    std::function<bool(const std::string& question)> AskYesNo;    // modal, Yes first; true = Yes
    // Runs a call from the event loop after ms [ms] (0: as soon as the loop is back), never at
    // once. The logic's waits for the engine and its long loads are made of these.
    std::function<void(int ms, std::function<void()> call)> Later;
    std::function<std::vector<TDetectedPort>()> DetectPorts;
    TSerialLines::TPortPath PortPath; // empty: the fixed numbering scheme
    TCommEventThread::TPost Post;     // empty: PostToGuiThread
    // The session dialog, modal; true = OK.
    std::function<bool(TSessionDialog&)> AskSession; // gives back the pacing chosen
    std::function<int64_t()> Clock;                  // monotonic [ms]; empty: the steady clock
    std::function<uint32_t()> Seed; // the random groups' seed; empty: from the clock
    int SoundBufferMs = 0;          // each of the sound output's two buffers [ms]; 0: the default
    TRealtimeRequest AskRealtime;   // real-time priority for the sound feeder; empty: none asked
    std::string HistoryPath;        // the practice history; empty: the user's data folder's
    // Writes the course's settings to the settings file at once (a lesson accepted).
    std::function<void(const TKochSettings&)> SaveCourse;
};

} // namespace brindle
