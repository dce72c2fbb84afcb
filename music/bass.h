// Our audio library: the calls of a small streaming MP3 player, with 64-bit byte positions.
#pragma once

#include <cstdint>

typedef uint32_t DWORD;
typedef uint64_t QWORD;
typedef int BOOL;
typedef DWORD HSTREAM;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Opening flag: decode the whole file up front, so length and positions are exact.
#define BASS_STREAM_PRESCAN 0x20000
// Data flag: 512 magnitudes of a 1024-frame FFT at the position being heard.
#define BASS_DATA_FFT1024 0x80000001

// device 1 or -1: the desktop's sound server (PulseAudio's protocol: PULSE_SERVER or the user's
// default) when one answers and SDL_AUDIODRIVER is not set, else the default output through SDL
// audio; 0: no sound, time runs all the same. Should the server go away, the time runs on on the
// system clock, one line on standard error says so, and the sound comes back when a server does.
BOOL BASS_Init(int device, DWORD freq, DWORD flags, void* win, void* clsid);
BOOL BASS_Free();
BOOL BASS_Start();
BOOL BASS_Pause();

HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, DWORD offset, DWORD length, DWORD flags);
BOOL BASS_ChannelPlay(DWORD handle, BOOL restart);
BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos);
QWORD BASS_ChannelGetPosition(DWORD handle); // (QWORD)-1 on failure
double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos);
// The byte position of the sample nearest to `pos` seconds; (QWORD)-1 on failure.
QWORD BASS_ChannelSeconds2Bytes(DWORD handle, double pos);
DWORD BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length); // (DWORD)-1 on failure

// Not a call of the player proper: the byte position of the next frame this stream hands to the
// output, which is what a plain counter in the audio callback would report as its position. For
// measuring the clock against it.
QWORD bassHandedPosition(DWORD handle); // (QWORD)-1 on failure

// Not calls of the player proper, for tests and measurements.
// The output in use: "server", "sdl", "silent" (device 0, or a server that went away), or "none".
const char* bassOutputName();
// The sound server's latest timing report on `handle`: at `moment` (seconds on the clock of the
// library's own monotonic time) it was playing byte `serverBytes`, where the library's clock reads
// `clockBytes` for the same moment; the sink's own latency and the whole latency from handing a
// byte over to hearing it, in seconds. False when the output is not a server playing `handle`.
struct BassServerReport {
    double moment, serverBytes, clockBytes, sinkSeconds, latencySeconds;
};
BOOL bassServerReport(DWORD handle, BassServerReport* report);
