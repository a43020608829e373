#include "settings/IniFile.h"

#include "base/Text1252.h"

#include <charconv>

namespace brindle {

namespace {

std::string_view Trim(std::string_view s) {
    const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

// The name of a section header line, or nothing when the line is not one.
std::optional<std::string_view> SectionName(std::string_view line) {
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[') return std::nullopt;
    const auto close = line.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return Trim(line.substr(1, close - 1));
}

bool IsComment(std::string_view line) {
    line = Trim(line);
    return !line.empty() && line.front() == ';';
}

// Key of a key line, or nothing.
std::optional<std::string_view> KeyName(std::string_view line) {
    if (IsComment(line)) return std::nullopt;
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    return Trim(line.substr(0, eq));
}

} // namespace

bool ParseIntStrict(std::string_view text, int& value) {
    text = Trim(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return false;
    int v = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || ptr != text.data() + text.size()) return false;
    value = v;
    return true;
}

TIniFile TIniFile::Parse(std::string_view bytes) {
    // A byte order mark is not part of the first line; files joined by an editor can carry two.
    // A mark kept in the line would be read as the mark at the next start, so the file changed
    // at every save.
    while (bytes.substr(0, 3) == "\xEF\xBB\xBF")
        bytes.remove_prefix(3);
    const std::string text = IsValidUtf8(bytes) ? std::string(bytes) : Cp1252ToUtf8(bytes);
    TIniFile ini;
    ini.Lines_ = SplitLines(text);
    return ini;
}

std::string TIniFile::ToText(std::string_view lineEnd) const {
    std::string out;
    for (const auto& line : Lines_) {
        out += line;
        out += lineEnd;
    }
    return out;
}

std::optional<TIniFile::TSectionRange> TIniFile::FindSection(std::string_view section) const {
    for (std::size_t i = 0; i < Lines_.size(); ++i) {
        const auto name = SectionName(Lines_[i]);
        if (!name || !SameName(*name, section)) continue;
        std::size_t end = i + 1;
        while (end < Lines_.size() && !SectionName(Lines_[end]))
            ++end;
        return TSectionRange{i, end};
    }
    return std::nullopt;
}

std::optional<std::size_t> TIniFile::FindKey(const TSectionRange& range,
                                             std::string_view key) const {
    for (std::size_t i = range.Header + 1; i < range.End; ++i) {
        const auto name = KeyName(Lines_[i]);
        if (name && SameName(*name, key)) return i;
    }
    return std::nullopt;
}

std::optional<std::string> TIniFile::Value(std::string_view section, std::string_view key) const {
    const auto range = FindSection(section);
    if (!range) return std::nullopt;
    const auto at = FindKey(*range, key);
    if (!at) return std::nullopt;
    const std::string_view line = Lines_[*at];
    return std::string(Trim(line.substr(line.find('=') + 1)));
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view fallback) const {
    auto v = Value(section, key);
    return v ? *v : std::string(fallback);
}

int TIniFile::ReadInteger(std::string_view section, std::string_view key, int fallback) const {
    const auto v = Value(section, key);
    int parsed = 0;
    return v && ParseIntStrict(*v, parsed) ? parsed : fallback;
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool fallback) const {
    const auto v = Value(section, key);
    int parsed = 0;
    return v && ParseIntStrict(*v, parsed) ? parsed != 0 : fallback;
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    std::string line(key);
    line += '=';
    // A line break inside a value would make a line of its own: keep the value on one line.
    for (const char c : value)
        line += (c == '\r' || c == '\n') ? ' ' : c;
    const auto range = FindSection(section);
    if (!range) {
        Lines_.push_back("[" + std::string(section) + "]");
        Lines_.push_back(std::move(line));
        return;
    }
    if (const auto at = FindKey(*range, key)) {
        Lines_[*at] = std::move(line);
        return;
    }
    // After the section's last non-blank line, so blank lines before the next section stay.
    std::size_t insert = range->End;
    while (insert > range->Header + 1 && Trim(Lines_[insert - 1]).empty())
        --insert;
    Lines_.insert(Lines_.begin() + static_cast<std::ptrdiff_t>(insert), std::move(line));
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, int value) {
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

void TIniFile::DeleteKey(std::string_view section, std::string_view key) {
    const auto range = FindSection(section);
    if (!range) return;
    if (const auto at = FindKey(*range, key))
        Lines_.erase(Lines_.begin() + static_cast<std::ptrdiff_t>(*at));
}

} // namespace brindle
