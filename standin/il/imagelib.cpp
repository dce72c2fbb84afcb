// Our image library for the web build (standin/il/IL/il.h): PNG through libpng, JPEG
// through libjpeg-turbo, decoded to 8-bit RGB or RGBA.
#include <IL/il.h>

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

struct Image {
    int width = 0, height = 0;
    int channels = 0; // 3 or 4; 0 before a load
    std::vector<ILubyte> pixels;
};

// A picture of more pixels than this is refused before its pixels are allocated: a header may
// claim any size (a PNG of 100000 x 100000 asked for 40 GB), and a page's memory holds a few
// hundred megabytes. 2^26 is 8192 squared, 256 MiB as RGBA, far beyond any picture of the show.
// Fuzzing builds hold 2^20: a few hundred bytes that declare ten million pixels cost the decoder
// a second, and the fuzzer spent most of its time on them; the code paths are the same at any
// size, and the refusal is still reached.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
constexpr unsigned long long maxPixels = 1ULL << 20;
#else
constexpr unsigned long long maxPixels = 1ULL << 26;
#endif

bool fits(unsigned long long width, unsigned long long height) {
    return width > 0 && height > 0 && height <= maxPixels / width;
}

std::map<ILuint, Image> images;
ILuint nextName = 1;
ILuint bound = 0;
std::multimap<std::string, Image> ahead; // decoded before their load, by path

Image* boundImage() {
    const auto found = images.find(bound);
    return found == images.end() ? nullptr : &found->second;
}

bool loadPng(FILE* file, Image& image) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    std::vector<png_bytep> rows;
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_init_io(png, file);
    png_read_info(png, info);
    // Every PNG as 8-bit RGB or RGBA: palettes expanded, grey made colour, 16 bits halved.
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_read_update_info(png, info);
    image.width = int(png_get_image_width(png, info));
    image.height = int(png_get_image_height(png, info));
    image.channels = png_get_channels(png, info);
    if (image.channels != 3 && image.channels != 4) longjmp(png_jmpbuf(png), 1);
    if (!fits(image.width, image.height)) longjmp(png_jmpbuf(png), 1);
    const size_t stride = size_t(image.width) * image.channels;
    image.pixels.assign(stride * image.height, 0);
    rows.resize(image.height);
    for (int y = 0; y < image.height; ++y)
        rows[y] = image.pixels.data() + stride * y;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

struct JpegFailure {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void jpegFailed(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegFailure*>(info->err)->jump, 1);
}

bool loadJpeg(FILE* file, Image& image) {
    jpeg_decompress_struct info;
    JpegFailure failure;
    info.err = jpeg_std_error(&failure.manager);
    failure.manager.error_exit = jpegFailed;
    if (setjmp(failure.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    if (!fits(info.image_width, info.image_height)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    info.out_color_space = JCS_RGB; // greyscale and YCbCr alike
    jpeg_start_decompress(&info);
    image.width = int(info.output_width);
    image.height = int(info.output_height);
    image.channels = 3;
    const size_t stride = size_t(image.width) * 3;
    image.pixels.assign(stride * image.height, 0);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image.pixels.data() + stride * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

// A PNG or JPEG file, told apart by its first bytes.
bool decodeFile(const char* path, Image& image) {
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return false;
    unsigned char magic[8] = {};
    const size_t got = std::fread(magic, 1, sizeof magic, file);
    std::rewind(file);
    bool ok = false;
    if (got == 8 && png_sig_cmp(magic, 0, 8) == 0)
        ok = loadPng(file, image);
    else if (got >= 3 && magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF)
        ok = loadJpeg(file, image);
    std::fclose(file);
    return ok;
}

} // namespace

void ilInit(void) {}

void ilGenImages(ILint count, ILuint* names) {
    for (ILint i = 0; i < count; ++i) {
        names[i] = nextName++;
        images[names[i]] = Image();
    }
}

void ilBindImage(ILuint name) {
    bound = name;
}

void ilDeleteImages(ILint count, const ILuint* names) {
    for (ILint i = 0; i < count; ++i)
        images.erase(names[i]);
}

ILboolean ilLoadImage(const char* path) {
    Image* image = boundImage();
    if (image == nullptr) return IL_FALSE;
    const auto early = ahead.find(path);
    if (early != ahead.end()) {
        *image = std::move(early->second);
        ahead.erase(early);
        return IL_TRUE;
    }
    Image decoded;
    if (!decodeFile(path, decoded)) return IL_FALSE;
    *image = std::move(decoded);
    return IL_TRUE;
}

ILboolean ilDecodeAhead(const char* path) {
    Image decoded;
    if (!decodeFile(path, decoded)) return IL_FALSE;
    ahead.emplace(path, std::move(decoded));
    return IL_TRUE;
}

void ilDropAhead(void) {
    ahead.clear();
}

ILboolean ilConvertImage(ILenum format, ILenum type) {
    Image* image = boundImage();
    if (image == nullptr || image->channels == 0 || type != IL_UNSIGNED_BYTE) return IL_FALSE;
    const int channels = format == IL_RGBA ? 4 : format == IL_RGB ? 3 : 0;
    if (channels == 0) return IL_FALSE;
    if (channels == image->channels) return IL_TRUE;
    const size_t count = size_t(image->width) * image->height;
    std::vector<ILubyte> converted(count * channels);
    for (size_t i = 0; i < count; ++i) {
        std::memcpy(&converted[i * channels], &image->pixels[i * image->channels], 3);
        if (channels == 4) converted[i * 4 + 3] = 255; // RGB made opaque
    }
    image->pixels = std::move(converted);
    image->channels = channels;
    return IL_TRUE;
}

ILint ilGetInteger(ILenum mode) {
    if (mode == IL_VERSION_NUM) return 181; // the DevIL release whose behaviour this follows
    const Image* image = boundImage();
    if (image == nullptr) return 0;
    switch (mode) {
    case IL_IMAGE_WIDTH:
        return image->width;
    case IL_IMAGE_HEIGHT:
        return image->height;
    case IL_IMAGE_BPP:
        return image->channels;
    case IL_IMAGE_FORMAT:
        return image->channels == 4 ? IL_RGBA : IL_RGB;
    default:
        return 0;
    }
}

ILubyte* ilGetData(void) {
    Image* image = boundImage();
    return image == nullptr || image->pixels.empty() ? nullptr : image->pixels.data();
}
