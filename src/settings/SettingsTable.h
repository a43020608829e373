// The one list of every line of "Brindle.ini": section, key, kind, default, range and the member
// of TSettings it is kept in, in the order the file has them. ReadSettings, WriteSettings and
// DefaultSettings all work from it, so each key and each default is spelt here and nowhere else.
//
// Defaults: the members of TSettings have none of their own (zero, false, empty). A default is
// the entry's Default or DefaultText, or for a few keys a function of the data folder and the
// screen; DefaultSettings() reads an empty file and so is the one way to get all of them.
//
// Adding a section: a struct of its members, a member of that struct in TSettings, and its
// entries after the last section's. A file without the section reads its defaults, and a save
// appends the section at the end of the file.
#pragma once

#include "base/Ranges.h"
#include "settings/Choices.h"
#include "settings/Settings.h"

#include <array>
#include <climits>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

namespace brindle {

// What a few defaults depend on: the data folder (ending in a separator) and the screen.
struct TSettingsPlace {
    std::string_view DataFolder{};
    TScreenGeometry Screen{};
};

enum class TSettingKind {
    Integer,  // decimal; a number outside Range is clamped into it
    Choice,   // one of the numbers in Range (mostly an index into a list of Choices.h); any
              // other number keeps the default
    Bool,     // 1 or 0; any other number reads as true
    String,   // UTF-8, as it stands in the file
    Text1252, // the engine's Windows-1252 text, UTF-8 in the file; "^" is dropped on reading
};

// The member of TSettings a key is kept in, and the rules of the few keys that take code.
template <typename T> struct TSettingField {
    // The default when it depends on the place. Such keys are read after all the others, so that
    // it can use what they read (the main window is centred on the size read).
    using TPlaceDefault = T (*)(const TSettings& read, const TSettingsPlace& place);
    // A rule that ties the value to other keys; applied when every key has been read.
    using TAfterReading = void (*)(T& value, const TSettings& read);

    T& (*Of)(TSettings&) = nullptr;
    const T& (*OfConst)(const TSettings&) = nullptr;
    // The member's name with its group, as the compiler spells it: finds the entry at compile
    // time.
    std::string_view Member{};
    TPlaceDefault PlaceDefault = nullptr;
    TAfterReading AfterReading = nullptr;

    constexpr TSettingField DefaultFrom(TPlaceDefault f) const {
        TSettingField copy = *this;
        copy.PlaceDefault = f;
        return copy;
    }
    constexpr TSettingField After(TAfterReading f) const {
        TSettingField copy = *this;
        copy.AfterReading = f;
        return copy;
    }
};

// Where a key's value is kept. No member: a fixed line, written as its default every time and
// never read.
using TSettingTarget = std::variant<std::monostate, TSettingField<int>, TSettingField<bool>,
                                    TSettingField<std::string>>;

struct TSettingEntry {
    std::string_view Section{};
    std::string_view Key{};
    TSettingKind Kind = TSettingKind::Integer;
    TSettingTarget Target{};
    // The default, unless the field has a PlaceDefault: Default for Integer, Choice and Bool (1
    // or 0), DefaultText for String and Text1252 (in Windows-1252).
    int Default = 0;
    std::string_view DefaultText{};
    TRange Range{};   // Integer: clamped into it; Choice: the numbers it holds
    bool Read = true; // false: written from the program, never read
    // The main window's geometry: a maximised window leaves it out of the file, so that the
    // next start centres the default size.
    bool LeftOutWhenMaximised = false;

    // The number of choices of a Choice.
    constexpr int Choices() const { return Range.Max - Range.Min + 1; }
    // Whether the default is a function of the place (TSettingField::PlaceDefault).
    constexpr bool DefaultDependsOnPlace() const {
        return std::visit(
            [](const auto& target) {
                if constexpr (std::is_same_v<std::decay_t<decltype(target)>, std::monostate>)
                    return false;
                else
                    return target.PlaceDefault != nullptr;
            },
            Target);
    }

    constexpr TSettingEntry NeverRead() const {
        TSettingEntry copy = *this;
        copy.Read = false;
        return copy;
    }
    constexpr TSettingEntry LeftOutForMaximised() const {
        TSettingEntry copy = *this;
        copy.LeftOutWhenMaximised = true;
        return copy;
    }
};

namespace detail {

// The table, written with short names for its groups and the makers of its entries.
struct TTable {
    using M = TMainSettings;
    using T = TTutorSettings;
    using X = TTxSettings;
    using F = TFormSettings;
    using K = TKochSettings;
    static constexpr auto Main = &TSettings::Main;
    static constexpr auto Tutor = &TSettings::Tutor;
    static constexpr auto TX = &TSettings::TX;
    static constexpr auto Form = &TSettings::Form;
    static constexpr auto Koch = &TSettings::Koch;
    static constexpr TRange AnyPixels{INT_MIN, INT_MAX}; // window positions and sizes
    static constexpr TRange AnyIndex{0, INT_MAX};        // into a list only known at run time

    // The member Member of the group Group of TSettings: Field<Tutor, &T::GrSize>.
    template <auto Group, auto Member> struct TMemberPath {
        using TValue = std::remove_cvref_t<decltype(std::declval<TSettings&>().*Group.*Member)>;
        static TValue& Of(TSettings& s) { return (s.*Group).*Member; }
        static const TValue& OfConst(const TSettings& s) { return (s.*Group).*Member; }
        static constexpr std::string_view Name() { return __PRETTY_FUNCTION__; }
    };
    template <auto Group, auto Member>
    static constexpr TSettingField<typename TMemberPath<Group, Member>::TValue> Field{
        &TMemberPath<Group, Member>::Of, &TMemberPath<Group, Member>::OfConst,
        TMemberPath<Group, Member>::Name()};

    // The rules of the keys that take code (SettingsTable.cpp).
    static std::string InDataFolder(const TSettings& read, const TSettingsPlace& place);
    static int MainWindowTop(const TSettings& read, const TSettingsPlace& place);
    static int MainWindowLeft(const TSettings& read, const TSettingsPlace& place);
    static int BuffersWindowTop(const TSettings& read, const TSettingsPlace& place);
    static int BuffersWindowLeft(const TSettings& read, const TSettingsPlace& place);
    static int ParamsWindowTop(const TSettings& read, const TSettingsPlace& place);
    static int ParamsWindowLeft(const TSettings& read, const TSettingsPlace& place);
    static void FollowAllCaps(std::string& characters, const TSettings& read);
    static void BelowGroupSize(int& minSize, const TSettings& read);
    static void OffForSingleCharacters(bool& variSize, const TSettings& read);

    static constexpr TSettingEntry Integer(std::string_view section, std::string_view key,
                                           TSettingField<int> field, int def, TRange range) {
        return {.Section = section,
                .Key = key,
                .Kind = TSettingKind::Integer,
                .Target = field,
                .Default = def,
                .Range = range};
    }
    static constexpr TSettingEntry Choice(std::string_view section, std::string_view key,
                                          TSettingField<int> field, int def, TRange values) {
        return {.Section = section,
                .Key = key,
                .Kind = TSettingKind::Choice,
                .Target = field,
                .Default = def,
                .Range = values};
    }
    template <typename TItem, std::size_t N>
    static constexpr TSettingEntry Choice(std::string_view section, std::string_view key,
                                          TSettingField<int> field, int def,
                                          const std::array<TItem, N>&) {
        return Choice(section, key, field, def, TRange{0, static_cast<int>(N) - 1});
    }
    static constexpr TSettingEntry Bool(std::string_view section, std::string_view key,
                                        TSettingField<bool> field, bool def) {
        return {.Section = section,
                .Key = key,
                .Kind = TSettingKind::Bool,
                .Target = field,
                .Default = def ? 1 : 0};
    }
    static constexpr TSettingEntry String(std::string_view section, std::string_view key,
                                          TSettingField<std::string> field,
                                          std::string_view def = {}) {
        return {.Section = section,
                .Key = key,
                .Kind = TSettingKind::String,
                .Target = field,
                .DefaultText = def};
    }
    static constexpr TSettingEntry Text1252(std::string_view section, std::string_view key,
                                            TSettingField<std::string> field,
                                            std::string_view def) {
        return {.Section = section,
                .Key = key,
                .Kind = TSettingKind::Text1252,
                .Target = field,
                .DefaultText = def};
    }
    static constexpr TSettingEntry FixedText(std::string_view section, std::string_view key,
                                             std::string_view text) {
        return {.Section = section, .Key = key, .Kind = TSettingKind::String, .DefaultText = text};
    }
    static constexpr TSettingEntry FixedBool(std::string_view section, std::string_view key,
                                             bool value) {
        return {
            .Section = section, .Key = key, .Kind = TSettingKind::Bool, .Default = value ? 1 : 0};
    }

    static constexpr auto Entries() {
        return std::array{
            FixedText("Info", "Name", "Brindle Morse code tutor - settings"),
            FixedText("Info", "Warning", "= do not edit this file ="),

            String("Main", "Version", Field<Main, &M::Version>).NeverRead(),
            Integer("Main", "Speed", Field<Main, &M::Speed>, 60, ranges::Speed),
            Bool("Main", "AskEnd", Field<Main, &M::AskEnd>, false),
            String("Main", "InFile", Field<Main, &M::InFile>),
            String("Main", "WordFile", Field<Main, &M::WordFile>),
            String("Main", "PhrasesFile", Field<Main, &M::PhrasesFile>),
            String("Main", "InDir", Field<Main, &M::InDir>.DefaultFrom(InDataFolder)),
            String("Main", "OutFile", Field<Main, &M::OutFile>, "MainWindow.txt"),
            String("Main", "OutDir", Field<Main, &M::OutDir>.DefaultFrom(InDataFolder)),
            Bool("Main", "ShowWpM", Field<Main, &M::ShowWpM>, false),
            Bool("Main", "AllCaps", Field<Main, &M::AllCaps>, false),
            Choice("Main", "CharSizeItem", Field<Main, &M::CharSizeItem>, 2, choices::FontPoints),

            Choice("Tutor", "Mode", Field<Tutor, &T::Mode>, 0, choices::Mode),
            Choice("Tutor", "DispMode", Field<Tutor, &T::DispMode>, 0, choices::DispMode),
            Choice("Tutor", "CharField", Field<Tutor, &T::CharField>, 1, TRange{1, 2}),
            Text1252("Tutor", "Characters", Field<Tutor, &T::Characters>.After(FollowAllCaps),
                     "abcdefghijklmnopqrstuvwxyz"),
            Text1252("Tutor", "Characters2", Field<Tutor, &T::Characters2>.After(FollowAllCaps),
                     "0123456789"),
            Integer("Tutor", "StartSpeed", Field<Tutor, &T::StartSpeed>, 30, ranges::Speed),
            Bool("Tutor", "Varispeed", Field<Tutor, &T::Varispeed>, false),
            Integer("Tutor", "EndSpeed", Field<Tutor, &T::EndSpeed>, 40, ranges::Speed),
            Choice("Tutor", "Farnsworth", Field<Tutor, &T::Farnsworth>, 1, choices::Farnsworth),
            Integer("Tutor", "FarnsworthSpeed", Field<Tutor, &T::FarnsworthSpeed>, 60,
                    ranges::Speed),
            Integer("Tutor", "Groups", Field<Tutor, &T::Groups>, 30, ranges::Groups),
            Integer("Tutor", "GrSize", Field<Tutor, &T::GrSize>, 5, ranges::GroupSize),
            Integer("Tutor", "GrMinSize", Field<Tutor, &T::GrMinSize>.After(BelowGroupSize), 1,
                    TRange{0, ranges::GroupSize.Max - 1}),
            Bool("Tutor", "VariSize", Field<Tutor, &T::VariSize>.After(OffForSingleCharacters),
                 false),
            Choice("Tutor", "Repeat", Field<Tutor, &T::Repeat>, 0, choices::Repeat),
            Choice("Tutor", "Faster", Field<Tutor, &T::Faster>, 0, choices::Faster),
            Bool("Tutor", "Blip", Field<Tutor, &T::Blip>, false),
            Text1252("Tutor", "StartText", Field<Tutor, &T::StartText>, "vvv<ka>"),
            Text1252("Tutor", "EndText", Field<Tutor, &T::EndText>, "<ar>"),

            Choice("TX", "Output", Field<TX, &X::Output>, 1, choices::Output),
            Integer("TX", "TXComPort", Field<TX, &X::TXComPort>, 1, ranges::ComPort),
            Integer("TX", "TXAudioDevice", Field<TX, &X::TXAudioDevice>, 0, AnyIndex),
            Bool("TX", "PTT", Field<TX, &X::PTT>, false),
            Bool("TX", "EqKeyOpt", Field<TX, &X::EqKeyOpt>, false),
            Bool("TX", "AutoStart", Field<TX, &X::AutoStart>, true),
            Integer("TX", "Frequency", Field<TX, &X::Frequency>, 800, ranges::Frequency),
            Integer("TX", "Slope", Field<TX, &X::Slope>, 20, ranges::Slope),
            Choice("TX", "Extended", Field<TX, &X::Extended>, 1, choices::Extended),
            Integer("TX", "OutputLevel", Field<TX, &X::OutputLevel>, -10, ranges::OutputLevel),
            Bool("TX", "Muted", Field<TX, &X::Muted>, false),
            Integer("TX", "NoiseLevel", Field<TX, &X::NoiseLevel>, -20, ranges::NoiseLevel),
            Bool("TX", "Noise", Field<TX, &X::Noise>, false),
            String("TX", "TXAudioDeviceName", Field<TX, &X::TXAudioDeviceName>),
            String("TX", "TXAudioOutput", Field<TX, &X::TXAudioOutput>),

            Integer("Form", "Top", Field<Form, &F::Top>.DefaultFrom(MainWindowTop), 0, AnyPixels)
                .LeftOutForMaximised(),
            Integer("Form", "Height", Field<Form, &F::Height>, 440, AnyPixels)
                .LeftOutForMaximised(),
            Integer("Form", "Left", Field<Form, &F::Left>.DefaultFrom(MainWindowLeft), 0, AnyPixels)
                .LeftOutForMaximised(),
            Integer("Form", "Width", Field<Form, &F::Width>, 660, AnyPixels).LeftOutForMaximised(),
            FixedBool("Form", "InitMax", false),
            Integer("Form", "BuTop", Field<Form, &F::BuTop>.DefaultFrom(BuffersWindowTop), 0,
                    AnyPixels),
            Integer("Form", "BuLeft", Field<Form, &F::BuLeft>.DefaultFrom(BuffersWindowLeft), 0,
                    AnyPixels),
            Integer("Form", "ParaTop", Field<Form, &F::ParaTop>.DefaultFrom(ParamsWindowTop), 0,
                    AnyPixels),
            Integer("Form", "ParaLeft", Field<Form, &F::ParaLeft>.DefaultFrom(ParamsWindowLeft), 0,
                    AnyPixels),

            Choice("Koch", "Order", Field<Koch, &K::Order>, 0, choices::KochOrder),
            Text1252("Koch", "Custom", Field<Koch, &K::Custom>, ""),
            Integer("Koch", "Lesson", Field<Koch, &K::Lesson>, 1, TRange{1, 99}),
            Integer("Koch", "Minutes", Field<Koch, &K::Minutes>, 5, TRange{1, 60}),
            Integer("Koch", "CharCpm", Field<Koch, &K::CharCpm>, 100, ranges::Speed),
            Integer("Koch", "EffCpm", Field<Koch, &K::EffCpm>, 60, ranges::Speed),
            Integer("Koch", "GroupSize", Field<Koch, &K::GroupSize>, 5,
                    TRange{0, ranges::GroupSize.Max}),
        };
    }
};

} // namespace detail

// Every line the program writes, in the file's order.
inline constexpr auto SettingsTable = detail::TTable::Entries();

namespace detail {
// The index of section and key (spelt as in the table) in the table, or its size.
constexpr std::size_t SettingIndex(std::string_view section, std::string_view key) {
    std::size_t i = 0;
    while (i < SettingsTable.size() &&
           (SettingsTable[i].Section != section || SettingsTable[i].Key != key))
        ++i;
    return i;
}
} // namespace detail

// The entry of section and key (spelt as in the table), or nullptr.
constexpr const TSettingEntry* FindSetting(std::string_view section, std::string_view key) {
    const std::size_t i = detail::SettingIndex(section, key);
    return i < SettingsTable.size() ? &SettingsTable[i] : nullptr;
}

// The entry that keeps a member of TSettings, found at compile time, where a member the table
// does not keep stops the build. The windows take their limits and lists from here:
// SettingOf<&TSettings::TX, &TTxSettings::Frequency>().Range.
template <auto Group, auto Member> consteval const TSettingEntry& SettingOf() {
    using TPath = detail::TTable::TMemberPath<Group, Member>;
    using TField = TSettingField<typename TPath::TValue>;
    for (const TSettingEntry& e : SettingsTable)
        if (std::holds_alternative<TField>(e.Target) &&
            std::get<TField>(e.Target).Member == TPath::Name())
            return e;
    throw std::logic_error("no such setting");
}

} // namespace brindle
