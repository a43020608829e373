// An INI file kept as its lines, so that a save changes only the keys the program writes: a key
// is replaced in place, a missing key is appended at the end of its section, a missing section at
// the end of the file, and every other line (unknown keys and sections, comments) stays as it was.
// Text is UTF-8; section and key names compare without regard to ASCII case, the first wins.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

class TIniFile {
public:
    TIniFile() = default;

    // Takes the text of a file: UTF-8, or Windows-1252 when it is not valid UTF-8; line ends
    // CR LF, LF or CR; a UTF-8 byte-order mark is skipped.
    static TIniFile Parse(std::string_view bytes);
    // The file's text in UTF-8 with lineEnd after every line.
    std::string ToText(std::string_view lineEnd = DefaultLineEnd) const;

#ifdef _WIN32
    static constexpr std::string_view DefaultLineEnd = "\r\n";
#else
    static constexpr std::string_view DefaultLineEnd = "\n";
#endif

    // The value of key in section (spaces around it removed), or nothing when absent.
    std::optional<std::string> Value(std::string_view section, std::string_view key) const;
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view fallback) const;
    // Decimal integer; absent or not a number gives fallback.
    int ReadInteger(std::string_view section, std::string_view key, int fallback) const;
    // Any non-zero integer is true; absent or not a number gives fallback.
    bool ReadBool(std::string_view section, std::string_view key, bool fallback) const;

    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, int value);
    void WriteBool(std::string_view section, std::string_view key, bool value);
    void DeleteKey(std::string_view section, std::string_view key);

    const std::vector<std::string>& Lines() const {
        return Lines_;
    }

private:
    struct TSectionRange {
        std::size_t Header = 0; // index of the [section] line
        std::size_t End = 0;    // one past the last line of the section
    };
    std::optional<TSectionRange> FindSection(std::string_view section) const;
    std::optional<std::size_t> FindKey(const TSectionRange& range, std::string_view key) const;

    std::vector<std::string> Lines_;
};

// Whole-number parsing shared by the settings readers: optional sign, decimal digits, nothing
// else; false when it does not fit an int.
bool ParseIntStrict(std::string_view text, int& value);

} // namespace brindle
