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

// group: the child leads a process group of its own, which End signals as a whole.
pid_t Spawn(const std::vector<std::string>& args, const std::string& log, bool group = false) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    if (group) setpgid(0, 0);
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

// Sends sig, and SIGKILL when the process has not ended 3 s later; to its whole process group
// when it leads one.
void End(pid_t& pid, int sig) {
    for (const int each : {sig, SIGKILL}) {
        if (pid <= 0) return;
        kill(getpgid(pid) == pid ? -pid : pid, each);
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

// PipeWire's settings for the tests: the graph's quantum pinned at 1024 (21 ms at 48 kHz; at the
// 5 ms it would choose for a low-latency client this 2-core machine makes holes for every client),
// and the null sink made with the server, so that it stays (object.linger) across clients.
constexpr const char* PipeWireSettings = R"(context.properties = {
    default.clock.rate = 48000
    default.clock.quantum = 1024
    default.clock.min-quantum = 1024
    default.clock.max-quantum = 1024
}
context.objects = [
    { factory = adapter
      args = {
          factory.name = support.null-audio-sink
          node.name = "brindle_null"
          node.description = "Brindle null output"
          media.class = "Audio/Sink"
          audio.rate = 8000
          audio.channels = 1
          audio.position = [ MONO ]
          object.linger = true
          monitor.channel-volumes = true
      }
    }
]
)";

bool TPulseServer::PipeWire() {
    const char* kind = std::getenv("BRINDLE_SOUND_SERVER");
    return kind && std::string(kind) == "pipewire";
}

// PipeWire, WirePlumber (its session manager, which needs a session bus) and pipewire-pulse, in
// a process group on a private bus; pipewire-pulse listens where PULSE_SERVER points.
pid_t TPulseServer::StartPipeWire(const std::string& home) {
    const std::string run = Dir + "/run";
    fs::create_directories(run);
    fs::permissions(run, fs::perms::owner_all);
    fs::create_directories(home + "/.config/pipewire/pipewire.conf.d");
    std::ofstream(home + "/.config/pipewire/pipewire.conf.d/brindle.conf") << PipeWireSettings;
    std::ofstream(Dir + "/pipewire.sh")
        << "pipewire & sleep 0.3\nwireplumber &\npipewire-pulse &\nwait\n";
    return Spawn({"env", "HOME=" + home, "XDG_CONFIG_HOME=" + home + "/.config",
                  "XDG_RUNTIME_DIR=" + run, "DISPLAY=", "dbus-run-session", "--", "sh",
                  Dir + "/pipewire.sh"},
                 Dir + "/pipewire.log", true);
}

bool TPulseServer::Start() {
    if (Pid_ > 0) return true;
    const std::string socket = Dir + "/native";
    fs::remove(socket);
    // HOME points into the runtime folder: the daemon keeps its cookie there, not in ours.
    const std::string home = Dir + "/home";
    fs::create_directories(home);
    if (PipeWire())
        Pid_ = StartPipeWire(home);
    else
        Pid_ = Spawn({"env", "HOME=" + home, "pulseaudio", "-n", "--daemonize=no",
                      "--exit-idle-time=-1", "--disallow-exit", "--use-pid-file=no",
                      SharedMemory ? "--disable-shm=no" : "--disable-shm=yes",
                      "--load=module-null-sink sink_name=" + std::string(SinkName) +
                          " rate=8000 channels=1 format=s16le",
                      "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket},
                     Dir + "/pulseaudio.log");
    for (int i = 0; i < 1000; ++i) {
        if (fs::exists(socket)) {
            const pid_t probe = Spawn({"pactl", "info"}, Dir + "/pactl.log");
            int status = 0;
            waitpid(probe, &status, 0);
            // PipeWire answers before its session manager has made the sink the default.
            if (WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
                (!PipeWire() || Pactl({"get-default-sink"}).find(SinkName) == 0))
                return true;
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
    return Output(command);
}

void TPulseServer::RemoveSink() {
    if (PipeWire()) {
        Output({"env", "XDG_RUNTIME_DIR=" + Dir + "/run", "pw-cli", "destroy", SinkName});
    } else {
        Pactl({"load-module", "module-always-sink"}); // what a desktop's PulseAudio loads
        Pactl({"unload-module", "module-null-sink"});
    }
}

std::string TPulseServer::Output(std::vector<std::string> command) {
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
