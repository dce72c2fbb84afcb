// MP3 decoding with libmpg123: a whole file in memory to 16-bit samples at its own format.
#include "music/core.h"

#include <mpg123.h>

#include <algorithm>
#include <memory>

namespace {

struct HandleCloser {
    void operator()(mpg123_handle* handle) const { mpg123_delete(handle); }
};

// Accepts every rate and channel count the decoder knows, always as 16-bit samples, so that the
// file's own format is the one chosen.
bool allowEveryRateIn16Bits(mpg123_handle* handle) {
    if (mpg123_format_none(handle) != MPG123_OK) return false;
    const long* rates = nullptr;
    size_t count = 0;
    mpg123_rates(&rates, &count);
    for (size_t i = 0; i < count; ++i)
        if (mpg123_format(handle, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16) !=
            MPG123_OK)
            return false;
    return true;
}

// Makes room for the whole length the file's header announces (or the decoder estimates from its
// size), up to `maxFrames`: growing a long track's samples step by step copies them over and
// over, which takes about a third of the decoding time.
void reserveLength(mpg123_handle* handle, DecodedAudio& audio, uint64_t maxFrames) {
    const off_t announced = mpg123_length(handle);
    if (announced <= 0) return;
    // A header may lie; an hour of audio is the most taken on its word.
    const uint64_t cap = std::min<uint64_t>(maxFrames, uint64_t(audio.rate) * 3600);
    const uint64_t frames = std::min<uint64_t>(uint64_t(announced), cap);
    audio.samples.reserve(size_t(frames) * audio.channels);
}

} // namespace

bool decodeMp3(const uint8_t* data, size_t size, DecodedAudio& audio, uint64_t maxFrames) {
    audio = DecodedAudio{};
    if (data == nullptr || size == 0) return false;
    mpg123_init(); // a no-op on current versions, needed on old ones
    int error = MPG123_OK;
    std::unique_ptr<mpg123_handle, HandleCloser> handle(mpg123_new(nullptr, &error));
    if (!handle) return false;
    mpg123_param(handle.get(), MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0);
    if (!allowEveryRateIn16Bits(handle.get())) return false;
    if (mpg123_open_feed(handle.get()) != MPG123_OK) return false;
    if (mpg123_feed(handle.get(), data, size) != MPG123_OK) return false;

    std::vector<unsigned char> chunk(64 * 1024);
    for (;;) {
        size_t done = 0;
        const int result = mpg123_read(handle.get(), chunk.data(), chunk.size(), &done);
        if (result == MPG123_NEW_FORMAT) {
            long rate = 0;
            int channels = 0, encoding = 0;
            mpg123_getformat(handle.get(), &rate, &channels, &encoding);
            // A file that changes format midway keeps only its first part: the positions of
            // the whole stream are counted in one format.
            if (audio.channels != 0 && (rate != audio.rate || channels != audio.channels)) break;
            if (encoding != MPG123_ENC_SIGNED_16 || (channels != 1 && channels != 2)) break;
            audio.rate = int(rate);
            audio.channels = channels;
            reserveLength(handle.get(), audio, maxFrames);
        }
        if (done > 0 && audio.channels != 0) {
            // Counted in samples: a chunk may end between the channels of a frame.
            const uint64_t limit = maxFrames > UINT64_MAX / audio.channels
                                       ? UINT64_MAX
                                       : maxFrames * uint64_t(audio.channels);
            const auto* samples = reinterpret_cast<const int16_t*>(chunk.data());
            const size_t count =
                size_t(std::min<uint64_t>(done / sizeof(int16_t), limit - audio.samples.size()));
            audio.samples.insert(audio.samples.end(), samples, samples + count);
            if (audio.samples.size() >= limit) break;
        }
        if (result != MPG123_OK && result != MPG123_NEW_FORMAT) break; // end, or damage
    }
    // A damaged tail may end mid-frame; keep whole frames only.
    if (audio.channels != 0) audio.samples.resize(audio.frames() * audio.channels);
    return audio.frames() > 0;
}
