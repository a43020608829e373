#include "practice/RandomChars.h"

namespace brindle {

TRandomChars::TRandomChars(TSeedClock seedClock) : SeedClock_(std::move(seedClock)) {
    Random_.SetSeed(SeedClock_ ? SeedClock_() : 0);
}

void TRandomChars::Reset() {
    LastIndex_ = 0;
    PreviousIndex_ = 0;
    Random_.SetSeed(SeedClock_ ? SeedClock_() : 0);
}

int TRandomChars::Draw(int low, int high) {
    int v = Random_.Uniform(low, high);
    if (v == LastIndex_ && v == PreviousIndex_)
        while (v == LastIndex_)
            v = Random_.Uniform(low, high);
    PreviousIndex_ = LastIndex_;
    LastIndex_ = v;
    return v;
}

uint8_t TRandomChars::RandomChar() {
    if (Chars_.empty()) return 0;
    if (Chars_.size() == 1) return static_cast<uint8_t>(Chars_[0]);
    const int v = Draw(0, static_cast<int>(Chars_.size()));
    return static_cast<uint8_t>(Chars_[static_cast<std::size_t>(v)]);
}

int TRandomChars::RandomIndex(int low, int high) {
    if (low + 1 >= high) return low;
    return Draw(low, high);
}

std::string TRandomChars::RandomQCode() {
    int v = Random_.Uniform(0, static_cast<int>(QCodeTable.size()));
    while (v == LastIndex_)
        v = Random_.Uniform(0, static_cast<int>(QCodeTable.size()));
    LastIndex_ = v;
    return "q" + std::string(QCodeTable[static_cast<std::size_t>(v)]);
}

std::string TRandomChars::RandomGroup(int size, int minSize, bool variable) {
    int n = size;
    if (variable) n = minSize >= size ? minSize : RandomIndex(minSize, size + 1);
    std::string group;
    for (int i = 0; i < n; ++i) {
        const uint8_t c = RandomChar();
        if (c != 0) group += static_cast<char>(c);
    }
    return group;
}

} // namespace brindle
