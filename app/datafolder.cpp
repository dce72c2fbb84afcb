// Finding the data folder at start-up and making it the working directory.
#include "app/datafolder.h"

#include "base/failure.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

std::vector<std::string> dataFolders(const std::string& executable) {
    std::error_code error;
    std::vector<std::string> folders;
    const fs::path current = fs::current_path(error);
    if (!error) folders.push_back(current.string());
    if (!executable.empty()) {
        const fs::path prefix = fs::path(executable).parent_path().parent_path();
        const std::string installed = (prefix / "share" / "zoomraxvandel").lexically_normal();
        if (folders.empty() || installed != folders.front()) folders.push_back(installed);
    }
    return folders;
}

bool holdsShowData(const std::string& folder) {
    std::error_code error;
    const fs::path root(folder);
    return fs::is_regular_file(root / "Data" / "Zrax2011.mp3", error) &&
           fs::is_regular_file(root / "data" / "Drusk" / "Drusk.obj", error);
}

std::string ownExecutable() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string() : self.string();
}

bool enterDataFolder(const std::vector<std::string*>& userPaths, const std::string& executable) {
    for (std::string* path : userPaths) {
        std::error_code error;
        if (path->empty() || fs::path(*path).is_absolute()) continue;
        const fs::path absolute = fs::absolute(*path, error);
        if (!error) *path = absolute.string();
    }

    const std::vector<std::string> folders = dataFolders(executable);
    for (size_t i = 0; i < folders.size(); ++i) {
        if (!holdsShowData(folders[i])) continue;
        std::error_code error;
        if (i > 0) fs::current_path(folders[i], error);
        if (!error) return true;
    }

    std::string message = "No show data (Data/ and data/) in the folders searched:";
    for (size_t i = 0; i < folders.size(); ++i)
        message += (i == 0 ? " " : ", ") + folders[i];
    failureMessage(message.c_str());
    return false;
}
