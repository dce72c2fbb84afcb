// The command line: every option of the program, parsed in one place, free of SDL and GL.
#pragma once

#include <string>

// What the viewer asked for. The defaults are the show as it always was: full screen, with
// sound, from the start of the track.
struct Options {
    bool help = false, version = false;
    bool windowed = false;          // --windowed: a 1280x720 window instead of full screen
    double start = 0;               // --start SECONDS: where the music begins
    bool noSound = false;           // --no-sound: the silent device, clock on the system clock
    double audioDelay = 0;          // --audio-delay SECONDS: pictures later (+) or earlier (-)
    std::string recordPath;         // --record FILE; empty for the live show
    int fps = 60;                   // --fps N, 24..240
    int width = 1280, height = 720; // --size WxH, 16:9, up to 3840x2160
    double from = 0;                // --from SECONDS
    double to = -1;                 // --to SECONDS; negative: the end of the track
    int blend = 1;                  // --blend N: moments averaged per frame, 1 = no blur
    bool lossless = false;          // --lossless: FFV1 and FLAC in .mkv
    // --hold SECONDS, for tests that compare frames: the clock held at that music time from the
    // first frame on, as the recorder holds it; negative: the clock runs. Not in the usage.
    double hold = -1;
};

// False, with a one-line reason in `error`, for an unknown option or a bad value. `options` is
// only meaningful when it returns true.
bool parseOptions(int argc, char** argv, Options& options, std::string& error);

// The usage text, printed by --help on standard output and after a bad option on standard error.
extern const char* const usageText;

// Parses the command line and answers the options that end the program at once: --help and
// --version (on standard output, status 0), a bad option (the reason and the usage on standard
// error, status 2). Returns that status, or keepGoing when the program is to run.
constexpr int keepGoing = -1;
int readCommandLine(int argc, char** argv, Options& options);
