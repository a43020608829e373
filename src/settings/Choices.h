// The fixed lists that a setting picks from by its index. The settings table takes each list's
// length as the number of choices of its key; the parameters window shows the entries, and the
// session and the display use them. No Qt, so that every layer can include it.
#pragma once

#include "engine/Spacing.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <type_traits>

namespace brindle {

// What a practice session sends: [Tutor] Mode.
enum class TTrainingMode { RandomChars, Words, QCodes, Phrases, Text };
// When an item is shown: [Tutor] DispMode.
enum class TDisplayMode { ShowFirst, SoundFirst, SingleItems };

} // namespace brindle

namespace brindle::choices {

// An index kept inside a list: the first or the last entry when outside it.
template <typename T, std::size_t N> constexpr int Clamp(int index, const std::array<T, N>& list) {
    return std::clamp(index, 0, static_cast<int>(list.size()) - 1);
}
// The entry of an index kept inside its list.
template <typename T, std::size_t N>
constexpr const T& At(int index, const std::array<T, N>& list) {
    return list[static_cast<std::size_t>(Clamp(index, list))];
}

// [Tutor] Mode: what a practice session sends.
inline constexpr std::array<const char*, 5> Mode = {
    "Random Characters", "Random Words", "Random Q-Codes", "Random Phrases", "Text from File"};

// [Tutor] DispMode: when an item is shown.
inline constexpr std::array<const char*, 3> DispMode = {
    "Show first, then sound", "Sound first, then show", "Show single items only"};

// [Tutor] Farnsworth: how the spacing is stretched to the overall speed.
inline constexpr std::array<const char*, 3> Farnsworth = {"off", "on - Characters (Farnsworth)",
                                                          "on - Words (Wordsworth)"};

// The settings file keeps the training mode, the display mode and the spacing as their index in
// the lists above: these are the only conversions between the two.
constexpr TTrainingMode TrainingModeOf(int stored) {
    return static_cast<TTrainingMode>(Clamp(stored, Mode));
}
constexpr TDisplayMode DisplayModeOf(int stored) {
    return static_cast<TDisplayMode>(Clamp(stored, DispMode));
}
constexpr TSpacing SpacingOf(int stored) {
    return static_cast<TSpacing>(Clamp(stored, Farnsworth));
}
template <typename E> constexpr int Stored(E choice) {
    static_assert(std::is_enum_v<E>);
    return static_cast<int>(choice);
}

// [Tutor] Repeat: how often each item is sent.
inline constexpr std::array<const char*, 5> Repeat = {"Send once", "Send 2x", "Send 3x", "Send 4x",
                                                      "Send 5x"};

// [Tutor] Faster: the factor of the speed after each item; the number is an entry's last four
// characters.
inline constexpr std::array<const char*, 7> Faster = {"x 1.0", "x 1.05", "x 1.1", "x 1.2",
                                                      "x 1.3", "x 1.4",  "x 1.5"};

// [TX] Output: where the keying goes. The window lists the two devices, index 0 is no output.
inline constexpr std::array<const char*, 3> Output = {"none", "Sound Output", "COM Port"};

// [TX] Extended: the character set sent.
inline constexpr std::array<const char*, 2> Extended = {"Standard", "Extended"};

// [Koch] Order: the order the characters are learnt in.
inline constexpr std::array<const char*, 4> KochOrder = {"LCWO", "G4FON / KochMorse", "CWops",
                                                         "Custom"};

// [Main] CharSizeItem: the display's font size [pt].
inline constexpr std::array<int, 10> FontPoints = {10, 12, 14, 18, 24, 30, 36, 48, 64, 100};

} // namespace brindle::choices
