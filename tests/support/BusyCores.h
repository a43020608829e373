// Two busy loops, one per core, for as long as it lives: the machine of a user who compiles while
// practising.
#pragma once

#include <atomic>
#include <thread>
#include <vector>

namespace brindle::test {

class TBothCoresBusy {
public:
    TBothCoresBusy() {
        for (int core = 0; core < 2; ++core)
            Load_.emplace_back([this] {
                volatile unsigned long long x = 0;
                while (!Stop_)
                    x = x + 1;
            });
    }
    ~TBothCoresBusy() {
        Stop_ = true;
        for (auto& t : Load_)
            t.join();
    }
    TBothCoresBusy(const TBothCoresBusy&) = delete;
    TBothCoresBusy& operator=(const TBothCoresBusy&) = delete;

private:
    std::atomic<bool> Stop_{false};
    std::vector<std::thread> Load_;
};

} // namespace brindle::test
