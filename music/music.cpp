// The music stream: opening and starting the track, its clock, its spectrum and the seek steps.
#include "music/music.h"

#include "app/failure.h"

#include <cstddef>
#include <cstdint>

HSTREAM musicStream = 0;
float spectrum[512] = {};

namespace {

constexpr int64_t seekStepBytes = 50000;

// Unclamped: before the start or past the end the library refuses, and the caller ignores that.
BOOL seekBy(int64_t bytes) {
    const QWORD position = BASS_ChannelGetPosition(musicStream);
    const int64_t target = int64_t(position) + bytes;
    return BASS_ChannelSetPosition(musicStream, QWORD(target));
}

} // namespace

bool musicStart(const char* path, bool sound) {
    const bool deviceOpen = BASS_Init(sound ? 1 : 0, 44100, 0, 0, NULL);
    if (!deviceOpen) failureMessage("Bass init failed! Remembered the bass.dll file?");
    musicStream = BASS_StreamCreateFile(FALSE, path, 0, 0, BASS_STREAM_PRESCAN);
    if (musicStream == 0) failureMessage("Bass file loading failed!");
    if (!BASS_ChannelPlay(musicStream, TRUE)) failureMessage("Music failed to play!");
    if (!BASS_ChannelSetPosition(musicStream, 0))
        failureMessage("Failed to start song at the start");
    return deviceOpen;
}

double musicTime() {
    return BASS_ChannelBytes2Seconds(musicStream, BASS_ChannelGetPosition(musicStream));
}

DWORD musicFetchSpectrum(float* buffer) {
    return BASS_ChannelGetData(musicStream, buffer, BASS_DATA_FFT1024);
}

BOOL musicSeekForward() {
    return seekBy(seekStepBytes);
}

BOOL musicSeekBack() {
    return seekBy(-seekStepBytes);
}
