#include "PulseServer.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace brindle::test {

namespace fs = std::filesystem;

namespace {

pid_t Spawn(const std::vector<std::string>& args, const std::string& log) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (!log.empty()) {
        std::FILE* f = std::freopen(log.c_str(), "a", stderr);
        (void)f;
        std::FILE* g = std::freopen("/dev/null", "w", stdout);
        (void)g;
    }
    execvp(argv[0], argv.data());
    _exit(127);
}

bool WaitExit(pid_t pid, int limitMs) {
    for (int waited = 0; waited < limitMs; waited += 10) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) return true;
        usleep(10000);
    }
    return false;
}

void End(pid_t& pid, int sig) {
    if (pid <= 0) return;
    kill(pid, sig);
    if (!WaitExit(pid, 3000)) {
        kill(pid, SIGKILL);
        WaitExit(pid, 3000);
    }
    pid = -1;
}

} // namespace

TPulseServer& TPulseServer::Instance() {
    static TPulseServer server;
    return server;
}

TPulseServer::TPulseServer() {
    std::string tmpl = (fs::temp_directory_path() / "brindle-pulse-XXXXXX").string();
    Dir = mkdtemp(tmpl.data());
    std::ofstream(Dir + "/client.conf") << "autospawn = no\n";
    setenv("PULSE_SERVER", ("unix:" + Dir + "/native").c_str(), 1);
    setenv("PULSE_RUNTIME_PATH", Dir.c_str(), 1);
    setenv("PULSE_STATE_PATH", Dir.c_str(), 1);
    setenv("PULSE_CLIENTCONFIG", (Dir + "/client.conf").c_str(), 1);
    RecordFile_ = Dir + "/record.raw";
}

TPulseServer::~TPulseServer() {
    End(Recorder_, SIGINT);
    Stop();
    std::error_code ec;
    fs::remove_all(Dir, ec);
}

bool TPulseServer::Start() {
    if (Pid_ > 0) return true;
    const std::string socket = Dir + "/native";
    fs::remove(socket);
    // HOME points into the runtime folder: the daemon keeps its cookie there, not in ours.
    const std::string home = Dir + "/home";
    fs::create_directories(home);
    Pid_ =
        Spawn({"env", "HOME=" + home, "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
               "--disallow-exit", "--use-pid-file=no", "--disable-shm=yes",
               "--load=module-null-sink sink_name=" + std::string(SinkName) +
                   " rate=8000 channels=1 format=s16le",
               "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket},
              Dir + "/pulseaudio.log");
    for (int i = 0; i < 500; ++i) {
        if (fs::exists(socket)) {
            const pid_t probe = Spawn({"pactl", "info"}, Dir + "/pactl.log");
            int status = 0;
            waitpid(probe, &status, 0);
            if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
        }
        int status = 0;
        if (waitpid(Pid_, &status, WNOHANG) == Pid_) break; // it died
        usleep(10000);
    }
    Stop();
    return false;
}

void TPulseServer::Stop() {
    End(Pid_, SIGTERM);
}

bool TPulseServer::StartRecording() {
    fs::remove(RecordFile_);
    Recorder_ =
        Spawn({"parecord", "--raw", "--format=s16le", "--rate=8000", "--channels=1",
               "--latency-msec=20", "--device=" + std::string(SinkName) + ".monitor", RecordFile_},
              Dir + "/parecord.log");
    // Wait until the recorder's stream is up: the file appears when it starts writing.
    for (int i = 0; i < 300 && !fs::exists(RecordFile_); ++i)
        usleep(10000);
    usleep(100000);
    return fs::exists(RecordFile_);
}

std::vector<int16_t> TPulseServer::StopRecording() {
    End(Recorder_, SIGINT);
    std::ifstream in(RecordFile_, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> samples(bytes.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                          (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
    return samples;
}

TPulseServer::TTake TPulseServer::RecordClean(const std::function<bool()>& play,
                                              const std::function<long long()>& underflows,
                                              int attempts) {
    TTake take;
    while (take.Attempts < attempts && !take.Clean) {
        ++take.Attempts;
        if (!StartRecording()) return take;
        const long long before = underflows();
        const bool played = play();
        take.Samples = StopRecording();
        take.Clean = underflows() == before;
        if (!played) break;
    }
    return take;
}

} // namespace brindle::test
