// The settings table as the rest of the program uses it: every number is read within the range
// the table gives (the one the parameters window shows), and every choice key has the length of
// its list. (A file from before a section was added: SettingsFormat.UnknownLinesStayWhereTheyAre,
// whose edited file has no [Koch].)
#include "settings/SettingsTable.h"

#include "settings/SettingsSamples.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

using namespace brindle;
using namespace brindle::test;

namespace {

int ReadNumber(const TSettingEntry& e, const std::string& value) {
    const std::string file =
        "[" + std::string(e.Section) + "]\n" + std::string(e.Key) + "=" + value;
    const TSettings s = ReadSettings(TIniFile::Parse(file), Folder, Screen);
    return std::get<TSettingField<int>>(e.Target).OfConst(s);
}

} // namespace

TEST(SettingsTable, NumbersAreReadWithinTheTablesRange) {
    int checked = 0;
    for (const TSettingEntry& e : SettingsTable) {
        const auto* field = std::get_if<TSettingField<int>>(&e.Target);
        // Keys with a rule of their own are read by ReadingRules.
        if (!field || !e.Read || field->AfterReading) continue;
        SCOPED_TRACE(std::string(e.Section) + "/" + std::string(e.Key));
        const TRange r = e.Range;
        if (e.Kind == TSettingKind::Choice) {
            for (int v = r.Min; v <= r.Max; ++v)
                EXPECT_EQ(ReadNumber(e, std::to_string(v)), v);
            EXPECT_EQ(ReadNumber(e, std::to_string(r.Min - 1)), e.Default);
            EXPECT_EQ(ReadNumber(e, std::to_string(r.Max + 1)), e.Default);
        } else {
            EXPECT_EQ(ReadNumber(e, std::to_string(r.Max)), r.Max);
            EXPECT_EQ(ReadNumber(e, std::to_string(r.Min)), r.Min);
            if (r.Max < INT_MAX) {
                EXPECT_EQ(ReadNumber(e, std::to_string(r.Max + 1)), r.Max);
            }
            if (r.Min > INT_MIN) {
                EXPECT_EQ(ReadNumber(e, std::to_string(r.Min - 1)), r.Min);
            }
        }
        ++checked;
    }
    EXPECT_GT(checked, 20);
}

TEST(SettingsTable, ChoiceKeysHaveTheLengthsOfTheirLists) {
    struct TList {
        const TSettingEntry& Entry;
        std::size_t Length;
    };
    for (const TList& list : {
             TList{(*FindSetting("Main", "CharSizeItem")), choices::FontPoints.size()},
             TList{(*FindSetting("Tutor", "Mode")), choices::Mode.size()},
             TList{(*FindSetting("Tutor", "DispMode")), choices::DispMode.size()},
             TList{(*FindSetting("Tutor", "Farnsworth")), choices::Farnsworth.size()},
             TList{(*FindSetting("Tutor", "Repeat")), choices::Repeat.size()},
             TList{(*FindSetting("Tutor", "Faster")), choices::Faster.size()},
             TList{(*FindSetting("TX", "Output")), choices::Output.size()},
             TList{(*FindSetting("TX", "Extended")), choices::Extended.size()},
         }) {
        SCOPED_TRACE(std::string(list.Entry.Key));
        EXPECT_EQ(list.Entry.Kind, TSettingKind::Choice);
        EXPECT_EQ(list.Entry.Range.Min, 0);
        EXPECT_EQ(static_cast<std::size_t>(list.Entry.Choices()), list.Length);
    }
}

TEST(SettingsTable, LookupByMemberAndByKey) {
    // By member at compile time, so that a member the table does not keep stops the build.
    constexpr const TSettingEntry& frequency = SettingOf<&TSettings::TX, &TTxSettings::Frequency>();
    EXPECT_EQ(&frequency, FindSetting("TX", "Frequency"));
    const TSettingEntry* lesson = &SettingOf<&TSettings::Koch, &TKochSettings::Lesson>();
    EXPECT_EQ(lesson, FindSetting("Koch", "Lesson"));
    EXPECT_EQ(ReadNumber(frequency, std::to_string(frequency.Range.Max + 50)), frequency.Range.Max);
    EXPECT_EQ(FindSetting("TX", "Speed"), nullptr);
    EXPECT_EQ(FindSetting("Nowhere", "Speed"), nullptr);
    // The stored choices become types in one place, kept inside their lists.
    EXPECT_EQ(choices::TrainingModeOf(3), TTrainingMode::Phrases);
    EXPECT_EQ(choices::TrainingModeOf(9), TTrainingMode::Text);
    EXPECT_EQ(choices::DisplayModeOf(-1), TDisplayMode::ShowFirst);
    EXPECT_EQ(choices::SpacingOf(5), TSpacing::Wordsworth);
    EXPECT_EQ(choices::Stored(TDisplayMode::SingleItems), 2);
}
