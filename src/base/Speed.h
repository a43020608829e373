// Speeds as the user sees and enters them, and the step of every up-down. Inside the program a
// speed is an integer in characters per minute (CpM); words per minute (WpM) are CpM / 5, shown
// with one decimal and a decimal point whatever the user's locale. An entered WpM value times 5,
// rounded with halves to the even neighbour, is the CpM value.
#pragma once

#include <string>

namespace brindle {

constexpr double CpmToWpm(double cpm) {
    return cpm / 5.0;
}
// CpM as whole WpM, for fields that step in whole words (a fifth never falls on a half).
constexpr int WholeWpm(int cpm) {
    return (cpm + 2) / 5;
}
// WpM to CpM, rounded with halves to the even neighbour.
int WpmToCpm(double wpm);

// "60" in CpM, "12.0" in WpM.
std::string FormatSpeed(int cpm, bool showWpM);
// A speed field's text read back into CpM; false when it is not a number in the unit shown.
bool ParseSpeed(const std::string& text, bool showWpM, int& cpm);
// A whole number typed into a field (spaces around it allowed); false when it is none.
bool ParseInteger(const std::string& text, int& value);

// The step of an up-down arrow or key: 1, with Shift 10, with Shift and Ctrl 100.
constexpr int UpDownStep(bool shift, bool ctrl) {
    return shift && ctrl ? 100 : shift ? 10 : 1;
}

} // namespace brindle
