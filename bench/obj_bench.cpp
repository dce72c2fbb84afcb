// Prints how fast the OBJ reader takes in a generated model of a hundred thousand corners.
#include "assets/assets.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

int main() {
    const int side = 160; // a side x side grid of quads, every corner v/vt/vn
    const std::string path =
        (std::filesystem::temp_directory_path() / "zrx_obj_bench.obj").string();
    {
        std::ofstream out(path);
        for (int y = 0; y <= side; ++y)
            for (int x = 0; x <= side; ++x) {
                out << "v " << x * 0.0125 << " " << y * 0.0125 << " " << (x * y % 7) * 0.01
                    << "\nvt " << x / double(side) << " " << y / double(side) << "\nvn 0 0 1\n";
            }
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) {
                const int a = y * (side + 1) + x + 1, b = a + 1, c = b + side + 1, d = a + side + 1;
                out << "f " << a << "/" << a << "/" << a << " " << b << "/" << b << "/" << b << " "
                    << c << "/" << c << "/" << c << " " << d << "/" << d << "/" << d << "\n";
            }
    }
    const auto bytes = std::filesystem::file_size(path);
    const int runs = 5;
    double best = 1e9;
    size_t faces = 0;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        Model model(path);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (seconds < best) best = seconds;
        faces = model.groups.empty() ? 0 : model.groups[0]->faces.size();
    }
    std::filesystem::remove(path);
    std::printf("OBJ read: %zu faces, %.1f MB in %.1f ms (best of %d), %.1f MB/s\n", faces,
                bytes / 1e6, best * 1e3, runs, bytes / 1e6 / best);
    return 0;
}
