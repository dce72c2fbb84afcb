// The music stream: opening and starting the track, its clock, its spectrum and the seek steps.
#include "music/music.h"

#include "base/failure.h"
#include "music/bass.h"
#include "music/decoding.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <utility>
#include <vector>

uint32_t musicStream = 0;
float spectrum[512] = {};

namespace {

constexpr int64_t seekStepBytes = 50000;

// While held, every reading of the clock is this time, in seconds.
bool held = false;
double heldSeconds = 0;
double audioDelay = 0; // seconds

// Unclamped: before the start or past the end the library refuses, and the caller ignores that.
bool seekBy(int64_t bytes) {
    held = false;
    const QWORD position = BASS_ChannelGetPosition(musicStream);
    const int64_t target = int64_t(position) + bytes;
    return BASS_ChannelSetPosition(musicStream, QWORD(target));
}

} // namespace

void musicDecodeAhead(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    if (in.bad() || bytes.empty()) return;
    decodeAhead(std::move(bytes));
}

bool musicStart(const char* path, bool sound, double startSeconds) {
    const bool deviceOpen = BASS_Init(sound ? 1 : 0, 44100, 0, 0, NULL);
    if (!deviceOpen) failureMessage("Bass init failed! Remembered the bass.dll file?");
    musicStream = BASS_StreamCreateFile(FALSE, path, 0, 0, BASS_STREAM_PRESCAN);
    if (musicStream == 0) failureMessage("Bass file loading failed!");
    if (!BASS_ChannelPlay(musicStream, TRUE)) failureMessage("Music failed to play!");
    QWORD startBytes = 0;
    if (musicStream != 0 && startSeconds > 0) {
        const double secondsPerByte = BASS_ChannelBytes2Seconds(musicStream, 1);
        startBytes = QWORD(std::llround(startSeconds / secondsPerByte));
        if (!BASS_ChannelSetPosition(musicStream, startBytes)) {
            failureMessage("The track ends before the start time; it plays from its beginning");
            startBytes = 0;
        }
    }
    if (startBytes == 0 && !BASS_ChannelSetPosition(musicStream, 0))
        failureMessage("Failed to start song at the start");
    return deviceOpen;
}

void musicStop() {
    held = false;
    BASS_Free();
}

double musicTime() {
    if (held) return heldSeconds;
    const double heard =
        BASS_ChannelBytes2Seconds(musicStream, BASS_ChannelGetPosition(musicStream));
    if (audioDelay == 0 || heard < 0) return heard; // negative: the library refused
    return std::max(0.0, heard - audioDelay);
}

void musicSetAudioDelay(double seconds) {
    audioDelay = seconds;
}

uint32_t musicFetchSpectrum(float* buffer) {
    return BASS_ChannelGetData(musicStream, buffer, BASS_DATA_FFT1024);
}

void musicPause() {
    BASS_Pause();
}

void musicResume() {
    held = false;
    BASS_Start();
}

bool musicSeekForward() {
    return seekBy(seekStepBytes);
}

bool musicSeekBack() {
    return seekBy(-seekStepBytes);
}

bool musicHold(double seconds) {
    BASS_Pause();
    held = false;
    if (!std::isfinite(seconds) || seconds < 0) return false;
    const QWORD position = BASS_ChannelSeconds2Bytes(musicStream, seconds);
    if (position == QWORD(-1) || !BASS_ChannelSetPosition(musicStream, position)) return false;
    held = true;
    heldSeconds = seconds;
    return true;
}
