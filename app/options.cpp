// The command line: the option table, its parser and the usage text.
#include "app/options.h"

#include <cerrno>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <cstring>

const char* const usageText =
    "Usage: zoomraxvandel [OPTION]...\n"
    "Plays the Zoomraxvandel demo: an 80-second show drawn in time with its music.\n"
    "Keys: Space pauses and resumes, the arrows step through the music, Escape quits.\n"
    "\n"
    "  --help                 show this text and exit\n"
    "  --version              show the name and version and exit\n"
    "  --windowed             a 1280x720 window instead of full screen\n"
    "  --start SECONDS        begin the music there\n"
    "  --no-sound             play the show silently, on the system clock\n"
    "  --audio-delay SECONDS  show the pictures this much later (negative: earlier)\n"
    "                         than the sound device says it plays, -10 to 10\n"
    "\n"
    "Recording, without a window and without sound:\n"
    "  --record FILE          write the show to a video file (.mp4 or .mkv) and exit\n"
    "  --fps N                frames a second, 24 to 240 (default 60)\n"
    "  --size WxH             16:9 picture size, even numbers, up to 3840x2160\n"
    "                         (default 1280x720)\n"
    "  --from SECONDS         start at this music time (default 0)\n"
    "  --to SECONDS           stop at this music time (default: the end of the track)\n"
    "  --blend N              average N moments per frame, for motion blur, 1 to 16\n"
    "  --lossless             FFV1 video and FLAC sound, in .mkv\n";

namespace {

enum class Kind { flag, seconds, count, size, path };

// One option and where its value goes. Numbers outside [low, high] are refused; for `size` the
// bounds are on the width. `recording` options only make sense with --record.
struct OptionRow {
    const char* name;
    Kind kind;
    bool recording;
    double low, high;
    bool Options::*flag = nullptr;
    double Options::*seconds = nullptr;
    int Options::*count = nullptr;
};

using O = Options;
// clang-format off
const OptionRow optionTable[] = {
    // name            kind           recording  low   high  target
    {"--help",         Kind::flag,    false,     0,    0,    &O::help},
    {"--version",      Kind::flag,    false,     0,    0,    &O::version},
    {"--windowed",     Kind::flag,    false,     0,    0,    &O::windowed},
    {"--start",        Kind::seconds, false,     0,    1e5,  nullptr, &O::start},
    {"--no-sound",     Kind::flag,    false,     0,    0,    &O::noSound},
    {"--audio-delay",  Kind::seconds, false,     -10,  10,   nullptr, &O::audioDelay},
    {"--hold",         Kind::seconds, false,     0,    1e5,  nullptr, &O::hold},
    {"--record",       Kind::path,    false,     0,    0},
    {"--fps",          Kind::count,   true,      24,   240,  nullptr, nullptr, &O::fps},
    {"--size",         Kind::size,    true,      64,   3840},
    {"--from",         Kind::seconds, true,      0,    1e5,  nullptr, &O::from},
    {"--to",           Kind::seconds, true,      0,    1e5,  nullptr, &O::to},
    {"--blend",        Kind::count,   true,      1,    16,   nullptr, nullptr, &O::blend},
    {"--lossless",     Kind::flag,    true,      0,    0,    &O::lossless},
};
// clang-format on

const OptionRow* findOption(const std::string& name) {
    for (const OptionRow& row : optionTable)
        if (name == row.name) return &row;
    return nullptr;
}

// The whole text must be the number; "nan", "inf" and out-of-range values are refused.
bool toNumber(const std::string& text, double& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return errno == 0 && *end == '\0' && std::isfinite(value);
}

bool toCount(const std::string& text, int& value) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != text.npos)
        return false;
    value = std::atoi(text.c_str());
    return true;
}

// "WxH", 16:9 exactly, both even (4:2:0 video halves them).
bool toSize(const std::string& text, const OptionRow& row, int& width, int& height) {
    const size_t x = text.find('x');
    if (x == std::string::npos) return false;
    if (!toCount(text.substr(0, x), width) || !toCount(text.substr(x + 1), height)) return false;
    return width >= row.low && width <= row.high && width * 9 == height * 16 && width % 2 == 0 &&
           height % 2 == 0;
}

// Stores the value of `row` in `options`; false when it is not a value the option takes.
bool apply(const OptionRow& row, const std::string& value, Options& options) {
    switch (row.kind) {
    case Kind::flag:
        options.*row.flag = true;
        return true;
    case Kind::path:
        options.recordPath = value;
        return !value.empty();
    case Kind::size:
        return toSize(value, row, options.width, options.height);
    case Kind::count: {
        int count = 0;
        if (!toCount(value, count) || count < row.low || count > row.high) return false;
        options.*row.count = count;
        return true;
    }
    case Kind::seconds: {
        double seconds = 0;
        if (!toNumber(value, seconds) || seconds < row.low || seconds > row.high) return false;
        options.*row.seconds = seconds;
        return true;
    }
    }
    return false;
}

} // namespace

bool parseOptions(int argc, char** argv, Options& options, std::string& error) {
    options = Options{};
    const OptionRow* recordingOnly = nullptr;
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i], value;
        bool inlineValue = false;
        // "--name=value" and "--name value" are the same.
        const size_t equals = word.find('=');
        if (word.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = word.substr(equals + 1);
            word.resize(equals);
            inlineValue = true;
        }
        const OptionRow* row = findOption(word);
        if (row == nullptr) {
            error = "unknown option '" + word + "'";
            return false;
        }
        if (row->kind == Kind::flag) {
            if (inlineValue) {
                error = word + " takes no value";
                return false;
            }
        } else if (!inlineValue) {
            if (i + 1 >= argc) {
                error = word + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        if (!apply(*row, value, options)) {
            error = "bad value '" + value + "' for " + word;
            return false;
        }
        if (row->recording) recordingOnly = row;
    }
    if (recordingOnly != nullptr && options.recordPath.empty()) {
        error = std::string(recordingOnly->name) + " needs --record";
        return false;
    }
    if (options.to >= 0 && options.to <= options.from) {
        error = "--to must lie after --from";
        return false;
    }
    return true;
}

int readCommandLine(int argc, char** argv, Options& options) {
    std::string error;
    if (!parseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "zoomraxvandel: %s\n%s", error.c_str(), usageText);
        return 2;
    }
    if (options.help) {
        std::fputs(usageText, stdout);
        return 0;
    }
    if (options.version) {
        std::puts("zoomraxvandel " ZRX_VERSION);
        return 0;
    }
    return keepGoing;
}
