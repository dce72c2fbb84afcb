// A private sound server for tests and benchmarks, started and stopped by its process ids.
#include "tools/soundserver.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
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

bool socketAnswers(const std::string& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    const bool answers = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return answers;
}

// This process's environment without what would lead a server to a user's configuration, session
// or display, and with `own` added.
std::vector<std::string> environmentWith(const std::vector<std::string>& own) {
    std::vector<std::string> environment;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string entry = *variable;
        const std::string name = entry.substr(0, entry.find('='));
        if (name != "HOME" && name.rfind("XDG_", 0) != 0 && name.rfind("PULSE_", 0) != 0 &&
            name.rfind("PIPEWIRE_", 0) != 0 && name != "DBUS_SESSION_BUS_ADDRESS" &&
            name != "DISPLAY" && name != "LD_PRELOAD")
            environment.push_back(entry);
    }
    environment.insert(environment.end(), own.begin(), own.end());
    return environment;
}

} // namespace

const char* serverKindName(ServerKind kind) {
    return kind == ServerKind::pipewire ? "pipewire" : "pulseaudio";
}

SoundServer::SoundServer(int sinkDelayMs, ServerKind kind)
    : sinkDelayMs(sinkDelayMs), serverKind(kind) {
    assert(kind == ServerKind::pulseaudio || sinkDelayMs == 0);
    char name[] = "/tmp/zrxpulseXXXXXX";
    const char* made = mkdtemp(name);
    if (made == nullptr) std::abort();
    folder = made;
}

SoundServer::~SoundServer() {
    if (running()) stop(SIGTERM);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

bool SoundServer::start() {
    if (running()) return true;
    std::filesystem::remove(folder + "/native");
    return serverKind == ServerKind::pipewire ? startPipeWire() : startPulseAudio();
}

// Forks and executes `arguments` with `environment`, its output appended to the log. The child
// only redirects and executes: everything it needs is made before the fork.
bool SoundServer::launch(const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment) {
    std::vector<char*> envp, argv;
    for (const std::string& entry : environment)
        envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const std::string log = folder + "/server.log";
    const int logFd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (logFd < 0) return false;
    pid = fork();
    if (pid == 0) {
        dup2(logFd, 1);
        dup2(logFd, 2);
        execvpe(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(logFd);
    if (pid < 0) pid = -1;
    return pid > 0;
}

// Polls, at most ten seconds, until the socket answers and the shell command `check` (with
// PULSE_SERVER set) succeeds; on failure the server's log goes to standard error.
bool SoundServer::waitUntilUp(const std::string& check) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (running() && std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            break;
        }
        if (socketAnswers(folder + "/native") && run(check) == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::ifstream in(folder + "/server.log");
    std::cerr << "the private " << serverKindName(serverKind)
              << " server did not come up; its log:\n"
              << in.rdbuf();
    if (running()) stop(SIGKILL);
    return false;
}

bool SoundServer::startPulseAudio() {
    const std::string socketPath = folder + "/native";
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
    // Everything the daemon keeps lies in its folder; it finds no user configuration there.
    const std::vector<std::string> environment = environmentWith(
        {"HOME=" + folder, "XDG_RUNTIME_DIR=" + folder, "XDG_CONFIG_HOME=" + folder + "/config",
         "PULSE_RUNTIME_PATH=" + folder + "/runtime", "PULSE_STATE_PATH=" + folder + "/state"});
    if (!launch({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit",
                 "--use-pid-file=no", "--system=no", "--disable-shm=yes", "--log-target=stderr",
                 "-F", folder + "/daemon.pa"},
                environment))
        return false;
    // The script runs before the daemon serves; the loopback and the tunnel start right after,
    // and "null" still plays out the two seconds it rendered while nothing played into it.
    return waitUntilUp("test $(pactl list short sink-inputs 2>/dev/null | wc -l) -ge " +
                       std::to_string(sinkDelayMs > 0 ? 2 : 1) +
                       " && pactl list sinks | awk '/^\\tName: null$/ { n = 1 } n && "
                       "/^\\tLatency:/ { exit !($2 < 100000) }'");
}

bool SoundServer::startPipeWire() {
    namespace fs = std::filesystem;
    const std::string config = folder + "/config";
    fs::create_directories(config + "/pipewire/pipewire.conf.d");
    fs::create_directories(config + "/pipewire/pipewire-pulse.conf.d");
    fs::create_directories(folder + "/state");
    {
        // Added to PipeWire's own configuration: the null sink, kept when nothing plays into it.
        std::ofstream sink(config + "/pipewire/pipewire.conf.d/null-sink.conf");
        sink << "context.objects = [\n"
                "    { factory = adapter\n"
                "      args = { factory.name = support.null-audio-sink node.name = \"null\"\n"
                "               node.description = \"null\" media.class = Audio/Sink\n"
                "               audio.position = [ FL FR ] object.linger = true\n"
                "               monitor.channel-volumes = true } }\n"
                "]\n";
        std::ofstream socket(config + "/pipewire/pipewire-pulse.conf.d/socket.conf");
        socket << "pulse.properties = { server.address = [ \"unix:" << folder << "/native\" ] }\n";
        // The three share the session bus of dbus-run-session, which ends with the shell when
        // all three have ended; the shell writes their process ids once they are started.
        std::ofstream script(folder + "/stack.sh");
        script << "pipewire & a=$!\nwireplumber & b=$!\npipewire-pulse & c=$!\n"
                  "echo \"$a $b $c\" > pids.new && mv pids.new pids\nwait\n";
    }
    fs::remove(folder + "/pids");
    const std::vector<std::string> environment = environmentWith(
        {"HOME=" + folder, "XDG_RUNTIME_DIR=" + folder, "XDG_CONFIG_HOME=" + config,
         "XDG_STATE_HOME=" + folder + "/state", "XDG_DATA_HOME=" + folder + "/data"});
    // The shell's folder is the server's, where it writes the ids.
    if (!launch({"dbus-run-session", "--", "sh", "-c", "cd \"$0\" && . ./stack.sh", folder},
                environment))
        return false;
    // The pulse server answers before WirePlumber has made the null sink the default.
    const bool up = waitUntilUp("test -s " + folder +
                                "/pids && pactl info 2>/dev/null | grep -qx 'Default Sink: null'");
    if (!up) return false;
    readStack();
    assert(stack.size() == 3);
    return true;
}

void SoundServer::readStack() {
    std::ifstream ids(folder + "/pids");
    stack.clear();
    for (pid_t id; ids >> id;)
        stack.push_back(id);
}

void SoundServer::stop(int signal) {
    if (!running()) return;
    if (serverKind == ServerKind::pipewire && stack.empty()) readStack();
    if (stack.empty()) kill(pid, signal);
    for (const pid_t process : stack)
        kill(process, signal);
    stack.clear();
    int status = 0;
    waitpid(pid, &status, 0);
    pid = -1;
}

void SoundServer::useFromThisProcess() const {
    setenv("PULSE_SERVER", server().c_str(), 1);
    if (sinkDelayMs > 0)
        setenv("PULSE_SINK", "delayed", 1);
    else
        unsetenv("PULSE_SINK");
    unsetenv("SDL_AUDIODRIVER");
}

int SoundServer::run(const std::string& command) const {
    const std::string line = "export PULSE_SERVER='" + server() + "'; " + command;
    const int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
