// What the history store and the Koch course share without knowing each other: the course orders
// and the per-character figures the course's weighting and passing rule read from the history.
#pragma once

#include <cstdint>

namespace brindle {

// The order in which a course introduces its characters. The values are stored in the history.
enum class TCourseOrder { Lcwo = 0, G4fon = 1, Cwops = 2, Custom = 3 };
inline constexpr int CourseOrderCount = 4;

// A character's record for the weighting of a lesson, from the practices that count (checked
// after running their planned length).
struct TCharStats {
    uint8_t Char = 0;      // engine form, lower case
    int Copies = 0;        // times it was sent in a practice that counts, ever
    int RecentCopies = 0;  // of its latest copies, at most RecentWindow
    int RecentCorrect = 0; // of those, copied right
    static constexpr int RecentWindow = 50;
};

// How often one character was sent and copied right over some practices.
struct TCharTally {
    int Copies = 0;
    int Correct = 0;
    bool operator==(const TCharTally&) const = default;
};

} // namespace brindle
