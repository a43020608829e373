// Checks on text for the desk's and the windows' tests: whether a text holds a piece, with the
// whole text in the message, so that a failure shows what was there instead.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace brindle::test {

// Whether text holds piece, for a comparison of several values at once.
inline bool Has(const std::string& text, const std::string& piece) {
    return text.find(piece) != std::string::npos;
}

// Whether text holds piece, for EXPECT_TRUE and EXPECT_FALSE: either way the message quotes the
// piece and the whole text.
inline ::testing::AssertionResult Holds(const std::string& text, const std::string& piece) {
    auto result = Has(text, piece) ? ::testing::AssertionSuccess() : ::testing::AssertionFailure();
    return result << "\"" << piece << "\" in:\n" << text;
}

} // namespace brindle::test
