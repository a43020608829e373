// Where components show their errors, warnings and notices. The program hands in a sink that opens
// a message box with the icon of the message's severity; tests hand in a recorder. A component
// without a sink stays silent.
#pragma once

#include <functional>
#include <string>

namespace brindle {

// How bad a message is; the component that has it says so, nothing is guessed from the wording.
enum class TSeverity { Information, Warning, Error };

// One user-visible message, already in its final wording (UTF-8).
struct TMessage {
    TSeverity Severity = TSeverity::Information;
    std::string Text;
    bool operator==(const TMessage&) const = default;
};

using TMessageSink = std::function<void(const TMessage& message)>;

// Shows text through sink when one is set.
inline void ShowMessage(const TMessageSink& sink, TSeverity severity, const std::string& text) {
    if (sink) sink(TMessage{severity, text});
}

} // namespace brindle
