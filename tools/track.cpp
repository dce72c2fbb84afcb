// The show's music: a 120 BPM track in A minor from our own oscillators, drums and arrangement.
#include "tools/track.h"

#include <lame/lame.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace {

constexpr int sampleRate = 44100;
constexpr long beatFrames = 22050; // 120 beats per minute; beat n starts at frame n * beatFrames
constexpr int barBeats = 4;
constexpr int trackBeats = 192; // 96 s
constexpr long trackFrames = trackBeats * beatFrames;
constexpr double pi = 3.14159265358979323846;

// Sections follow the show's scenes: opening cards, credits (the lift comes in on the beat at
// 11.0 s, just before the first credit card), pictures, portrait, closing pictures, and what
// plays on after the show ends at 80 s. Values are the beats where each starts.
enum Section { Intro, Lift, Main, Breakdown, Finale, Outro };
constexpr int sectionStart[] = {0, 22, 37, 101, 118, 160};
constexpr int kickEndBeat = 176; // 88 s: the outro lets the drums go before the final chord
constexpr int melodyStartBeat = 64;

Section sectionOf(int beat) {
    int s = Outro;
    while (beat < sectionStart[s])
        --s;
    return Section(s);
}

bool kickPlays(int beat) {
    return sectionOf(beat) != Breakdown && beat < kickEndBeat;
}

long frameOf(double beat) {
    return long(std::floor(beat * beatFrames));
}
double seconds(long frames) {
    return double(frames) / sampleRate;
}
long framesOf(double secs) {
    return long(secs * sampleRate);
}
double midiHz(int note) {
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}
double cents(double c) {
    return std::pow(2.0, c / 1200.0);
}

// Gain that takes the last 10 ms of a sound of n frames down to zero, so that nothing clicks.
double endFade(long i, long n) {
    return std::min(1.0, double(n - i) / (0.01 * sampleRate));
}

// Stereo mix of the whole track; whatever falls past its end is dropped.
struct Mix {
    std::vector<float> left = std::vector<float>(trackFrames);
    std::vector<float> right = std::vector<float>(trackFrames);
    void add(long frame, double l, double r) {
        if (frame < 0 || frame >= trackFrames) return;
        left[size_t(frame)] += float(l);
        right[size_t(frame)] += float(r);
    }
};

// Equal-power panning; position -1 is hard left, 1 hard right.
struct Pan {
    double left, right;
    explicit Pan(double position)
        : left(std::cos((position + 1) * pi / 4)), right(std::sin((position + 1) * pi / 4)) {}
};

// xorshift32 white noise in [-1, 1): the same sequence for the same seed on every machine.
class Noise {
  public:
    explicit Noise(uint32_t seed) : state(seed) {}
    double next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state / 2147483648.0 - 1.0;
    }
    double unit() { return (next() + 1) / 2; }

  private:
    uint32_t state;
};

// Band-limited sawtooth (polyBLEP), phase in [0, 1).
class Saw {
  public:
    explicit Saw(double phase = 0) : phase(phase) {}
    double next(double hz) {
        const double dt = hz / sampleRate;
        double v = 2 * phase - 1 - blep(phase, dt);
        phase += dt;
        if (phase >= 1) phase -= 1;
        return v;
    }

  private:
    static double blep(double t, double dt) {
        if (t < dt) {
            t /= dt;
            return t + t - t * t - 1;
        }
        if (t > 1 - dt) {
            t = (t - 1) / dt;
            return t * t + t + t + 1;
        }
        return 0;
    }
    double phase;
};

// Sine oscillator whose frequency may change every sample.
class Sine {
  public:
    double next(double hz) {
        double v = std::sin(2 * pi * phase);
        phase += hz / sampleRate;
        phase -= std::floor(phase);
        return v;
    }

  private:
    double phase = 0;
};

// Trapezoidal state-variable filter: stable for cutoffs up to near half the sample rate.
class Filter {
  public:
    struct Out {
        double low, band, high;
    };
    Filter(double hz, double q) { tune(hz, q); }
    void tune(double hz, double q) {
        const double g = std::tan(pi * std::min(hz, 0.45 * sampleRate) / sampleRate);
        k = 1 / q;
        a1 = 1 / (1 + g * (g + k));
        a2 = g * a1;
        a3 = g * a2;
    }
    Out run(double x) {
        const double v3 = x - s2;
        const double v1 = a1 * s1 + a2 * v3;
        const double v2 = s2 + a2 * s1 + a3 * v3;
        s1 = 2 * v1 - s1;
        s2 = 2 * v2 - s2;
        return {v2, v1, x - k * v1 - v2};
    }

  private:
    double k = 1, a1 = 0, a2 = 0, a3 = 0, s1 = 0, s2 = 0;
};

// Cutoffs that follow the music's time change only every this many frames, to save tan() calls.
constexpr long filterStep = 32;

// The gain of the sounds that make room for the kick: dips within 5 ms of each kick (a sudden
// step would click) and recovers within the beat. depth 0 leaves them alone.
double pump(long frame, double depth) {
    const int beat = int(frame / beatFrames);
    if (frame < 0 || !kickPlays(beat)) return 1;
    const double t = seconds(frame - beat * beatFrames);
    return 1 - depth * std::min(1.0, t / 0.005) * std::exp(-t / 0.09);
}

// ---- Drum kit -------------------------------------------------------------------------------

// Kick: a sine falling from 130 Hz to the key's fifth, E1 (41 Hz), within about 50 ms, so its
// weight lands in the spectrum's lowest bins (43 Hz apart) while the sweep gives the punch.
void addKick(Mix& mix, long at, double level) {
    const long n = framesOf(0.42);
    const double low = midiHz(28);
    Sine osc;
    for (long i = 0; i < n; ++i) {
        const double t = seconds(i);
        const double body = osc.next(low + (130 - low) * std::exp(-t / 0.02)) * std::exp(-t / 0.12);
        const double v = level * std::tanh(1.5 * body) / std::tanh(1.5) * endFade(i, n);
        mix.add(at + i, v, v);
    }
}

// Snare: band-passed noise over a short 190 Hz body.
void addSnare(Mix& mix, long at, double level, Noise& noise) {
    const long n = framesOf(0.3);
    Filter band(1800, 0.9);
    Sine body;
    for (long i = 0; i < n; ++i) {
        const double t = seconds(i);
        const double hiss = band.run(noise.next()).band * std::exp(-t / 0.09);
        const double tone = body.next(190 * (1 + 0.3 * std::exp(-t / 0.01))) * std::exp(-t / 0.04);
        const double v = level * (1.6 * hiss + 0.5 * tone) * endFade(i, n);
        mix.add(at + i, v, v);
    }
}

// Hi-hat: high-passed noise; decay in seconds makes it closed (short) or open (long).
void addHat(Mix& mix, long at, double level, double decay, double position, Noise& noise) {
    const long n = framesOf(decay * 6);
    const Pan pan(position);
    Filter high(7500, 0.8);
    for (long i = 0; i < n; ++i) {
        const double v = level * high.run(noise.next()).high * std::exp(-seconds(i) / decay);
        mix.add(at + i, v * endFade(i, n) * pan.left, v * endFade(i, n) * pan.right);
    }
}

// Crash: a long wash of high noise, each side its own, to mark a new section.
void addCrash(Mix& mix, long at, double level, Noise& noise) {
    const long n = framesOf(2.5);
    Filter highL(4500, 0.7), highR(4500, 0.7);
    for (long i = 0; i < n; ++i) {
        const double env = level * std::exp(-seconds(i) / 0.7) * endFade(i, n);
        mix.add(at + i, env * highL.run(noise.next()).high, env * highR.run(noise.next()).high);
    }
}

// Riser: noise whose band sweeps up from 300 Hz to 6 kHz as it swells into the next section.
void addRiser(Mix& mix, long from, long to, double level, Noise& noise) {
    const long n = to - from;
    Filter bandL(300, 2), bandR(300, 2);
    for (long i = 0; i < n; ++i) {
        const double x = double(i) / n;
        if (i % filterStep == 0) {
            bandL.tune(300 * std::pow(20.0, x), 2);
            bandR.tune(300 * std::pow(20.0, x), 2);
        }
        const double env = level * x * x * endFade(i, n);
        mix.add(from + i, env * bandL.run(noise.next()).band, env * bandR.run(noise.next()).band);
    }
}

// ---- Tonal instruments ----------------------------------------------------------------------

// Sub bass: a sine with a little of its second and third harmonic, so that small speakers carry
// the line too.
void addBass(Mix& mix, long at, long length, int note, double level) {
    const long n = length + framesOf(0.08);
    const double hz = midiHz(note);
    Sine f1, f2, f3;
    for (long i = 0; i < n; ++i) {
        const double t = seconds(i);
        double env = std::min(1.0, t / 0.004);
        if (i > length) env *= std::exp(-seconds(i - length) / 0.015);
        const double tone = f1.next(hz) + 0.25 * f2.next(2 * hz) + 0.08 * f3.next(3 * hz);
        const double v = level * env * std::tanh(tone) * endFade(i, n);
        mix.add(at + i, v, v);
    }
}

// The pad's cutoff in Hz at a frame: opening through the intro, full in the pictures, brightest
// in the breakdown, closing again in the outro.
double padCutoff(long frame) {
    const double beat = double(frame) / beatFrames;
    switch (sectionOf(int(beat))) {
    case Intro:
        return 250 * std::pow(6.0, beat / sectionStart[Lift]);
    case Lift:
        return 1500;
    case Main:
        return 2400;
    case Breakdown:
        return 3500;
    case Finale:
        return 3000;
    case Outro:
        break;
    }
    return 3000 * std::pow(0.15, (beat - sectionStart[Outro]) / (trackBeats - sectionStart[Outro]));
}

// Pad: each chord note as two detuned sawtooths per side, low-passed with the cutoff of the
// moment, slow attack and release, pumping under the kick.
void addPad(Mix& mix, long at, long length, const std::vector<int>& notes, double level,
            Noise& noise) {
    const long n = length + framesOf(0.8);
    constexpr double detune[2][2] = {{-11, 4}, {-4, 11}}; // cents, per side
    std::vector<Saw> saws;
    std::vector<double> hz;
    for (int side = 0; side < 2; ++side)
        for (int note : notes)
            for (double c : detune[side]) {
                saws.emplace_back(noise.unit());
                hz.push_back(midiHz(note) * cents(c));
            }
    const size_t perSide = saws.size() / 2;
    Filter lowL(1000, 0.7), lowR(1000, 0.7);
    for (long i = 0; i < n; ++i) {
        if (i % filterStep == 0) {
            lowL.tune(padCutoff(at + i), 0.7);
            lowR.tune(padCutoff(at + i), 0.7);
        }
        double sum[2] = {0, 0};
        for (size_t s = 0; s < saws.size(); ++s)
            sum[s / perSide] += saws[s].next(hz[s]);
        double env = std::min(1.0, seconds(i) / 0.25);
        if (i > length) env *= std::exp(-seconds(i - length) / 0.25);
        const double g = level * env * pump(at + i, 0.35) * endFade(i, n);
        mix.add(at + i, g * lowL.run(sum[0]).low, g * lowR.run(sum[1]).low);
    }
}

// Pluck for the arpeggio: a bright sawtooth pair whose filter closes fast; brightness is the
// cutoff (Hz) at the attack. Part of it goes to the echo.
void addPluck(Mix& mix, Mix& echo, long at, int note, double level, double brightness,
              double position, double send) {
    const long n = framesOf(0.35);
    const double hz = midiHz(note);
    const Pan pan(position);
    Saw a, b(0.5);
    Filter low(brightness, 1.4);
    for (long i = 0; i < n; ++i) {
        const double t = seconds(i);
        if (i % filterStep == 0) low.tune(250 + brightness * std::exp(-t / 0.07), 1.4);
        const double tone = low.run(a.next(hz) + b.next(hz * cents(7))).low;
        const double v = level * tone * std::min(1.0, t / 0.002) * std::exp(-t / 0.11) *
                         pump(at + i, 0.3) * endFade(i, n);
        mix.add(at + i, v * pan.left, v * pan.right);
        echo.add(at + i, v * send * pan.left, v * send * pan.right);
    }
}

// Lead: two detuned sawtooths and a square an octave down (the difference of two sawtooths half
// a cycle apart, so it stays band-limited), low-passed, with a vibrato that grows in after the
// attack. Part of it goes to the echo.
void addLead(Mix& mix, Mix& echo, long at, long length, int note, double level, double cutoff,
             double send) {
    const long n = length + framesOf(0.12);
    const double hz = midiHz(note);
    Saw a(0.1), b(0.6), subA(0.3), subB(0.8);
    Sine vibrato;
    Filter low(cutoff, 1.1);
    for (long i = 0; i < n; ++i) {
        const double t = seconds(i);
        const double depth = 12 * std::min(1.0, std::max(0.0, (t - 0.15) / 0.3)); // cents
        const double f = hz * cents(depth * vibrato.next(5.5));
        const double square = 0.5 * (subA.next(f / 2) - subB.next(f / 2));
        const double tone =
            low.run(0.5 * a.next(f * cents(-6)) + 0.5 * b.next(f * cents(6)) + 0.2 * square).low;
        double env = std::min(1.0, t / 0.008);
        if (i > length) env *= std::exp(-seconds(i - length) / 0.04);
        const double v = level * tone * env * endFade(i, n);
        mix.add(at + i, v, v);
        echo.add(at + i, v * send, v * send);
    }
}

// Ping-pong echo of the send bus at a dotted eighth, each repeat darker and quieter.
void applyEcho(Mix& mix, const Mix& send) {
    const long delay = frameOf(0.75);
    constexpr double feedback = 0.38, damping = 0.35;
    std::vector<float> tapL(trackFrames), tapR(trackFrames);
    double toneL = 0, toneR = 0;
    for (long i = delay; i < trackFrames; ++i) {
        const long j = i - delay;
        const double inL = 0.5 * (send.left[j] + send.right[j]) + feedback * tapR[j];
        const double inR = feedback * tapL[j];
        toneL += damping * (inL - toneL);
        toneR += damping * (inR - toneR);
        tapL[i] = float(toneL);
        tapR[i] = float(toneR);
        mix.left[i] += tapL[i];
        mix.right[i] += tapR[i];
    }
}

// ---- Arrangement ----------------------------------------------------------------------------

// i–VI–III–VII in A minor, one chord a bar; the last bars end on VII–i.
struct Chord {
    int bass;                  // MIDI note of the sub bass
    std::vector<int> pad;      // the pad's voicing, kept close for smooth voice leading
    std::vector<int> arpeggio; // its notes an octave above, for the arpeggio
};
const Chord& chordOfBar(int bar) {
    static const Chord am{33, {57, 60, 64}, {69, 72, 76, 81}};
    static const Chord f{29, {57, 60, 65}, {65, 69, 72, 77}};
    static const Chord c{36, {55, 60, 64}, {67, 72, 76, 79}};
    static const Chord g{31, {55, 59, 62}, {67, 71, 74, 79}};
    static const Chord* const cycle[] = {&am, &f, &c, &g};
    const int last = trackBeats / barBeats - 1;
    if (bar == last) return am;
    if (bar == last - 1) return g;
    return *cycle[bar % 4];
}

// The melody over one four-bar cycle of chords: start and length in eighths, MIDI note. Cycles
// alternate the call (first) and its answer (second).
struct MelodyNote {
    int start, length, note;
};
// clang-format off
const std::vector<MelodyNote> melody[2] = {
    {{0, 2, 76}, {2, 1, 76}, {3, 1, 74}, {4, 2, 72}, {6, 1, 74}, {7, 1, 76}, // Am: E E D C D E
     {8, 3, 77}, {11, 1, 76}, {12, 4, 72},                                  // F:  F E C
     {16, 2, 79}, {18, 2, 76}, {20, 2, 74}, {22, 2, 72},                    // C:  G E D C
     {24, 3, 74}, {27, 1, 72}, {28, 2, 71}, {30, 2, 74}},                   // G:  D C B D
    {{0, 3, 81}, {3, 1, 79}, {4, 2, 76}, {6, 2, 72},                        // Am: A G E C
     {8, 2, 77}, {10, 2, 81}, {12, 2, 79}, {14, 2, 77},                     // F:  F A G F
     {16, 3, 76}, {19, 1, 74}, {20, 2, 72}, {22, 2, 76},                    // C:  E D C E
     {24, 3, 74}, {27, 1, 72}, {28, 4, 71}},                                // G:  D C B
};
// clang-format on

void addDrums(Mix& mix, Noise& noise) {
    for (int beat = 0; beat < trackBeats; ++beat) {
        const Section s = sectionOf(beat);
        const long at = frameOf(beat);
        const bool full = s == Lift || s == Main || s == Finale;
        if (kickPlays(beat)) addKick(mix, at, s == Intro ? 0.65 : 0.8);
        if (full && beat % 2 == 1) addSnare(mix, at, 0.45, noise);
        // Off-beat hats from the second bar, sixteenths in the pictures and the finale.
        if ((s == Intro && beat >= 8) || s == Lift || (s == Outro && beat < 168))
            addHat(mix, frameOf(beat + 0.5), 0.15, 0.03, 0.25, noise);
        if (s == Main || s == Finale)
            for (int q = 0; q < 4; ++q)
                addHat(mix, frameOf(beat + q / 4.0), q == 2 ? 0.16 : 0.07, 0.025, 0.25, noise);
        if (s == Finale) addHat(mix, frameOf(beat + 0.5), 0.1, 0.12, -0.2, noise);
    }
    // Snare rolls into the pictures and the finale, growing louder.
    for (int start : {sectionStart[Main] - 2, sectionStart[Finale] - 2})
        for (int q = 0; q < 8; ++q)
            addSnare(mix, frameOf(start + q / 4.0), 0.08 + 0.025 * q, noise);
    addRiser(mix, frameOf(sectionStart[Lift] - 4), frameOf(sectionStart[Lift]), 0.25, noise);
    addRiser(mix, frameOf(sectionStart[Finale] - 4), frameOf(sectionStart[Finale]), 0.3, noise);
    for (int s : {Lift, Main, Breakdown, Finale, Outro})
        addCrash(mix, frameOf(sectionStart[s]), 0.25, noise);
    // The show cuts picture to picture every bar from 40 s to 48 s: a lighter crash on each.
    for (int beat = 80; beat <= 96; beat += barBeats)
        addCrash(mix, frameOf(beat), 0.12, noise);
}

void addBassLine(Mix& mix) {
    for (int beat = 0; beat < trackBeats; ++beat) {
        const Section s = sectionOf(beat);
        const Chord& chord = chordOfBar(beat / barBeats);
        // The breakdown holds each bar's root, from its first beat to the bar's end.
        if (s == Breakdown && (beat % barBeats == 0 || beat == sectionStart[Breakdown])) {
            const int barEnd = (beat / barBeats + 1) * barBeats;
            addBass(mix, frameOf(beat), frameOf(barEnd - beat) - framesOf(0.2), chord.bass, 0.22);
        }
        // Off-beat eighths between the kicks; the finale jumps an octave on the last one.
        if (s != Intro && s != Breakdown && beat < kickEndBeat) {
            const int note = chord.bass + (s == Finale && beat % barBeats == 3 ? 12 : 0);
            addBass(mix, frameOf(beat + 0.5), framesOf(0.2), note, 0.27);
        }
    }
}

void addHarmony(Mix& mix, Mix& echo, Noise& noise) {
    for (int bar = 0; bar < trackBeats / barBeats; ++bar)
        addPad(mix, frameOf(bar * barBeats), frameOf(barBeats) - framesOf(0.05),
               chordOfBar(bar).pad, 0.08, noise);
    // Arpeggio in sixteenths, up and down over the chord (a six-step figure against the bar's
    // sixteen, so it shifts from bar to bar), from the lift until the last bars.
    constexpr int figure[] = {0, 1, 2, 3, 2, 1};
    for (int step = 4 * sectionStart[Lift]; step < 4 * (trackBeats - 8); ++step) {
        const int beat = step / 4;
        const Section s = sectionOf(beat);
        const Chord& chord = chordOfBar(beat / barBeats);
        const double bright = s == Lift ? 900 : s == Breakdown ? 1400 : s == Outro ? 1800 : 2800;
        const double accent = step % 4 == 0 ? 1.0 : 0.7;
        addPluck(mix, echo, frameOf(step / 4.0), chord.arpeggio[size_t(figure[step % 6])],
                 0.12 * accent, bright, step % 2 ? 0.35 : -0.35, 0.5);
    }
}

// The melody from 32 s to the end of the show: the lead in the pictures, softer and darker at
// the portrait, doubled an octave up in the finale.
void addMelody(Mix& mix, Mix& echo) {
    const int cycleBeats = 4 * barBeats;
    for (int cycle = melodyStartBeat / cycleBeats; cycle < sectionStart[Outro] / cycleBeats;
         ++cycle)
        for (const MelodyNote& m : melody[cycle % 2]) {
            const double beat = cycle * cycleBeats + m.start / 2.0;
            const long length = frameOf(m.length / 2.0) - framesOf(0.03);
            const Section s = sectionOf(int(beat));
            const long at = frameOf(beat);
            if (s == Breakdown) {
                addLead(mix, echo, at, length, m.note, 0.16, 1300, 0.6);
            } else {
                addLead(mix, echo, at, length, m.note, 0.2, 2600, 0.35);
                if (s == Finale) addLead(mix, echo, at, length, m.note + 12, 0.08, 3500, 0.35);
            }
        }
}

// Takes out DC (the kick's first lobe leaves some) below about 10 Hz, fades the last six seconds
// out and scales the whole track to a peak of -1 dBFS.
void master(Mix& mix) {
    constexpr double pole = 1 - 2 * pi * 10 / sampleRate;
    for (std::vector<float>* side : {&mix.left, &mix.right}) {
        double in = 0, out = 0;
        for (float& x : *side) {
            out = pole * out + x - in;
            in = x;
            x = float(out);
        }
    }
    const long fadeFrom = trackFrames - framesOf(6);
    for (long i = fadeFrom; i < trackFrames; ++i) {
        const double x = 1 - double(i - fadeFrom) / (trackFrames - fadeFrom);
        mix.left[size_t(i)] *= float(x * x);
        mix.right[size_t(i)] *= float(x * x);
    }
    float peak = 0;
    for (long i = 0; i < trackFrames; ++i)
        peak = std::max({peak, std::fabs(mix.left[size_t(i)]), std::fabs(mix.right[size_t(i)])});
    const float gain = std::pow(10.0f, -1.0f / 20) / peak;
    for (long i = 0; i < trackFrames; ++i) {
        mix.left[size_t(i)] *= gain;
        mix.right[size_t(i)] *= gain;
    }
}

bool writeFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

// Constant 192 kbit/s joint stereo, high-quality search; the info tag written into the first
// frame carries the encoder delay and padding that gapless decoders take off. The encoder scales
// its input by 0.97 (its own headroom), so the decoded track is 0.26 dB below the rendering.
bool encodeMp3(const StereoPcm& pcm, std::vector<unsigned char>& mp3) {
    lame_global_flags* lame = lame_init();
    if (!lame) return false;
    lame_set_in_samplerate(lame, sampleRate);
    lame_set_out_samplerate(lame, sampleRate);
    lame_set_num_channels(lame, 2);
    lame_set_mode(lame, JOINT_STEREO);
    lame_set_VBR(lame, vbr_off);
    lame_set_brate(lame, 192);
    lame_set_quality(lame, 2);
    lame_set_bWriteVbrTag(lame, 1);
    lame_set_write_id3tag_automatic(lame, 0);
    bool ok = lame_init_params(lame) == 0;
    const long chunk = sampleRate;
    std::vector<unsigned char> out(size_t(chunk * 5 / 4 + 7200));
    for (long at = 0; ok && at < trackFrames; at += chunk) {
        const int frames = int(std::min(chunk, trackFrames - at));
        const int got =
            lame_encode_buffer_ieee_float(lame, &pcm.left[size_t(at)], &pcm.right[size_t(at)],
                                          frames, out.data(), int(out.size()));
        ok = got >= 0;
        if (ok) mp3.insert(mp3.end(), out.begin(), out.begin() + got);
    }
    if (ok) {
        const int got = lame_encode_flush(lame, out.data(), int(out.size()));
        ok = got >= 0;
        if (ok) mp3.insert(mp3.end(), out.begin(), out.begin() + got);
    }
    if (ok) {
        const size_t tag = lame_get_lametag_frame(lame, out.data(), out.size());
        ok = tag > 0 && tag <= mp3.size();
        if (ok) std::copy(out.begin(), out.begin() + long(tag), mp3.begin());
    }
    lame_close(lame);
    return ok;
}

} // namespace

StereoPcm renderMusicTrack() {
    Mix mix, echo;
    Noise drumNoise(0x20110613), padNoise(0x5eed0a11);
    addDrums(mix, drumNoise);
    addBassLine(mix);
    addHarmony(mix, echo, padNoise);
    addMelody(mix, echo);
    applyEcho(mix, echo);
    master(mix);
    return StereoPcm{std::move(mix.left), std::move(mix.right)};
}

bool writeMusicTrack(const std::string& path) {
    StereoPcm pcm = renderMusicTrack();
    std::vector<unsigned char> mp3;
    return encodeMp3(pcm, mp3) && writeFile(path, mp3);
}
