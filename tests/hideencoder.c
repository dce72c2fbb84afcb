/* Preloaded into the program by the recorder's tests: FFmpeg as if built without the encoder named
   in ZRX_HIDE_ENCODER. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdlib.h>
#include <string.h>

typedef const void* (*FindByName)(const char*);

const void* avcodec_find_encoder_by_name(const char* name) {
    const char* hidden = getenv("ZRX_HIDE_ENCODER");
    if (hidden != NULL && name != NULL && strcmp(name, hidden) == 0) return NULL;
    FindByName real = (FindByName)dlsym(RTLD_NEXT, "avcodec_find_encoder_by_name");
    return real(name);
}
