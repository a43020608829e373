#include "serial/SerialLines.h"

#include "base/Ranges.h"
#include "serial/SerialPorts.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace brindle {

namespace {

// Signal that releases a watcher blocked in TIOCMIWAIT; its handler does nothing.
int WakeSignal() {
    return SIGRTMIN + 4;
}

void InstallWakeHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction sa {};
        sa.sa_handler = [](int) {};
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = 0; // no SA_RESTART: the blocked ioctl returns EINTR
        sigaction(WakeSignal(), &sa, nullptr);
    });
}

std::string CommMessage(const std::string& text, int code) {
    char tail[32];
    std::snprintf(tail, sizeof tail, " (Error: %d) ", code);
    return text + tail;
}

} // namespace

ECommError::ECommError(const std::string& message, int code)
    : std::runtime_error(CommMessage(message, code)), ErrorCode_(code) {}

// --- Watcher -------------------------------------------------------------------------------------

TCommEventThread::TCommEventThread(int fd, TCommEventTypes events, TPost post, THandler handler)
    : Fd_(fd), Post_(std::move(post)), Handler_(std::make_shared<THandler>(std::move(handler))) {
    if (!Post_) throw std::invalid_argument("TCommEventThread needs a post function");
    if (events.Has(TCommEventType::evCts)) Mask_ |= TIOCM_CTS;
    if (events.Has(TCommEventType::evDsr)) Mask_ |= TIOCM_DSR;
    if (events.Has(TCommEventType::evRing)) Mask_ |= TIOCM_RNG;
    if (events.Has(TCommEventType::evRlsd)) Mask_ |= TIOCM_CD;
    InstallWakeHandler();
    ioctl(Fd_, TIOCMGET, &Last_); // changes count from here, before the thread runs
    Thread_ = std::thread([this] { Execute(); });
}

TCommEventThread::~TCommEventThread() {
    Stop();
}

void TCommEventThread::Suspend() {
    std::lock_guard lock(Mutex_);
    Suspended_ = true;
}

void TCommEventThread::Resume() {
    {
        std::lock_guard lock(Mutex_);
        Suspended_ = false;
    }
    Wake_.notify_all();
}

void TCommEventThread::Stop() {
    if (!Thread_.joinable()) return;
    Terminated_ = true;
    {
        std::lock_guard lock(Mutex_);
        Suspended_ = false;
    }
    Wake_.notify_all();
    // The thread may be inside TIOCMIWAIT: a signal makes the ioctl return. Repeat in case the
    // signal came just before the ioctl began. The thread still exists until it is joined.
    while (!Exited_) {
        pthread_kill(Thread_.native_handle(), WakeSignal());
        for (int i = 0; i < 20 && !Exited_; ++i)
            usleep(100);
    }
    Thread_.join();
    Handler_.reset(); // calls still queued for the GUI thread find the handler gone
}

void TCommEventThread::Execute() {
    // The handler belongs to the owner's thread. A post function that ran the call here at once
    // would let a port loss stop and join this thread from inside itself: such calls are refused.
    const auto watcher = std::this_thread::get_id();
    auto post = [this, watcher](int changed) {
        std::weak_ptr<THandler> handler = Handler_;
        Post_([handler, changed, watcher] {
            if (std::this_thread::get_id() == watcher) return;
            if (auto h = handler.lock(); h && *h) (*h)(changed);
        });
    };
    while (!Terminated_) {
        {
            std::unique_lock lock(Mutex_);
            // Nothing to watch, or suspended: sleep until woken, without spinning.
            Wake_.wait(lock, [&] { return Terminated_ || (!Suspended_ && Mask_ != 0); });
        }
        if (Terminated_) break;
        // A change between two waits is reported before waiting again, so none is lost.
        int now = 0;
        if (ioctl(Fd_, TIOCMGET, &now) == 0) {
            const int changed = (now ^ Last_) & Mask_;
            Last_ = now;
            if (changed != 0) {
                post(changed);
                continue;
            }
        }
        if (ioctl(Fd_, TIOCMIWAIT, Mask_) != 0) {
            if (errno == EINTR) continue;
            if (Terminated_) break;
            post(-1);
            break;
        }
    }
    Exited_ = true;
}

// --- Keyer ---------------------------------------------------------------------------------------

TSerialLines::TSerialLines(TMessageSink sink, TCommEventThread::TPost post)
    : Sink_(std::move(sink)), Post_(std::move(post)),
      PortPath_([](int n) { return ComPortDevicePath(n); }),
      Wait_([](int ms) { usleep(static_cast<useconds_t>(ms) * 1000); }) {
    if (!Post_) throw std::invalid_argument("TSerialLines needs a post function");
}

TSerialLines::~TSerialLines() {
    *Alive_ = false;
    Disconnect();
}

// A setting that names another port or other lines takes effect on an open port at once.
void TSerialLines::Reconnect() {
    if (!IsOpen()) return;
    Disconnect();
    Wait_(100);
    Connect();
}

void TSerialLines::SetPortNumber(int number) {
    number = ranges::ComPort.Clamp(number);
    if (number == PortNumber_) return;
    PortNumber_ = number;
    Reconnect();
}

void TSerialLines::SetMonitorEvents(TCommEventTypes events) {
    if (events == MonitorEvents_) return;
    MonitorEvents_ = events;
    Reconnect();
}

void TSerialLines::OpenPort() {
    if (PortNumber_ == 0) return;
    ClosePort(); // open but never connected: start again
    const std::string com = "COM" + std::to_string(PortNumber_);
    DevicePath_ = PortPath_ ? PortPath_(PortNumber_) : std::string();
    if (DevicePath_.empty()) {
        ShowMessage(Sink_, TSeverity::Error,
                    "Error: cannot open ComPort " + com + " (no serial device has this number)");
        return;
    }
    const int fd = ::open(DevicePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        std::string reason = std::strerror(err);
        if (err == EACCES) reason += " \xE2\x80\x94 add your user to the dialout group";
        ShowMessage(Sink_, TSeverity::Error,
                    "Error: cannot open ComPort " + com + " (" + DevicePath_ + ": " + reason + ")");
        return;
    }
    // Opening may raise RTS and DTR: drop them at once, before anything else.
    const int lines = TIOCM_RTS | TIOCM_DTR;
    ioctl(fd, TIOCMBIC, &lines);
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) {
        ::close(fd);
        ShowMessage(Sink_, TSeverity::Error, "Wrong file type " + com);
        return;
    }
    if (ioctl(fd, TIOCEXCL) != 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        ShowMessage(Sink_, TSeverity::Error,
                    "Error: cannot open ComPort " + com + " (" + DevicePath_ + ": " +
                        std::strerror(err == EWOULDBLOCK ? EBUSY : err) + ")");
        return;
    }
    const std::lock_guard lock(LinesMutex_);
    Handle_ = fd;
}

void TSerialLines::ApplySettings() {
    if (!IsOpen()) throw ECommError("Port not open, unable to complete operation", -1);
    termios tio{};
    if (tcgetattr(Handle_, &tio) != 0) throw ECommError("Error updating DataControlBlock", errno);
    cfmakeraw(&tio);
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
    tio.c_cflag |= CS7 | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
    tio.c_cc[VSTART] = 17;
    tio.c_cc[VSTOP] = 19;
    if (tcsetattr(Handle_, TCSANOW, &tio) != 0)
        throw ECommError("Error updating DataControlBlock", errno);
    // Leaving speed 0 raises both lines on Linux: they stay off until the engine keys.
    const int lines = TIOCM_RTS | TIOCM_DTR;
    ioctl(Handle_, TIOCMBIC, &lines);
    if (tcflush(Handle_, TCIOFLUSH) != 0)
        throw ECommError("Error initializing Read/Write Buffers", errno);
}

bool TSerialLines::Connect() {
    if (Connected_) return true;
    if (!IsOpen()) OpenPort();
    if (!IsOpen()) return false;
    // A port that cannot be set up is given back at once (lines off, exclusive flag and lock
    // released), so that the next attempt or another program can open it; the error goes on.
    try {
        ApplySettings();
        std::weak_ptr<bool> alive = Alive_;
        EventThread_ = std::make_unique<TCommEventThread>(Handle_, MonitorEvents_, Post_,
                                                          [this, alive](int changed) {
                                                              if (auto a = alive.lock(); a && *a) {
                                                                  if (changed < 0)
                                                                      PortLost(std::strerror(EIO));
                                                                  else
                                                                      LinesChanged(changed);
                                                              }
                                                          });
    } catch (...) {
        EventThread_.reset();
        ClosePort();
        throw;
    }
    const std::lock_guard lock(LinesMutex_);
    Connected_ = true;
    return true;
}

void TSerialLines::ClosePort() {
    const std::lock_guard lock(LinesMutex_);
    if (Handle_ < 0) return;
    const int lines = TIOCM_RTS | TIOCM_DTR;
    ioctl(Handle_, TIOCMBIC, &lines); // never leave the transmitter keyed
    tcflush(Handle_, TCIOFLUSH);
    ioctl(Handle_, TIOCNXCL);
    ::close(Handle_); // releases the lock
    Handle_ = -1;
}

void TSerialLines::Disconnect() {
    EventThread_.reset(); // stops and joins; never runs on the watcher thread
    {
        const std::lock_guard lock(LinesMutex_); // a keying step now finds the port gone
        Connected_ = false;
    }
    ClosePort();
}

void TSerialLines::SuspendWatcher() {
    if (IsOpen() && EventThread_) EventThread_->Suspend();
}

// Also called by the keying thread: a port lost there is handled on the owner's thread.
bool TSerialLines::SetLine(int line, bool on) {
    int err = 0;
    {
        const std::lock_guard lock(LinesMutex_);
        if (!Connected_) return false;
        if (ioctl(Handle_, on ? TIOCMBIS : TIOCMBIC, &line) == 0) return true;
        err = errno;
    }
    if (err != EIO && err != ENXIO && err != ENODEV && err != EBADF) return false;
    if (std::this_thread::get_id() == Owner_) {
        PortLost(std::strerror(err));
    } else {
        Post_(
            [this, alive = std::weak_ptr<bool>(Alive_), reason = std::string(std::strerror(err))] {
                if (auto a = alive.lock(); a && *a) PortLost(reason);
            });
    }
    return false;
}

bool TSerialLines::SetRTS(bool on) {
    return SetLine(TIOCM_RTS, on);
}
bool TSerialLines::SetDTR(bool on) {
    return SetLine(TIOCM_DTR, on);
}

void TSerialLines::LinesChanged(int changed) {
    int status = 0;
    if (!Connected_ || ioctl(Handle_, TIOCMGET, &status) != 0) return;
    ModemStatus_ = ((status & TIOCM_CTS) ? 0x10u : 0u) | ((status & TIOCM_DSR) ? 0x20u : 0u);
    if ((changed & TIOCM_CTS) && OnCts) OnCts(*this, ModemStatus_ & 0x10u);
    if ((changed & TIOCM_DSR) && OnDsr) OnDsr(*this, ModemStatus_ & 0x20u);
}

void TSerialLines::PortLost(const std::string& reason) {
    if (!Connected_) return;
    const std::string com = "COM" + std::to_string(PortNumber_);
    const std::string path = DevicePath_;
    Disconnect();
    ShowMessage(Sink_, TSeverity::Error,
                "Error: ComPort " + com + " is no longer available (" + path + ": " + reason + ")");
    if (OnPortLost) OnPortLost(*this);
}

} // namespace brindle
