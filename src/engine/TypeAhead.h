// The type-ahead queue between everything that produces text and the keying engine: a fixed-size
// ring of single-byte characters with a write end (newest) and a read end (next to send).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace brindle {

class TTypeAhead {
public:
    TTypeAhead() { SetBufferSize(128); }

    int BufferSize() const { return Size_; }
    // Replaces the ring with an empty one of size places (at least 1).
    void SetBufferSize(int size);
    int FillRest() const { return FillRest_; }
    // Free places that must remain; >= size stores size-1, <= 0 is ignored.
    void SetFillRest(int rest);
    bool WriteOver() const { return WriteOver_; }
    void SetWriteOver(bool on) { WriteOver_ = on; }

    std::function<void(TTypeAhead&)> onNewChar;

    bool Put(uint8_t c);
    bool IsFull() const { return !WriteOver_ && Size_ - Count_ <= FillRest_; }
    bool NotEmpty() const { return Write_ != Read_; }
    uint8_t Get();
    uint8_t Peek() const { return NotEmpty() ? Ring_[Read_] : 0; }
    // What waits, next to send first; the buffer is left as it is.
    std::string Contents() const;
    uint8_t Unput();
    // Moves the read position back by n places so the last n characters taken come out again.
    void MoveBack(int n);
    // Number of characters held; empties the buffer.
    int Clear();
    int Count() const { return Count_; }

private:
    std::unique_ptr<uint8_t[]> Ring_;
    int Size_ = 0;
    int FillRest_ = 0;
    bool WriteOver_ = false;
    int Write_ = 0;
    int Read_ = 0;
    int Count_ = 0;
};

} // namespace brindle
