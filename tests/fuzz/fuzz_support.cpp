// Fuzz-target helpers: the private directory, input files, and failure messages counted quietly.
#include "tests/fuzz/fuzz_support.h"

#include "base/failure.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

long failureMessages = 0;

// Replaces the one in the failure library, which is then not linked in: a message per input
// would have the fuzzer spend its time writing to the terminal.
void failureMessage(const char*) {
    ++failureMessages;
}

namespace {

struct Directory {
    Directory() {
        // Under TMPDIR when set: a memory file system there spares the disk a file per input.
        std::string name = std::filesystem::temp_directory_path() / "zrxfuzzXXXXXX";
        if (mkdtemp(name.data()) == nullptr) std::abort();
        path = name;
        path += '/';
    }
    ~Directory() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string path;
};

} // namespace

const std::string& fuzzDirectory() {
    static const Directory directory;
    return directory.path;
}

std::string writeFuzzInput(const std::string& name, const uint8_t* data, size_t size) {
    const std::string path = fuzzDirectory() + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    if (!out) std::abort();
    return path;
}

bool namesOtherFiles(const uint8_t* data, size_t size, const std::string& ownName) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    return text.find("..") != std::string::npos || text.find(ownName) != std::string::npos;
}

void require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "fuzz: broken: %s\n", what);
    std::abort();
}
