// maketrack: writes the show's music to the path given, "Data/Zrax2011.mp3" by default.
#include "tools/track.h"

#include <cstdio>

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "Data/Zrax2011.mp3";
    if (!writeMusicTrack(path)) {
        std::fprintf(stderr, "ERROR: cannot write %s\n", path);
        return 1;
    }
    return 0;
}
