#include "platform/MessageQueue.h"

#include "platform/GuiPost.h"

namespace brindle {

struct TMessageQueue::TShared {
    TMessageSink Show;
    mutable std::mutex Mutex;
    std::deque<TMessage> Waiting; // under Mutex
    bool Scheduled = false;       // under Mutex: a drain is queued on the event loop
    bool Showing = false;         // GUI thread only: a box is open
    bool Alive = true;            // GUI thread only
};

TMessageQueue::TMessageQueue(TMessageSink show) : Shared_(std::make_shared<TShared>()) {
    Shared_->Show = std::move(show);
}

TMessageQueue::~TMessageQueue() {
    Shared_->Alive = false;
    std::lock_guard lock(Shared_->Mutex);
    Shared_->Waiting.clear();
}

TMessageSink TMessageQueue::Sink() const {
    std::weak_ptr<TShared> weak = Shared_;
    return [weak](const TMessage& message) {
        if (auto shared = weak.lock()) {
            {
                std::lock_guard lock(shared->Mutex);
                shared->Waiting.push_back(message);
                if (shared->Scheduled) return;
                shared->Scheduled = true;
            }
            PostToGuiThread([weak] {
                if (auto s = weak.lock()) Drain(s);
            });
        }
    };
}

void TMessageQueue::Post(const TMessage& message) {
    Sink()(message);
}

void TMessageQueue::Flush() {
    Drain(Shared_);
}

std::size_t TMessageQueue::Pending() const {
    std::lock_guard lock(Shared_->Mutex);
    return Shared_->Waiting.size();
}

void TMessageQueue::Drain(const std::shared_ptr<TShared>& shared) {
    {
        std::lock_guard lock(shared->Mutex);
        shared->Scheduled = false;
    }
    // A drain run by the event loop of an open box leaves the new messages to the outer drain.
    if (shared->Showing) return;
    shared->Showing = true;
    for (;;) {
        TMessage message;
        {
            std::lock_guard lock(shared->Mutex);
            if (!shared->Alive || shared->Waiting.empty()) break;
            message = std::move(shared->Waiting.front());
            shared->Waiting.pop_front();
        }
        if (shared->Show) shared->Show(message);
    }
    shared->Showing = false;
}

} // namespace brindle
