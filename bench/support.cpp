// Generated OBJ and MTL files, figure lines and the Google Benchmark reporter that prints them.
#include "bench/bench.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <numeric>

namespace {

// Text is built in memory and written at once: a million-face model is about 100 MB, and
// stream formatting would take longer than reading it back.
void appendInt(std::string& out, long long value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
}

void appendFixed(std::string& out, double value) {
    char digits[48];
    const auto end =
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 6).ptr;
    out.append(digits, end);
}

void appendTriple(std::string& out, const char* keyword, double a, double b, double c) {
    out += keyword;
    out += ' ';
    appendFixed(out, a);
    out += ' ';
    appendFixed(out, b);
    out += ' ';
    appendFixed(out, c);
    out += '\n';
}

size_t writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return text.size();
}

// Corner "i/i/i": positions, texture coordinates and normals share one numbering.
void appendCorner(std::string& out, long long index) {
    out += ' ';
    appendInt(out, index);
    out += '/';
    appendInt(out, index);
    out += '/';
    appendInt(out, index);
}

} // namespace

GeneratedModel writeGridModel(const std::string& directory, const std::string& name, int side,
                              int groups, int materials) {
    GeneratedModel model;
    model.objPath = directory + "/" + name + ".obj";
    model.mtlPath = directory + "/" + name + ".mtl";
    model.mtlBytes = writeMaterialLibrary(model.mtlPath, materials);

    std::string text;
    text.reserve(size_t(side + 1) * (side + 1) * 80 + size_t(side) * side * 2 * 60);
    text += "# generated grid model\nmtllib " + name + ".mtl\n";
    const double step = 2.0 / side;
    for (int y = 0; y <= side; ++y) {
        for (int x = 0; x <= side; ++x) {
            const double px = -1 + x * step, py = -1 + y * step;
            const double height = 0.1 * std::sin(6 * px) * std::cos(5 * py);
            appendTriple(text, "v", px, py, height);
            appendTriple(text, "vt", double(x) / side, double(y) / side, 0);
            const double nx = -0.6 * std::cos(6 * px) * std::cos(5 * py);
            const double ny = 0.5 * std::sin(6 * px) * std::sin(5 * py);
            const double length = std::sqrt(nx * nx + ny * ny + 1);
            appendTriple(text, "vn", nx / length, ny / length, 1 / length);
        }
    }
    model.positions = size_t(side + 1) * (side + 1);
    for (int y = 0; y < side; ++y) {
        // Groups are bands of rows.
        const int band = y * groups / side;
        if (y == 0 || band != (y - 1) * groups / side) {
            text += "g band";
            appendInt(text, band);
            text += "\nusemtl material";
            appendInt(text, band % materials);
            text += '\n';
        }
        for (int x = 0; x < side; ++x) {
            const long long a = (long long)y * (side + 1) + x + 1, b = a + 1, c = b + side + 1,
                            d = a + side + 1;
            text += 'f';
            appendCorner(text, a);
            appendCorner(text, b);
            appendCorner(text, c);
            text += "\nf";
            appendCorner(text, a);
            appendCorner(text, c);
            appendCorner(text, d);
            text += '\n';
        }
    }
    model.faces = size_t(side) * side * 2;
    model.corners = model.faces * 3;
    model.objBytes = writeFile(model.objPath, text);
    return model;
}

size_t writeMaterialLibrary(const std::string& path, int count) {
    std::string text = "# generated material library\n";
    for (int i = 0; i < count; ++i) {
        const double shade = (i % 97) / 97.0;
        text += "\nnewmtl material";
        appendInt(text, i);
        text += '\n';
        appendTriple(text, "Ka", 0.2 * shade, 0.2, 0.2);
        appendTriple(text, "Kd", shade, 0.8, 1 - shade);
        appendTriple(text, "Ks", 0.5, 0.5, 0.5);
        appendTriple(text, "Ke", 0, 0, 0.1 * shade);
        text += "Ns ";
        appendFixed(text, 10 + 100 * shade);
        text += "\nd 1.000000\nTr 1.000000\nillum 2\n";
    }
    return writeFile(path, text);
}

void printFigure(const std::string& section, const std::string& name, double value,
                 const std::string& unit) {
    // Through std::cout, as Google Benchmark's own lines, so that the two never interleave badly.
    char number[32];
    std::snprintf(number, sizeof number, "%.6g", value);
    std::cout << "@figure\t" << section << '\t' << name << '\t' << number << '\t' << unit
              << std::endl;
}

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

namespace {

// The console output as usual, and the figure lines after each benchmark's own line.
class FigureReporter : public benchmark::ConsoleReporter {
  public:
    explicit FigureReporter(std::string section)
        : ConsoleReporter(OO_Tabular), section(std::move(section)) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type == Run::RT_Aggregate) continue;
            std::string name = run.run_name.function_name;
            if (!run.run_name.args.empty()) name += "/" + run.run_name.args;
            if (!run.report_label.empty()) name += " (" + run.report_label + ")";
            const double unitsPerSecond = benchmark::GetTimeUnitMultiplier(run.time_unit);
            const double seconds = run.GetAdjustedRealTime() / unitsPerSecond;
            printFigure(section, name, seconds * 1e3, "ms");
            for (const auto& [counter, value] : run.counters) {
                if (counter == "bytes_per_second")
                    printFigure(section, name, value.value / 1e6, "MB/s");
                else if (counter.rfind("per ", 0) == 0 && value.value > 0)
                    printFigure(section, name, seconds * 1e9 / value.value, "ns " + counter);
            }
        }
    }

  private:
    std::string section;
};

} // namespace

int runBenchmarks(int argc, char** argv, const std::string& section) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    FigureReporter reporter(section);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

Spread spreadOf(std::vector<double> values) {
    Spread spread;
    if (values.empty()) return spread;
    std::sort(values.begin(), values.end());
    spread.mean = std::accumulate(values.begin(), values.end(), 0.0) / values.size();
    // Nearest-rank percentiles.
    auto rank = [&](double p) {
        const size_t k = size_t(std::ceil(p * values.size()));
        return values[std::min(values.size() - 1, k == 0 ? 0 : k - 1)];
    };
    spread.p50 = rank(0.50);
    spread.p99 = rank(0.99);
    spread.min = values.front();
    spread.max = values.back();
    return spread;
}

double peakResidentMiB() {
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word) {
        if (word == "VmHWM:") {
            double kib = 0;
            status >> kib;
            return kib / 1024;
        }
    }
    return 0;
}
