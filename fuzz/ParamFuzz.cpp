// Fuzzes the parameters window's logic: numeric fields, up-down steps, the character fields'
// commit chain and the choices, in any order, with any text. After every step the engine and
// the working values stay in their ranges, the fields fit their lengths and hold no control
// characters, and committing what a field shows gives the same field (it reads back).
#include "base/Text1252.h"
#include "desk/Desk.h"
#include "desk/Parameters.h"
#include "practice/TextFilters.h"
#include "support/FakeSoundBackend.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void CheckAt(bool ok, int line) {
    if (ok) return;
    std::fprintf(stderr, "invariant of line %d broken\n", line);
    std::abort();
}
#define Check(ok) CheckAt((ok), __LINE__)

struct TRig {
    brindle::test::TFakeSoundBackend::TState Sound;
    brindle::TDisplayModel Display;
    std::unique_ptr<brindle::TDesk> App;
    TRig() {
        using namespace brindle;
        TDeskPlatform p;
        p.SoundBackend = std::make_unique<test::TFakeSoundBackend>(Sound);
        p.Messages = [](const TMessage&) {};
        p.AskOkCancel = [](const std::string&) { return true; };
        p.Later = [](int, std::function<void()>) {}; // nothing here waits for the engine
        p.DetectPorts = [] { return std::vector<TDetectedPort>{}; };
        p.Post = [](std::function<void()> fn) { fn(); };
        App = std::make_unique<TDesk>(std::move(p), Display, DefaultSettings("/nonexistent/", {}));
        App->FormCreate();
    }
};

void CheckInvariants(brindle::TDesk& app) {
    using namespace brindle;
    const auto& cw = app.Engine();
    auto& p = app.Params();
    Check(cw.Frequency() >= 100 && cw.Frequency() <= 2000);
    Check(cw.Slope() >= 0 && cw.Slope() <= 500);
    Check(cw.FWSpeed() >= 10 && cw.FWSpeed() <= 300);
    Check(cw.LogAmplitude() <= 0 && cw.LogAmplitude() >= -60);
    Check(p.WorkStartSpeed >= 10 && p.WorkStartSpeed <= 300);
    Check(p.WorkEndSpeed >= 10 && p.WorkEndSpeed <= 300);
    Check(p.WorkGroupCount >= 1 && p.WorkGroupCount <= 1000);
    Check(p.WorkGroupSize >= 1 && p.WorkGroupSize <= 15);
    Check(p.WorkMinGroupSize >= 0 && p.WorkMinGroupSize <= p.WorkGroupSize);
    Check(p.WorkGroupSize == 1 || p.WorkMinGroupSize < p.WorkGroupSize);
    for (int i = 0; i < UpDownCount; ++i) {
        const auto& n = p.Number(static_cast<TUpDown>(i));
        Check(n.Position >= n.Min && n.Position <= n.Max);
    }
    const bool extended = cw.ExtraChars();
    for (int i = 0; i < CharFieldCount; ++i) {
        const auto f = static_cast<TCharField>(i);
        const std::string& shown = p.Text(f).Text;
        Check(static_cast<int>(shown.size()) <= p.Text(f).MaxLength);
        for (char c : shown)
            Check(static_cast<uint8_t>(c) >= 32 && c != 127);
        const bool chars = i < 2;
        const std::string again = CodesToProsignNames(chars ? CharSetOfField(shown, extended)
                                                            : SendableText(shown, extended));
        Check(Lower1252(again) == Lower1252(shown));
        if (chars) Check(shown.find(' ') == std::string::npos);
    }
    Check(p.CharSet1.find(' ') == std::string::npos && p.CharSet2.find(' ') == std::string::npos);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace brindle;
    static int argc = 1;
    static char name[] = "fuzz_params";
    static char* argv[] = {name, nullptr};
    static QCoreApplication qt(argc, argv);
    static TRig rig;
    TParameters& p = rig.App->Params();
    // Steps separated by newlines: the first byte chooses what, the rest is the text.
    std::size_t i = 0;
    while (i < size) {
        std::size_t end = i;
        while (end < size && data[end] != '\n')
            ++end;
        if (end > i) {
            const uint8_t op = data[i];
            const std::string text(reinterpret_cast<const char*>(data + i + 1), end - i - 1);
            const int arg = text.empty() ? 0 : static_cast<uint8_t>(text[0]);
            switch (op % 12) {
            case 0: p.ApplyEditField(static_cast<TUpDown>(arg % UpDownCount), text); break;
            case 1: p.CommitText(static_cast<TCharField>(arg % CharFieldCount), text); break;
            case 2:
                p.StepUpDown(static_cast<TUpDown>(arg % UpDownCount), (arg & 8) ? 1 : -1, arg & 16,
                             arg & 32);
                break;
            case 3: p.SetExtended(arg & 1); break;
            case 4: p.SetAllCaps(arg & 1); break;
            case 5: p.SetShowWpM(arg & 1); break;
            case 6: p.SetVariSize(arg & 1); break;
            case 7: p.SetFarnsworth(choices::SpacingOf(arg % 4)); break;
            case 8: p.ChooseCharField(arg % 3); break;
            case 9:
                if (arg % 3 == 0) p.AllLetters();
                if (arg % 3 == 1) p.AllNumerals();
                if (arg % 3 == 2) p.AllCharacters();
                break;
            case 10: p.SetLevel(arg - 100); break;
            default: p.SetMorseMode(choices::TrainingModeOf(arg % 6)); break;
            }
            CheckInvariants(*rig.App);
        }
        i = end + 1;
    }
    return 0;
}
