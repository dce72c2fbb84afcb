// The key controls (pause state machine, seeks) and the caption text, for the desktop and the page.
#include "show/controls.h"

#include "music/music.h"

#include <algorithm>
#include <cstdarg>
#include <iterator>
#include <cstdio>

const unsigned char* keyState = nullptr;
bool paused = false;
bool spaceLatch = false;
char captionText[80] = {};

namespace {

constexpr int textCapacity = 80; // bytes, terminator included

// Keys that went down since the current pass began, whatever the key array says now.
bool pressedThisPass[keySymbolCount] = {};

// One seek in either direction leaves the output paused and the state machine in Paused, so the
// next press of space resumes at the new position.
void pauseAfterSeek() {
    musicPause();
    paused = true;
    spaceLatch = true;
}

} // namespace

bool keyDown(int key) {
    if (key < 0 || key >= keySymbolCount) return false;
    return (keyState != nullptr && keyState[key] != 0) || pressedThisPass[key];
}

void beginKeyPass() {
    std::fill(std::begin(pressedThisPass), std::end(pressedThisPass), false);
}

void noteKeyPress(int key) {
    if (key >= 0 && key < keySymbolCount) pressedThisPass[key] = true;
}

// Each rule sees the flags as the rules before it left them. One press pauses, the next one
// resumes, and a held key acts only once.
PauseAction pauseKeyStep(bool spaceDown, bool& isPaused, bool& latch) {
    PauseAction action = PauseAction::none;
    if (spaceDown && !isPaused && !latch) {
        action = PauseAction::pause;
        isPaused = true;
    }
    if (!spaceDown && isPaused && !latch) latch = true;
    if (spaceDown && isPaused && latch) {
        action = PauseAction::resume;
        isPaused = false;
    }
    if (!spaceDown && !isPaused && latch) latch = false;
    return action;
}

void handlePauseKey() {
    switch (pauseKeyStep(keyDown(keySpace), paused, spaceLatch)) {
    case PauseAction::pause:
        musicPause();
        break;
    case PauseAction::resume:
        musicResume();
        break;
    case PauseAction::none:
        break;
    }
}

// Arrows are level-based: they act again on every pass while held. Both held move forward, then
// back.
void applyKeyControls() {
    handlePauseKey();
    if (keyDown(keyRight)) {
        musicSeekForward();
        pauseAfterSeek();
    }
    if (keyDown(keyLeft)) {
        musicSeekBack();
        pauseAfterSeek();
    }
}

// A longer text is cut to 79 characters and terminated; nothing is written past 80 bytes.
int formatText(char* destination, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(destination, textCapacity, format, args);
    va_end(args);
    return length;
}

// 75 characters below 10 s and one more per further digit: 79 at most below 100000 s.
void formatCaption(float seconds) {
    formatText(captionText, "Vellamarkfest 2011 - Zoomraxvandel                          Time:  %f",
               double(seconds));
}
