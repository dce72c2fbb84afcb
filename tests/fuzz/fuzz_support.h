// What the fuzz targets share: a private directory for the files they hand to the readers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A directory made once per fuzzing process and removed at its exit.
const std::string& fuzzDirectory();

// Writes the fuzz input as `name` in fuzzDirectory() and returns its path.
std::string writeFuzzInput(const std::string& name, const uint8_t* data, size_t size);

// True when a file name built from the input could reach beyond the reader under test: ".."
// leaves the fuzz directory for whatever the machine has (/dev/zero, a terminal), and the
// input's own file name `ownName` would hand the input to the image library as a picture,
// fuzzing a decoder that is not ours. Such inputs are skipped.
bool namesOtherFiles(const uint8_t* data, size_t size, const std::string& ownName);

// How many failure messages were shown. The fuzz targets count them instead of printing them.
extern long failureMessages;

// Aborts (so that libFuzzer keeps the input) when `holds` is false.
void require(bool holds, const char* what);
