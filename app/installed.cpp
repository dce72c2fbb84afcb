// Where a Unix install puts the program and its data: /proc/self/exe and <prefix>/share.
#include "app/datafolder.h"

#include <system_error>

namespace fs = std::filesystem;

fs::path ownExecutable() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : self;
}

fs::path installedDataFolder(const fs::path& executable) {
    return executable.parent_path().parent_path() / "share" / "zoomraxvandel";
}
