// On-air practice material: realistic callsigns from a table of ITU prefixes, generated contacts
// (CQ, the answer, report, name, QTH, rig, antenna, weather, 73) with the abbreviations and
// prosigns hams send, and contest exchanges with cut numbers. Every choice is drawn from an
// injected seeded source, so the same seed gives the same material.
#pragma once

#include "base/Random.h"

#include <string>
#include <string_view>
#include <vector>

namespace brindle {

// A country's callsigns: the ITU prefixes it gives out, and the length of the letters after the
// call area digit. Prefixes that end in a digit (HB9, KH6, S5, 9A) are complete with it when
// FixedDigit is set; otherwise a call area digit 0..9 follows the prefix.
struct TCallsignCountry {
    std::string_view Country;
    std::vector<std::string_view> Prefixes;
    bool FixedDigit = false; // the prefix ends in the call area digit
    int SuffixMin = 1;       // letters after the digit
    int SuffixMax = 3;
};

// The table that ships with Brindle.
const std::vector<TCallsignCountry>& CallsignCountries();

struct TCallsignOptions {
    bool Portable = false; // now and then /P, /M or /QRP
    std::string Countries; // comma-separated country names or prefixes; empty: all
};

// The country of a callsign by its prefix (the longest matching one), or empty.
std::string_view CountryOfCallsign(std::string_view call);

// The kinds of contest exchange.
enum class TExchange { Zone, Serial };

// Cut numbers as contesters send them: 0 as T and 9 as N.
std::string CutNumbers(std::string_view text);

class TOnAirMaterial {
public:
    explicit TOnAirMaterial(uint32_t seed, TCallsignOptions options = {});

    // False with the reason when the country filter names no country of the table.
    bool Valid(std::string& error) const;

    std::string Callsign();
    // A contact between two stations: one over per line, upper case, prosigns by their names
    // ("<ar>", "<bt>", "<sk>"), as brindle-render and the lists take them.
    std::vector<std::string> Qso();
    // "5NN 14" (a CQ zone, 1..40) or "5NN 0123" (a serial that counts up from 1); cut: T for 0
    // and N for 9 in the number as well.
    std::string Exchange(TExchange kind, bool cut);

private:
    template <class T> const T& Pick(const std::vector<T>& list) {
        return list[Random_.Below(static_cast<uint32_t>(list.size()))];
    }
    std::string Report();

    TRandomSource Random_;
    TCallsignOptions Options_;
    std::vector<const TCallsignCountry*> Countries_;
    int Serial_ = 0;
};

} // namespace brindle
