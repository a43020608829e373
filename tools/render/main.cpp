// brindle-render: text to Morse code in a WAV file, rendered exactly as Brindle plays it.
#include "RenderJob.h"

#include <iostream>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return brindle::RunRender(args, std::cin, std::cout, std::cerr);
}
