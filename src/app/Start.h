// Program start and end: a one-line exit without a display, one instance per user, the main
// window, and an orderly close on SIGTERM or SIGINT (a logout or Ctrl+C in a terminal), which
// saves the settings as closing the window does.
#pragma once

#include <functional>

namespace brindle {

struct TStartHooks {
    // Told instead of the stop box when another instance holds the lock.
    std::function<void()> AlreadyRunning;
};

// Runs Brindle; the process's exit code.
int RunBrindle(int argc, char** argv, const TStartHooks& hooks = {});

} // namespace brindle
