// Divides the instructions of a callgrind profile among the object files that executed them, and
// among four owners: our own code, the GL, the window system and the C/C++ runtime.
//
// Usage: callgrind_split <our executable's name> <frames per file> <callgrind.out file>...
// Each file is one part of a profile, `frames` frames; its "desc: Trigger:" line (the dump's
// name) labels it.
#include "bench/bench.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

// "(id) name" defines a compressed name, "(id)" uses it, anything else is the name itself.
std::string expandName(const std::string& text, std::map<std::string, std::string>& names) {
    if (text.empty() || text[0] != '(') return text;
    const size_t close = text.find(')');
    if (close == std::string::npos) return text;
    const std::string id = text.substr(0, close + 1);
    if (close + 1 < text.size()) {
        names[id] = text.substr(close + 2);
        return names[id];
    }
    return names[id];
}

std::string baseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// Who owns the code in an object file. Code compiled at run time by the GL (llvmpipe's shaders)
// has no file: callgrind names it "???".
std::string ownerOf(const std::string& object, const std::string& ours) {
    const std::string name = baseName(object);
    if (name == ours) return "our own code";
    if (name == "???" || startsWith(name, "libGL") || startsWith(name, "libglapi") ||
        startsWith(name, "swrast_dri") || startsWith(name, "libgallium") ||
        startsWith(name, "libLLVM") || startsWith(name, "libGLU") || startsWith(name, "libdrm") ||
        startsWith(name, "libexpat") || startsWith(name, "libz"))
        return "GL (Mesa llvmpipe, its shaders)";
    if (startsWith(name, "libX") || startsWith(name, "libxcb") || startsWith(name, "libSDL"))
        return "window system (SDL, Xlib, xcb)";
    return "C/C++ runtime and the rest";
}

struct Profile {
    std::string label;
    std::map<std::string, double> byObject;
};

// Self cost only: the cost line after a "calls=" line is the call's inclusive cost, already
// counted where the callee's own lines are.
Profile readProfile(const std::string& path) {
    Profile profile;
    profile.label = path;
    std::ifstream in(path);
    std::map<std::string, std::string> objectNames;
    std::string object = "???";
    bool callCost = false;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        const char c = line[0];
        if ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '*') {
            if (callCost) {
                callCost = false;
                continue;
            }
            std::istringstream fields(line);
            std::string position;
            double instructions = 0;
            fields >> position >> instructions; // the first event is Ir
            profile.byObject[object] += instructions;
        } else if (startsWith(line, "ob=")) {
            object = expandName(line.substr(3), objectNames);
        } else if (startsWith(line, "cob=")) {
            expandName(line.substr(4), objectNames); // may define a name used later
        } else if (startsWith(line, "calls=")) {
            callCost = true;
        } else if (startsWith(line, "desc: Trigger:")) {
            profile.label = line.substr(15);
        }
    }
    return profile;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr,
                     "usage: callgrind_split <our executable> <frames> <callgrind.out>...\n");
        return 2;
    }
    const std::string ours = argv[1];
    const double frames = std::max(1, std::atoi(argv[2]));
    for (int i = 3; i < argc; ++i) {
        Profile profile = readProfile(argv[i]);
        // Dumps are named "Client Request: <kind>".
        const std::string prefix = "Client Request: ";
        if (startsWith(profile.label, prefix.c_str())) profile.label.erase(0, prefix.size());
        double total = 0;
        std::map<std::string, double> byOwner;
        for (const auto& [object, instructions] : profile.byObject) {
            total += instructions;
            byOwner[ownerOf(object, ours)] += instructions;
        }
        if (total <= 0) continue;
        std::printf("\n%s: %.1f million instructions per frame\n", profile.label.c_str(),
                    total / frames / 1e6);
        printFigure("frame", profile.label + ": instructions", total / frames / 1e6,
                    "million per frame");
        std::vector<std::pair<double, std::string>> objects;
        for (const auto& [object, instructions] : profile.byObject)
            objects.emplace_back(instructions, object);
        std::sort(objects.rbegin(), objects.rend());
        for (const auto& [instructions, object] : objects)
            if (instructions / total >= 0.001)
                std::printf("  %6.2f%%  %s\n", 100 * instructions / total,
                            baseName(object).c_str());
        for (const auto& [owner, instructions] : byOwner) {
            std::printf("  owner %-36s %6.2f%%\n", owner.c_str(), 100 * instructions / total);
            if (owner == "our own code")
                printFigure("frame", profile.label + ": share of our own code",
                            100 * instructions / total, "% of instructions");
        }
        if (byOwner.count("our own code") == 0)
            printFigure("frame", profile.label + ": share of our own code", 0, "% of instructions");
    }
    return 0;
}
