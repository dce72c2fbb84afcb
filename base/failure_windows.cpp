// The failure message on Windows: a message box, as a Windows program shows one, and the line on
// standard error too.
#include "base/failure.h"

#include <windows.h>

#include <cstdio>
#include <string>

// The message is UTF-8 (a folder's name may be in any script); the box takes it as UTF-16. No
// owner window: the box stands on its own, in front of the show's window, until closed.
void failureMessage(const char* message) {
    std::fprintf(stderr, "ERROR: %s\n", message);
    std::fflush(stderr);
    const int length = MultiByteToWideChar(CP_UTF8, 0, message, -1, nullptr, 0);
    std::wstring text(size_t(length > 0 ? length : 1), L'\0');
    if (length > 0) MultiByteToWideChar(CP_UTF8, 0, message, -1, &text[0], length);
    MessageBoxW(nullptr, text.c_str(), L"ERROR", MB_OK | MB_ICONWARNING);
}
