#include "display/DisplayModel.h"

#include "base/Text1252.h"

#include <algorithm>

namespace brindle {

namespace {

constexpr uint8_t kZeroSlashed = 216; // capital O with stroke
constexpr uint8_t kSmallOSlashed = 248;

// Line breaks in the form the control reads back: every "\r\n", lone "\r" or lone "\n" becomes
// "\r\n".
std::string WithCrLf(const std::string& s) {
    std::string out;
    out.reserve(s.size() + 8);
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r') {
            out += "\r\n";
            if (i + 1 < s.size() && s[i + 1] == '\n') ++i;
        } else if (s[i] == '\n') {
            out += "\r\n";
        } else {
            out += s[i];
        }
    }
    return out;
}

// The document's form: one '\n' per line break.
std::string ForDocument(const std::string& crlf) {
    std::string out;
    out.reserve(crlf.size());
    for (char c : crlf)
        if (c != '\r') out += c;
    return out;
}

} // namespace

uint8_t TDisplayModel::ConvertChar(uint8_t ch) const {
    if (AllCaps_) ch = Upper1252(ch);
    if (ZeroSlash_ && ch == '0') ch = kZeroSlashed;
    return ch;
}

// Single characters keep their case; strings turn to small letters unless all caps is on.
std::string TDisplayModel::ConvertText(const std::string& s) const {
    std::string t = AllCaps_ ? Upper1252(s) : (ZeroSlash_ ? s : Lower1252(s));
    if (ZeroSlash_) std::replace(t.begin(), t.end(), '0', static_cast<char>(kZeroSlashed));
    return t;
}

int TDisplayModel::DocPos(int pos) const {
    const int index = pos - 1;
    // Every break before this position is one document character less; the '\n' half of a
    // break counts its own break and so lands on the document character of its '\r'.
    const auto before = std::lower_bound(Breaks_.begin(), Breaks_.end(), index) - Breaks_.begin();
    return index - static_cast<int>(before);
}

void TDisplayModel::Append(const std::string& converted, TRgb colour) {
    const std::string crlf = WithCrLf(converted);
    const int start = static_cast<int>(Text_.size());
    for (std::size_t i = 0; i < crlf.size(); ++i)
        if (crlf[i] == '\r') Breaks_.push_back(start + static_cast<int>(i));
    Text_ += crlf;
    Colours_.insert(Colours_.end(), crlf.size(), colour);
    if (View_) View_->AppendText(ForDocument(crlf), colour);
}

void TDisplayModel::Colour(int from, int count, TRgb colour) {
    const int length = static_cast<int>(Text_.size());
    const int a = std::clamp(from - 1, 0, length);
    const int b = std::clamp(from - 1 + count, 0, length);
    if (b <= a) return;
    std::fill(Colours_.begin() + a, Colours_.begin() + b, colour);
    if (View_) {
        const int docA = DocPos(a + 1);
        const int docB = b == length ? DocPos(length) + 1 : DocPos(b + 1);
        // A range that ends inside a line break still includes its document character.
        const bool endsInBreak = b < length && Text_[static_cast<std::size_t>(b)] == '\n' &&
                                 Text_[static_cast<std::size_t>(b - 1)] == '\r';
        const int docEnd = std::max(docB + (endsInBreak ? 1 : 0), docA);
        if (docEnd > docA) View_->SetColour(docA, docEnd - docA, colour);
    }
}

void TDisplayModel::ClearAll() {
    Text_.clear();
    Colours_.clear();
    Breaks_.clear();
    TextEnd_ = SentMark_ = 1;
    if (View_) View_->ClearText();
}

void TDisplayModel::AddChar(uint8_t ch) {
    if (ch == 0) return;
    if (ch == 13) {
        Append("\r\n", ColorInText_);
        TextEnd_ += 2;
        return;
    }
    Append(std::string(1, static_cast<char>(ConvertChar(ch))), ColorInText_);
    TextEnd_ += 1;
}

void TDisplayModel::AddText(const std::string& text) {
    const std::size_t before = Text_.size();
    Append(ConvertText(text), ColorInText_);
    TextEnd_ += static_cast<int>(Text_.size() - before);
}

void TDisplayModel::AddInfoText(const std::string& text) {
    AddColouredText(text, ColorInfoText_);
}

void TDisplayModel::AddColouredText(const std::string& text, TRgb colour) {
    Append(ConvertText(text), colour);
    TextEnd_ = static_cast<int>(Text_.size()) + 1;
    SentMark_ = TextEnd_;
}

void TDisplayModel::DeleteLast(int n) {
    if (n <= 0 || Text_.empty()) return;
    const int length = static_cast<int>(Text_.size());
    int k = n;
    if (length >= 2) {
        // A line break goes whole: each one met on the way back counts one more position.
        int i = length;
        for (int steps = n; steps > 0 && i > 0; --steps) {
            --i;
            if (Text_[static_cast<std::size_t>(i)] == '\n' && i > 0 &&
                Text_[static_cast<std::size_t>(i - 1)] == '\r') {
                ++k;
                --i;
            }
        }
    }
    // Sent text is never deleted.
    k = std::min({k, TextEnd_ - SentMark_, length});
    if (k <= 0) return;
    int cut = length - k;
    if (cut > 0 && Text_[static_cast<std::size_t>(cut)] == '\n' &&
        Text_[static_cast<std::size_t>(cut - 1)] == '\r')
        ++cut; // never half a line break
    if (cut >= length) return;
    const int docBefore = DocPos(length) + 1;
    const int docAfter = cut == 0 ? 0 : DocPos(cut) + 1;
    Text_.resize(static_cast<std::size_t>(cut));
    Colours_.resize(static_cast<std::size_t>(cut));
    while (!Breaks_.empty() && Breaks_.back() >= cut)
        Breaks_.pop_back();
    TextEnd_ = std::max(TextEnd_ - (length - cut), SentMark_);
    if (View_) View_->RemoveLast(docBefore - docAfter);
}

void TDisplayModel::MarkOneSent() {
    if (SentMark_ >= TextEnd_) return;
    Colour(SentMark_, 1, FontColor_);
    ++SentMark_;
}

void TDisplayModel::MarkSent(int n) {
    if (SentMark_ >= TextEnd_ || n <= 0) return;
    const int count = std::min(n, TextEnd_ - SentMark_);
    Colour(SentMark_, count, FontColor_);
    SentMark_ += count;
}

void TDisplayModel::UnmarkSent(int n) {
    if (n <= 0) return;
    const int mark = std::max(SentMark_ - n, 0);
    Colour(std::max(mark, 1), n - (mark < 1 ? 1 - mark : 0), ColorInText_);
    SentMark_ = std::max(mark, 1);
}

uint8_t TDisplayModel::LastChar() const {
    const int index = TextEnd_ - 2;
    if (index < 0 || index >= static_cast<int>(Text_.size())) return 0;
    return static_cast<uint8_t>(Text_[static_cast<std::size_t>(index)]);
}

TRgb TDisplayModel::ColourAt(int pos) const {
    if (pos < 1 || pos > static_cast<int>(Colours_.size())) return FontColor_;
    return Colours_[static_cast<std::size_t>(pos - 1)];
}

void TDisplayModel::SetAllCaps(bool on) {
    if (on == AllCaps_) return;
    AllCaps_ = on;
    std::string t = on ? Upper1252(Text_) : Lower1252(Text_);
    if (!on)
        std::replace(t.begin(), t.end(), static_cast<char>(kSmallOSlashed),
                     static_cast<char>(kZeroSlashed));
    Text_ = std::move(t);
    std::fill(Colours_.begin(), Colours_.end(), FontColor_);
    if (View_) View_->ReplaceText(ForDocument(Text_), FontColor_);
    if (TextEnd_ > SentMark_) Colour(SentMark_, TextEnd_ - SentMark_, ColorInText_);
}

} // namespace brindle
