// Values for the settings tests: settings with every value changed from its default, and the keys
// of the table whose values two settings share or not, so that a check covers every key the table
// has, including keys added later.
#pragma once

#include "settings/Settings.h"
#include "settings/SettingsTable.h"

#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

namespace brindle::test {

// The tests' screen and data folder.
inline const TScreenGeometry Screen{1000, 800, 600, 400, 920, 750};
inline const std::string Folder = "/data/Brindle/";

// The text of settings written over the file text before.
inline std::string Saved(const TSettings& s, bool mainMaximised, std::string_view before = "") {
    TIniFile ini = TIniFile::Parse(before);
    WriteSettings(s, mainMaximised, ini);
    return ini.ToText();
}

// Every value differs from its default on the tests' screens; all of it survives the reading rules
// (capitals with AllCaps, GrMinSize below GrSize, VariSize with groups longer than one).
inline TSettings EveryKeyChanged() {
    TSettings s;
    auto& m = s.Main;
    m.Version = "9.8.7";
    m.Speed = 125;
    m.AskEnd = true;
    m.InFile = "in put.txt";
    m.WordFile = "w\xC3\xB6rter.txt";
    m.PhrasesFile = "phrases.txt";
    m.InDir = "/home/ham/in/";
    m.OutFile = "out.txt";
    m.OutDir = "/home/ham/out/";
    m.ShowWpM = true;
    m.AllCaps = true;
    m.CharSizeItem = 7;
    auto& t = s.Tutor;
    t.Mode = 3;
    t.DispMode = 2;
    t.CharField = 2;
    t.Characters = "ABC\xC4+";
    t.Characters2 = "0129\xDC";
    t.StartSpeed = 45;
    t.Varispeed = true;
    t.EndSpeed = 90;
    t.Farnsworth = 2;
    t.FarnsworthSpeed = 110;
    t.Groups = 250;
    t.GrSize = 8;
    t.GrMinSize = 3;
    t.VariSize = true;
    t.Repeat = 4;
    t.Faster = 6;
    t.Blip = true;
    t.StartText = "vvv \xE9<bt>";
    t.EndText = "<sk> \xDF";
    auto& x = s.TX;
    x.Output = 2;
    x.TXComPort = 65;
    x.TXAudioDevice = 2;
    x.PTT = true;
    x.EqKeyOpt = true;
    x.AutoStart = false;
    x.Frequency = 650;
    x.Slope = 35;
    x.Extended = 0;
    x.OutputLevel = -3;
    x.Muted = true;
    x.NoiseLevel = -45;
    x.Noise = true;
    x.TXAudioDeviceName = "alsa_output.usb-Gen\xC3\xA9ric_Headset-00.analog-stereo";
    auto& f = s.Form;
    f.Top = -20;
    f.Height = 480;
    f.Left = 33;
    f.Width = 900;
    f.BuTop = 11;
    f.BuLeft = 12;
    f.ParaTop = 13;
    f.ParaLeft = 14;
    auto& k = s.Koch;
    k.Order = 3;
    k.Custom = "kmr<ar>\xE4";
    k.Lesson = 7;
    k.Minutes = 12;
    k.CharCpm = 120;
    k.EffCpm = 75;
    k.GroupSize = 0;
    return s;
}

// "Section/Key" of every entry with a member whose value is the same in a and b (alike), or is
// not (differing).
inline std::vector<std::string> KeysCompared(const TSettings& a, const TSettings& b, bool alike) {
    std::vector<std::string> keys;
    for (const TSettingEntry& e : SettingsTable) {
        std::visit(
            [&](const auto& target) {
                if constexpr (!std::is_same_v<std::decay_t<decltype(target)>, std::monostate>) {
                    if ((target.OfConst(a) == target.OfConst(b)) == alike)
                        keys.push_back(std::string(e.Section) + "/" + std::string(e.Key));
                }
            },
            e.Target);
    }
    return keys;
}
inline std::vector<std::string> KeysAlike(const TSettings& a, const TSettings& b) {
    return KeysCompared(a, b, true);
}
inline std::vector<std::string> KeysDiffering(const TSettings& a, const TSettings& b) {
    return KeysCompared(a, b, false);
}

} // namespace brindle::test
