#include "engine/TypeAhead.h"

namespace brindle {

void TTypeAhead::SetBufferSize(int size) {
    if (size < 1) size = 1;
    Ring_ = std::make_unique<uint8_t[]>(static_cast<std::size_t>(size));
    Size_ = size;
    if (FillRest_ >= Size_) FillRest_ = Size_ - 1;
    Write_ = Read_ = Count_ = 0;
}

void TTypeAhead::SetFillRest(int rest) {
    if (rest <= 0) return;
    FillRest_ = rest >= Size_ ? Size_ - 1 : rest;
}

bool TTypeAhead::Put(uint8_t c) {
    if (IsFull()) return false;
    Ring_[Write_] = c;
    Write_ = (Write_ + 1) % Size_;
    ++Count_;
    if (onNewChar) onNewChar(*this);
    return true;
}

std::string TTypeAhead::Contents() const {
    std::string text;
    for (int i = Read_; i != Write_; i = (i + 1) % Size_)
        text += static_cast<char>(Ring_[i]);
    return text;
}

uint8_t TTypeAhead::Get() {
    if (!NotEmpty()) return 0;
    if (Count_ > 0) --Count_;
    const uint8_t c = Ring_[Read_];
    Read_ = (Read_ + 1) % Size_;
    return c;
}

uint8_t TTypeAhead::Unput() {
    if (!NotEmpty()) return 0;
    Write_ = Write_ == 0 ? Size_ - 1 : Write_ - 1;
    if (Count_ > 0) --Count_;
    return Ring_[Write_];
}

void TTypeAhead::MoveBack(int n) {
    if (n <= 0) return;
    n %= Size_;
    Read_ = (Read_ - n + Size_) % Size_;
}

int TTypeAhead::Clear() {
    const int held = ((Write_ - Read_) % Size_ + Size_) % Size_;
    Write_ = Read_ = Count_ = 0;
    return held;
}

} // namespace brindle
