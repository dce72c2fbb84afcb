// Starts the real program the way a viewer does and watches it from outside, through the X
// server: the time from process start to its window, to the first frame of the show, and its
// peak resident memory. The program itself is not changed or told anything.
//
// A present is a swap of the GL buffers, which reaches the server as an image drawn into the
// window; the DAMAGE extension reports it. The main loop writes the window caption right after
// each frame, so the first frame of the show is the last present before its first caption.
//
// Usage, from the directory that holds the show's data:
//     launch_bench <program> [runs [label [arguments...]]]
// runs the program 5 times by default, with the arguments; the figures are named after the label
// ("real program" by default). The Windows program runs with Wine as the program (Wine starts
// its process from the .exe that follows; it is the process that is watched).
#include "bench/bench.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// Windows come and go during the program's start-up; a request about one already gone is fine.
int ignoreXErrors(Display*, XErrorEvent*) {
    return 0;
}

// The show's caption, not a title the window had before (Wine's windows get SDL's "SDL_app"
// while the loading image is up).
bool isShowCaption(Display* display, Window window) {
    char* name = nullptr;
    if (!XFetchName(display, window, &name) || name == nullptr) return false;
    const bool show = std::string(name).rfind("Vellamarkfest 2011", 0) == 0;
    XFree(name);
    return show;
}

struct Launch {
    bool ok = false;
    double mappedMs = 0;     // the first top-level window mapped
    double firstFrameMs = 0; // the present of the first frame of the show
    double captionMs = 0;    // the first caption
    int presentsBefore = 0;  // presents (and exposures) up to the first frame
    double peakRssMiB = 0;
};

// How long the show runs after its first frame before it is closed: the memory of its first
// second of frames is part of the peak.
constexpr double runOnSeconds = 1.5;

void closeWindow(Display* display, Window window) {
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
}

Launch launchOnce(Display* display, int damageEvent, std::vector<char*> command) {
    Launch launch;
    const Window root = DefaultRootWindow(display);
    const Damage damage = XDamageCreate(display, root, XDamageReportRawRectangles);
    XSync(display, True); // no leftovers of an earlier run

    const Clock::time_point start = Clock::now();
    const pid_t child = fork();
    if (child < 0) return launch;
    if (child == 0) {
        command.push_back(nullptr);
        execv(command[0], command.data());
        _exit(127);
    }

    auto elapsedMs = [&] { return secondsSince(start) * 1e3; };
    std::optional<double> mapped, lastDamage, caption;
    Window captionWindow = 0;
    bool closeSent = false, terminated = false;
    int damages = 0;
    int status = 0;
    rusage usage = {};
    bool exited = false;
    while (!exited) {
        const pid_t done = wait4(child, &status, WNOHANG, &usage);
        if (done == child) {
            exited = true;
            break;
        }
        const double now = elapsedMs();
        if (caption && !closeSent && now > *caption + runOnSeconds * 1e3) {
            closeWindow(display, captionWindow);
            closeSent = true;
        }
        // A window that does not take the close request (Wine's takes it only once active, and
        // without a window manager nothing activates it) is ended by SIGTERM: it reached its
        // first frame, and the figures stand.
        if (closeSent && !terminated && now > *caption + (runOnSeconds + 2) * 1e3) {
            kill(child, SIGTERM);
            terminated = true;
        }
        if (now > 60e3 || (closeSent && now > *caption + (runOnSeconds + 10) * 1e3)) {
            kill(child, SIGKILL); // stuck; its figures do not count
            wait4(child, &status, 0, &usage);
            XDamageDestroy(display, damage);
            return launch;
        }
        pollfd fd = {ConnectionNumber(display), POLLIN, 0};
        poll(&fd, 1, 1);
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            const double at = elapsedMs();
            if (event.type == damageEvent + XDamageNotify) {
                if (mapped && !caption) {
                    lastDamage = at;
                    ++damages;
                }
            } else if (event.type == CreateNotify && event.xcreatewindow.parent == root) {
                XSelectInput(display, event.xcreatewindow.window, PropertyChangeMask);
            } else if (event.type == MapNotify && event.xmap.event == root) {
                if (!mapped) mapped = at;
            } else if (event.type == PropertyNotify && event.xproperty.atom == XA_WM_NAME &&
                       event.xproperty.state == PropertyNewValue && !caption && lastDamage &&
                       isShowCaption(display, event.xproperty.window)) {
                caption = at;
                captionWindow = event.xproperty.window;
            }
        }
    }
    XDamageDestroy(display, damage);
    XSync(display, True);
    if (!mapped || !caption || !lastDamage) return launch;
    launch.ok = true;
    launch.mappedMs = *mapped;
    launch.firstFrameMs = *lastDamage;
    launch.captionMs = *caption;
    launch.presentsBefore = damages;
    launch.peakRssMiB = usage.ru_maxrss / 1024.0;
    return launch;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: launch_bench <program> [runs [label [arguments...]]]\n");
        return 2;
    }
    std::vector<char*> command = {argv[1]};
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    const std::string label = argc > 3 ? argv[3] : "real program";
    for (int i = 4; i < argc; ++i)
        command.push_back(argv[i]);
    Display* display = XOpenDisplay(nullptr);
    int damageEvent = 0, damageError = 0;
    if (display == nullptr || !XDamageQueryExtension(display, &damageEvent, &damageError)) {
        std::fprintf(stderr, "launch_bench: needs an X display with the DAMAGE extension\n");
        return 1;
    }
    XSetErrorHandler(ignoreXErrors);
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);

    std::vector<double> mapped, firstFrame, caption, rss;
    std::printf("run  window mapped  first frame  first caption  damage events  peak RSS\n");
    for (int run = 1; run <= runs; ++run) {
        const Launch launch = launchOnce(display, damageEvent, command);
        if (!launch.ok) {
            std::printf("%3d  the program did not reach its first frame\n", run);
            continue;
        }
        std::printf("%3d  %10.1f ms %9.1f ms %11.1f ms %14d %6.1f MiB\n", run, launch.mappedMs,
                    launch.firstFrameMs, launch.captionMs, launch.presentsBefore,
                    launch.peakRssMiB);
        mapped.push_back(launch.mappedMs);
        firstFrame.push_back(launch.firstFrameMs);
        caption.push_back(launch.captionMs);
        rss.push_back(launch.peakRssMiB);
    }
    XCloseDisplay(display);
    if (firstFrame.empty()) return 1;

    std::printf("medians of %zu runs\n", firstFrame.size());
    printFigure("start-up", label + ": process start to window mapped", spreadOf(mapped).p50, "ms");
    printFigure("start-up", label + ": process start to first frame presented",
                spreadOf(firstFrame).p50, "ms");
    printFigure("start-up", label + ": fastest run to first frame", spreadOf(firstFrame).min, "ms");
    printFigure("start-up", label + ": peak resident memory", spreadOf(rss).max, "MiB");
    return 0;
}
