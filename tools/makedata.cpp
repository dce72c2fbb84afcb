// makedata: writes every data file the show reads, the same bytes on every run.
#include "tools/tools.h"

#include "tools/track.h"

#include <IL/il.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

const char* const usage =
    "usage: makedata [--out DIR] [--skip-pictures] [--skip-models] [--skip-music] [--only FILE]\n"
    "Writes DIR/Data (pictures, music), DIR/data (models) and DIR/icons (the program's icon);\n"
    "DIR defaults to the current directory. --only FILE writes that one picture, e.g.\n"
    "--only Rome.png.\n";

} // namespace

int main(int argc, char** argv) {
    std::string root = ".", only;
    bool pictures = true, models = true, music = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--out" && i + 1 < argc)
            root = argv[++i];
        else if (arg == "--only" && i + 1 < argc)
            only = argv[++i], models = music = false;
        else if (arg == "--skip-pictures")
            pictures = false;
        else if (arg == "--skip-models")
            models = false;
        else if (arg == "--skip-music")
            music = false;
        else {
            std::fputs(usage, stderr);
            return 2;
        }
    }

    std::error_code error;
    for (const char* dir : {"/Data", "/data", "/icons"}) {
        std::filesystem::create_directories(root + dir, error);
        if (error) {
            std::fprintf(stderr, "makedata: cannot make %s%s\n", root.c_str(), dir);
            return 1;
        }
    }

    ilInit();
    bool ok = true;
    if (pictures) ok = writePictures(root, only) && ok;
    if (models) ok = writeModels(root) && ok;
    if (music) ok = writeMusicTrack(root + "/Data/Zrax2011.mp3") && ok;
    return ok ? 0 : 1;
}
