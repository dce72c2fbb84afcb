// The page's canvas: a WebGL 2 context made current, with the GL 1.x calls the show makes
// carried over it by our layer (standin/gl/legacygl.h) into a framebuffer of its own that
// presenting copies onto the canvas; the keys and the title.
#include "web/canvas.h"

#include "base/failure.h"
#include "show/controls.h"
#include "standin/gl/framebuffer.h"
#include "standin/gl/legacygl.h"

#include <GL/gl.h>
#include <emscripten.h>
#include <emscripten/html5.h>
#include <webgl/webgl1.h>
#include <webgl/webgl2.h>

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

namespace {

// Keys held down, as SDL's key array would show them; written by zrxKey.
unsigned char keysDown[keySymbolCount] = {};

// The show draws here, not on the canvas: a browser shows whatever a task drew on the canvas,
// presented or not, and from the show's end on a pass draws without presenting while the screen
// keeps the last picture presented. The same samples per pixel as the recorder, as far as the
// browser offers them.
MultisampleFramebuffer picture;
constexpr int pictureSamples = 8;
int pictureWidth = 0, pictureHeight = 0;

// The framebuffer's entry points, WebGL 2's own functions.
void* webglCall(const char* name) {
    static const struct {
        const char* name;
        void* call;
    } calls[] = {
#define WEBGL_CALL(name) {"gl" #name, reinterpret_cast<void*>(emscripten_gl##name)}
        WEBGL_CALL(GenFramebuffers),
        WEBGL_CALL(DeleteFramebuffers),
        WEBGL_CALL(BindFramebuffer),
        WEBGL_CALL(FramebufferRenderbuffer),
        WEBGL_CALL(CheckFramebufferStatus),
        WEBGL_CALL(GenRenderbuffers),
        WEBGL_CALL(DeleteRenderbuffers),
        WEBGL_CALL(BindRenderbuffer),
        WEBGL_CALL(RenderbufferStorageMultisample),
        WEBGL_CALL(BlitFramebuffer),
        WEBGL_CALL(GetIntegerv),
        WEBGL_CALL(GetError),
        WEBGL_CALL(PixelStorei),
        WEBGL_CALL(ReadPixels),
#undef WEBGL_CALL
    };
    for (const auto& entry : calls)
        if (std::strcmp(entry.name, name) == 0) return entry.call;
    return nullptr;
}

} // namespace

// The fence behind the last frame is the page's (Module.zrxFence), as WebGL's sync objects are
// JavaScript objects; its status changes only between the page's tasks.
// clang-format off
EM_JS(void, jsFenceFrame, (), {
    if (Module.zrxFence) GLctx.deleteSync(Module.zrxFence);
    Module.zrxFence = GLctx.fenceSync(GLctx.SYNC_GPU_COMMANDS_COMPLETE, 0);
    GLctx.flush();
});

EM_JS(int, jsFrameDone, (), {
    const fence = Module.zrxFence;
    if (!fence) return 1;
    if (GLctx.getSyncParameter(fence, GLctx.SYNC_STATUS) !== GLctx.SIGNALED) return 0;
    GLctx.deleteSync(fence);
    Module.zrxFence = null;
    return 1;
});
// clang-format on

namespace {

bool openCanvas(int width, int height, bool) {
    emscripten_set_canvas_element_size("#canvas", width, height);
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    // The canvas only takes finished pictures: depth, stencil and samples are the picture's.
    attributes.alpha = false;
    attributes.depth = false;
    attributes.stencil = false;
    attributes.antialias = false;
    attributes.preserveDrawingBuffer = false;
    attributes.majorVersion = 2;
    const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context =
        emscripten_webgl_create_context("#canvas", &attributes);
    if (context <= 0 ||
        emscripten_webgl_make_context_current(context) != EMSCRIPTEN_RESULT_SUCCESS) {
        failureMessage("Unable to open screen!");
        return false;
    }
    std::string error;
    if (!legacyglInit(nullptr, error) ||
        !picture.make(webglCall, width, height, pictureSamples, error)) {
        std::fprintf(stderr, "WebGL 2: %s\n", error.c_str());
        failureMessage("Unable to open screen!");
        return false;
    }
    pictureWidth = width;
    pictureHeight = height;
    return true;
}

void presentPicture() {
    legacyglFlush();
    picture.copyTo(0);
    jsFenceFrame();
}

// The keys came between passes, through zrxKey.
bool takeKeys() {
    keyState = keysDown;
    return false;
}

void setTitle(const char* text) {
    EM_ASM(document.title = UTF8ToString($0), text);
}

} // namespace

const ShowWindow canvasWindow = {openCanvas, presentPicture, takeKeys, setTitle};

void releaseKeys() {
    std::fill(std::begin(keysDown), std::end(keysDown), 0);
}

// Called from the page's script (zoomraxvandel.js exports it): a key went down or up, `key` an
// SDL 1.2 key symbol (the page maps the browser's keys).
extern "C" EMSCRIPTEN_KEEPALIVE void zrxKey(int key, int down) {
    if (key <= 0 || key >= keySymbolCount) return;
    keysDown[key] = down != 0;
    if (down) noteKeyPress(key);
}

bool canvasCaughtUp() {
    return jsFrameDone() != 0;
}

void readCanvas(unsigned char* rgb, int width, int height) {
    assert(width == pictureWidth && height == pictureHeight);
    legacyglFlush();
    // RGBA is the one format every WebGL reads back.
    const size_t pixels = size_t(width) * height;
    std::vector<unsigned char> rgba(pixels * 4);
    picture.read(rgba.data());
    for (size_t i = 0; i < pixels; ++i)
        for (int c = 0; c < 3; ++c)
            rgb[i * 3 + c] = rgba[i * 4 + c];
}

void finishCanvas() {
    unsigned char pixel[4];
    legacyglFlush();
    picture.resolve();
    emscripten_glReadPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
}
