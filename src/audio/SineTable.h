// One period of a sine wave kept as a quarter-wave table, answering the sine value of any table
// position. TableSize samples make one period; the tone generators use 8000.
#pragma once

#include <array>
#include <cstdint>

namespace brindle {

class TSinusTab {
public:
    static constexpr int MinTableSize = 1000;
    static constexpr int MaxTableSize = 8000;

    // Builds the quarter table for tableSize samples per period; an out-of-range size leaves the
    // table invalid (every value 0). Only the floating table exists; useFloat is kept for callers.
    explicit TSinusTab(int tableSize, bool useFloat = true);

    bool Valid() const { return Valid_; }
    int TableSize() const { return N_; }
    // Sine of position p (taken modulo TableSize), in -1..1.
    double Value(uint32_t p) const;

private:
    int N_ = 0;
    uint32_t Half_ = 0;         // N/2
    uint32_t Quarter_ = 0;      // N/4
    uint32_t ThreeQuarter_ = 0; // 3N/4
    bool Valid_ = false;
    // Sized for N = 8000; entries past N/4 stay 0 so that odd sizes never read outside.
    std::array<double, MaxTableSize / 4 + 1> Table_{};
};

} // namespace brindle
