#!/usr/bin/env python3
"""The web page's frames against the desktop recorder's: for each moment, the page is loaded in
headless Chromium with ?hold=SECONDS and its frame read through the page's hook; the reference is
the native program's lossless recording of one frame at that moment (--record --lossless), decoded
by FFmpeg. Fails when a frame's PSNR is under 45 dB, or under 35 dB inside the model's box; and
when the page running the show live keeps the browser waiting for much longer than a frame.

Usage: web_test.py SITE_FOLDER NATIVE_PROGRAM   (run from the folder that holds Data/ and data/)"""

import math
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import webpage  # noqa: E402

WIDTH, HEIGHT = webpage.WIDTH, webpage.HEIGHT

# (music time in seconds, what the frame shows, whether the model is in it)
MOMENTS = [
    (2.0, "opening card", False),
    (6.0, "'presents'", False),
    (11.5, "the model, quiet", True),
    (16.0, "the model, loud", True),
    (20.0, "a full picture", False),
    (50.0, "the JPEG picture", False),
    (51.0, "the three stacked windows", False),
    (53.0, "the portrait rising", False),
    (79.5, "the last picture", False),
]

MODEL_PATH = "data/Drusk/Drusk.obj"  # the credits' model
GAIN_X, GAIN_Z = 0.8, 0.9  # show/frame.cpp: the stretch per unit of spectrum bins 2 and 0


def model_box(bin0, bin2):
    """Where the model can reach on screen at a moment, in pixels from the top left (x0, y0, x1,
    y1), exclusive ends: a square about the centre, from its farthest vertex from the origin on
    the stretched axes, projected at the nearest depth the spin can bring it to. The model
    stands 20 units behind the image plane (eye z -1.81), under the 45-degree projection."""
    reach = 0.0
    with open(MODEL_PATH) as obj:
        for line in obj:
            words = line.split()
            if len(words) >= 4 and words[0] == "v":
                reach = max(reach, math.sqrt(sum(float(w) ** 2 for w in words[1:4])))
    reach *= max(1.0, 1 + GAIN_X * bin2, 1 + GAIN_Z * bin0)
    focal = 1 / math.tan(math.radians(22.5))
    half = int(math.ceil(focal * reach / (21.81 - reach) * HEIGHT / 2)) + 2
    return (WIDTH // 2 - half, HEIGHT // 2 - half, WIDTH // 2 + half, HEIGHT // 2 + half)

FRAME_GOAL, MODEL_GOAL = 45.0, 35.0


def psnr(a, b, box=(0, 0, WIDTH, HEIGHT)):
    x0, y0, x1, y1 = box
    squared, count = 0, 0
    for y in range(y0, y1):
        row_a = a[(y * WIDTH + x0) * 3:(y * WIDTH + x1) * 3]
        row_b = b[(y * WIDTH + x0) * 3:(y * WIDTH + x1) * 3]
        squared += sum((p - q) * (p - q) for p, q in zip(row_a, row_b))
        count += len(row_a)
    if squared == 0:
        return math.inf
    return 10 * math.log10(255 * 255 * count / squared)


def native_frame(program, seconds, folder):
    """The recorder's lossless frame at `seconds`, as RGB bytes, rows top first."""
    video = os.path.join(folder, "at-%g.mkv" % seconds)
    subprocess.run([program, "--record", video, "--lossless", "--from", "%.6f" % seconds,
                    "--to", "%.6f" % (seconds + 1 / 60)], check=True,
                   stdout=subprocess.DEVNULL)
    decoded = subprocess.run(["ffmpeg", "-v", "error", "-i", video, "-frames:v", "1", "-f",
                              "rawvideo", "-pix_fmt", "rgb24", "-"], check=True,
                             stdout=subprocess.PIPE).stdout
    if len(decoded) != WIDTH * HEIGHT * 3:
        raise RuntimeError("the recording at %g s is not one 1280x720 frame" % seconds)
    return decoded


def lit_fraction(frame):
    return sum(1 for i in range(0, len(frame), 3 * 97) if sum(frame[i:i + 3]) > 60) / (
        len(frame) / (3 * 97))


def live_page_keeps_pace(browser, url):
    """The page running the show live, from its start into the model's first seconds (11.1 s
    on): what the GL still has to draw then. A frame drawn and finished there waits for every
    frame the page issued before it; one drawn right after it waits for itself alone. A page that
    issues frames faster than the GL draws them lets them queue up (seconds' worth by then)."""
    page = browser.open_page(url + "?nosound")
    # A visitor's click on the start screen starts the show.
    deadline = time.monotonic() + browser.timeout
    while page.evaluate("(e => e && !e.hidden ? e.textContent : '')"
                        "(document.getElementById('screen'))") != "Click or press a key to start":
        if time.monotonic() > deadline:
            raise RuntimeError("no start screen")
        time.sleep(0.05)
    for kind in ("mousePressed", "mouseReleased"):
        page.call("Input.dispatchMouseEvent", type=kind, x=640, y=360, button="left",
                  clickCount=1)
    page.wait_ready()
    while page.evaluate("Module._zrxMusicTime()") < 14:
        time.sleep(0.1)
    queued, alone = page.evaluate("""(() => {
        const times = [];
        for (let i = 0; i < 2; ++i) {
            const start = performance.now();
            Module._zrxDrawFrames(1);
            times.push((performance.now() - start) / 1000);
        }
        return times;
    })()""")
    page.close()
    # Behind the frame at most the one in flight and one compiling a shader on first use.
    ok = queued <= 3 * alone + 0.5
    print("live page at 14 s: a frame finished after %.2f s behind what was queued, %.2f s alone%s"
          % (queued, alone, "" if ok else "  FAILED"))
    return ok


def main():
    site, program = sys.argv[1], os.path.abspath(sys.argv[2])
    if not os.path.exists(os.path.join(site, "zoomraxvandel.wasm")):
        print("web_test: no web build in %s (scripts/web.sh builds it)" % site)
        return 1
    failures = 0
    server = webpage.Site(site)
    browser = webpage.Browser()
    try:
        with tempfile.TemporaryDirectory(prefix="zrx-web-test-") as folder:
            print("%-28s %8s %12s %12s" % ("moment", "seconds", "PSNR dB", "model box dB"))
            for seconds, name, has_model in MOMENTS:
                page = browser.open_page(server.url + "index.html?hold=%g" % seconds)
                page.wait_ready()
                drawn = page.frame()
                bins = [page.evaluate("Module._zrxSpectrumBin(%d)" % b) for b in (0, 2)]
                page.close()
                reference = native_frame(program, seconds, folder)
                whole = psnr(drawn, reference)
                box = model_box(*bins) if has_model else None
                model = psnr(drawn, reference, box) if has_model else None
                # A black page and a black reference would agree: the frame must show something.
                shown = lit_fraction(reference) > 0.2
                ok = whole >= FRAME_GOAL and (model is None or model >= MODEL_GOAL) and shown
                failures += not ok
                print("%-28s %8.2f %12.2f %12s %s" % (
                    name, seconds, whole,
                    "%.2f in %dx%d (bins 0 and 2: %.3f %.3f)" % (
                        model, box[2] - box[0], box[3] - box[1], bins[0], bins[1])
                    if box else "-",
                    "" if ok else "  FAILED" + ("" if shown else " (reference mostly black)")))
                sys.stdout.flush()
        failures += not live_page_keeps_pace(browser, server.url + "index.html")
    finally:
        browser.close()
        server.close()
    print("web_test: %d failed (%d moments and the live page)" % (failures, len(MOMENTS)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
