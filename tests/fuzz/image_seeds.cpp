// Writes the image fuzz target's seed pictures: small PNG files of every colour type and depth
// libpng writes, interlaced or not, JPEG files baseline, progressive, grey and with restart
// markers, and broken copies of some (cut short, a wrong checksum, a size beyond the data).
//
//     image_seeds FOLDER
//
// The names say what each is; the fuzzer finds them by content, so they keep their names.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// After <cstdio>: jpeglib.h takes size_t and FILE as given.
#include <jpeglib.h>
#include <png.h>

namespace {

using Bytes = std::vector<unsigned char>;

void pngWrite(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

// A width x height PNG of `colourType` and `depth`, its samples a pattern of x and y.
Bytes png(int width, int height, int colourType, int depth, bool interlaced) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, pngWrite, nullptr);
    png_set_IHDR(png, info, width, height, depth, colourType,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        png_color palette[4] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
        png_set_PLTE(png, info, palette, 4);
        png_byte alpha[2] = {0, 128};
        png_set_tRNS(png, info, alpha, 2, nullptr);
    }
    png_write_info(png, info);
    const int channels = png_get_channels(png, info);
    const size_t rowBytes = (size_t(width) * channels * depth + 7) / 8;
    std::vector<Bytes> rows(height, Bytes(rowBytes));
    std::vector<png_bytep> pointers;
    for (int y = 0; y < height; ++y) {
        for (size_t i = 0; i < rowBytes; ++i)
            rows[y][i] = colourType == PNG_COLOR_TYPE_PALETTE && depth == 8
                             ? (i + y) % 4
                             : static_cast<unsigned char>(i * 37 + y * 11);
        pointers.push_back(rows[y].data());
    }
    png_write_image(png, pointers.data()); // every pass of an interlaced picture
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

// A width x height JPEG: grey or colour, progressive or not, with restart markers or not.
Bytes jpeg(int width, int height, bool grey, bool progressive, int restartRows) {
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = width;
    info.image_height = height;
    info.input_components = grey ? 1 : 3;
    info.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 75, TRUE);
    if (progressive) jpeg_simple_progression(&info);
    info.restart_in_rows = restartRows;
    jpeg_start_compress(&info, TRUE);
    Bytes row(size_t(width) * info.input_components);
    while (info.next_scanline < info.image_height) {
        for (size_t i = 0; i < row.size(); ++i)
            row[i] = static_cast<unsigned char>(i * 5 + info.next_scanline * 9);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

bool save(const std::string& path, const Bytes& bytes) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && written;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: image_seeds FOLDER\n", stderr);
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "/";
    struct Seed {
        std::string name;
        Bytes bytes;
    };
    std::vector<Seed> seeds = {
        {"grey1.png", png(7, 5, PNG_COLOR_TYPE_GRAY, 1, false)},
        {"grey16.png", png(4, 3, PNG_COLOR_TYPE_GRAY, 16, false)},
        {"greyalpha.png", png(5, 4, PNG_COLOR_TYPE_GRAY_ALPHA, 8, false)},
        {"palette.png", png(6, 3, PNG_COLOR_TYPE_PALETTE, 8, false)},
        {"palette2.png", png(9, 2, PNG_COLOR_TYPE_PALETTE, 2, false)},
        {"rgb.png", png(8, 8, PNG_COLOR_TYPE_RGB, 8, false)},
        {"rgb16-interlaced.png", png(9, 9, PNG_COLOR_TYPE_RGB, 16, true)},
        {"rgba.png", png(3, 7, PNG_COLOR_TYPE_RGB_ALPHA, 8, false)},
        {"rgba-interlaced.png", png(10, 6, PNG_COLOR_TYPE_RGB_ALPHA, 8, true)},
        {"baseline.jpg", jpeg(16, 8, false, false, 0)},
        {"grey.jpg", jpeg(9, 17, true, false, 0)},
        {"progressive.jpg", jpeg(24, 16, false, true, 0)},
        {"restarts.jpg", jpeg(16, 32, false, false, 1)},
    };
    for (const Seed& seed : seeds)
        if (seed.bytes.empty()) {
            std::fprintf(stderr, "image_seeds: could not make %s\n", seed.name.c_str());
            return 1;
        }
    // Broken copies: cut short, a chunk's checksum wrong, a size beyond the data.
    Bytes cut = seeds[5].bytes;
    cut.resize(cut.size() / 2);
    Bytes badCrc = seeds[5].bytes;
    badCrc[29] ^= 0xFF; // the last byte of IHDR's checksum
    Bytes tooWide = seeds[7].bytes;
    tooWide[16] = 0x40; // IHDR's width: 0x40000003
    Bytes jpegCut = seeds[11].bytes;
    jpegCut.resize(jpegCut.size() * 2 / 3);
    seeds.push_back({"cut.png", cut});
    seeds.push_back({"badcrc.png", badCrc});
    seeds.push_back({"toowide.png", tooWide});
    seeds.push_back({"cut-progressive.jpg", jpegCut});
    for (const Seed& seed : seeds)
        if (!save(folder + seed.name, seed.bytes)) {
            std::fprintf(stderr, "image_seeds: cannot write %s%s\n", folder.c_str(),
                         seed.name.c_str());
            return 1;
        }
    return 0;
}
