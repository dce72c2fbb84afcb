// The main loop of the live show: one pass after another until the viewer quits.
#include "app/mainloop.h"

#include "show/pass.h"

bool runMainLoop() {
    while (!showPass()) {
    }
    return true;
}
