// Our audio library: MP3 streams decoded as they open, played through one of the build's sound
// outputs (music/output.h), and the clock of what is heard.
#include "music/bass.h"

#include "music/core.h"
#include "music/decoding.h"
#include "music/output.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <future>
#include <memory>
#include <mutex>
#include <vector>

std::mutex audioLock;

namespace {

constexpr size_t maxStreams = 16;
// Mixing goes in pieces of at most this many frames.
constexpr size_t mixCapacityFrames = 16384;

// The opening part of a file is decoded while it is opened, the whole file in the background (a
// 96-second track takes about 100 ms). Playback starts at the beginning, and the whole file is
// in long before playback reaches the end of the opening part: four seconds at the highest MP3
// rate, more at lower ones. Should it not be, the clock waits for it there.
constexpr uint64_t openingFrames = 4 * 48000;

struct Stream {
    HSTREAM handle = 0;
    // What is decoded: the opening part until the whole file is in. Replaced only under
    // audioLock, by the program's thread, never by the callback.
    DecodedAudio audio;
    bool whole = false;                  // `audio` holds the whole file
    std::future<DecodedAudio> wholeFile; // the background decoding while not `whole`
    // The rest is shared with the audio callback, under audioLock.
    bool playing = false; // set by the first play; a stream that ran out stays "playing" at its end
    uint64_t cursor = 0;  // the next file frame for the device, in 32.32 fixed point
    uint64_t step = 0;    // file frames per output frame, in 32.32 fixed point
    StreamClock clock;
    uint64_t rejoinFrame = 0; // while a device comes back: the file frame at `rejoinOutput`

    uint32_t bytesPerFrame() const { return uint32_t(audio.channels) * sizeof(int16_t); }
};

// Everything below is shared with the output's thread and guarded by audioLock, except `output`,
// which changes only in BASS_Init and BASS_Free while no output thread runs; null until
// BASS_Init.
const SoundOutput* output = nullptr;
int outputRate = 0;
bool outputPaused = false;
// While the output is not heard (the silent device, or a device lost) the system clock carries
// the time: the output frame heard is the system clock's since `systemClock` began.
bool onSystemClock = false;
DeviceClock systemClock;   // ideal
uint64_t handedFrames = 0; // output frames handed to the output so far
std::array<std::unique_ptr<Stream>, maxStreams> streams;
std::vector<int32_t> mixBuffer; // interleaved stereo; sized before the callback starts
HSTREAM lastHandle = 0;         // handles are never reused, not even after BASS_Free

// While a device comes back the clock stays on the system clock and the output's stream is
// placed to match it: output frame `rejoinOutput` (a count of handed frames) carries what the
// system clock reaches at its output frame `rejoinIdeal`. Once the output confirms the
// placement, the clock moves from the system clock's line to the output's over `slewSeconds`
// from `slewStart`, and then follows the output alone.
constexpr double slewSeconds = 0.3;
bool rejoinPlaced = false;
double rejoinOutput = 0, rejoinIdeal = 0;
bool slewing = false;
double slewStart = 0;

using Lock = std::lock_guard<std::mutex>;

// audioLock held. The output frame being heard at `now`.
double outputHeard(double now) {
    if (!onSystemClock) return output->heard(now);
    const double ideal = deviceClockHeard(systemClock, now);
    if (!slewing) return ideal;
    // Both lines run at the output's rate and differ by a few milliseconds at most, so the blend
    // moves forward all along.
    const double device = rejoinIdeal + (output->heard(now) - rejoinOutput);
    const double weight = std::clamp((now - slewStart) / slewSeconds, 0.0, 1.0);
    return ideal + weight * (device - ideal);
}

// audioLock held, on the program's thread. Takes in the whole file once it is decoded, or, when
// `wait`, as soon as it is. The decoding never takes audioLock, so waiting under it is safe; the
// callback meanwhile plays on from the opening part, which it has not reached the end of.
void takeWholeFile(Stream& stream, bool wait) {
    if (stream.whole) return;
    if (!wait && stream.wholeFile.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        return;
    DecodedAudio whole = stream.wholeFile.get();
    // The same decoding as the opening part's, so the opening part is the start of the whole.
    if (whole.frames() >= stream.audio.frames()) stream.audio = std::move(whole);
    stream.whole = true;
}

// audioLock held. Null for 0, an unknown handle, or when the library is not initialised. Called
// by every call of the library but the callback, each of which takes in a decoded whole file.
Stream* findStream(DWORD handle) {
    if (handle == 0 || output == nullptr) return nullptr;
    for (auto& stream : streams)
        if (stream && stream->handle == handle) {
            takeWholeFile(*stream, false);
            return stream.get();
        }
    return nullptr;
}

// audioLock held. The frame of `stream` being heard at `now`.
uint64_t frameHeard(Stream& stream, double now) {
    for (;;) {
        const double length = double(stream.audio.frames());
        // Nothing is handed on the system clock, and an output that plays the whole track holds
        // it all: the reading is bound by the track's end alone.
        const double handed = onSystemClock || output->playsWholeTrack
                                  ? length
                                  : std::min(length, double(stream.cursor) / double(cursorOne));
        const double ratio = double(stream.audio.rate) / outputRate;
        const auto frame = uint64_t(streamClockRead(stream.clock, outputHeard(now), ratio, handed));
        // At the end of the opening part the clock would stand still there: the rest is needed.
        if (stream.whole || frame < stream.audio.frames()) return frame;
        takeWholeFile(stream, true);
    }
}

// audioLock held. Puts `stream` at `frame`: running from there when it plays and the output is
// not paused, standing there otherwise.
void placeStream(Stream& stream, uint64_t frame, double now) {
    stream.cursor = frame << cursorFractionBits;
    // What the output holds of the stream is outdated: it plays afresh, or stops while held.
    output->replace();
    rejoinPlaced = slewing = false;
    if (!stream.playing || outputPaused) {
        streamClockHold(stream.clock, frame);
        return;
    }
    streamClockRun(stream.clock, frame);
    // On the system clock the frame is heard the moment it plays; an output that plays the
    // track itself names the moment; for one that mixes, the mixing that hands it out tells.
    if (onSystemClock)
        streamClockHanded(stream.clock, deviceClockHeard(systemClock, now));
    else if (output->playsWholeTrack)
        streamClockHanded(stream.clock, output->play(stream.handle, frame));
}

} // namespace

void audioMix(int16_t* out, uint32_t frames) {
    const uint32_t capacity = uint32_t(mixBuffer.size() / 2);
    while (frames > 0) {
        const uint32_t chunk = std::min(frames, capacity);
        std::fill(mixBuffer.begin(), mixBuffer.begin() + 2 * chunk, 0);
        if (!outputPaused)
            for (auto& stream : streams) {
                if (!stream || !stream->playing) continue;
                if ((stream->cursor >> cursorFractionBits) < stream->audio.frames())
                    streamClockHanded(stream->clock, double(handedFrames));
                resampleAdd(stream->audio, stream->cursor, stream->step, mixBuffer.data(), chunk);
            }
        for (size_t i = 0; i < 2 * size_t(chunk); ++i)
            out[i] = int16_t(std::clamp<int32_t>(mixBuffer[i], -32768, 32767));
        handedFrames += chunk;
        out += 2 * size_t(chunk);
        frames -= chunk;
    }
}

uint64_t audioHanded() {
    return handedFrames;
}

bool audioWantsSound() {
    if (outputPaused) return false;
    for (auto& stream : streams)
        if (stream && stream->playing) return true;
    return false;
}

void audioOutputLost(double now) {
    std::array<uint64_t, maxStreams> heard{};
    for (size_t i = 0; i < maxStreams; ++i)
        if (streams[i]) heard[i] = frameHeard(*streams[i], now);
    systemClock = makeIdealClock(outputRate, now);
    onSystemClock = true;
    rejoinPlaced = slewing = false;
    for (size_t i = 0; i < maxStreams; ++i)
        if (streams[i] && streams[i]->playing && !outputPaused)
            placeStream(*streams[i], heard[i], now);
}

double audioRejoinPlace(double heardAt, bool force) {
    assert(output != nullptr && onSystemClock);
    const double ideal = deviceClockHeard(systemClock, heardAt);
    const double handed = double(handedFrames);
    const double error = rejoinPlaced ? ideal - (rejoinIdeal + (handed - rejoinOutput)) : 0;
    if (!force && rejoinPlaced && std::fabs(error) <= rejoinToleranceSeconds * outputRate) return 0;
    rejoinPlaced = true;
    slewing = false;
    rejoinOutput = handed;
    rejoinIdeal = ideal;
    for (auto& stream : streams) {
        if (!stream || !stream->playing || outputPaused) continue;
        // Read on a copy: a reading ahead of time must not hold the clock back until then.
        StreamClock clock = stream->clock;
        const double ratio = double(stream->audio.rate) / outputRate;
        const auto frame =
            uint64_t(streamClockRead(clock, ideal, ratio, double(stream->audio.frames())));
        stream->rejoinFrame = frame;
        stream->cursor = frame << cursorFractionBits;
        // An output that plays the whole track starts it there itself, heard at `heardAt`; the
        // output frame it names for it carries the run from then on.
        if (output->playsWholeTrack) rejoinOutput = output->play(stream->handle, frame);
    }
    return error;
}

void audioRejoinConfirmed(double now) {
    if (!rejoinPlaced || slewing) return;
    slewing = true;
    slewStart = now;
}

bool audioRejoinSlewed(double now) {
    return slewing && now >= slewStart + slewSeconds;
}

void audioOutputBack(double now) {
    assert(slewing || !audioWantsSound());
    std::array<double, maxStreams> heard{};
    for (size_t i = 0; i < maxStreams; ++i)
        if (streams[i]) heard[i] = double(frameHeard(*streams[i], now));
    onSystemClock = false;
    for (size_t i = 0; i < maxStreams; ++i) {
        if (!streams[i] || !streams[i]->playing || outputPaused) continue;
        // The output's stream carries this run from `rejoinOutput` on; the reading goes on from
        // where the blend left it.
        StreamClock& clock = streams[i]->clock;
        streamClockRun(clock, streams[i]->rejoinFrame);
        streamClockHanded(clock, rejoinOutput);
        clock.lastReading = std::max(heard[i], double(clock.anchor));
    }
    rejoinPlaced = slewing = false;
}

namespace {

bool readFile(const char* path, DWORD offset, DWORD length, std::vector<uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    in.seekg(offset);
    if (!in) return false;
    if (length == 0) {
        // Through istream::read, which turns a read error (a directory, say) into a failed
        // stream; reading the buffer directly would let the exception escape.
        char chunk[64 * 1024];
        while (in.read(chunk, sizeof chunk) || in.gcount() > 0)
            bytes.insert(bytes.end(), chunk, chunk + in.gcount());
    } else {
        bytes.resize(length);
        in.read(reinterpret_cast<char*>(bytes.data()), length);
        bytes.resize(size_t(in.gcount()));
    }
    return !bytes.empty();
}

} // namespace

BOOL BASS_Init(int device, DWORD freq, DWORD, void*, void*) {
    if (output != nullptr) return FALSE;
    if (freq < 1000 || freq > 384000) return FALSE;
    if (device != 0 && device != 1 && device != -1) return FALSE;
    static const SoundOutput* const silence[] = {&silentOutput, nullptr};
    for (const SoundOutput* const* tried = device == 0 ? silence : soundOutputs; *tried; ++tried) {
        {
            const Lock lock(audioLock);
            mixBuffer.assign(2 * mixCapacityFrames, 0);
            outputRate = int(freq);
            outputPaused = false;
            rejoinPlaced = slewing = false;
            systemClock = makeIdealClock(freq, monotonicSeconds());
            onSystemClock = (*tried)->heard == nullptr;
            output = *tried; // before it opens: its thread may mix at once
        }
        if ((*tried)->open(freq)) return TRUE;
        const Lock lock(audioLock);
        output = nullptr;
    }
    return FALSE;
}

BOOL BASS_Free() {
    if (output == nullptr) return FALSE;
    output->close(); // may wait for the output's thread, so it must not hold audioLock here
    const Lock lock(audioLock);
    for (auto& stream : streams)
        stream.reset();
    mixBuffer.clear();
    mixBuffer.shrink_to_fit();
    outputPaused = false;
    output = nullptr;
    return TRUE;
}

BOOL BASS_Start() {
    const Lock lock(audioLock);
    if (output == nullptr) return FALSE;
    if (!outputPaused) return TRUE;
    outputPaused = false;
    const double now = monotonicSeconds();
    for (auto& stream : streams)
        if (stream && stream->playing) placeStream(*stream, stream->clock.anchor, now);
    return TRUE;
}

BOOL BASS_Pause() {
    const Lock lock(audioLock);
    if (output == nullptr) return FALSE;
    if (outputPaused) return TRUE;
    outputPaused = true;
    const double now = monotonicSeconds();
    // Each stream is held where it is heard, so that playing on repeats nothing and skips nothing.
    for (auto& stream : streams)
        if (stream && stream->playing) placeStream(*stream, frameHeard(*stream, now), now);
    return TRUE;
}

HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, DWORD offset, DWORD length, DWORD) {
    if (file == nullptr || output == nullptr) return 0;
    std::vector<uint8_t> bytes;
    const uint8_t* data = nullptr;
    size_t size = 0;
    if (mem) {
        data = static_cast<const uint8_t*>(file) + offset;
        size = length;
    } else {
        if (!readFile(static_cast<const char*>(file), offset, length, bytes)) return 0;
        data = bytes.data();
        size = bytes.size();
    }
    // Every position is exact, with or without BASS_STREAM_PRESCAN: a call that needs more than
    // the opening part waits for the whole file.
    auto stream = std::make_unique<Stream>();
    if (takeDecodedAhead(data, size, stream->audio)) {
        stream->whole = true;
    } else {
        if (!decodeMp3(data, size, stream->audio, openingFrames)) return 0;
        stream->whole = stream->audio.frames() < openingFrames;
        if (!stream->whole) {
            if (mem) bytes.assign(data, data + size); // the caller's memory may go before
            stream->wholeFile = decodeWholeFile(std::move(bytes));
        }
    }

    const Lock lock(audioLock);
    stream->step = cursorStep(stream->audio.rate, outputRate);
    streamClockHold(stream->clock, 0);
    for (auto& slot : streams)
        if (!slot) {
            if (++lastHandle == 0) ++lastHandle;
            stream->handle = lastHandle;
            slot = std::move(stream);
            if (output->playsWholeTrack) {
                // The output keeps its own copy of the whole track to play from.
                takeWholeFile(*slot, true);
                output->load(slot->handle, slot->audio);
            }
            return slot->handle;
        }
    return 0;
}

BOOL BASS_ChannelPlay(DWORD handle, BOOL restart) {
    const Lock lock(audioLock);
    Stream* stream = findStream(handle);
    if (stream == nullptr) return FALSE;
    if (stream->playing && !restart) return TRUE;
    const uint64_t frame = restart ? 0 : stream->clock.anchor; // a stopped stream stands there
    stream->playing = true;
    placeStream(*stream, frame, monotonicSeconds());
    return TRUE;
}

BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos) {
    const Lock lock(audioLock);
    Stream* stream = findStream(handle);
    if (stream == nullptr) return FALSE;
    // A position before the start arrives as a huge number and fails here too.
    if (pos > stream->audio.frames() * stream->bytesPerFrame()) {
        takeWholeFile(*stream, true);
        if (pos > stream->audio.frames() * stream->bytesPerFrame()) return FALSE;
    }
    placeStream(*stream, pos / stream->bytesPerFrame(), monotonicSeconds());
    return TRUE;
}

QWORD BASS_ChannelGetPosition(DWORD handle) {
    const Lock lock(audioLock);
    Stream* stream = findStream(handle);
    if (stream == nullptr) return QWORD(-1);
    return frameHeard(*stream, monotonicSeconds()) * stream->bytesPerFrame();
}

double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) {
    const Lock lock(audioLock);
    Stream* stream = findStream(handle);
    if (stream == nullptr) return -1;
    return double(pos) / (double(stream->audio.rate) * stream->bytesPerFrame());
}

QWORD BASS_ChannelSeconds2Bytes(DWORD handle, double pos) {
    const Lock lock(audioLock);
    Stream* stream = findStream(handle);
    if (stream == nullptr || !(pos >= 0) || pos > 1e9) return QWORD(-1);
    return QWORD(std::llround(pos * stream->audio.rate)) * stream->bytesPerFrame();
}

DWORD BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length) {
    if (buffer == nullptr || length != BASS_DATA_FFT1024) return DWORD(-1);
    const Lock lock(audioLock);
    Stream* stream = findStream(handle);
    if (stream == nullptr) return DWORD(-1);
    const uint64_t frame = frameHeard(*stream, monotonicSeconds());
    if (frame + fftFrames > stream->audio.frames()) takeWholeFile(*stream, true);
    spectrumAt(stream->audio, frame, static_cast<float*>(buffer));
    return fftFrames * stream->bytesPerFrame();
}

QWORD bassHandedPosition(DWORD handle) {
    const Lock lock(audioLock);
    Stream* stream = findStream(handle);
    if (stream == nullptr) return QWORD(-1);
    if (onSystemClock) return frameHeard(*stream, monotonicSeconds()) * stream->bytesPerFrame();
    const uint64_t frame = std::min(stream->cursor >> cursorFractionBits, stream->audio.frames());
    return frame * stream->bytesPerFrame();
}

const char* bassOutputName() {
    const Lock lock(audioLock);
    if (output == nullptr) return "none";
    return onSystemClock ? "silent" : output->name;
}

BOOL bassServerReport(DWORD handle, BassServerReport* report) {
    if (report == nullptr) return FALSE;
    const Lock lock(audioLock);
    Stream* stream = findStream(handle);
    if (stream == nullptr || onSystemClock || output->report == nullptr) return FALSE;
    OutputReport server;
    if (!stream->playing || outputPaused || !output->report(server)) return FALSE;
    const StreamClock& clock = stream->clock;
    if (!clock.running || !clock.runHanded || server.frame < clock.runStart) return FALSE;
    // Both positions by the same rule, without the bounds a reading keeps to.
    const double ratio = double(stream->audio.rate) / outputRate;
    const double bytesPerFrame = stream->bytesPerFrame();
    report->moment = server.moment;
    report->serverBytes = (clock.anchor + (server.frame - clock.runStart) * ratio) * bytesPerFrame;
    report->clockBytes =
        (clock.anchor + (server.clockFrame - clock.runStart) * ratio) * bytesPerFrame;
    report->sinkSeconds = server.sinkSeconds;
    report->latencySeconds = server.latencySeconds;
    return TRUE;
}
