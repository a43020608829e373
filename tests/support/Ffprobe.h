// What ffprobe, as a player's tool, reads of an audio file: its chapters, and the fields of its
// format and of its first stream (tags, duration).
#pragma once

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace brindle::test {

struct TProbedChapter {
    double Start = -1; // [s]
    double End = -1;   // [s]
    std::string Title;
};

struct TProbe {
    std::vector<TProbedChapter> Chapters;
    // "format.duration", "format.tags.title", "streams.stream.0.tags.TITLE", ...
    std::map<std::string, std::string> Fields;
    // A tag of the file (MP3, FLAC, WAV) or of its stream (Ogg comments), any case.
    std::string Tag(const std::string& name) const {
        for (const auto& [key, value] : Fields) {
            const std::string lower = [&] {
                std::string k = key;
                for (char& c : k)
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                return k;
            }();
            if (lower == "format.tags." + name || lower == "streams.stream.0.tags." + name)
                return value;
        }
        return {};
    }
};

inline TProbe Probe(const std::string& path) {
    struct TPipeCloser {
        void operator()(std::FILE* pipe) const { pclose(pipe); }
    };
    const std::string command =
        "ffprobe -v error -show_chapters -show_format -show_streams -of flat '" + path + "'";
    std::unique_ptr<std::FILE, TPipeCloser> pipe(popen(command.c_str(), "r"));
    TProbe probe;
    if (!pipe) return probe;
    std::string output;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0;)
        output.append(buffer, got);
    std::map<int, TProbedChapter> chapters;
    std::size_t begin = 0;
    for (std::size_t end; (end = output.find('\n', begin)) != std::string::npos; begin = end + 1) {
        const std::string line = output.substr(begin, end - begin);
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = line.substr(0, equals);
        std::string value;
        for (std::size_t i = equals + 1; i < line.size(); ++i) { // unquoted, unescaped
            if (line[i] == '"') continue;
            if (line[i] == '\\' && i + 1 < line.size()) ++i;
            value += line[i];
        }
        int index = 0;
        char field[64] = {};
        if (std::sscanf(key.c_str(), "chapters.chapter.%d.%63s", &index, field) == 2) {
            const std::string name = field;
            if (name == "start_time") chapters[index].Start = std::stod(value);
            if (name == "end_time") chapters[index].End = std::stod(value);
            if (name == "tags.title") chapters[index].Title = value;
        } else {
            probe.Fields[key] = value;
        }
    }
    for (const auto& [index, chapter] : chapters)
        probe.Chapters.push_back(chapter);
    return probe;
}

} // namespace brindle::test
