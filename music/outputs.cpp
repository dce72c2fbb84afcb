// The sound outputs of each build, in the order BASS_Init tries them: the one place a backend is
// chosen. A backend is its own file (music/output.h), listed here and in music/CMakeLists.txt.
#include "music/output.h"

#if defined(__EMSCRIPTEN__)
// The page's audio context, or nothing: SDL's audio in a browser is fed from timers on the page's
// thread, which starve whenever a frame takes long.
extern const SoundOutput webAudioOutput;
const SoundOutput* const soundOutputs[] = {&webAudioOutput, nullptr};
#elif defined(_WIN32)
// Windows' own audio (WASAPI) while the system has it, else SDL's (DirectSound, then waveOut);
// with no sound device at all the show plays silently, as --no-sound plays it.
extern const SoundOutput wasapiOutput, sdlAudioOutput;
const SoundOutput* const soundOutputs[] = {&wasapiOutput, &sdlAudioOutput, &silentOutput, nullptr};
#else
// The desktop's sound server when one answers, else SDL's audio.
extern const SoundOutput soundServerOutput, sdlAudioOutput;
const SoundOutput* const soundOutputs[] = {&soundServerOutput, &sdlAudioOutput, nullptr};
#endif
