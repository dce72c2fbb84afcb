// Finding the data folder at start-up and making it the working directory.
#include "app/datafolder.h"

#include "base/failure.h"

#include <system_error>

namespace fs = std::filesystem;

std::vector<fs::path> dataFolders(const fs::path& executable) {
    std::error_code error;
    std::vector<fs::path> folders;
    const fs::path current = fs::current_path(error);
    if (!error) folders.push_back(current);
    if (!executable.empty()) {
        const fs::path installed = installedDataFolder(executable).lexically_normal();
        if (folders.empty() || installed != folders.front()) folders.push_back(installed);
    }
    return folders;
}

bool holdsShowData(const fs::path& folder) {
    std::error_code error;
    return fs::is_regular_file(folder / "Data" / "Zrax2011.mp3", error) &&
           fs::is_regular_file(folder / "data" / "Drusk" / "Drusk.obj", error);
}

bool enterDataFolder(const std::vector<std::string*>& userPaths, const fs::path& executable) {
    for (std::string* path : userPaths) {
        std::error_code error;
        if (path->empty() || fs::path(*path).is_absolute()) continue;
        const fs::path absolute = fs::absolute(*path, error);
        if (!error) *path = absolute.string();
    }

    const std::vector<fs::path> folders = dataFolders(executable);
    for (size_t i = 0; i < folders.size(); ++i) {
        if (!holdsShowData(folders[i])) continue;
        std::error_code error;
        if (i > 0) fs::current_path(folders[i], error);
        if (!error) return true;
    }

    // The failure message takes UTF-8, whatever the platform's narrow code page.
    std::string message = "No show data (Data/ and data/) in the folders searched:";
    for (size_t i = 0; i < folders.size(); ++i)
        message += (i == 0 ? " " : ", ") + folders[i].u8string();
    failureMessage(message.c_str());
    return false;
}
