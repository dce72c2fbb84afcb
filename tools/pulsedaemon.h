// A private sound server for tests and benchmarks, PulseAudio's daemon or PipeWire's stack: its
// own folder and socket, a null sink.
#pragma once

#include <string>
#include <sys/types.h>

// The daemon reads no system or user start-up script, loads only a null sink "null" (44100 Hz
// stereo) and the native protocol on a socket in its own folder, with anonymous access, and
// runs until stopped by its process id. With `sinkDelayMs` > 0 it also has a sink "delayed",
// the default, whose own latency is that many milliseconds more: a tunnel into "null" with a
// fixed latency, which the server counts as the sink's latency like any device's.
//
// PipeWire's stack, as a desktop runs it: pipewire, wireplumber and pipewire-pulse on a session
// bus of their own (dbus-run-session), with no user configuration (the stack's own only turns
// WirePlumber's device monitors off), in a process group that is stopped by its leader's process
// id; pipewire-pulse serves PulseAudio's protocol, and a null sink "null" (44100 Hz stereo, in a
// graph that runs at 48000 Hz) is loaded through it and made the default. No delayed sink.
enum class SoundServer { pulseaudio, pipewire };
const char* soundServerName(SoundServer kind); // "pulseaudio", "pipewire"

class PulseDaemon {
  public:
    explicit PulseDaemon(int sinkDelayMs = 0, SoundServer kind = SoundServer::pulseaudio);
    ~PulseDaemon(); // stops it and removes its folder
    PulseDaemon(const PulseDaemon&) = delete;
    PulseDaemon& operator=(const PulseDaemon&) = delete;

    // Starts the daemon (again, on the same socket) and waits, at most ten seconds, until its
    // socket takes connections and its sinks are loaded; one that does not is stopped and tried
    // once more. False, with the daemon's log on standard error, when it does not come up.
    bool start();
    // Sends `signal` (SIGKILL: the server crashes) to the daemon, every process of PipeWire's
    // stack, and waits for them to end.
    void stop(int signal);
    bool running() const { return pid > 0; }

    // "unix:<socket>", for PULSE_SERVER.
    std::string server() const { return "unix:" + socketPath(); }
    // Points this process's clients at the daemon and its "delayed" sink if any: PULSE_SERVER,
    // PULSE_SINK, and no SDL_AUDIODRIVER (which
    // would ask the audio layer for SDL's audio instead).
    void useFromThisProcess() const;
    // Runs `command` through the shell with PULSE_SERVER pointing at the daemon; its exit status.
    int run(const std::string& command) const;

    std::string folder;

  private:
    std::string socketPath() const;
    bool startPulseAudio();
    bool startPipeWire();
    int sinkDelayMs;
    SoundServer kind;
    pid_t pid = -1;
};
