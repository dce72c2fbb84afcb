// Where the show's data lies: the folder it was started in, or the data folder of its install.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Paths stay std::filesystem::path throughout: on Windows a path is wide, and narrowing it
// through the ANSI code page would lose a folder name outside that code page.

// The folders that may hold the data ("Data/" and "data/"), in the order they are tried: the
// current folder, then the install's data folder for the executable (installedDataFolder).
// Absolute paths.
std::vector<std::filesystem::path> dataFolders(const std::filesystem::path& executable);

// True when `folder` holds the music and the first model, the marks of the whole data set.
bool holdsShowData(const std::filesystem::path& folder);

// The platform's part (app/installed.cpp, app/installed_windows.cpp).
// The running program's own file, symbolic links resolved; empty when the system will not say.
std::filesystem::path ownExecutable();
// Where an install keeps the data for `executable`: `share/zoomraxvandel` under the prefix it is
// installed in (`<prefix>/bin/zoomraxvandel` or `<prefix>/games/zoomraxvandel`); on Windows the
// folder of the .exe itself, as the zip unpacks it.
std::filesystem::path installedDataFolder(const std::filesystem::path& executable);

// Makes the data readable under its relative paths. Every non-empty relative path in
// `userPaths` (file names from the command line) is first made absolute against the current
// folder, since the working directory may change: it becomes the first of dataFolders() that
// holds the data. When none does, the folder stays, a failure message names the folders
// searched, and the result is false; the show then goes on without its files.
bool enterDataFolder(const std::vector<std::string*>& userPaths,
                     const std::filesystem::path& executable = ownExecutable());
