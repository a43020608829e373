// A recursive mutex with priority inheritance: while a real-time thread waits for it, the thread
// that holds it runs at the waiter's priority, so that a third thread of ordinary priority (a busy
// program, a compiler) can never hold the waiter up by taking the holder's processor. The engine's
// guard is one: the keying thread must not wait for the GUI thread to be scheduled again.
#pragma once

#include <pthread.h>

namespace brindle {

class TPriorityMutex {
public:
    TPriorityMutex() {
        pthread_mutexattr_t attr;
        pthread_mutexattr_init(&attr);
        pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
        pthread_mutexattr_setprotocol(&attr, PTHREAD_PRIO_INHERIT);
        pthread_mutex_init(&Mutex_, &attr);
        pthread_mutexattr_destroy(&attr);
    }
    ~TPriorityMutex() { pthread_mutex_destroy(&Mutex_); }
    TPriorityMutex(const TPriorityMutex&) = delete;
    TPriorityMutex& operator=(const TPriorityMutex&) = delete;

    void lock() { pthread_mutex_lock(&Mutex_); }
    bool try_lock() { return pthread_mutex_trylock(&Mutex_) == 0; }
    void unlock() { pthread_mutex_unlock(&Mutex_); }

private:
    pthread_mutex_t Mutex_;
};

} // namespace brindle
