// Notifications from the logic to whoever listens (windows, the facade's parts). Each listener is
// held by a TConnection; destroying the connection ends the listening, so a window that goes
// before the logic never leaves a hook behind that points at it. A signal that goes first leaves
// its connections harmless.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace brindle {

class TConnection {
public:
    TConnection() = default;
    explicit TConnection(std::function<void()> disconnect) : Disconnect_(std::move(disconnect)) {}
    TConnection(TConnection&& other) noexcept : Disconnect_(std::exchange(other.Disconnect_, {})) {}
    TConnection& operator=(TConnection&& other) noexcept {
        if (this != &other) {
            Disconnect();
            Disconnect_ = std::exchange(other.Disconnect_, {});
        }
        return *this;
    }
    TConnection(const TConnection&) = delete;
    TConnection& operator=(const TConnection&) = delete;
    ~TConnection() { Disconnect(); }

    void Disconnect() {
        if (Disconnect_) std::exchange(Disconnect_, {})();
    }
    bool Connected() const { return static_cast<bool>(Disconnect_); }

private:
    std::function<void()> Disconnect_;
};

template <class... Args> class TSignal {
public:
    using TSlot = std::function<void(Args...)>;

    [[nodiscard]] TConnection Connect(TSlot slot) {
        const int id = Slots_->Next++;
        Slots_->Slots.emplace(id, std::move(slot));
        std::weak_ptr<TSlots> weak = Slots_;
        return TConnection([weak, id] {
            if (auto shared = weak.lock()) shared->Slots.erase(id);
        });
    }

    // Calls every listener connected now; one that is disconnected by an earlier listener is
    // not called.
    void operator()(Args... args) const {
        std::vector<int> ids;
        ids.reserve(Slots_->Slots.size());
        for (const auto& [id, slot] : Slots_->Slots)
            ids.push_back(id);
        const std::shared_ptr<TSlots> keep = Slots_;
        for (int id : ids) {
            const auto it = keep->Slots.find(id);
            if (it == keep->Slots.end()) continue;
            const TSlot slot = it->second; // a listener may disconnect itself while it runs
            slot(args...);
        }
    }

    bool Empty() const { return Slots_->Slots.empty(); }

private:
    struct TSlots {
        std::map<int, TSlot> Slots;
        int Next = 0;
    };
    std::shared_ptr<TSlots> Slots_ = std::make_shared<TSlots>();
};

} // namespace brindle
