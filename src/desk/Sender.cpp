#include "desk/Sender.h"

#include "base/ControlCodes.h"
#include "base/FileIO.h"
#include "base/Text1252.h"
#include "desk/DeskTypes.h"
#include "display/DisplayModel.h"
#include "engine/MorseEngine.h"
#include "practice/TextFilters.h"
#include "settings/Settings.h"

#include <algorithm>

namespace brindle {

int TSender::DisplayWidth(uint8_t ch) {
    const int prosign = ProsignOfCode(ch);
    return prosign > 0 ? ProsignNameLength(prosign) : 1;
}

void TSender::ShowBufferFull() {
    ShowMessage(N_.Messages, TSeverity::Warning,
                "Warning: Type-ahead buffer is full: " + std::to_string(N_.Engine.Buffersize()));
}

// --- Typing --------------------------------------------------------------------------------------

bool TSender::SendTypedChar(uint8_t ch) {
    auto& cw = N_.Engine;
    auto& display = N_.Display;
    switch (Entry_) {
    case TEntry::None:
        if (ch == '<') {
            Entry_ = TEntry::Open;
            display.AddChar('<');
            PendingProsign_.assign(1, '<');
            return true;
        }
        if (!cw.IsSendable(ch)) return true;
        if (!cw.PutChar(ch)) {
            ShowBufferFull();
            return false;
        }
        if (const int p = ProsignOfCode(ch); p > 0)
            display.AddText(std::string(ProsignName(p)));
        else if (ch == PauseCode)
            display.AddChar(' ');
        else if (ch == ItemEndCode)
            display.AddChar(NewLineCode);
        else
            display.AddChar(ch);
        return true;
    case TEntry::Open:
        display.AddChar(ch);
        PendingProsign_ += static_cast<char>(ch);
        Entry_ = TEntry::Letter;
        return true;
    case TEntry::Letter: break;
    }
    const std::string typed = PendingProsign_ + static_cast<char>(ch);
    Entry_ = TEntry::None;
    PendingProsign_.clear();
    if (const int index = ProsignOfTyped(typed); index > 0) {
        if (!cw.PutCode(ProsignCode(index))) {
            display.DeleteLast(2);
            ShowBufferFull();
            return false;
        }
        // The rest of the name after the two characters shown: the letter typed last, then
        // what the name has beyond it.
        display.AddText(typed.substr(2) + std::string(ProsignName(index).substr(typed.size())));
        return true;
    }
    // Unknown: shown as "<?>" and sent as three pauses, so one Backspace takes it back.
    display.DeleteLast(1);
    display.AddText("?>");
    bool ok = true;
    for (int i = 0; i < 3 && ok; ++i)
        ok = cw.PutChar(PauseCode);
    if (!ok) ShowBufferFull();
    return ok;
}

void TSender::Backspace() {
    auto& cw = N_.Engine;
    auto& display = N_.Display;
    if (Entry_ != TEntry::None) {
        display.DeleteLast(Entry_ == TEntry::Open ? 1 : 2);
        Entry_ = TEntry::None;
        PendingProsign_.clear();
        return;
    }
    if (!cw.HasChars()) return;
    const uint8_t ch = cw.UnputChar();
    if (ch == NewLineCode) { // new lines stay
        cw.PutChar(NewLineCode);
        return;
    }
    if (ch != PauseCode) {
        display.DeleteLast(DisplayWidth(ch));
        return;
    }
    // A pause code: the ">" of an unknown prosign "<?>" (three pauses), or a single-mode space.
    display.DeleteLast(1);
    if (display.LastChar() == '?') {
        display.DeleteLast(2);
        for (int i = 0; i < 2 && cw.HasChars(); ++i)
            cw.UnputChar();
    }
}

// --- Texts ---------------------------------------------------------------------------------------

bool TSender::Queue(const std::string& text) {
    auto& cw = N_.Engine;
    auto& display = N_.Display;
    const TQueueStyle style = N_.QueueStyle();
    const bool onlyNewLine = text == "\r" || text == "\r\n" || text == "\n";
    const bool shown = style.Shown && !onlyNewLine;
    bool full = false;
    for (std::size_t i = 0; i < text.size() && !full; ++i) {
        uint8_t ch = static_cast<uint8_t>(text[i]);
        if (const int prosign = ProsignOfCode(ch); prosign > 0) {
            if (cw.IsKnown(ch)) {
                if (!cw.PutCode(ch))
                    full = true;
                else if (shown)
                    display.AddText(std::string(ProsignName(prosign)));
            }
            continue;
        }
        if (ch == '<') {
            // A name is one character; an unknown group vanishes, a lone "<" too.
            const TProsignMatch m = MatchProsign(text, i);
            if (m.Index > 0 && cw.IsKnown(ProsignCode(m.Index))) {
                if (!cw.PutCode(ProsignCode(m.Index)))
                    full = true;
                else if (shown)
                    display.AddText(std::string(ProsignName(m.Index)));
            }
            i += m.Length - 1;
            continue;
        }
        if (style.SingleMode) {
            if (ch == NewLineCode) ch = ItemEndCode;
            if (ch == ' ' && style.SpacesArePauses) ch = PauseCode;
        }
        if (!cw.IsSendable(ch)) continue;
        if (!cw.PutChar(ch)) {
            full = true;
        } else if (shown) {
            if (ch == PauseCode)
                display.AddChar(' ');
            else if (ch == ItemEndCode) {
                if (style.ItemEndShown) display.AddChar(NewLineCode);
            } else
                display.AddChar(ch);
        }
    }
    if (full) ShowBufferFull();
    OnChanged();
    return !full;
}

std::string PasteChain(const std::string& clipboardUtf8, const TCharSet& chars) {
    // Lines end in LF on Linux: each becomes the carriage return that is sent and shown.
    std::string t = LineEndsToCr(DecodeTextBytes(clipboardUtf8));
    t = RemoveUnknownProsigns(t);
    t = RemoveCodeCharacters(t);
    t = ProsignsToCodes(t);
    t = RemoveCarets(t);
    t = KeepSendable(t, chars);
    t = CodesToProsignNames(t);
    return CompactSpaces(t);
}

void TSender::Paste(const std::string& clipboardUtf8) {
    Queue(PasteChain(clipboardUtf8, N_.Engine.CharSet()));
}

// --- Screen files --------------------------------------------------------------------------------

TOpenRequest TSender::ScreenOpenRequest() const {
    const auto& m = N_.Settings.Main;
    return {"Load text from file to screen, like typing:", m.InDir, m.InFile};
}

TOpenRequest TSender::ScreenSaveRequest() const {
    const auto& m = N_.Settings.Main;
    return {"Save text from screen to file:", m.OutDir, m.OutFile};
}

bool TSender::LoadScreenText(const std::string& path) {
    std::string part, error;
    if (!ReadFilePart(path, 0, PartBytes, part, error)) {
        ShowMessage(N_.Messages, TSeverity::Error,
                    "Error: cannot read file " + path + " (" + error + ")");
        return false;
    }
    auto& cw = N_.Engine;
    auto& main = N_.Settings.Main;
    main.InDir = FileFolder(path);
    N_.Display.ClearAll();
    cw.ClearBuffer();
    OnScreenCleared();
    ScreenTextPath_ = path;
    main.InFile = FileBaseName(path);
    Load_ = TLoad{};
    Load_.Active = true;
    Load_.Path = path;
    cw.SetHold(true); // nothing is sent until the whole text is loaded
    TakePart(std::move(part));
    OnChanged(); // the notice is drawn
    N_.Later(0, [this] { LoadStep(); });
    return true;
}

void TSender::TakePart(std::string part) {
    // A part is read one byte past the limit: that byte, when it comes, says the file goes on.
    const std::size_t room = LoadMaxBytes - static_cast<std::size_t>(Load_.Offset);
    Load_.OverLimit = part.size() > room;
    if (Load_.OverLimit) part.resize(room);
    Load_.LastPart = part.size() < PartBytes || Load_.OverLimit;
    if (!Load_.LastPart) {
        const auto end = part.find_last_of("\r\n");
        if (end != std::string::npos && end > 0) part.resize(end + 1);
    }
    Load_.Offset += static_cast<long long>(part.size());
    Load_.Text = PasteChain(part, N_.Engine.CharSet());
    Load_.Pos = 0;
}

void TSender::LoadStep() {
    if (!Load_.Active) return;
    if (Load_.Interrupt) {
        ShowMessage(N_.Messages, TSeverity::Information,
                    "Loading from file interrupted. Read: " + std::to_string(Load_.Queued));
        FinishLoad();
        return;
    }
    // One step never cuts a prosign name: it ends after a space or line end where it can, and
    // never inside "<...>".
    const std::string& text = Load_.Text;
    std::size_t end = std::min(text.size(), Load_.Pos + StepChars);
    if (end < text.size()) {
        const std::size_t space = text.find_last_of(" \r", end - 1);
        if (space != std::string::npos && space >= Load_.Pos) {
            end = space + 1;
        } else {
            const std::size_t open = text.find_last_of('<', end - 1);
            if (open != std::string::npos && open >= Load_.Pos && end - open < 5) end = open;
        }
        if (end == Load_.Pos) end = std::min(text.size(), Load_.Pos + StepChars);
    }
    const std::string slice = text.substr(Load_.Pos, end - Load_.Pos);
    const bool taken = Queue(slice);
    Load_.Pos = end;
    Load_.Queued += slice.size();
    if (!taken) { // full: the rest is not read
        FinishLoad();
        return;
    }
    if (Load_.Pos >= text.size()) {
        if (Load_.LastPart) {
            if (Load_.OverLimit) {
                const std::string most = std::to_string(LoadMaxBytes >> 20) + " MB";
                ShowMessage(N_.Messages, TSeverity::Warning,
                            "Warning: " + Load_.Path + " is larger than " + most +
                                ": only the first " + most + " are read");
            }
            FinishLoad();
            return;
        }
        const std::size_t room = LoadMaxBytes - static_cast<std::size_t>(Load_.Offset);
        std::string part, error;
        if (!ReadFilePart(Load_.Path, Load_.Offset, std::min(PartBytes, room + 1), part, error)) {
            ShowMessage(N_.Messages, TSeverity::Error,
                        "Error: cannot read file " + Load_.Path + " (" + error + ")");
            FinishLoad();
            return;
        }
        if (part.empty()) {
            FinishLoad();
            return;
        }
        TakePart(std::move(part));
    }
    N_.Later(0, [this] { LoadStep(); });
}

void TSender::FinishLoad() {
    Load_.Active = Load_.Interrupt = false;
    Load_.Text.clear();
    OnScreenLoaded();
    if (!N_.PauseDown()) N_.Engine.SetHold(false);
    OnChanged();
}

bool TSender::SaveScreenText(const std::string& path) {
    std::string text = N_.Display.Text();
    if (N_.Settings.Main.AllCaps) text = Upper1252(text);
    // The platform's line ends: one LF for each of the display's line breaks.
    std::string lines = LineEndsToCr(text);
    std::replace(lines.begin(), lines.end(), '\r', '\n');
    if (!lines.empty() && lines.back() != '\n') lines += '\n'; // the last line is ended too
    std::string error;
    if (!WriteFileAtomically(path, Cp1252ToUtf8(lines), error)) {
        ShowMessage(N_.Messages, TSeverity::Error,
                    "Error: cannot write file " + path + " (" + error + ")");
        return false;
    }
    N_.Settings.Main.OutFile = FileBaseName(path);
    N_.Settings.Main.OutDir = FileFolder(path);
    return true;
}

} // namespace brindle
