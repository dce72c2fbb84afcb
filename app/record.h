// Recording the show to a video file: what --record does, from the command line to the file.
#pragma once

struct Options;
struct RecordedShow;
struct StartupSettings;

// Records the part of the show the options ask for into options.recordPath, without a window and
// without sound; the exit status: 0 when the file is complete, 1 when something failed (with a
// message on standard error, and no file under that name), 128 + the signal's number when
// SIGINT or SIGTERM stopped it (the file then plays up to where it stopped).
int recordShow(const Options& options);

// Start-up settings for drawing into the caller's current (off-screen) context at that size,
// on the silent device.
StartupSettings offscreenShow(int width, int height);

// The show as the recorder drives it, once started up: the clock and the spectrum held at each
// moment, and each frame drawn without being presented.
RecordedShow recordableShow();
