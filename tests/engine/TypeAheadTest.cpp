#include "engine/TypeAhead.h"
#include "engine/MorseEngine.h"

#include <gtest/gtest.h>

#include <string>

using brindle::TMorseEngine;
using brindle::TTypeAhead;

namespace {

// Takes every character there is.
std::string Drain(TTypeAhead& b) {
    std::string s;
    while (const uint8_t c = b.Get())
        s += static_cast<char>(c);
    return s;
}

} // namespace

TEST(CharBuf, EngineBufferHoldsAtMost29999) {
    TMorseEngine e;
    EXPECT_EQ(e.Buffersize(), 30000);
    for (int i = 0; i < 29999; ++i)
        ASSERT_TRUE(e.PutChar('a')) << i;
    EXPECT_FALSE(e.PutChar('a'));
    EXPECT_FALSE(e.PutCode('+'));
    EXPECT_EQ(e.ClearBuffer(), 29999);
    EXPECT_FALSE(e.HasChars());
}

TEST(CharBuf, PutGetUnputPeekWrapAroundAndClear) {
    TTypeAhead b;
    int events = 0;
    b.onNewChar = [&](TTypeAhead&) { ++events; };
    EXPECT_EQ(std::to_string(b.Get()) + std::to_string(b.Peek()) + std::to_string(b.Unput()),
              "000");
    b.Put('a');
    b.Put('b');
    b.Put('c');
    EXPECT_EQ(events, 3);
    EXPECT_EQ(b.Unput(), 'c');
    EXPECT_EQ(b.Peek(), 'a');
    EXPECT_EQ(Drain(b), "ab");
    EXPECT_EQ(b.Count(), 0);

    b.SetBufferSize(4);
    b.SetFillRest(1);
    for (int round = 0; round < 3; ++round) { // move both positions around the ring
        ASSERT_TRUE(b.Put('x'));
        EXPECT_EQ(b.Get(), 'x');
    }
    ASSERT_TRUE(b.Put('1'));   // newest at index 3, write position wraps to 0
    EXPECT_EQ(b.Unput(), '1'); // write position back from 0 to BufferSize-1
    EXPECT_TRUE(b.Put('1') && b.Put('2') && b.Put('3'));
    EXPECT_FALSE(b.Put('4')); // one place must stay free
    EXPECT_EQ(b.Clear(), 3);  // write position (2) is below the read position (3)
    EXPECT_FALSE(b.NotEmpty());
}

TEST(CharBuf, MoveBackRepeatsTakenCharacters) {
    TTypeAhead b;
    b.SetBufferSize(5);
    for (const char c : {'p', 'q', 'r', 's'})
        b.Put(static_cast<uint8_t>(c));
    EXPECT_EQ(Drain(b), "pqrs");
    b.Put('t'); // the write position wraps to 0
    b.MoveBack(3);
    EXPECT_EQ(Drain(b), "qrst");
}

TEST(CharBuf, RemoveUnsentCountsDisplayPositions) {
    TMorseEngine e;
    EXPECT_EQ(e.RemoveUnsent(), 0);
    for (const char c : {'a', 'b', '{', '+'})
        e.PutChar(static_cast<uint8_t>(c));
    EXPECT_EQ(e.RemoveUnsent(), 11);
    EXPECT_FALSE(e.HasChars());
}
