// Access from a test to the serial shim preloaded into it (serial_shim.c): line states, input
// changes, failures and the RTS/DTR log. Tests skip when the shim is not loaded.
#pragma once

#include <dlfcn.h>
#include <string>
#include <vector>

namespace brindle::test {

struct TLineChange {
    long long Ns = 0; // CLOCK_MONOTONIC
    bool Rts = false;
    bool Dtr = false;
};

class TSerialShim {
public:
    bool Active() const { return Active_; }
    void SetInputs(const std::string& path, int bits) { SetInputs_(path.c_str(), bits); }
    void Fail(const std::string& path, int err) { Fail_(path.c_str(), err); }
    // Makes applying line settings (tcsetattr) fail with err; 0 mends it.
    void FailSettings(const std::string& path, int err) { FailSettings_(path.c_str(), err); }
    int Lines(const std::string& path) { return Lines_(path.c_str()); }
    void ClearLog() { Clear_(); }
    std::vector<TLineChange> Log() {
        std::vector<TLineChange> log;
        const int n = Count_();
        for (int i = 0; i < n; ++i) {
            long long ns = 0;
            int rts = 0, dtr = 0;
            if (Entry_(i, &ns, &rts, &dtr) == 0) log.push_back({ns, rts != 0, dtr != 0});
        }
        return log;
    }

private:
    template <class F> static F* Find(const char* name) {
        return reinterpret_cast<F*>(dlsym(RTLD_DEFAULT, name));
    }
    bool Active_ = Find<int()>("brindle_shim_active") != nullptr;
    int (*SetInputs_)(const char*, int) = Find<int(const char*, int)>("brindle_shim_set_inputs");
    int (*Fail_)(const char*, int) = Find<int(const char*, int)>("brindle_shim_fail");
    int (*FailSettings_)(const char*,
                         int) = Find<int(const char*, int)>("brindle_shim_fail_settings");
    int (*Lines_)(const char*) = Find<int(const char*)>("brindle_shim_lines");
    int (*Count_)() = Find<int()>("brindle_shim_log_count");
    int (*Entry_)(int, long long*, int*,
                  int*) = Find<int(int, long long*, int*, int*)>("brindle_shim_log_entry");
    void (*Clear_)() = Find<void()>("brindle_shim_clear_log");
};

// A pseudo-terminal pair; the slave path stands in for a serial device.
class TPty {
public:
    TPty();
    ~TPty();
    std::string SlavePath;
    int Master = -1;
};

} // namespace brindle::test
