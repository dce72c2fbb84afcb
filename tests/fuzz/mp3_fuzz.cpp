// Fuzz target: opening an MP3 stream from memory in our audio library, without a sound device,
// and the calls the show makes on a stream that opened.
#include "music/bass.h"
#include "tests/fuzz/fuzz_support.h"

#include <cmath>
#include <cstdint>

namespace {

void exercise(HSTREAM stream) {
    require(BASS_ChannelPlay(stream, TRUE), "an open stream plays");
    require(BASS_ChannelSetPosition(stream, 0), "an open stream goes to its start");
    const QWORD start = BASS_ChannelGetPosition(stream);
    require(start != QWORD(-1), "an open stream has a position");
    const double seconds = BASS_ChannelBytes2Seconds(stream, start);
    require(std::isfinite(seconds) && seconds >= 0, "a position is a time");

    float spectrum[512];
    require(BASS_ChannelGetData(stream, spectrum, BASS_DATA_FFT1024) != DWORD(-1),
            "an open stream has a spectrum");
    for (float magnitude : spectrum)
        require(std::isfinite(magnitude) && magnitude >= 0, "a magnitude is a finite size");

    // The seek steps of the arrow keys, unclamped as the show makes them, with the output held.
    BASS_Pause();
    for (int64_t step : {int64_t(50000), int64_t(-50000), int64_t(-50000), int64_t(1) << 40}) {
        const QWORD position = BASS_ChannelGetPosition(stream);
        BASS_ChannelSetPosition(stream, QWORD(int64_t(position) + step));
    }
    BASS_Start();
    require(BASS_ChannelGetPosition(stream) != QWORD(-1), "the stream survives the seeks");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Device 0 plays without sound. Streams are only released with the library, so each input
    // gets a fresh one.
    require(BASS_Init(0, 44100, 0, nullptr, nullptr), "the library starts without a device");
    const HSTREAM stream =
        BASS_StreamCreateFile(TRUE, data, 0, static_cast<DWORD>(size), BASS_STREAM_PRESCAN);
    if (stream != 0) exercise(stream);
    BASS_Free();
    return 0;
}
