#include "SerialShim.h"

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace brindle::test {

TPty::TPty() {
    Master = posix_openpt(O_RDWR | O_NOCTTY);
    if (Master >= 0 && grantpt(Master) == 0 && unlockpt(Master) == 0) SlavePath = ptsname(Master);
}

TPty::~TPty() {
    if (Master >= 0) close(Master);
}

} // namespace brindle::test
