// Entry point: the command line, then a recording, or start-up, the show until the viewer quits
// and shutdown.
#include "app/datafolder.h"
#include "app/mainloop.h"
#include "app/options.h"
#include "app/record.h"
#include "app/startup.h"
#include "music/music.h"

#include <SDL.h>

#include <cstdlib>

int main(int argc, char** argv) {
    Options options;
    const int status = readCommandLine(argc, argv, options);
    if (status != keepGoing) return status;
    // Before anything is read: the working directory may change to the install's data folder.
    enterDataFolder({&options.recordPath});
    if (!options.recordPath.empty()) return recordShow(options);
    if (!startShow(liveShow(options))) return 1;
    if (options.hold >= 0) musicHold(options.hold);
    runMainLoop();
    stopShow();
    // The window library shuts down in the runtime's exit processing, after main has returned;
    // the result is that of registering it, 0 when accepted.
    return atexit(SDL_Quit);
}
