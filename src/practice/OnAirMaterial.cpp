#include "practice/OnAirMaterial.h"

#include <algorithm>
#include <cctype>

namespace brindle {

namespace {

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::vector<std::string> SplitList(const std::string& list) {
    std::vector<std::string> out;
    std::string item;
    for (const char c : list + ",") {
        if (c == ',') {
            while (!item.empty() && item.back() == ' ')
                item.pop_back();
            if (!item.empty()) out.push_back(Lower(item));
            item.clear();
        } else if (c != ' ' || !item.empty()) {
            item += c;
        }
    }
    return out;
}

const std::vector<std::string> kNames = {"TOM",  "JOHN", "BOB",    "JIM",  "BILL",  "MIKE",  "DAVE",
                                         "PETE", "HANS", "KLAUS",  "PAUL", "ANNA",  "MARIA", "EVA",
                                         "JAN",  "OLE",  "LARS",   "ERIK", "TONY",  "AL",    "ED",
                                         "KEN",  "RON",  "GUY",    "LUC",  "MARCO", "YURI",  "IVAN",
                                         "TAKA", "JOSE", "CARLOS", "SUE",  "LIZ",   "FRED"};
const std::vector<std::string> kQths = {
    "BERLIN", "LONDON",   "PARIS",  "ROME",    "MADRID", "VIENNA", "PRAGUE", "OSLO",    "BOSTON",
    "DENVER", "TOKYO",    "SYDNEY", "TORONTO", "LISBON", "ZURICH", "MUNICH", "HAMBURG", "DUBLIN",
    "WARSAW", "HELSINKI", "OHIO",   "TEXAS",   "LYON",   "MILAN",  "GHENT",  "BERGEN",  "KIEV"};
const std::vector<std::string> kRigs = {"IC7300", "IC7610", "FT991", "FT710",    "TS590", "K3",
                                        "K4",     "KX3",    "FT817", "HOMEBREW", "QCX"};
const std::vector<std::string> kAntennas = {"DIPOLE", "YAGI", "VERTICAL", "EFHW",
                                            "LOOP",   "G5RV", "INV V",    "LW"};
const std::vector<std::string> kWeather = {"SUNNY", "CLOUDY", "RAIN", "SNOW", "FOG", "WINDY"};
const std::vector<std::string> kGreetings = {"GM", "GA", "GE"};

} // namespace

const std::vector<TCallsignCountry>& CallsignCountries() {
    static const std::vector<TCallsignCountry> table = {
        {"Germany",
         {"DL", "DJ", "DK", "DF", "DG", "DH", "DB", "DC", "DD", "DM", "DO"},
         false,
         1,
         3},
        {"England", {"G", "M"}, false, 2, 3},
        {"Scotland", {"GM", "MM"}, false, 2, 3},
        {"Wales", {"GW", "MW"}, false, 2, 3},
        {"Ireland", {"EI"}, false, 2, 3},
        {"France", {"F"}, false, 2, 3},
        {"Italy", {"I", "IK", "IZ", "IW"}, false, 2, 3},
        {"Spain", {"EA", "EB", "EC"}, false, 2, 3},
        {"Portugal", {"CT"}, false, 2, 3},
        {"Netherlands", {"PA", "PD", "PE"}, false, 2, 3},
        {"Belgium", {"ON", "OO"}, false, 2, 3},
        {"Switzerland", {"HB9"}, true, 2, 3},
        {"Austria", {"OE"}, false, 2, 3},
        {"Czech Republic", {"OK", "OL"}, false, 2, 3},
        {"Slovakia", {"OM"}, false, 2, 3},
        {"Poland", {"SP", "SQ", "SO"}, false, 2, 3},
        {"Hungary", {"HA", "HG"}, false, 2, 3},
        {"Slovenia", {"S5"}, false, 2, 3},
        {"Croatia", {"9A"}, false, 2, 3},
        {"Serbia", {"YU", "YT"}, false, 2, 3},
        {"Romania", {"YO"}, false, 2, 3},
        {"Bulgaria", {"LZ"}, false, 2, 3},
        {"Greece", {"SV"}, false, 2, 3},
        {"Sweden", {"SM", "SA"}, false, 2, 3},
        {"Norway", {"LA", "LB"}, false, 2, 3},
        {"Denmark", {"OZ"}, false, 2, 3},
        {"Finland", {"OH", "OG"}, false, 2, 3},
        {"Estonia", {"ES"}, false, 2, 3},
        {"Lithuania", {"LY"}, false, 2, 3},
        {"Russia", {"UA", "RA", "RK", "RN", "RU", "RV", "RW", "RZ"}, false, 2, 3},
        {"Ukraine", {"UR", "UT", "UX"}, false, 2, 3},
        {"United States",
         {"K",  "W",  "N",  "AA", "AB", "AC", "AD", "AE", "AF", "AG", "AI", "AJ", "AK", "KA",
          "KB", "KC", "KD", "KE", "KF", "KG", "KI", "KJ", "KK", "KN", "WA", "WB", "WD"},
         false,
         1,
         3},
        {"Alaska", {"KL7"}, true, 2, 3},
        {"Hawaii", {"KH6"}, true, 2, 3},
        {"Canada", {"VE", "VA", "VO", "VY"}, false, 2, 3},
        {"Mexico", {"XE"}, false, 2, 3},
        {"Brazil", {"PY", "PU"}, false, 2, 3},
        {"Argentina", {"LU"}, false, 2, 3},
        {"Chile", {"CE"}, false, 2, 3},
        {"Japan", {"JA", "JE", "JF", "JG", "JH", "JI", "JJ", "JK", "JL", "JR"}, false, 2, 3},
        {"China", {"BY", "BA", "BD", "BG", "BH"}, false, 2, 3},
        {"South Korea", {"HL", "DS"}, false, 2, 3},
        {"India", {"VU"}, false, 2, 3},
        {"Australia", {"VK"}, false, 2, 3},
        {"New Zealand", {"ZL"}, false, 2, 3},
        {"South Africa", {"ZS", "ZR"}, false, 2, 3},
        {"Israel", {"4X", "4Z"}, false, 2, 3},
    };
    return table;
}

std::string_view CountryOfCallsign(std::string_view call) {
    std::string_view best;
    std::size_t bestLength = 0;
    for (const TCallsignCountry& c : CallsignCountries())
        for (const std::string_view p : c.Prefixes) {
            const std::size_t need = p.size() + (c.FixedDigit ? 0 : 1); // the call area digit
            if (call.size() > need && call.substr(0, p.size()) == p && p.size() > bestLength &&
                std::isdigit(static_cast<unsigned char>(call[need - 1])) &&
                std::isalpha(static_cast<unsigned char>(call[need]))) {
                best = c.Country;
                bestLength = p.size();
            }
        }
    return best;
}

std::string CutNumbers(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = c == '0' ? 'T' : c == '9' ? 'N' : c;
    return out;
}

TOnAirMaterial::TOnAirMaterial(uint32_t seed, TCallsignOptions options)
    : Random_(seed), Options_(std::move(options)) {
    const std::vector<std::string> wanted = SplitList(Options_.Countries);
    for (const TCallsignCountry& c : CallsignCountries()) {
        bool take = wanted.empty();
        for (const std::string& w : wanted) {
            take = take || Lower(c.Country) == w;
            for (const std::string_view p : c.Prefixes)
                take = take || Lower(p) == w;
        }
        if (take) Countries_.push_back(&c);
    }
}

bool TOnAirMaterial::Valid(std::string& error) const {
    if (!Countries_.empty()) return true;
    error = "no country of the callsign table is named by '" + Options_.Countries +
            "' (names such as Germany or prefixes such as DL)";
    return false;
}

std::string TOnAirMaterial::Callsign() {
    if (Countries_.empty()) return {};
    const TCallsignCountry& c = *Pick(Countries_);
    std::string call(Pick(c.Prefixes));
    if (!c.FixedDigit) call += static_cast<char>('0' + Random_.Below(10));
    const int letters =
        c.SuffixMin +
        static_cast<int>(Random_.Below(static_cast<uint32_t>(c.SuffixMax - c.SuffixMin + 1)));
    for (int i = 0; i < letters; ++i)
        call += static_cast<char>('A' + Random_.Below(26));
    if (Options_.Portable) {
        static const std::vector<std::string> portable = {"/P", "/M", "/QRP"};
        if (Random_.Below(5) == 0) call += Pick(portable);
    }
    return call;
}

std::string TOnAirMaterial::Report() {
    const int r = 3 + static_cast<int>(Random_.Below(3)); // 3..5
    const int s = 5 + static_cast<int>(Random_.Below(5)); // 5..9
    std::string rst = std::to_string(r) + std::to_string(s) + "9";
    return Random_.Below(3) == 0 ? CutNumbers(rst) : rst;
}

std::vector<std::string> TOnAirMaterial::Qso() {
    const std::string a = Callsign(), b = Callsign();
    const std::string nameA = Pick(kNames), nameB = Pick(kNames);
    const std::string qthA = Pick(kQths), qthB = Pick(kQths);
    const std::string rstA = Report(), rstB = Report();
    auto twice = [](const std::string& s) { return s + " " + s; };
    auto weather = [&] {
        return "WX " + Pick(kWeather) + " TEMP " + std::to_string(Random_.Below(35)) + "C";
    };
    std::vector<std::string> overs;
    overs.push_back("CQ CQ CQ DE " + twice(a) + " " + a + " <ar> K");
    overs.push_back(a + " DE " + twice(b) + " <ar> K");
    overs.push_back(b + " DE " + a + " " + Pick(kGreetings) + " OM TNX FER CALL <bt> UR RST " +
                    twice(rstA) + " <bt> NAME " + twice(nameA) + " <bt> QTH " + twice(qthA) +
                    " <bt> HW? <ar> " + b + " DE " + a + " K");
    overs.push_back(a + " DE " + b + " R " + Pick(kGreetings) + " " + nameA +
                    " TNX FER RPT <bt> UR RST " + twice(rstB) + " <bt> NAME " + twice(nameB) +
                    " <bt> QTH " + twice(qthB) + " <bt> RIG " + Pick(kRigs) + " PWR " +
                    std::to_string(5 + 5 * Random_.Below(20)) + "W <bt> ANT " + Pick(kAntennas) +
                    " <bt> " + weather() + " <bt> HW? <ar> " + a + " DE " + b + " K");
    overs.push_back(b + " DE " + a + " R FB " + nameB + " TNX FER QSO <bt> RIG " + Pick(kRigs) +
                    " ANT " + Pick(kAntennas) + " <bt> " + weather() + " <bt> 73 ES GL <sk> " + b +
                    " DE " + a + " EE");
    overs.push_back(a + " DE " + b + " TNX " + nameA + " 73 <sk> EE");
    return overs;
}

std::string TOnAirMaterial::Exchange(TExchange kind, bool cut) {
    std::string number;
    if (kind == TExchange::Zone) {
        number = std::to_string(1 + Random_.Below(40));
    } else {
        number = std::to_string(++Serial_);
        if (number.size() < 3) number.insert(0, 3 - number.size(), '0');
    }
    return "5NN " + (cut ? CutNumbers(number) : number);
}

} // namespace brindle
