// Brindle, the program.
#include "app/Start.h"

int main(int argc, char** argv) {
    return brindle::RunBrindle(argc, argv);
}
