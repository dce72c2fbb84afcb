// --record in a build without the recorder (Windows): it says so, as for an option it cannot take.
#include "app/record.h"

#include <cstdio>

int recordShow(const Options&) {
    std::fputs("zoomraxvandel: recording is not in this build; --record needs the Linux program\n",
               stderr);
    return 2;
}
