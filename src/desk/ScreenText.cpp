// Loading a text file to the screen, sent as if typed, and saving the display's text to a file.
#include "desk/LogoApp.h"

#include "base/FileIO.h"
#include "base/Text1252.h"
#include "desk/Session.h"
#include "practice/TextFilters.h"

#include <algorithm>

#include <sys/stat.h>

namespace brindle {

namespace {

// A file is read in parts of this size, each cut after its last line end, so that a huge file is
// never held whole: the type-ahead buffer takes what it can and the rest is not read.
constexpr std::size_t kPartBytes = 1 << 20;

} // namespace

TOpenRequest TLogoApp::ScreenOpenRequest() const {
    return {"Load text from file to screen, like typing:", Settings_.Main.InDir,
            Settings_.Main.InFile};
}

TOpenRequest TLogoApp::ScreenSaveRequest() const {
    return {"Save text from screen to file:", Settings_.Main.OutDir, Settings_.Main.OutFile};
}

bool TLogoApp::LoadScreenText(const std::string& path) {
    std::string part, error;
    if (!ReadFilePart(path, 0, kPartBytes, part, error)) {
        ShowMessage(Platform_.Messages, TSeverity::Error,
                    "Error: cannot read file " + path + " (" + error + ")");
        return false;
    }
    Settings_.Main.InDir = FileFolder(path);
    Display_.ClearAll();
    CWout1_->ClearBuffer();
    SessionCharCount = RepeatedCharCount = 0;
    ScreenTextPath = path;
    Settings_.Main.InFile = FileBaseName(path);
    LoadingText = true;
    LoadInterruptRequested = false;
    CWout1_->SetHold(true); // nothing is sent until the whole text is loaded
    View_.LoadingNoticeShown = true;
    Changed();
    if (Platform_.ProcessPending) Platform_.ProcessPending(); // the notice is drawn

    long long offset = 0;
    LoadReadBefore_ = 0;
    for (;;) {
        const bool last = part.size() < kPartBytes;
        if (!last) {
            const auto end = part.find_last_of("\r\n");
            if (end != std::string::npos && end > 0) part.resize(end + 1);
        }
        offset += static_cast<long long>(part.size());
        const std::string text = PasteChain(part, CWout1_->CharSet());
        const bool taken = LoadTextToBuffer(text);
        LoadReadBefore_ += text.size();
        if (!taken || !LoadingText || last) break;
        if (!ReadFilePart(path, offset, kPartBytes, part, error)) {
            ShowMessage(Platform_.Messages, TSeverity::Error,
                        "Error: cannot read file " + path + " (" + error + ")");
            break;
        }
        if (part.empty()) break;
    }
    LoadReadBefore_ = 0;
    View_.LoadingNoticeShown = false;
    if (OnScrollToStart) OnScrollToStart();
    if (!PauseLook(View_.PauseState).Down) CWout1_->SetHold(false);
    LoadingText = false;
    LoadInterruptRequested = false;
    Changed();
    return true;
}

bool TLogoApp::SaveScreenText(const std::string& path) {
    std::string text = Display_.Text();
    if (Settings_.Main.AllCaps) text = Upper1252(text);
    // The platform's line ends: one LF for each of the display's line breaks.
    std::string lines = LineEndsToCr(text);
    std::replace(lines.begin(), lines.end(), '\r', '\n');
    if (!lines.empty() && lines.back() != '\n') lines += '\n'; // the last line is ended too
    std::string error;
    if (!WriteFileAtomically(path, Cp1252ToUtf8(lines), error)) {
        ShowMessage(Platform_.Messages, TSeverity::Error,
                    "Error: cannot write file " + path + " (" + error + ")");
        return false;
    }
    Settings_.Main.OutFile = FileBaseName(path);
    Settings_.Main.OutDir = FileFolder(path);
    return true;
}

} // namespace brindle
