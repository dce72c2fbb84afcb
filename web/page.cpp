// The page's URL parameters, read through the browser's URLSearchParams.
#include "web/page.h"

#include <emscripten.h>

#include <cmath>

// The JavaScript below is kept from clang-format, which would split its ===.
// clang-format off
bool pageNumber(const char* name, double& value) {
    // NaN for an absent or malformed parameter: Number("") would be 0.
    const double read = EM_ASM_DOUBLE(
        {
            const text = new URLSearchParams(window.location.search).get(UTF8ToString($0));
            return text === null || text.trim() === "" ? NaN : Number(text);
        },
        name);
    if (std::isnan(read)) return false;
    value = read;
    return true;
}
// clang-format on
