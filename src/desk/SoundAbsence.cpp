#include "desk/SoundAbsence.h"

namespace brindle {

void TSoundAbsence::Gone() {
    if (Absent_) return;
    Absent_ = true;
    Lasting_ = false;
    Dummy_ = false;
    SessionStopped_ = false;
    Later_(GraceMs, [this, serial = ++Serial_] {
        if (!Absent_ || serial != Serial_) return;
        Lasting_ = true;
        OnChanged();
    });
    OnChanged();
}

void TSoundAbsence::Back(bool dummy) {
    if (!Absent_ && dummy == Dummy_) return;
    Absent_ = Lasting_ = false;
    SessionStopped_ = false;
    Dummy_ = dummy;
    ++Serial_;
    OnChanged();
}

void TSoundAbsence::SessionStopped() {
    if (SessionStopped_) return;
    SessionStopped_ = true;
    OnChanged();
}

std::string TSoundAbsence::Status() const {
    if (Absent_)
        return std::string(Lasting_ ? NoOutputText : RestartingText) +
               (SessionStopped_ ? SessionStoppedText : "");
    return Dummy_ ? DummyText : "";
}

std::string TSoundAbsence::Notice() const {
    if (!Lasting_) return {};
    return std::string(GoneText) + (SessionStopped_ ? SessionStoppedText : "");
}

} // namespace brindle
