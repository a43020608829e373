// Typing, prosign entry, loading a text into the type-ahead buffer and pasting; the engine's
// per-character events and single mode's item boundaries.
#include "desk/LogoApp.h"

#include "base/Text1252.h"
#include "desk/Buffers.h"
#include "desk/Session.h"
#include "practice/TextFilters.h"

namespace brindle {

namespace {

constexpr uint8_t kNewLine = 13;
constexpr uint8_t kItemEnd = 254;
constexpr uint8_t kPause = 255;

bool IsSeparator(uint8_t ch) {
    return ch == kNewLine || ch == ' ' || ch == kItemEnd || ch == kPause;
}

} // namespace

int TLogoApp::DisplayWidth(uint8_t ch) {
    const int prosign = TCWout::ProsignOfCode(ch);
    return prosign > 0 ? TCWout::ProsignNameLength(prosign) : 1;
}

void TLogoApp::ShowBufferFull() {
    ShowMessage(Platform_.Messages, TSeverity::Warning,
                "Warning: Type-ahead buffer is full: " + std::to_string(TypeAheadSize));
}

void TLogoApp::KeyPress(uint8_t ch) {
    switch (ch) {
    case 27: Escape(); return;
    case 8: Backspace(); return;
    case kNewLine:
        if (SingleMode) {
            View_.PauseState =
                View_.PauseState == 2 || View_.PauseState == 3 ? 1 : View_.PauseState;
            PauseButtonClick(false);
        } else if (SessionState == 0) {
            SendTypedChar(kNewLine);
        }
        return;
    default: break;
    }
    if (SessionState != 0) {
        if (SingleMode && ch == ' ') PauseButtonClick(false);
        return;
    }
    if (ch == 223) ch = '?'; // sharp s
    if (EqualsKeyOptimisation) {
        if (ch == '-')
            ch = '=';
        else if (ch == '_')
            ch = '-';
    }
    if (SingleMode && ch == ' ') ch = kPause;
    SendTypedChar(ch);
}

void TLogoApp::KeyDown(TDeskKey key, TShiftState shift, bool speedBoxFocused) {
    switch (key) {
    case TDeskKey::F5: Buffers_->Transmit(0); break;
    case TDeskKey::F6: Buffers_->Transmit(1); break;
    case TDeskKey::F7: Buffers_->Transmit(2); break;
    case TDeskKey::F8: Buffers_->Transmit(3); break;
    case TDeskKey::F9:
        if (shift.None())
            SetSingleMode();
        else if (shift.Shift && !shift.Ctrl && !shift.Alt) {
            if (OutputDevice > 0) StopSingleMode();
        } else if (shift.Ctrl && !shift.Shift && !shift.Alt)
            RepeatSingleItem();
        break;
    case TDeskKey::Pause:
        if (PauseLook(View_.PauseState).Enabled) {
            const bool down = !PauseLook(View_.PauseState).Down;
            PauseButtonClick(down);
        }
        break;
    case TDeskKey::Delete:
        if (!speedBoxFocused) StopAllSending();
        break;
    case TDeskKey::Z:
        if (shift.Ctrl && !shift.Shift && !shift.Alt) ClearScreenClick();
        break;
    case TDeskKey::Other: break;
    }
}

void TLogoApp::Escape() {
    int removed = 0;
    if ((SessionState == 0 || SessionState == 1 || SessionState == 2 || SessionState == 6 ||
         SessionState == 8) &&
        !LoadingText) {
        removed = CWout1_->RemoveUnsent();
        Display_.DeleteLast(removed);
    } else if (SessionState == 10) {
        Session_->StopSoundTest();
    }
    if (DispMode == 1 && SinglePauseState == 0) {
        Display_.MarkSent(ItemDisplayCount);
        ResetItemCounters();
    }
    if (LoadingText) {
        LoadInterruptRequested = true;
        return;
    }
    Buffers_->ReleaseRepeatButtons(); // a repeating buffer stops too
    CWout1_->SetHold(false);
    switch (SessionState) {
    case 6: SessionState = 7; break;
    case 4: CWout1_->PutChar(kItemEnd); break;
    case 2:
    case 8:
        CWout1_->PutChar(kItemEnd);
        if (VariSpeed) CWout1_->SetSpeed(Session_->EndSpeed);
        SessionState = 3;
        break;
    case 1:
        CWout1_->PutChar(kItemEnd);
        SessionState = 3;
        break;
    case 0:
        if (removed > 0) CWout1_->PutChar(kItemEnd);
        break;
    default: break;
    }
    if (SingleMode) StopSingleMode();
    if (Platform_.ProcessPending) Platform_.ProcessPending();
    FinishAbortWhenNothingIsSent();
    EnableParameterControls();
    if (OutputDevice > 0) View_.Button2Enabled = true;
    ItemKind = -1;
    Changed();
}

void TLogoApp::Backspace() {
    if (SingleMode) {
        RepeatSingleItem();
        return;
    }
    if (SessionState != 0) return;
    if (ProsignEntryState == 1 || ProsignEntryState == 2) {
        Display_.DeleteLast(ProsignEntryState);
        ProsignEntryState = 0;
        PendingProsign.clear();
        return;
    }
    if (!CWout1_->HasChars()) return;
    const uint8_t ch = CWout1_->UnputChar();
    if (ch == kNewLine) { // new lines stay
        CWout1_->PutChar(kNewLine);
        return;
    }
    if (ch != kPause) {
        Display_.DeleteLast(DisplayWidth(ch));
        return;
    }
    // A pause code: the ">" of an unknown prosign "<?>" (three pauses), or a single-mode space.
    Display_.DeleteLast(1);
    if (Display_.LastChar() == '?') {
        Display_.DeleteLast(2);
        for (int i = 0; i < 2 && CWout1_->HasChars(); ++i)
            CWout1_->UnputChar();
    }
}

bool TLogoApp::SendTypedChar(uint8_t ch) {
    auto& cw = *CWout1_;
    switch (ProsignEntryState) {
    case 0:
        if (ch == '<') {
            ProsignEntryState = 1;
            Display_.AddChar('<');
            PendingProsign.assign(1, '<');
            return true;
        }
        if (!cw.IsSendable(ch)) return true;
        if (!cw.PutChar(ch)) {
            ShowBufferFull();
            return false;
        }
        if (const int p = TCWout::ProsignOfCode(ch); p > 0)
            Display_.AddText(std::string(TCWout::ProsignName(p)));
        else if (ch == kPause)
            Display_.AddChar(' ');
        else if (ch == kItemEnd) {
            if (!(ItemKind == 3 && SessionState == 3)) Display_.AddChar(kNewLine);
        } else
            Display_.AddChar(ch);
        return true;
    case 1:
        Display_.AddChar(ch);
        PendingProsign += static_cast<char>(ch);
        ProsignEntryState = 2;
        return true;
    default: {
        std::string name = PendingProsign + static_cast<char>(ch);
        if ((PendingProsign == "<s" || PendingProsign == "<S") && (ch == 'o' || ch == 'O'))
            name += ch == 'O' ? "S>" : "s>";
        else
            name += '>';
        ProsignEntryState = 0;
        PendingProsign.clear();
        const int index = TCWout::ProsignIndex(name);
        if (index > 0) {
            if (!cw.PutCode(TCWout::ProsignCode(index))) {
                Display_.DeleteLast(2);
                ShowBufferFull();
                return false;
            }
            Display_.AddText(name.substr(2));
            return true;
        }
        // Unknown: shown as "<?>" and sent as three pauses, so one Backspace takes it back.
        Display_.DeleteLast(1);
        Display_.AddText("?>");
        bool ok = true;
        for (int i = 0; i < 3 && ok; ++i)
            ok = cw.PutChar(kPause);
        if (!ok) ShowBufferFull();
        return ok;
    }
    }
}

bool TLogoApp::LoadTextToBuffer(const std::string& text) {
    auto& cw = *CWout1_;
    const bool onlyNewLine = text == "\r" || text == "\r\n" || text == "\n";
    for (std::size_t i = 0; i < text.size(); ++i) {
        uint8_t ch = static_cast<uint8_t>(text[i]);
        bool full = false;
        if (TCWout::ProsignOfCode(ch) > 0) {
            if (cw.IsKnown(ch)) {
                if (cw.PutCode(ch))
                    Display_.AddText(std::string(TCWout::ProsignName(TCWout::ProsignOfCode(ch))));
                else
                    full = true;
            }
        } else if (ch == '<') {
            auto at = [&](std::size_t k) { return k < text.size() ? text[k] : ' '; };
            std::size_t length = at(i + 3) == '>' ? 4 : at(i + 4) == '>' ? 5 : 0;
            if (length > 0) {
                std::string group;
                for (std::size_t k = 0; k < length; ++k)
                    group += at(i + k);
                const int index = TCWout::ProsignIndex(group);
                if (index > 0 && cw.IsKnown(TCWout::ProsignCode(index))) {
                    if (cw.PutCode(TCWout::ProsignCode(index)))
                        Display_.AddText(group);
                    else
                        full = true;
                }
                i += length - 1; // an unknown group vanishes
            }
        } else {
            if (SingleMode) {
                if (ch == kNewLine) ch = kItemEnd;
                if (ch == ' ' && ItemKind != 3) ch = kPause;
            }
            if (cw.IsSendable(ch)) {
                if (!cw.PutChar(ch)) {
                    full = true;
                } else if (!onlyNewLine && !((SessionState == 1 && Session_->StartTextEmpty) ||
                                             (SessionState == 4 && Session_->EndTextEmpty))) {
                    if (ch == kPause)
                        Display_.AddChar(' ');
                    else if (ch == kItemEnd) {
                        if (!(ItemKind == 3 && SessionState == 3)) Display_.AddChar(kNewLine);
                    } else
                        Display_.AddChar(ch);
                }
            }
        }
        if (full) {
            ShowBufferFull();
            Changed();
            return false;
        }
        // Sending starts while a long text is still loading, and Esc can interrupt it.
        if (Platform_.ProcessPending) Platform_.ProcessPending();
        if (LoadingText && LoadInterruptRequested) {
            LoadInterruptRequested = false;
            LoadingText = false;
            ShowMessage(Platform_.Messages, TSeverity::Information,
                        "Loading from file interrupted. Read: " +
                            std::to_string(LoadReadBefore_ + i + 1));
            break;
        }
    }
    Changed();
    return true;
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

void TLogoApp::Paste(const std::string& clipboardUtf8) {
    LoadTextToBuffer(PasteChain(clipboardUtf8, CWout1_->CharSet()));
}

// --- Engine events -------------------------------------------------------------------------------

void TLogoApp::CWout1CharStart(uint8_t ch) {
    if (SessionState != 0 && SessionState != 2 && SessionState != 8) return;
    if (ch > 32 && ch < 254) {
        ++SessionCharCount;
        ++SentCharCount;
        if (RepeatingItem) ++RepeatedCharCount;
    }
}

void TLogoApp::CWout1CharSent(uint8_t ch) {
    if (SingleMode) {
        SingleModeCharSent(ch);
        return;
    }
    const int width = DisplayWidth(ch);
    if (width == 1)
        Display_.MarkOneSent();
    else
        Display_.MarkSent(width);
    if (ch == kNewLine || ch == kItemEnd) Display_.MarkOneSent(); // a line break is two
}

void TLogoApp::SingleModeCharSent(uint8_t ch) {
    auto& cw = *CWout1_;
    const int width = DisplayWidth(ch) + (ch == kNewLine || ch == kItemEnd ? 1 : 0);
    ++ItemCharCount;
    ItemDisplayCount += width;
    const bool showAsSent = DispMode == 0 || DispMode == 2;
    auto endItem = [&] {
        cw.SetHold(true);
        SetPauseButtonState(showAsSent || SinglePauseState == 1 ? 2 : 3);
        RepeatingItem = false;
    };
    if (showAsSent) Display_.MarkSent(width);
    if (ItemKind == 3) {
        if (ch == kNewLine || ch == kItemEnd || ch == kPause) endItem();
        Changed();
        return;
    }
    if (IsSeparator(ch)) {
        if (SkipNextSeparator) {
            SkipNextSeparator = false;
            ResetItemCounters();
        } else {
            endItem();
            // Further separators go at once, so the next item starts with its first character.
            while (cw.HasChars() && IsSeparator(cw.PeekChar())) {
                const uint8_t next = cw.GetChar();
                const int w = next == kNewLine || next == kItemEnd ? 2 : 1;
                ++ItemCharCount;
                ItemDisplayCount += w;
                Display_.MarkSent(w);
            }
        }
    } else if (!cw.HasChars()) {
        // The last item also ends with a pause.
        if (cw.PutChar(kPause)) Display_.AddChar(' ');
    }
    Changed();
}

} // namespace brindle
