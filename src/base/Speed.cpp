#include "base/Speed.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace brindle {

namespace {

// The text without the spaces around it; false when nothing is left.
bool Trimmed(const std::string& text, const char*& first, const char*& last) {
    const std::size_t b = text.find_first_not_of(' ');
    if (b == std::string::npos) return false;
    first = text.data() + b;
    last = text.data() + text.find_last_not_of(' ') + 1;
    return true;
}

} // namespace

int WpmToCpm(double wpm) {
    return static_cast<int>(std::nearbyint(wpm * 5.0)); // halves to the even neighbour
}

std::string FormatSpeed(int cpm, bool showWpM) {
    if (!showWpM) return std::to_string(cpm);
    char text[32];
    // to_chars never follows the user's locale: always a decimal point.
    const auto r =
        std::to_chars(text, text + sizeof text, CpmToWpm(cpm), std::chars_format::fixed, 1);
    return std::string(text, r.ptr);
}

bool ParseInteger(const std::string& text, int& value) {
    const char* first = nullptr;
    const char* last = nullptr;
    if (!Trimmed(text, first, last)) return false;
    long v = 0;
    const auto r = std::from_chars(first, last, v);
    if (r.ec != std::errc() || r.ptr != last) return false;
    value = static_cast<int>(std::clamp(v, -1000000L, 1000000L));
    return true;
}

bool ParseSpeed(const std::string& text, bool showWpM, int& cpm) {
    if (!showWpM) return ParseInteger(text, cpm);
    const char* first = nullptr;
    const char* last = nullptr;
    if (!Trimmed(text, first, last)) return false;
    double wpm = 0;
    const auto r = std::from_chars(first, last, wpm, std::chars_format::fixed);
    if (r.ec != std::errc() || r.ptr != last || !std::isfinite(wpm) || std::fabs(wpm) > 1e6)
        return false;
    cpm = WpmToCpm(wpm);
    return true;
}

} // namespace brindle
