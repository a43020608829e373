#include "base/ThreadPriority.h"

#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>

namespace brindle {

std::string RaiseThisThread(int priority, const TRealtimeRequest& ask) {
    sched_param param{};
    param.sched_priority = priority;
    const int err = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
    if (err == 0) return "SCHED_FIFO";
    std::string why = std::strerror(err);
    const auto tid = static_cast<pid_t>(syscall(SYS_gettid));
    if (ask && ask(tid, priority, why)) return "rtkit";
    return "normal priority (" + why + ")";
}

} // namespace brindle
