// On-air material: callsigns that follow the ITU prefixes and the callsign rules, contacts with
// every part in its order, contest exchanges with cut numbers; the same seed, the same material.
#include "practice/OnAirMaterial.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>

using namespace brindle;

namespace {

// The callsign rules, apart from the generator: a prefix of the table, the call area digit (part
// of the prefix where it is fixed), one to three letters, and at most a portable suffix.
bool FollowsTheRules(std::string call, bool portableAllowed) {
    for (const char* suffix : {"/QRP", "/P", "/M"}) {
        const std::string s = suffix;
        if (call.size() > s.size() && call.compare(call.size() - s.size(), s.size(), s) == 0) {
            if (!portableAllowed) return false;
            call.resize(call.size() - s.size());
        }
    }
    std::size_t letters = 0;
    while (letters < call.size() &&
           std::isupper(static_cast<unsigned char>(call[call.size() - 1 - letters])))
        ++letters;
    if (letters < 1 || letters > 3 || letters == call.size()) return false;
    if (!std::isdigit(static_cast<unsigned char>(call[call.size() - 1 - letters]))) return false;
    return !CountryOfCallsign(call).empty();
}

} // namespace

TEST(OnAirMaterial, CallsignsFollowThePrefixesAndTheRulesAndTheSeed) {
    TOnAirMaterial material(42);
    std::set<std::string_view> countries;
    std::vector<std::string> calls;
    for (int i = 0; i < 3000; ++i) {
        calls.push_back(material.Callsign());
        ASSERT_TRUE(FollowsTheRules(calls.back(), false)) << calls.back();
        countries.insert(CountryOfCallsign(calls.back()));
    }
    EXPECT_GT(countries.size(), 40u); // the whole table is drawn from
    EXPECT_EQ(CountryOfCallsign("HB9ABC"), "Switzerland");
    EXPECT_EQ(CountryOfCallsign("GM3XYZ"), "Scotland"); // the longest prefix
    EXPECT_EQ(CountryOfCallsign("KH6AB"), "Hawaii");
    EXPECT_EQ(CountryOfCallsign("DLABC"), ""); // no call area digit
    EXPECT_EQ(CountryOfCallsign("QQ1ABC"), "");

    // The same seed gives the same calls; another seed others. 0 and the largest seed work.
    TOnAirMaterial again(42), other(43), zero(0), largest(4294967295u);
    std::vector<std::string> same, different;
    for (int i = 0; i < 50; ++i) {
        same.push_back(again.Callsign());
        different.push_back(other.Callsign());
        EXPECT_TRUE(FollowsTheRules(zero.Callsign(), false));
        EXPECT_TRUE(FollowsTheRules(largest.Callsign(), false));
    }
    EXPECT_EQ(same, std::vector<std::string>(calls.begin(), calls.begin() + 50));
    EXPECT_NE(different, same);

    // Portable suffixes now and then; a country filter by name or prefix.
    TOnAirMaterial portable(7, {true, "germany, JA"});
    int suffixed = 0;
    for (int i = 0; i < 500; ++i) {
        const std::string call = portable.Callsign();
        ASSERT_TRUE(FollowsTheRules(call, true)) << call;
        suffixed += call.find('/') != std::string::npos;
        const std::string_view country = CountryOfCallsign(call.substr(0, call.find('/')));
        ASSERT_TRUE(country == "Germany" || country == "Japan") << call;
    }
    EXPECT_GT(suffixed, 50);
    EXPECT_LT(suffixed, 200);
    std::string error;
    EXPECT_FALSE(TOnAirMaterial(1, {false, "Atlantis"}).Valid(error));
    EXPECT_NE(error.find("Atlantis"), std::string::npos);
}

TEST(OnAirMaterial, AContactHasEveryPartInOrder) {
    TOnAirMaterial material(3);
    for (int contact = 0; contact < 20; ++contact) {
        const std::vector<std::string> overs = material.Qso();
        ASSERT_EQ(overs.size(), 6u);
        std::string all;
        for (const std::string& over : overs)
            all += over + "\n";
        // CQ, the answer, the report, name, QTH, rig, antenna, weather, 73, the end.
        std::size_t at = 0;
        for (const char* part : {"CQ CQ CQ DE ", " DE ", "UR RST ", "NAME ", "QTH ", "UR RST ",
                                 "RIG ", "ANT ", "WX ", "73 ", "<sk>"}) {
            const std::size_t found = all.find(part, at);
            ASSERT_NE(found, std::string::npos) << part << " after " << at << "\n" << all;
            at = found + 1;
        }
        // The answer calls the station that called CQ.
        const std::string a = overs[0].substr(12, overs[0].find(' ', 12) - 12);
        EXPECT_TRUE(FollowsTheRules(a, false)) << a;
        EXPECT_EQ(overs[1].rfind(a + " DE ", 0), 0u) << overs[1];
    }
}

TEST(OnAirMaterial, ExchangesCountUpAndCutTheirNumbers) {
    EXPECT_EQ(CutNumbers("5NN 0919"), "5NN TN1N");
    TOnAirMaterial material(9);
    EXPECT_EQ(material.Exchange(TExchange::Serial, false), "5NN 001");
    EXPECT_EQ(material.Exchange(TExchange::Serial, true), "5NN TT2");
    for (int i = 3; i <= 8; ++i)
        material.Exchange(TExchange::Serial, false);
    EXPECT_EQ(material.Exchange(TExchange::Serial, true), "5NN TTN"); // 009
    EXPECT_EQ(material.Exchange(TExchange::Serial, false), "5NN 010");
    for (int i = 0; i < 200; ++i) {
        const std::string zone = material.Exchange(TExchange::Zone, false);
        const int n = std::stoi(zone.substr(4));
        ASSERT_TRUE(n >= 1 && n <= 40) << zone;
    }
}
