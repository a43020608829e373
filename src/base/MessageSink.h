// Where components show their errors and warnings. The program hands in a sink that opens a
// message box; tests hand in a recorder. A component without a sink stays silent.
#pragma once

#include <functional>
#include <string>

namespace brindle {

// One user-visible message, already in its final wording (UTF-8).
using TMessageSink = std::function<void(const std::string& text)>;

// Shows text through sink when one is set.
inline void ShowMessage(const TMessageSink& sink, const std::string& text) {
    if (sink) sink(text);
}

} // namespace brindle
