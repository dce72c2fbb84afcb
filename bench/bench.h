// Shared by the benchmark programs: generated models, figure lines for the summary table, timing.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

// ---- Generated models ------------------------------------------------------------------------

// An OBJ model written by writeGridModel(), with what it holds.
struct GeneratedModel {
    std::string objPath, mtlPath;
    size_t objBytes = 0, mtlBytes = 0;
    size_t faces = 0, positions = 0, corners = 0;
};

// A wavy height field of side x side cells, two triangles per cell, every corner "v/vt/vn",
// cut into `groups` groups ("g") that take the `materials` untextured materials of the MTL file
// beside it in turn ("usemtl"). Files go to `directory`, named after `name`.
GeneratedModel writeGridModel(const std::string& directory, const std::string& name, int side,
                              int groups, int materials);

// An MTL file of `count` untextured materials, each with every colour and scalar line the
// reader knows; returns its size in bytes.
size_t writeMaterialLibrary(const std::string& path, int count);

// ---- Figures ---------------------------------------------------------------------------------

// One row of the summary table, printed as a tab-separated line that starts with "@figure";
// scripts/bench.sh collects these lines from every program. `section` groups the rows.
void printFigure(const std::string& section, const std::string& name, double value,
                 const std::string& unit);

// Runs the registered Google Benchmarks with the usual console output, then prints a figure for
// each: the time per iteration, MB/s when bytes were counted, and ns per item for every counter
// whose name starts with "per " (its value is the count of such items in one iteration).
int runBenchmarks(int argc, char** argv, const std::string& section);

// ---- Timing ----------------------------------------------------------------------------------

using Clock = std::chrono::steady_clock;

inline double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// CPU time this process has used so far, every thread's, user and system, in seconds.
double processCpuSeconds();

// Mean and percentile of a set of durations, in the durations' own unit.
struct Spread {
    double mean = 0, min = 0, p50 = 0, p99 = 0, max = 0;
};
Spread spreadOf(std::vector<double> values);

// The process's peak resident set so far, in MiB (VmHWM of /proc/self/status).
double peakResidentMiB();
