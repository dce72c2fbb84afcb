// The Windows program is a windowed one (no console window opens with it); started from a command
// prompt, its standard output and error go to that prompt's console, as a console program's do.
#include <windows.h>

#include <cstdio>

namespace {

// Before main: --help, --version and the failure lines are written from its first line on.
// Handles the parent gave (a pipe, a file, Wine's terminal) are kept.
struct ParentConsole {
    ParentConsole() {
        const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE), err = GetStdHandle(STD_ERROR_HANDLE);
        const bool given = (out != nullptr && out != INVALID_HANDLE_VALUE) ||
                           (err != nullptr && err != INVALID_HANDLE_VALUE);
        if (given || !AttachConsole(ATTACH_PARENT_PROCESS)) return;
        std::freopen("CONOUT$", "w", stdout);
        std::freopen("CONOUT$", "w", stderr);
    }
} parentConsole;

} // namespace
