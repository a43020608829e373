// Real-time scheduling for a thread whose timing is heard or keyed (the keying thread, the sound
// feeder): SCHED_FIFO where the process may set it, else what rtkit grants, else normal priority.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

namespace brindle {

// Asks the system for real-time priority for the thread tid; true when granted, else why not.
using TRealtimeRequest = std::function<bool(pid_t tid, int priority, std::string& why)>;

// Raises the calling thread to SCHED_FIFO at priority, asking through ask when the process may
// not; says how it was settled: "SCHED_FIFO", "rtkit", or "normal priority (why)".
std::string RaiseThisThread(int priority, const TRealtimeRequest& ask);

} // namespace brindle
