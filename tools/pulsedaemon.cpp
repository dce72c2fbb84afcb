// A private sound server for tests and benchmarks, started and stopped by its process id.
#include "tools/pulsedaemon.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <signal.h>
#include <thread>
#include <vector>

namespace {

// Never blocks: a server whose queue of connections is full (one that has stopped taking them)
// does not answer.
bool socketAnswers(const std::string& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
    if (fd < 0) return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    const bool answers = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return answers;
}

// This process's environment for a server that keeps everything in `folder`, where it finds no
// user configuration and no other server's addresses. PulseAudio's daemon is given its runtime
// and state folders; pipewire-pulse makes its socket where a desktop's is, in the runtime folder.
std::vector<std::string> privateEnvironment(const std::string& folder, bool pulseFolders) {
    std::vector<std::string> environment;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string entry = *variable;
        const std::string name = entry.substr(0, entry.find('='));
        if (name != "HOME" && name != "XDG_RUNTIME_DIR" && name != "XDG_CONFIG_HOME" &&
            name.rfind("PULSE_", 0) != 0 && name.rfind("PIPEWIRE_", 0) != 0 &&
            name != "DBUS_SESSION_BUS_ADDRESS" && name != "DISPLAY" && name != "LD_PRELOAD")
            environment.push_back(entry);
    }
    for (const char* name : {"HOME=", "XDG_RUNTIME_DIR="})
        environment.push_back(name + folder);
    environment.push_back("XDG_CONFIG_HOME=" + folder + "/config");
    if (pulseFolders) {
        environment.push_back("PULSE_RUNTIME_PATH=" + folder + "/runtime");
        environment.push_back("PULSE_STATE_PATH=" + folder + "/state");
    }
    return environment;
}

// Starts `arguments` with `environment`, its output appended to `log`, in a process group of its
// own; its process id, or -1. The child only redirects and executes: everything it needs is made
// before the fork.
pid_t spawn(const std::vector<std::string>& arguments, std::vector<std::string> environment,
            const std::string& log) {
    std::vector<char*> envp, argv;
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const int logFd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (logFd < 0) return -1;
    const pid_t child = fork();
    if (child == 0) {
        setpgid(0, 0);
        dup2(logFd, 1);
        dup2(logFd, 2);
        execvpe(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(logFd);
    return child;
}

} // namespace

const char* soundServerName(SoundServer kind) {
    return kind == SoundServer::pipewire ? "pipewire" : "pulseaudio";
}

PulseDaemon::PulseDaemon(int sinkDelayMs, SoundServer kind) : sinkDelayMs(sinkDelayMs), kind(kind) {
    char name[] = "/tmp/zrxpulseXXXXXX";
    const char* made = mkdtemp(name);
    if (made == nullptr) std::abort();
    folder = made;
}

PulseDaemon::~PulseDaemon() {
    if (running()) stop(SIGTERM);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

std::string PulseDaemon::socketPath() const {
    return folder + (kind == SoundServer::pipewire ? "/pulse/native" : "/native");
}

bool PulseDaemon::start() {
    if (running()) return true;
    // A server that does not come up in its time is stopped and started once more: its log
    // shows what held it up.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (kind == SoundServer::pipewire ? startPipeWire() : startPulseAudio()) return true;
    }
    return false;
}

bool PulseDaemon::startPulseAudio() {
    const std::string socketPath = this->socketPath();
    {
        std::ofstream script(folder + "/daemon.pa");
        script << "load-module module-native-protocol-unix auth-anonymous=1 socket=" << socketPath
               << "\nload-module module-null-sink sink_name=null rate=44100 channels=2\n";
        // Silence looped into "null" with a short latency keeps it waking often: an idle null
        // sink sleeps in blocks of up to two seconds, and a stream that arrives meanwhile waits
        // for the block's end before its first frame is played.
        script << "load-module module-null-source source_name=silence rate=44100 channels=2\n"
               << "load-module module-loopback source=silence sink=null latency_msec=10\n";
        if (sinkDelayMs > 0)
            script << "load-module module-tunnel-sink server=unix:" << socketPath
                   << " sink=null sink_name=delayed rate=44100 channels=2 latency_msec="
                   << sinkDelayMs << "\n";
        script << "set-default-sink " << (sinkDelayMs > 0 ? "delayed" : "null") << "\n";
    }
    std::filesystem::remove(socketPath);
    const std::string script = folder + "/daemon.pa";
    pid = spawn({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit",
                 "--use-pid-file=no", "--system=no", "--disable-shm=yes", "--log-target=stderr",
                 "-F", script},
                privateEnvironment(folder, true), folder + "/daemon.log");
    if (pid < 0) return false;
    // The script runs before the daemon serves; the loopback and the tunnel start right after,
    // and "null" still plays out the two seconds it rendered while nothing played into it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            break;
        }
        if (socketAnswers(socketPath) &&
            run("test $(pactl list short sink-inputs 2>/dev/null | wc -l) -ge " +
                std::to_string(sinkDelayMs > 0 ? 2 : 1)) == 0 &&
            run("pactl list sinks | awk '/^\\tName: null$/ { n = 1 } n && /^\\tLatency:/ { "
                "exit !($2 < 100000) }'") == 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::ifstream in(folder + "/daemon.log");
    std::cerr << "the PulseAudio daemon did not come up; its log:\n" << in.rdbuf();
    if (running()) stop(SIGKILL);
    return false;
}

bool PulseDaemon::startPipeWire() {
    // WirePlumber gets no devices: the stack's only sink is the null one. Without them it also
    // needs no seat manager, whose absence (a container, a bare root) stops it from starting
    // when its Bluetooth monitor asks for one.
    const std::string wireplumber = folder + "/config/wireplumber";
    std::filesystem::create_directories(wireplumber + "/main.lua.d");
    std::filesystem::create_directories(wireplumber + "/bluetooth.lua.d");
    std::ofstream(wireplumber + "/main.lua.d/80-private.lua")
        << "alsa_monitor.enabled = false\nlibcamera_monitor.enabled = false\n"
           "v4l2_monitor.enabled = false\n";
    std::ofstream(wireplumber + "/bluetooth.lua.d/80-private.lua")
        << "bluez_monitor.enabled = false\n";
    // Its clients give up when PipeWire does not answer yet: they start once its socket is
    // there, which a stack killed before may have left behind.
    std::filesystem::remove(socketPath());
    std::filesystem::remove(folder + "/pipewire-0");
    std::filesystem::remove(folder + "/pipewire-0.lock");
    pid = spawn({"dbus-run-session", "--", "sh", "-c",
                 "pipewire & until [ -S \"$XDG_RUNTIME_DIR/pipewire-0\" ]; do sleep 0.01; done; "
                 "wireplumber & exec pipewire-pulse"},
                privateEnvironment(folder, false), folder + "/daemon.log");
    if (pid < 0) return false;
    // pipewire-pulse answers once PipeWire runs; the null sink is then loaded through it. A
    // load that fails (WirePlumber not yet linked up) is tried again.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    bool loaded = false;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            break;
        }
        if (socketAnswers(socketPath())) {
            if (!loaded)
                loaded = run("pactl load-module module-null-sink sink_name=null rate=44100 "
                             "channels=2 >/dev/null 2>&1") == 0;
            if (loaded && run("pactl set-default-sink null 2>/dev/null && pactl info 2>/dev/null"
                              " | grep -qx 'Default Sink: null'") == 0)
                return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::ifstream in(folder + "/daemon.log");
    std::cerr << "PipeWire's stack did not come up; its log:\n" << in.rdbuf();
    if (running()) stop(SIGKILL);
    return false;
}

void PulseDaemon::stop(int signal) {
    if (!running()) return;
    // The whole group: PipeWire's stack is several processes under the leader.
    kill(-pid, signal);
    int status = 0;
    waitpid(pid, &status, 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (kill(-pid, 0) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (kill(-pid, 0) == 0) kill(-pid, SIGKILL);
    pid = -1;
}

void PulseDaemon::useFromThisProcess() const {
    setenv("PULSE_SERVER", server().c_str(), 1);
    if (sinkDelayMs > 0)
        setenv("PULSE_SINK", "delayed", 1);
    else
        unsetenv("PULSE_SINK");
    unsetenv("SDL_AUDIODRIVER");
}

int PulseDaemon::run(const std::string& command) const {
    // pactl waits for as long as a server takes to answer; a server that hangs fails the
    // command after five seconds.
    const std::string line = "export PULSE_SERVER='" + server() +
                             "'; pactl() { timeout -k 1 5 pactl \"$@\"; }; " + command;
    const int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
