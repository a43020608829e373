#include "desk/Buffers.h"

#include "base/FileIO.h"
#include "base/Text1252.h"
#include "engine/MorseEngine.h"
#include "engine/MorseTables.h"
#include "practice/TextFilters.h"
#include "settings/Settings.h"

#include <cerrno>
#include <sys/stat.h>

namespace brindle {

namespace {

std::string Fit(std::string text) {
    if (text.size() > BufferMaxLength) text.resize(BufferMaxLength);
    return text;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// Enough bytes for 60 characters of UTF-8.
constexpr std::size_t kHeadBytes = BufferMaxLength * 4;

} // namespace

std::string NormalizeText(const std::string& text) {
    // Either table's characters stay, whatever the current choice; no blip mark.
    const TCharSet either{true, false};
    return CodesToProsignNames(
        RemoveCarets(KeepKnown(ProsignsToCodes(RemoveUnknownProsigns(text)), either)));
}

bool ReadBufferFile(const std::string& path, std::string& text, std::string& error) {
    std::string bytes;
    if (!ReadFilePart(path, 0, kHeadBytes + 1, bytes, error)) return false;
    if (const auto nul = bytes.find('\0'); nul != std::string::npos) bytes.resize(nul);
    if (bytes.size() > kHeadBytes) {
        // Cut where a character ends, so that a longer UTF-8 file still reads as UTF-8.
        bytes.resize(kHeadBytes);
        std::size_t k = bytes.size();
        while (k > 0 && (static_cast<uint8_t>(bytes[k - 1]) & 0xC0) == 0x80)
            --k;
        if (k > 0 && static_cast<uint8_t>(bytes[k - 1]) >= 0xC0) bytes.resize(k - 1);
    }
    // Line ends and other control characters have no place in a one-line buffer.
    std::string decoded = DecodeTextBytes(bytes);
    std::string one;
    for (char c : decoded)
        if (static_cast<uint8_t>(c) >= 32) one += c;
    text = Fit(one);
    return true;
}

bool WriteBufferFile(const std::string& path, const std::string& text, std::string& error) {
    return WriteFileAtomically(path, Cp1252ToUtf8(NormalizeText(text)), error);
}

TTextBuffers::TTextBuffers(TTextBuffersNeeds needs) : N_(std::move(needs)) {}

void TTextBuffers::Changed() {
    OnChanged();
}

std::string TTextBuffers::OwnFile(int n) const {
    return DataFolder_ + "CWBuffer" + std::to_string(n + 1) + ".txt";
}

bool TTextBuffers::Create(const std::string& dataFolder, bool allCaps) {
    DataFolder_ = dataFolder;
    if (!DataFolder_.empty() && DataFolder_.back() != '/') DataFolder_ += '/';
    if (!Exists(DataFolder_) && ::mkdir(DataFolder_.c_str(), 0700) != 0 && errno != EEXIST) {
        ShowMessage(N_.Messages, TSeverity::Error, "Cannot create directory " + DataFolder_);
        return false;
    }
    for (int n = 0; n < BufferCount; ++n) {
        auto& b = View_.Buffers[static_cast<std::size_t>(n)];
        b.FileName = OwnFile(n);
        std::string error;
        if (Exists(b.FileName)) {
            if (!ReadBufferFile(b.FileName, b.Text, error))
                ShowMessage(N_.Messages, TSeverity::Error,
                            "Cannot read file " + b.FileName + " (" + error + ")");
        } else if (!WriteFileAtomically(b.FileName, "", error)) {
            ShowMessage(N_.Messages, TSeverity::Error, "Cannot create file " + b.FileName);
            break;
        }
    }
    SetAllCaps(allCaps);
    return true;
}

void TTextBuffers::SaveChanged() {
    for (int n = 0; n < BufferCount; ++n) {
        auto& b = View_.Buffers[static_cast<std::size_t>(n)];
        b.FileName = OwnFile(n);
        if (!b.Modified || DataFolder_.empty()) continue;
        std::string error;
        if (WriteBufferFile(b.FileName, b.Text, error))
            b.Modified = false;
        else
            ShowMessage(N_.Messages, TSeverity::Error,
                        "Cannot write file " + b.FileName + " (" + error + ")");
    }
}

void TTextBuffers::New(int n) {
    auto& b = View_.Buffers[static_cast<std::size_t>(n)];
    b.Text.clear();
    b.Modified = true;
    Changed();
}

TBufferFileRequest TTextBuffers::LoadRequest(int n) const {
    return {"Load Buffer " + std::to_string(n + 1) + " from File:",
            View_.Buffers[static_cast<std::size_t>(n)].FileName};
}

TBufferFileRequest TTextBuffers::SaveRequest(int n) const {
    return {"Save Buffer " + std::to_string(n + 1) + " to File:",
            View_.Buffers[static_cast<std::size_t>(n)].FileName};
}

bool TTextBuffers::Load(int n, const std::string& path) {
    if (!Exists(path)) {
        ShowMessage(N_.Messages, TSeverity::Error, "Cannot find file " + path);
        return false;
    }
    std::string text, error;
    if (!ReadBufferFile(path, text, error)) {
        ShowMessage(N_.Messages, TSeverity::Error, "Cannot read file " + path + " (" + error + ")");
        return false;
    }
    auto& b = View_.Buffers[static_cast<std::size_t>(n)];
    b.FileName = path;
    b.Text = text;
    b.Modified = true;
    Changed();
    return true;
}

bool TTextBuffers::Save(int n, const std::string& path) {
    auto& b = View_.Buffers[static_cast<std::size_t>(n)];
    std::string error;
    if (!WriteBufferFile(path, b.Text, error)) {
        // A save that did not happen is said, never passed over.
        ShowMessage(N_.Messages, TSeverity::Error,
                    "Cannot write file " + path + " (" + error + ")");
        return false;
    }
    b.FileName = path;
    Changed();
    return true;
}

void TTextBuffers::Transmit(int n) {
    auto& b = View_.Buffers[static_cast<std::size_t>(n)];
    b.Text = ShownCase(NormalizeText(b.Text), N_.Settings.Main.AllCaps);
    if (N_.SessionIdle() && !b.Text.empty()) OnSend(b.Text);
    Changed();
}

void TTextBuffers::RepeatClick(int n, bool down) {
    const bool set = down && !View_.Buffers[static_cast<std::size_t>(n)].Text.empty();
    View_.Repeating = set ? n : -1;
    // Repeat alone starts the buffer when nothing is being sent.
    const auto& cw = N_.Engine;
    if (set && N_.SessionIdle() && !cw.HasChars() && !cw.CharOnAir()) Transmit(n);
    Changed();
}

void TTextBuffers::ReleaseRepeatButtons() {
    if (View_.Repeating < 0) return;
    View_.Repeating = -1;
    Changed();
}

void TTextBuffers::Edited(int n, const std::string& text) {
    auto& b = View_.Buffers[static_cast<std::size_t>(n)];
    const std::string fitted = Fit(text);
    if (fitted == b.Text) return;
    b.Text = fitted;
    b.Modified = true;
}

void TTextBuffers::Normalize(int n) {
    auto& b = View_.Buffers[static_cast<std::size_t>(n)];
    b.Text = ShownCase(NormalizeText(b.Text), N_.Settings.Main.AllCaps);
    Changed();
}

void TTextBuffers::SetAllCaps(bool on) {
    for (auto& b : View_.Buffers)
        b.Text = ShownCase(b.Text, on);
    Changed();
}

void TTextBuffers::RepeatIfSet() {
    if (View_.Repeating < 0) return;
    // A word space between two repetitions, so that the last word and the first stay apart.
    auto& b = View_.Buffers[static_cast<std::size_t>(View_.Repeating)];
    b.Text = ShownCase(NormalizeText(b.Text), N_.Settings.Main.AllCaps);
    if (N_.SessionIdle() && !b.Text.empty()) OnSend(" " + b.Text);
    Changed();
}

} // namespace brindle
