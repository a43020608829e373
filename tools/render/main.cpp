// brindle-render: text to Morse code in an audio file, rendered exactly as Brindle plays it.
#include "RenderJob.h"

#include <atomic>
#include <csignal>
#include <iostream>
#include <unistd.h>

namespace {

std::atomic<bool> Interrupted{false};

void OnInterrupt(int) {
    Interrupted = true;
}

} // namespace

int main(int argc, char** argv) {
    // Ctrl+C and a kill stop the work and remove what was written; a file size limit is an
    // error of the write (EFBIG), reported as such, not a signal that kills the program.
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    std::signal(SIGXFSZ, SIG_IGN);
    std::vector<std::string> args(argv + 1, argv + argc);
    return brindle::RunRender(args, std::cin, std::cout, std::cerr, isatty(STDERR_FILENO) == 1,
                              &Interrupted);
}
