// Where the Windows program lies and its data with it: the .exe's own folder, as unzipped.
#include "app/datafolder.h"

#include <windows.h>

#include <vector>

namespace fs = std::filesystem;

// The wide name, whatever the characters of the folders on the way.
fs::path ownExecutable() {
    std::vector<wchar_t> name(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, name.data(), DWORD(name.size()));
        if (length == 0) return fs::path();
        if (length < name.size()) return fs::path(std::wstring(name.data(), length));
        name.resize(2 * name.size()); // cut off: a longer buffer
    }
}

fs::path installedDataFolder(const fs::path& executable) {
    return executable.parent_path();
}
