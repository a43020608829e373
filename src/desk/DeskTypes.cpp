#include "desk/DeskTypes.h"

#include <cstdio>
#include <cstdlib>

namespace brindle {

int SettingOf(TOutputDevice device) {
    return device == TOutputDevice::Sound ? 1 : device == TOutputDevice::Com ? 2 : 0;
}

TOutputDevice OutputDeviceOfSetting(int value) {
    switch (value) {
    case 1: return TOutputDevice::Sound;
    case 2: return TOutputDevice::Com;
    default: return TOutputDevice::None;
    }
}

int ChoiceItemOf(TOutputDevice device) {
    return device == TOutputDevice::Sound ? 0 : device == TOutputDevice::Com ? 1 : -1;
}

TOutputDevice OutputDeviceOfChoice(int item) {
    return item == 0 ? TOutputDevice::Sound : item == 1 ? TOutputDevice::Com : TOutputDevice::None;
}

const char* NameOf(TSessionState state) {
    switch (state) {
    case TSessionState::Idle: return "idle";
    case TSessionState::StartText: return "start text";
    case TSessionState::Items: return "items";
    case TSessionState::Repeating: return "repeating";
    case TSessionState::ItemsDone: return "items done";
    case TSessionState::EndText: return "end text";
    case TSessionState::SpeedTest: return "speed test";
    case TSessionState::SpeedTestAborted: return "speed test aborted";
    case TSessionState::SoundTest: return "sound test";
    }
    return "?";
}

TItemKind ItemKindOfMode(TTrainingMode mode) {
    switch (mode) {
    case TTrainingMode::RandomChars: return TItemKind::Groups;
    case TTrainingMode::Words: return TItemKind::Words;
    case TTrainingMode::QCodes: return TItemKind::QCodes;
    case TTrainingMode::Phrases: return TItemKind::Phrases;
    case TTrainingMode::Text: return TItemKind::TextWords;
    }
    return TItemKind::None;
}

TTrainingMode TrainingModeOf(TMaterialKind kind) {
    switch (kind) {
    case TMaterialKind::Words: return TTrainingMode::Words;
    case TMaterialKind::Phrases: return TTrainingMode::Phrases;
    case TMaterialKind::Text: return TTrainingMode::Text;
    }
    return TTrainingMode::Text;
}

TPauseLook PauseLook(TPauseState state) {
    switch (state) {
    case TPauseState::Pause: return {true, false, "Pause", false};
    case TPauseState::Resume: return {true, true, "Resume", true};
    case TPauseState::Show: return {true, true, "Show", true};
    case TPauseState::Waiting: return {false, false, " ", true};
    case TPauseState::Off: break;
    }
    return {false, false, "Pause", false};
}

std::string FormatSessionTime(int64_t spanMs) {
    const int64_t seconds = std::llabs(spanMs) / 1000;
    const int64_t hours = seconds / 3600;
    char text[64];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(hours),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return text;
}

} // namespace brindle
