#include "base/Random.h"

#include <chrono>
#include <cmath>

namespace brindle {

int32_t TRandomSource::Uniform(int32_t a, int32_t b) {
    const int32_t lo = a < b ? a : b;
    const int32_t hi = a < b ? b : a;
    if (lo == hi) return lo;
    const uint32_t span = static_cast<uint32_t>(static_cast<int64_t>(hi) - lo);
    return static_cast<int32_t>(lo + static_cast<int64_t>(Below(span)));
}

double TRandomSource::NextGaussian() {
    if (HaveSpare_) {
        HaveSpare_ = false;
        return Spare_;
    }
    double u = 0.0;
    double v = 0.0;
    double s = 0.0;
    do {
        u = NextDouble() * 2.0 - 1.0;
        v = NextDouble() * 2.0 - 1.0;
        s = u * u + v * v;
    } while (s >= 1.0 || s == 0.0);
    const double f = std::sqrt(-2.0 * std::log(s) / s);
    Spare_ = v * f;
    HaveSpare_ = true;
    return u * f;
}

uint32_t ClockSeed() {
    const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    return static_cast<uint32_t>(ticks);
}

} // namespace brindle
