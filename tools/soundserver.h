// A private sound server for tests and benchmarks: PulseAudio or PipeWire, its own folder and
// socket, a null sink.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// The servers a desktop may run behind PulseAudio's protocol: the PulseAudio daemon, and PipeWire
// with WirePlumber and PipeWire's pulse server.
enum class ServerKind { pulseaudio, pipewire };

// "pulseaudio" or "pipewire", for test and figure names.
const char* serverKindName(ServerKind kind);

// The server reads no system-wide or user start-up configuration of its own, has a null sink
// "null" as its default sink and serves PulseAudio's native protocol on a socket in its own
// folder, with anonymous access; it runs until stopped by its process ids.
//
// PulseAudio: one daemon; the null sink plays 44100 Hz stereo. With `sinkDelayMs` > 0 it also has
// a sink "delayed", the default, whose own latency is that many milliseconds more: a tunnel into
// "null" with a fixed latency, which the server counts as the sink's latency like any device's.
//
// PipeWire: pipewire, wireplumber and pipewire-pulse on a session bus of their own
// (dbus-run-session), with their configuration, state and runtime folders in the server's
// folder; the null sink runs at PipeWire's own rate (48000 Hz) as a desktop's device does.
// `sinkDelayMs` must be 0.
class SoundServer {
  public:
    explicit SoundServer(int sinkDelayMs = 0, ServerKind kind = ServerKind::pulseaudio);
    ~SoundServer(); // stops it and removes its folder
    SoundServer(const SoundServer&) = delete;
    SoundServer& operator=(const SoundServer&) = delete;

    // Starts the server (again, on the same socket) and waits, at most ten seconds, until its
    // socket takes connections and its sinks are loaded. False, with the server's log on
    // standard error, when it does not come up.
    bool start();
    // Sends `signal` (SIGKILL: the server crashes) to each of the server's processes and waits
    // for them to end.
    void stop(int signal);
    bool running() const { return pid > 0; }
    ServerKind kind() const { return serverKind; }

    // "unix:<folder>/native", for PULSE_SERVER.
    std::string server() const { return "unix:" + folder + "/native"; }
    // Points this process's clients at the server and its "delayed" sink if any: PULSE_SERVER,
    // PULSE_SINK, and no SDL_AUDIODRIVER (which would ask the audio layer for SDL's audio
    // instead).
    void useFromThisProcess() const;
    // Runs `command` through the shell with PULSE_SERVER pointing at the server; its exit status.
    int run(const std::string& command) const;

    std::string folder;

  private:
    bool startPulseAudio();
    bool startPipeWire();
    bool launch(const std::vector<std::string>& arguments,
                const std::vector<std::string>& environment);
    bool waitUntilUp(const std::string& check);
    void readStack();

    int sinkDelayMs;
    ServerKind serverKind;
    pid_t pid = -1;           // the daemon, or dbus-run-session around PipeWire's processes
    std::vector<pid_t> stack; // PipeWire's processes, under `pid`
};
