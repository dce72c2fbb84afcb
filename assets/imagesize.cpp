// Picture sizes read from the headers of PNG and JPEG files, before anything is decoded.
#include "assets/assets.h"

#include <fstream>

namespace {

unsigned long bigEndian(const unsigned char* bytes, int count) {
    unsigned long value = 0;
    for (int i = 0; i < count; ++i)
        value = value << 8 | bytes[i];
    return value;
}

// The IHDR chunk comes first, right after the 8-byte signature.
bool readPngSize(std::istream& in, long long& width, long long& height) {
    unsigned char header[16];
    if (!in.read(reinterpret_cast<char*>(header), sizeof header)) return false;
    if (bigEndian(header + 4, 4) != bigEndian(reinterpret_cast<const unsigned char*>("IHDR"), 4))
        return false;
    width = static_cast<long long>(bigEndian(header + 8, 4));
    height = static_cast<long long>(bigEndian(header + 12, 4));
    return true;
}

// Walks the markers after SOI up to the first start-of-frame, which holds the size. A height of
// 0 (given later by a DNL marker) is passed on as it stands.
bool readJpegSize(std::istream& in, long long& width, long long& height) {
    for (;;) {
        if (in.get() != 0xFF) return false;
        int marker = in.get();
        while (marker == 0xFF) // fill bytes
            marker = in.get();
        if (marker < 0) return false;
        const bool standalone =
            marker == 0x01 || marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7);
        if (standalone) continue;
        if (marker == 0xD9 || marker == 0xDA) return false; // image end or scan before any frame
        unsigned char lengthBytes[2];
        if (!in.read(reinterpret_cast<char*>(lengthBytes), 2)) return false;
        const unsigned long length = bigEndian(lengthBytes, 2); // counts its own two bytes
        if (length < 2) return false;
        // C0-CF are the frame markers, except DHT (C4), JPG (C8) and DAC (CC).
        const bool startOfFrame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (startOfFrame) {
            unsigned char frame[5]; // precision, height, width
            if (length < 7 || !in.read(reinterpret_cast<char*>(frame), sizeof frame)) return false;
            height = static_cast<long long>(bigEndian(frame + 1, 2));
            width = static_cast<long long>(bigEndian(frame + 3, 2));
            return true;
        }
        if (!in.seekg(static_cast<std::streamoff>(length - 2), std::ios::cur)) return false;
    }
}

} // namespace

bool readImageSize(const std::string& path, long long& width, long long& height) {
    std::ifstream in;
    if (!openTextFile(path, in)) return false;
    unsigned char signature[8];
    if (!in.read(reinterpret_cast<char*>(signature), 2)) return false;
    if (signature[0] == 0xFF && signature[1] == 0xD8) return readJpegSize(in, width, height);
    static const unsigned char png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (!in.read(reinterpret_cast<char*>(signature) + 2, 6)) return false;
    for (int i = 0; i < 8; ++i)
        if (signature[i] != png[i]) return false;
    return readPngSize(in, width, height);
}
