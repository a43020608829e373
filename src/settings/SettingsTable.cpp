#include "settings/SettingsTable.h"

#include "base/Text1252.h"

#include <algorithm>
#include <cstdint>

namespace brindle {

namespace {

// In 64 bits: a hand-edited size may be any int, and the half of the difference still fits.
constexpr int Centre(int screen, int window) {
    return static_cast<int>((std::int64_t{screen} - window) / 2);
}

constexpr char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Section and key names compare as the INI file compares them: without regard to ASCII case.
constexpr bool SameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

// A new file has the table's order only when each section's keys stand together: a key away from
// its section would be appended at the section's end instead of where it stands.
constexpr bool SectionsStandTogether() {
    for (std::size_t i = 1; i < SettingsTable.size(); ++i) {
        if (SameName(SettingsTable[i].Section, SettingsTable[i - 1].Section)) continue;
        for (std::size_t j = 0; j + 1 < i; ++j)
            if (SameName(SettingsTable[j].Section, SettingsTable[i].Section)) return false;
    }
    return true;
}

constexpr bool KeysAreUnique() {
    for (std::size_t i = 0; i < SettingsTable.size(); ++i)
        for (std::size_t j = i + 1; j < SettingsTable.size(); ++j)
            if (SameName(SettingsTable[i].Section, SettingsTable[j].Section) &&
                SameName(SettingsTable[i].Key, SettingsTable[j].Key))
                return false;
    return true;
}

// The kind decides how a value is read and written, the member's type must take it.
constexpr bool KindsFitTheirMembers() {
    for (const TSettingEntry& e : SettingsTable) {
        if (std::holds_alternative<std::monostate>(e.Target)) continue;
        switch (e.Kind) {
        case TSettingKind::Integer:
        case TSettingKind::Choice:
            if (!std::holds_alternative<TSettingField<int>>(e.Target)) return false;
            break;
        case TSettingKind::Bool:
            if (!std::holds_alternative<TSettingField<bool>>(e.Target)) return false;
            break;
        case TSettingKind::String:
        case TSettingKind::Text1252:
            if (!std::holds_alternative<TSettingField<std::string>>(e.Target)) return false;
            break;
        }
    }
    return true;
}

constexpr bool DefaultsAreInRange() {
    for (const TSettingEntry& e : SettingsTable) {
        const bool number = e.Kind == TSettingKind::Integer || e.Kind == TSettingKind::Choice;
        if (number && !e.Range.Contains(e.Default)) return false;
        if (e.Kind == TSettingKind::Choice && e.Choices() < 1) return false;
    }
    return true;
}

static_assert(SectionsStandTogether());
static_assert(KeysAreUnique());
static_assert(KindsFitTheirMembers());
static_assert(DefaultsAreInRange());

} // namespace

std::string detail::TTable::InDataFolder(const TSettings&, const TSettingsPlace& place) {
    return std::string(place.DataFolder);
}

// The main window is centred with the size read; the others with their design sizes.
int detail::TTable::MainWindowTop(const TSettings& read, const TSettingsPlace& place) {
    return Centre(place.Screen.ScreenHeight, read.Form.Height);
}
int detail::TTable::MainWindowLeft(const TSettings& read, const TSettingsPlace& place) {
    return Centre(place.Screen.ScreenWidth, read.Form.Width);
}
int detail::TTable::BuffersWindowTop(const TSettings&, const TSettingsPlace& place) {
    return Centre(place.Screen.ScreenHeight, place.Screen.BuffersWindowHeight);
}
int detail::TTable::BuffersWindowLeft(const TSettings&, const TSettingsPlace& place) {
    return Centre(place.Screen.ScreenWidth, place.Screen.BuffersWindowWidth);
}
int detail::TTable::ParamsWindowTop(const TSettings&, const TSettingsPlace& place) {
    return Centre(place.Screen.ScreenHeight, place.Screen.ParamsWindowHeight);
}
int detail::TTable::ParamsWindowLeft(const TSettings&, const TSettingsPlace& place) {
    return Centre(place.Screen.ScreenWidth, place.Screen.ParamsWindowWidth);
}

// The character sets are kept in the case the display shows.
void detail::TTable::FollowAllCaps(std::string& characters, const TSettings& read) {
    characters = read.Main.AllCaps ? Upper1252(characters) : Lower1252(characters);
}

// The shortest group is shorter than the longest; GrSize is in its range by now.
void detail::TTable::BelowGroupSize(int& minSize, const TSettings& read) {
    minSize = std::min(minSize, read.Tutor.GrSize - 1);
}

// Groups of one character have no size to vary.
void detail::TTable::OffForSingleCharacters(bool& variSize, const TSettings& read) {
    variSize = variSize && read.Tutor.GrSize != 1;
}

} // namespace brindle
