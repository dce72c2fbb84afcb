// The whole file's decoding where a program has no thread for it (a page): at once, or ahead.
#include "music/decoding.h"

#include <cstring>
#include <utility>

// The browser gives a page no thread without cross-origin isolation, which a plain static server
// does not grant: the whole file is decoded at once (about a second of the start-up).
std::future<DecodedAudio> decodeWholeFile(std::vector<uint8_t> file) {
    std::promise<DecodedAudio> decoded;
    DecodedAudio audio;
    decodeMp3(file.data(), file.size(), audio);
    decoded.set_value(std::move(audio));
    return decoded.get_future();
}

namespace {

// The file decoded ahead and what it decoded to, until a stream takes it (the page's "play again"
// then decodes the track afresh, as a copy would cost every start a tenth of a second).
std::vector<uint8_t> aheadFile;
DecodedAudio aheadAudio;
bool aheadDecoded = false;

} // namespace

void decodeAhead(std::vector<uint8_t> file) {
    aheadAudio = DecodedAudio{};
    aheadDecoded = decodeMp3(file.data(), file.size(), aheadAudio);
    aheadFile = std::move(file);
}

bool takeDecodedAhead(const uint8_t* data, size_t size, DecodedAudio& audio) {
    if (!aheadDecoded || size != aheadFile.size() || std::memcmp(data, aheadFile.data(), size) != 0)
        return false;
    audio = std::move(aheadAudio);
    aheadFile.clear();
    aheadDecoded = false;
    return true;
}
