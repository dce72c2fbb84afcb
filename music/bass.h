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

// device 1 or -1: the default output through SDL audio; 0: no sound, time runs all the same.
BOOL BASS_Init(int device, DWORD freq, DWORD flags, void* win, void* clsid);
BOOL BASS_Free();
BOOL BASS_Start();
BOOL BASS_Pause();

HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, DWORD offset, DWORD length,
                              DWORD flags);
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
