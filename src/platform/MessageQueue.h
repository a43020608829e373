// Shows the program's messages one at a time from the GUI thread's event loop. Components call
// their message sink from inside engine, sound and serial callbacks; a modal box opened there
// would run an event loop inside the callback and re-enter it. The sink this class gives out only
// queues the text; the box opens once control is back in the event loop, and a message that
// arrives while a box is open waits until that box is closed, so boxes never stack.
#pragma once

#include "base/MessageSink.h"

#include <deque>
#include <memory>
#include <mutex>
#include <string>

namespace brindle {

class TMessageQueue {
public:
    // show opens the box (and may run a nested event loop until it is closed).
    explicit TMessageQueue(TMessageSink show);
    ~TMessageQueue();
    TMessageQueue(const TMessageQueue&) = delete;
    TMessageQueue& operator=(const TMessageQueue&) = delete;

    // A sink for components; callable from any thread, never shows anything at once. Calls made
    // after the queue is gone are dropped.
    TMessageSink Sink() const;
    void Post(const TMessage& message);
    // Shows what is queued now (for the end of the program, when no event loop follows); only
    // from the GUI thread outside any callback.
    void Flush();
    // Messages queued and not yet shown.
    std::size_t Pending() const;

private:
    struct TShared;
    static void Drain(const std::shared_ptr<TShared>& shared);
    std::shared_ptr<TShared> Shared_;
};

} // namespace brindle
