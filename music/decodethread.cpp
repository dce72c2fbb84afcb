// The whole file's decoding beside the show: a thread of its own, below the drawing's priority.
#include "music/decoding.h"

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#elif defined(_WIN32)
#include <windows.h>
#endif

#include <utility>

// The background decoding runs beside the first frames of the show, which need both cores of a
// small machine: it takes a lower priority than the drawing (Linux and Windows give each thread
// its own).
std::future<DecodedAudio> decodeWholeFile(std::vector<uint8_t> file) {
    return std::async(std::launch::async, [file = std::move(file)] {
#if defined(__linux__)
        setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), 10);
#elif defined(_WIN32)
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
#endif
        DecodedAudio audio;
        decodeMp3(file.data(), file.size(), audio);
        return audio;
    });
}

// The background decoding needs no head start.
void decodeAhead(std::vector<uint8_t>) {}
bool takeDecodedAhead(const uint8_t*, size_t, DecodedAudio&) {
    return false;
}
