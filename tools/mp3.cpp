// MP3 files made at test time: tones and other generated signals, encoded with libmp3lame.
#include "tools/mp3.h"

#include <lame/lame.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

struct LameClose {
    void operator()(lame_global_flags* flags) const { lame_close(flags); }
};

} // namespace

bool writeToneMp3(const std::string& path, int rate, int channels, int64_t frames,
                  const SampleGenerator& generator) {
    if ((channels != 1 && channels != 2) || frames < 0) return false;
    std::unique_ptr<lame_global_flags, LameClose> lame(lame_init());
    if (!lame) return false;
    lame_set_num_channels(lame.get(), channels);
    lame_set_in_samplerate(lame.get(), rate);
    lame_set_out_samplerate(lame.get(), rate); // else LAME may pick another rate
    lame_set_brate(lame.get(), channels == 1 ? 128 : 192);
    lame_set_mode(lame.get(), channels == 1 ? MONO : JOINT_STEREO);
    lame_set_quality(lame.get(), 2);
    lame_set_bWriteVbrTag(lame.get(), 1); // the frame that records delay and padding
    lame_set_write_id3tag_automatic(lame.get(), 0);
    if (lame_init_params(lame.get()) < 0) return false;

    std::vector<unsigned char> mp3;
    const int64_t block = 4096;
    std::vector<float> left(block), right(block);
    std::vector<unsigned char> out(block * 5 / 4 + 7200);
    for (int64_t first = 0; first < frames; first += block) {
        const int count = int(std::min(block, frames - first));
        for (int i = 0; i < count; ++i) {
            const double t = double(first + i) / rate;
            left[i] = generator(t, 0);
            right[i] = channels == 2 ? generator(t, 1) : left[i];
        }
        const int bytes = lame_encode_buffer_ieee_float(lame.get(), left.data(), right.data(),
                                                        count, out.data(), int(out.size()));
        if (bytes < 0) return false;
        mp3.insert(mp3.end(), out.begin(), out.begin() + bytes);
    }
    const int bytes = lame_encode_flush(lame.get(), out.data(), int(out.size()));
    if (bytes < 0) return false;
    mp3.insert(mp3.end(), out.begin(), out.begin() + bytes);

    // The header frame went out empty first; now that the length is known, fill it in.
    std::vector<unsigned char> tag(8192);
    const size_t tagBytes = lame_get_lametag_frame(lame.get(), tag.data(), tag.size());
    if (tagBytes == 0 || tagBytes > tag.size() || tagBytes > mp3.size()) return false;
    std::copy(tag.begin(), tag.begin() + tagBytes, mp3.begin());

    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(mp3.data(), 1, mp3.size(), file) == mp3.size();
    return std::fclose(file) == 0 && written;
}

SampleGenerator sineTone(double frequency, double amplitude) {
    return [=](double seconds, int) {
        return float(amplitude * std::sin(2 * M_PI * frequency * seconds));
    };
}
