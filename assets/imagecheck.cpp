// A look at the layout of PNG and JPEG files before the image library decodes them: the
// pictures that would make it hang or overrun a buffer never reach it.
#include "assets/assets.h"

#include <fstream>

namespace {

// DevIL sizes its pixel buffers in 32-bit arithmetic, which wraps for pictures of 4 GiB and more
// and then decodes into a buffer too small for them: a JPEG header claiming 65000 x 65000 pixels
// crashes it. 2^28 pixels keeps even 16-bit RGBA, 8 bytes a pixel, below 2 GiB; it is 16384
// squared, the largest texture a GL commonly takes, and far beyond any picture of the show.
const unsigned long long maxDecodedPixels = 1ULL << 28;

bool tooManyPixels(unsigned long long width, unsigned long long height) {
    return width > 0 && height > maxDecodedPixels / width;
}

unsigned long bigEndian(const unsigned char* bytes, int count) {
    unsigned long value = 0;
    for (int i = 0; i < count; ++i)
        value = value << 8 | bytes[i];
    return value;
}

bool readBytes(std::istream& in, unsigned char* bytes, std::streamsize count) {
    return static_cast<bool>(in.read(reinterpret_cast<char*>(bytes), count));
}

// After the signature: chunks of a length below 2^31, a four-letter type, the data and a CRC,
// ending with IEND. DevIL's PNG reader ignores a short read and then waits forever, so every
// chunk up to IEND must lie whole within the file. The first chunk, IHDR, holds the size.
bool pngFit(std::istream& in, std::streamoff fileSize) {
    std::streamoff at = 8;
    for (bool first = true;; first = false) {
        unsigned char head[16]; // length, type, and for IHDR width and height
        if (fileSize - at < 12 || !in.seekg(at) || !readBytes(in, head, 8)) return false;
        const unsigned long length = bigEndian(head, 4);
        if (length > 0x7FFFFFFFul || static_cast<unsigned long long>(fileSize - at - 12) < length)
            return false;
        const std::string type(reinterpret_cast<const char*>(head) + 4, 4);
        if (first && type == "IHDR" && length >= 8) {
            if (!readBytes(in, head + 8, 8)) return false;
            if (tooManyPixels(bigEndian(head + 8, 4), bigEndian(head + 12, 4))) return false;
        }
        if (type == "IEND") return true;
        at += 12 + static_cast<std::streamoff>(length);
    }
}

// Walks the markers after SOI up to the first start-of-frame, which holds the size. A JPEG cut
// short is left to the library, which ends such a file as if its end marker were there.
bool jpegFit(std::istream& in) {
    for (;;) {
        if (in.get() != 0xFF) return true;
        int marker = in.get();
        while (marker == 0xFF) // fill bytes
            marker = in.get();
        if (marker < 0) return true;
        const bool standalone =
            marker == 0x01 || marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7);
        if (standalone) continue;
        if (marker == 0xD9 || marker == 0xDA) return true; // image end, or a scan before a frame
        unsigned char lengthBytes[2];
        if (!readBytes(in, lengthBytes, 2)) return true;
        const unsigned long length = bigEndian(lengthBytes, 2); // counts its own two bytes
        if (length < 2) return true;
        // C0-CF are the frame markers, except DHT (C4), JPG (C8) and DAC (CC).
        const bool startOfFrame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (startOfFrame) {
            unsigned char frame[5]; // precision, height, width
            if (length < 7 || !readBytes(in, frame, sizeof frame)) return true;
            return !tooManyPixels(bigEndian(frame + 3, 2), bigEndian(frame + 1, 2));
        }
        if (!in.seekg(static_cast<std::streamoff>(length - 2), std::ios::cur)) return true;
    }
}

} // namespace

bool imageFitForDecoding(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in || !in.seekg(0, std::ios::end)) return true;
    const std::streamoff fileSize = in.tellg();
    if (fileSize < 0 || !in.seekg(0)) return true;
    unsigned char signature[8] = {};
    if (!readBytes(in, signature, 2)) return true;
    if (signature[0] == 0xFF && signature[1] == 0xD8) return jpegFit(in);
    static const unsigned char png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (!readBytes(in, signature + 2, 6)) return true;
    for (int i = 0; i < 8; ++i)
        if (signature[i] != png[i]) return true;
    return pngFit(in, fileSize);
}
