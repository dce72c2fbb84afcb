// Inside the audio layer: where a whole file's decoding runs, beside the show or ahead of it.
#pragma once

#include "music/core.h"

#include <cstddef>
#include <cstdint>
#include <future>
#include <vector>

// Decodes the MP3 file in `file` whole: on a thread of its own at a lower priority than the
// drawing (music/decodethread.cpp), or, where a program has no thread for it (a page), before
// returning (music/decodeatonce.cpp).
std::future<DecodedAudio> decodeWholeFile(std::vector<uint8_t> file);

// Decodes the MP3 file in `file` whole now and keeps the result for a stream later opened on the
// same bytes (takeDecodedAhead): for a program whose only thread is free while it waits for its
// viewer. Where the decoding runs beside the show, nothing.
void decodeAhead(std::vector<uint8_t> file);
// What decodeAhead made of exactly these bytes, moved into `audio`; false when it has none.
bool takeDecodedAhead(const uint8_t* data, size_t size, DecodedAudio& audio);
