// Where the show's data lies: the folder it was started in, or the data folder of its install.
#pragma once

#include <string>
#include <vector>

// The folders that may hold the data ("Data/" and "data/"), in the order they are tried: the
// current folder, then `share/zoomraxvandel` under the prefix the executable is installed in
// (`<prefix>/bin/zoomraxvandel` or `<prefix>/games/zoomraxvandel`). Absolute paths.
std::vector<std::string> dataFolders(const std::string& executable);

// True when `folder` holds the music and the first model, the marks of the whole data set.
bool holdsShowData(const std::string& folder);

// The running program's own file, symbolic links resolved; empty when the system will not say.
std::string ownExecutable();

// Makes the data readable under its relative paths. Every non-empty relative path in
// `userPaths` (file names from the command line) is first made absolute against the current
// folder, since the working directory may change: it becomes the first of dataFolders() that
// holds the data. When none does, the folder stays, a failure message names the folders
// searched, and the result is false; the show then goes on without its files.
bool enterDataFolder(const std::vector<std::string*>& userPaths,
                     const std::string& executable = ownExecutable());
