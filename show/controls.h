// The key controls of the main loop (pause state machine, seeks) and the caption text, free of
// SDL's video and GL.
#pragma once

// The keys the controls read, numbered as SDL 1.2's key symbols, which the desktop's events
// carry and the page maps the browser's keys to (app/mainloop.cpp checks them against SDL's).
constexpr int keySymbolCount = 323; // SDLK_LAST
constexpr int keyEscape = 27, keySpace = 32, keyRight = 275, keyLeft = 276;

// Written by the main loop as it drains the events: SDL's key array, one byte per SDL 1.2 key
// symbol, non-zero while down; null until the first event.
extern const unsigned char* keyState;
// The space-key state machine's two flags, written by handlePauseKey() and the seeks.
extern bool paused;
extern bool spaceLatch;
// The caption of the last pass, terminator included; written by formatCaption().
extern char captionText[80];

// An SDL 1.2 key symbol is down for a pass when the key array shows it down, or when it went
// down during the pass: a tap shorter than one pass is not lost. Every key reads as released
// before the first event.
bool keyDown(int key);
void beginKeyPass();        // forgets the presses of the previous pass
void noteKeyPress(int key); // a key-down event of this pass

// The space-key state machine without the audio calls: applies its four rules to the two flags
// for one pass in which space is down or up, and says what the audio output must do.
enum class PauseAction { none, pause, resume };
PauseAction pauseKeyStep(bool spaceDown, bool& paused, bool& spaceLatch);
void handlePauseKey();
// The key controls of one pass, after the events: space, then the right and left arrows.
void applyKeyControls();

int formatText(char* destination, const char* format, ...); // destination holds 80 bytes
// Writes the caption for a music time (seconds) into captionText.
void formatCaption(float seconds);
