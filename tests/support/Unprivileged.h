// Runs a check as an ordinary user, so that file permissions hold even when the tests run as
// root (as CI does): root reads and replaces every file.
#pragma once

#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace brindle::test {

// Not root: runs check here. Root: hands paths to the user "nobody" (65534), forks, drops to
// that user in the child, runs check there and gives back its result. check returns 0 when
// everything held, else a number that tells which expectation failed; -1: could not run.
inline int RunUnprivileged(const std::vector<std::string>& paths,
                           const std::function<int()>& check) {
    if (geteuid() != 0) return check();
    constexpr uid_t kNobody = 65534;
    for (const auto& p : paths)
        if (chown(p.c_str(), kNobody, kNobody) != 0) return -1;
    const pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        if (setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(255);
        _exit(check() & 0xFF);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    const int code = WEXITSTATUS(status);
    return code == 255 ? -1 : code;
}

} // namespace brindle::test
