// The committed music track as a player decodes it: length, level, the kick in the spectrum's
// lowest bins, tuning, and that the generator reproduces it byte for byte.
#include "tools/track.h"
#include "tests/support.h"

#include <gtest/gtest.h>
#include <kiss_fftr.h>
#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

const char* const trackPath = "Data/Zrax2011.mp3";
constexpr long rate = 44100;
constexpr long beatFrames = 22050; // 120 beats per minute
constexpr double pi = 3.14159265358979323846;

struct Decoded {
    long rate = 0;
    int channels = 0;
    int bitrate = 0;         // kbit/s of the first audio frame
    std::vector<float> mono; // the channels averaged, as the show's spectrum combines them
    float peak = 0;          // largest absolute sample of either channel
};

// Decodes with gapless trimming on (the default of libmpg123, asked for all the same), to float
// so that anything beyond full scale shows.
Decoded decode(const char* path) {
    Decoded out;
    mpg123_handle* mh = mpg123_new(nullptr, nullptr);
    EXPECT_NE(mh, nullptr);
    if (!mh) return out;
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_GAPLESS, 0);
    mpg123_format_none(mh);
    mpg123_format(mh, rate, MPG123_STEREO | MPG123_MONO, MPG123_ENC_FLOAT_32);
    if (mpg123_open(mh, path) == MPG123_OK) {
        int encoding = 0;
        mpg123_getformat(mh, &out.rate, &out.channels, &encoding);
        std::vector<float> block(8192);
        size_t got = 0;
        int result = MPG123_OK;
        while (result == MPG123_OK || result == MPG123_NEW_FORMAT) {
            result = mpg123_read(mh, block.data(), block.size() * sizeof(float), &got);
            const size_t samples = got / sizeof(float);
            for (size_t i = 0; i + out.channels <= samples; i += size_t(out.channels)) {
                float sum = 0;
                for (int c = 0; c < out.channels; ++c) {
                    sum += block[i + size_t(c)];
                    out.peak = std::max(out.peak, std::fabs(block[i + size_t(c)]));
                }
                out.mono.push_back(sum / float(out.channels));
            }
        }
        EXPECT_EQ(result, MPG123_DONE) << mpg123_strerror(mh);
        mpg123_frameinfo info{};
        if (mpg123_info(mh, &info) == MPG123_OK) out.bitrate = info.bitrate;
    } else {
        ADD_FAILURE() << "cannot open " << path;
    }
    mpg123_delete(mh);
    return out;
}

// FFT magnitudes of n Hann-windowed samples from `start`, zero-padded to `size`.
std::vector<float> spectrumAt(const std::vector<float>& mono, long start, int n, int size) {
    std::vector<float> frame(size_t(size), 0.0f);
    for (int i = 0; i < n; ++i) {
        const long at = start + i;
        const float x = at >= 0 && at < long(mono.size()) ? mono[size_t(at)] : 0.0f;
        frame[size_t(i)] = x * float(0.5 - 0.5 * std::cos(2 * pi * i / n));
    }
    std::vector<kiss_fft_cpx> bins(size_t(size / 2 + 1));
    kiss_fftr_cfg fft = kiss_fftr_alloc(size, 0, nullptr, nullptr);
    kiss_fftr(fft, frame.data(), bins.data());
    kiss_fftr_free(fft);
    std::vector<float> magnitudes;
    for (const kiss_fft_cpx& b : bins)
        magnitudes.push_back(std::hypot(b.r, b.i));
    return magnitudes;
}

// Bins 0 and 2 of the show's 1024-sample spectrum (what stretches the model), averaged over the
// windows that start in the first 100 ms after `start`, 10 ms apart: what the frames of the show
// see after a kick.
struct LowBins {
    double bin0 = 0, bin2 = 0;
};
LowBins lowBinsAfter(const std::vector<float>& mono, long start) {
    LowBins mean;
    for (int i = 0; i < 10; ++i) {
        const std::vector<float> s = spectrumAt(mono, start + i * rate / 100, 1024, 1024);
        mean.bin0 += s[0] / 10;
        mean.bin2 += s[2] / 10;
    }
    return mean;
}

class TrackTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { mpg123_init(); }
};

TEST_F(TrackTest, DecodesToNinetySixSecondsOfStereoAt192kbit) {
    const Decoded track = decode(trackPath);
    EXPECT_EQ(track.rate, rate);
    EXPECT_EQ(track.channels, 2);
    EXPECT_GE(track.bitrate, 192);
    EXPECT_GE(track.mono.size(), size_t(90 * rate));
    // Exactly the synthesized length: the info tag's encoder delay and padding were taken off.
    EXPECT_EQ(track.mono.size(), size_t(96 * rate));
}

TEST_F(TrackTest, PeaksStayBelowFullScaleBeforeAndAfterEncoding) {
    const StereoPcm pcm = renderMusicTrack();
    float rendered = 0;
    for (size_t i = 0; i < pcm.left.size(); ++i)
        rendered = std::max({rendered, std::fabs(pcm.left[i]), std::fabs(pcm.right[i])});
    EXPECT_LT(rendered, std::pow(10.0f, -0.9f / 20));
    EXPECT_GT(rendered, 0.5f);

    const Decoded track = decode(trackPath);
    EXPECT_LT(track.peak, 1.0f) << "the decoded track clips";
    EXPECT_GT(track.peak, 0.5f);
}

// Kicks sound on every beat but those of the portrait's breakdown (50.5 s to 59 s) and of the
// last eight seconds; half a beat after each the off-beat bass plays, the loudest thing between
// two kicks.
TEST_F(TrackTest, LowestBinsRiseOnEveryKick) {
    const Decoded track = decode(trackPath);
    ASSERT_GE(track.mono.size(), size_t(90 * rate));
    std::vector<int> beats;
    for (int beat = 0; beat < 101; ++beat)
        beats.push_back(beat);
    for (int beat = 118; beat < 176; ++beat)
        beats.push_back(beat);
    LowBins onKicks, between;
    int risesOn0 = 0, risesOn2 = 0;
    for (int beat : beats) {
        const LowBins on = lowBinsAfter(track.mono, beat * beatFrames);
        const LowBins off = lowBinsAfter(track.mono, beat * beatFrames + beatFrames / 2);
        onKicks.bin0 += on.bin0 / beats.size();
        onKicks.bin2 += on.bin2 / beats.size();
        between.bin0 += off.bin0 / beats.size();
        between.bin2 += off.bin2 / beats.size();
        risesOn0 += on.bin0 > 1.5 * off.bin0;
        risesOn2 += on.bin2 > 1.5 * off.bin2;
    }
    EXPECT_GT(onKicks.bin0, 2.5 * between.bin0);
    EXPECT_GT(onKicks.bin2, 2.5 * between.bin2);
    EXPECT_EQ(risesOn0, int(beats.size()));
    EXPECT_EQ(risesOn2, int(beats.size()));
}

// One bar of the portrait's breakdown, no drums, over the A minor chord (56 s to 57 s): every
// strong tone lies near an equal-tempered note (A = 440 Hz) of A minor, within the chorus detune
// and vibrato, which spread symmetrically, so that on average the tones sit on the notes.
TEST_F(TrackTest, TonesOfTheBreakdownAreInTuneAndInKey) {
    const Decoded track = decode(trackPath);
    ASSERT_GE(track.mono.size(), size_t(60 * rate));
    constexpr int size = 1 << 16;
    const std::vector<float> s = spectrumAt(track.mono, 56 * rate, int(rate), size);
    const double hzPerBin = double(rate) / size;
    float strongest = 0;
    for (size_t k = size_t(100 / hzPerBin); k < size_t(2000 / hzPerBin); ++k)
        strongest = std::max(strongest, s[k]);
    std::vector<double> offsets; // semitones from the nearest note
    for (size_t k = size_t(100 / hzPerBin); k < size_t(2000 / hzPerBin); ++k) {
        if (s[k] < 0.2f * strongest || s[k] < s[k - 1] || s[k] < s[k + 1]) continue;
        // Parabolic interpolation of the peak between its neighbours.
        const double a = std::log(s[k - 1]), b = std::log(s[k]), c = std::log(s[k + 1]);
        const double hz = (double(k) + 0.5 * (a - c) / (a - 2 * b + c)) * hzPerBin;
        const double note = 69 + 12 * std::log2(hz / 440);
        const int nearest = int(std::lround(note));
        constexpr bool aMinor[12] = {true,  false, true,  false, true,  true,
                                     false, true,  false, true,  false, true}; // from C
        const bool inKey = aMinor[((nearest % 12) + 12) % 12];
        EXPECT_LT(std::fabs(note - nearest), 0.25) << hz << " Hz";
        EXPECT_TRUE(inKey) << hz << " Hz is MIDI note " << nearest;
        offsets.push_back(note - nearest);
    }
    ASSERT_GE(offsets.size(), size_t(5));
    double mean = 0;
    for (double offset : offsets)
        mean += offset / double(offsets.size());
    EXPECT_LT(std::fabs(mean), 0.05) << "out of tune by " << 100 * mean << " cents";
}

TEST_F(TrackTest, GeneratorReproducesTheCommittedFile) {
    TempDir tmp;
    ASSERT_TRUE(writeMusicTrack(tmp.path("Zrax2011.mp3")));
    const std::string made = readText(tmp.path("Zrax2011.mp3"));
    const std::string committed = readText(trackPath);
    ASSERT_FALSE(committed.empty());
    EXPECT_EQ(made.size(), committed.size());
    EXPECT_TRUE(made == committed) << "the generator's output differs from " << trackPath;
}

} // namespace
