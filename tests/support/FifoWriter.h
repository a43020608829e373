// A named pipe with a writer thread, for tests of code that reads streams: the writer sends a
// given text, or the same text again and again until the reader closes (an endless stream such
// as "yes"). It never hangs a test: a reader that never comes or stops early ends the writer.
#pragma once

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace brindle::test {

class TFifoWriter {
public:
    enum class TMode { Once, Endless };

    // Makes the pipe at path and starts the writer; Ok() says whether the pipe was made.
    TFifoWriter(std::string path, std::string text, TMode mode)
        : Path_(std::move(path)), Text_(std::move(text)), Mode_(mode) {
        // A write to a pipe whose reader has gone must fail with EPIPE, not end the program.
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        ::sigaction(SIGPIPE, &ignore, &OldPipeAction_);
        Ok_ = ::mkfifo(Path_.c_str(), 0600) == 0;
        if (Ok_) Thread_ = std::thread([this] { Run(); });
    }
    ~TFifoWriter() {
        Stop_ = true;
        if (Thread_.joinable()) Thread_.join();
        ::sigaction(SIGPIPE, &OldPipeAction_, nullptr);
    }
    TFifoWriter(const TFifoWriter&) = delete;
    TFifoWriter& operator=(const TFifoWriter&) = delete;

    bool Ok() const { return Ok_; }
    // Bytes the reader took or the pipe holds; complete once the writer has ended.
    std::size_t Written() const { return Written_; }

private:
    void Run() {
        // Opening without waiting fails (ENXIO) until a reader has the pipe open, so the writer
        // can give up when the test ends without reading.
        int fd = -1;
        while ((fd = ::open(Path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) < 0) {
            if (errno != ENXIO || Stop_) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        do {
            std::size_t done = 0;
            while (done < Text_.size()) {
                const ssize_t put = ::write(fd, Text_.data() + done, Text_.size() - done);
                if (put < 0 && errno == EINTR) continue;
                if (put <= 0) { // the reader has gone
                    ::close(fd);
                    return;
                }
                done += static_cast<std::size_t>(put);
                Written_ += static_cast<std::size_t>(put);
            }
        } while (Mode_ == TMode::Endless);
        ::close(fd);
    }

    std::string Path_;
    std::string Text_;
    TMode Mode_ = TMode::Once;
    bool Ok_ = false;
    std::atomic<bool> Stop_{false};
    std::atomic<std::size_t> Written_{0};
    struct sigaction OldPipeAction_ {};
    std::thread Thread_;
};

} // namespace brindle::test
