// Real-time scheduling for one thread through rtkit, the desktop's RealtimeKit daemon on the
// system bus, for a program that may not raise a thread's priority itself. rtkit grants it only to
// a process whose RLIMIT_RTTIME is set, so the limit is set first (to what rtkit accepts); a
// real-time thread that ran that long without sleeping would be stopped by the kernel, and the
// keying thread sleeps between every two edges.
#pragma once

#include <sys/types.h>

#include <QDBusConnection>

#include <string>

namespace brindle {

// Asks rtkit on bus to run thread tid at priority (SCHED_FIFO); false and why when it did not.
bool AskRealtimeKit(const QDBusConnection& bus, pid_t tid, int priority, std::string& why);
// The same on the system bus.
bool AskRealtimeKit(pid_t tid, int priority, std::string& why);

} // namespace brindle
