// The web program's arguments: the page reads its address once (web/page.js) and passes what it
// asks for to main, in the desktop program's words.
#pragma once

struct PageArguments {
    double start = 0;      // --start SECONDS (?start=): where the music begins
    bool sound = true;     // --no-sound (?nosound, or no audio context): the silent device
    double audioDelay = 0; // --audio-delay SECONDS (?audiodelay=)
    // For the tests and benchmarks:
    double hold = -1;            // --hold SECONDS (?hold=): the clock held there; negative: runs
    double busyMs = 0;           // --busy MILLISECONDS (?busy=): each pass keeps the thread busy
    bool loadingPicture = false; // --loading-picture (?loadingpicture): the loading image kept
};

// False for an argument it does not know or a value that is not a number; `arguments` then
// holds what came before it.
bool readArguments(int argc, char** argv, PageArguments& arguments);
