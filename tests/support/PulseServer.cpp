#include "PulseServer.h"
#include "TempDir.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
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
    if (!log.empty() &&
        (!std::freopen(log.c_str(), "a", stderr) || !std::freopen("/dev/null", "w", stdout)))
        _exit(127);
    execvp(argv[0], argv.data());
    _exit(127);
}

// Sends sig, and SIGKILL when the process has not ended 3 s later.
void End(pid_t& pid, int sig) {
    for (const int each : {sig, SIGKILL}) {
        if (pid <= 0) return;
        kill(pid, each);
        int status = 0, waited = 0;
        while (waitpid(pid, &status, WNOHANG) != pid && (waited += 10) <= 3000)
            usleep(10000);
        if (waited <= 3000) pid = -1;
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
    Pid_ = Spawn({"env", "HOME=" + home, "pulseaudio", "-n", "--daemonize=no",
                  "--exit-idle-time=-1", "--disallow-exit", "--use-pid-file=no",
                  SharedMemory ? "--disable-shm=no" : "--disable-shm=yes",
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

std::string TPulseServer::Pactl(const std::vector<std::string>& args) {
    std::vector<std::string> command{"pactl"};
    command.insert(command.end(), args.begin(), args.end());
    const std::string out = Dir + "/pactl.out";
    fs::remove(out);
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (auto& a : command)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (!std::freopen(out.c_str(), "w", stdout)) _exit(127);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return ReadWhole(out);
}

std::vector<int16_t> TPulseServer::StopRecording() {
    End(Recorder_, SIGINT);
    const std::string bytes = ReadWhole(RecordFile_); // s16le: little-endian machines only
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

} // namespace brindle::test
