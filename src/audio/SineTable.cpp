#include "audio/SineTable.h"

#include <cmath>

namespace brindle {

TSinusTab::TSinusTab(int tableSize, bool /*useFloat*/) : N_(tableSize) {
    if (tableSize < MinTableSize || tableSize > MaxTableSize) return;
    const auto n = static_cast<uint32_t>(tableSize);
    Half_ = n / 2;
    Quarter_ = n / 4;
    ThreeQuarter_ = 3 * n / 4;
    // Computed in extended precision, stored as double; the peak is exactly 1.
    const long double twoPi = 6.283185307179586476925286766559L;
    for (uint32_t k = 0; k < Quarter_; ++k)
        Table_[k] = static_cast<double>(std::sin(static_cast<long double>(k) * twoPi / n));
    Table_[Quarter_] = 1.0;
    Valid_ = true;
}

double TSinusTab::Value(uint32_t p) const {
    if (!Valid_) return 0.0;
    p %= static_cast<uint32_t>(N_);
    if (p >= ThreeQuarter_) return -Table_[static_cast<uint32_t>(N_) - p];
    if (p >= Half_) return -Table_[p - Half_];
    if (p >= Quarter_) return Table_[Half_ - p];
    return Table_[p];
}

} // namespace brindle
