// Line, word and number scanning shared by the OBJ and MTL readers; reads only inside a line.
#include "assets/assets.h"

#include <cassert>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Moves past white space; false (with `reachedEnd` set) when nothing else is left.
bool skipBlanks(TextLine& line) {
    while (line.pos < line.text.size() && isBlank(line.text[line.pos]))
        ++line.pos;
    if (line.pos < line.text.size()) return true;
    line.reachedEnd = true;
    return false;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The end of the run of digits starting at `i`.
size_t skipDigits(const std::string& text, size_t i) {
    while (i < text.size() && isDigit(text[i]))
        ++i;
    return i;
}

} // namespace

bool openTextFile(const std::string& path, std::ifstream& in) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) return false;
    in.open(path, std::ios::binary);
    return static_cast<bool>(in);
}

bool readLine(std::istream& in, TextLine& line) {
    if (!std::getline(in, line.text)) return false;
    const bool endedByLineFeed = !in.eof();
    if (endedByLineFeed && !line.text.empty() && line.text.back() == '\r') line.text.pop_back();
    line.pos = 0;
    line.reachedEnd = false;
    return true;
}

std::string readWord(TextLine& line) {
    if (!skipBlanks(line)) return std::string();
    const size_t start = line.pos;
    while (line.pos < line.text.size() && !isBlank(line.text[line.pos]))
        ++line.pos;
    if (line.pos == line.text.size()) line.reachedEnd = true;
    return line.text.substr(start, line.pos - start);
}

bool readFloat(TextLine& line, float& value) {
    if (!skipBlanks(line)) return false;
    const std::string& text = line.text;
    size_t i = line.pos;
    if (text[i] == '+' || text[i] == '-') ++i;
    const size_t intStart = i;
    i = skipDigits(text, i);
    bool anyDigit = i > intStart;
    if (i < text.size() && text[i] == '.') {
        const size_t fractionStart = i + 1;
        const size_t fractionEnd = skipDigits(text, fractionStart);
        anyDigit = anyDigit || fractionEnd > fractionStart;
        i = fractionEnd;
    }
    if (!anyDigit) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
        const size_t exponentEnd = skipDigits(text, j);
        if (exponentEnd > j) i = exponentEnd; // an "e" without digits is not part of the number
    }
    // Only the number's own characters are converted, so nothing past the line is read. The
    // conversion rounds exactly as strtof does; out of range, strtof's infinity or tiny value is
    // taken, which from_chars does not give.
    const char* first = text.data() + line.pos;
    const char* last = text.data() + i;
#if defined(__cpp_lib_to_chars)
    float parsed = 0;
    const auto result = std::from_chars(*first == '+' ? first + 1 : first, last, parsed);
    if (result.ec == std::errc() && result.ptr == last)
        value = parsed;
    else
        value = std::strtof(std::string(first, last).c_str(), nullptr);
#else
    // A C++ library without floating-point from_chars (the web build's): strtof alone, in the
    // "C" locale that program never leaves.
    value = std::strtof(std::string(first, last).c_str(), nullptr);
#endif
    line.pos = i;
    if (i == text.size()) line.reachedEnd = true;
    return true;
}

int readFloats(TextLine& line, float* values, int count) {
    int read = 0;
    while (read < count && readFloat(line, values[read]))
        ++read;
    return read;
}

bool readInteger(TextLine& line, long long& value) {
    if (!skipBlanks(line)) return false;
    const std::string& text = line.text;
    size_t i = line.pos;
    const bool negative = text[i] == '-';
    if (text[i] == '+' || text[i] == '-') ++i;
    const size_t digitsStart = i;
    const size_t digitsEnd = skipDigits(text, i);
    if (digitsEnd == digitsStart) return false;
    line.pos = digitsEnd;
    if (digitsEnd == text.size()) line.reachedEnd = true;
    // More than 18 digits may not fit; such a number is consumed but not taken.
    if (digitsEnd - digitsStart > 18) return false;
    long long magnitude = 0;
    for (size_t k = digitsStart; k < digitsEnd; ++k)
        magnitude = magnitude * 10 + (text[k] - '0');
    value = negative ? -magnitude : magnitude;
    return true;
}

int readChar(TextLine& line) {
    if (line.pos >= line.text.size()) {
        line.reachedEnd = true;
        return -1;
    }
    return static_cast<unsigned char>(line.text[line.pos++]);
}

void putBack(TextLine& line) {
    assert(line.pos > 0);
    --line.pos;
}

std::string directoryOf(const std::string& path) {
    const size_t separator = path.find_last_of("/\\");
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}
