#!/usr/bin/env python3
"""The web page's frames against the desktop recorder's: for each moment, the page is loaded in
the engine (headless Chromium, or Firefox: tests/webpage.py) with ?hold=SECONDS and its frame
read through the page's hook; the reference is
the native program's lossless recording of one frame at that moment (--record --lossless), decoded
by FFmpeg. Fails when a frame's PSNR is under 45 dB, or under 35 dB inside the model's box; and
when the page running the show live keeps the browser waiting for much longer than a frame.

Usage: web_test.py [--engine chromium|firefox] SITE_FOLDER NATIVE_PROGRAM PICTURECOMPARE   (run
from the folder that holds Data/ and data/)"""

import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import webpage  # noqa: E402

WIDTH, HEIGHT = webpage.WIDTH, webpage.HEIGHT
COMPARE = None  # tests/picturecompare, from the command line

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

FRAME_GOAL, MODEL_GOAL = 45.0, 35.0


def compare(drawn, reference, folder, bins=None):
    """PSNR over the frame, and with the spectrum's bins 0 and 2 the model's box and the PSNR in
    it, by the suite's own picture comparison (tests/psnr.h)."""
    paths = []
    for name, picture in (("drawn", drawn), ("reference", reference)):
        paths.append(os.path.join(folder, name + ".rgb"))
        with open(paths[-1], "wb") as out:
            out.write(picture)
    command = [COMPARE, *paths, str(WIDTH), str(HEIGHT), "3"]
    if bins:
        command += ["%.9g" % bins[0], "%.9g" % bins[1]]
    lines = subprocess.run(command, check=True, stdout=subprocess.PIPE,
                           text=True).stdout.split("\n")
    whole = float(lines[0].split()[1])
    if not bins:
        return whole, None, None
    words = lines[1].split()
    return whole, tuple(int(w) for w in words[1:5]), float(words[5])


def reference_folder(program):
    """Where the reference frames of this program and data are kept, beside the program: the
    test runs once per engine, and the frames, which the recorder takes seconds to make, are the
    same for both. The folder's name changes with the program and with any file of the data."""
    digest = hashlib.sha256()
    files = [program] + sorted(os.path.join(top, name) for data in ("Data", "data")
                               for top, _, names in os.walk(data) for name in names)
    for path in files:
        status = os.stat(path)
        digest.update(("%s %d %d\n" % (path, status.st_size, status.st_mtime_ns)).encode())
    return os.path.join(os.path.dirname(program), "web-reference", digest.hexdigest()[:16])


def native_frame(program, seconds, folder):
    """The recorder's lossless frame at `seconds`, as RGB bytes, rows top first; kept in
    reference_folder(program) once made."""
    kept = os.path.join(reference_folder(program), "at-%g.rgb" % seconds)
    if os.path.exists(kept):
        with open(kept, "rb") as f:
            decoded = f.read()
        if len(decoded) == WIDTH * HEIGHT * 3:
            return decoded
    video = os.path.join(folder, "at-%g.mkv" % seconds)
    subprocess.run([program, "--record", video, "--lossless", "--from", "%.6f" % seconds,
                    "--to", "%.6f" % (seconds + 1 / 60)], check=True,
                   stdout=subprocess.DEVNULL)
    decoded = subprocess.run(["ffmpeg", "-v", "error", "-i", video, "-frames:v", "1", "-f",
                              "rawvideo", "-pix_fmt", "rgb24", "-"], check=True,
                             stdout=subprocess.PIPE).stdout
    if len(decoded) != WIDTH * HEIGHT * 3:
        raise RuntimeError("the recording at %g s is not one 1280x720 frame" % seconds)
    if not os.path.isdir(os.path.dirname(kept)):
        # Frames of an older program or data are of no more use.
        shutil.rmtree(os.path.dirname(os.path.dirname(kept)), ignore_errors=True)
        os.makedirs(os.path.dirname(kept))
    with open(kept + ".part", "wb") as f:
        f.write(decoded)
    os.replace(kept + ".part", kept)
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
    if not page.poll("document.body.dataset.phase === 'waiting'"):
        raise RuntimeError("no start screen")
    page.click()
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
    global COMPARE
    engine, argv = webpage.engine_argument(sys.argv)
    site, program, COMPARE = argv[1], os.path.abspath(argv[2]), argv[3]
    if not os.path.exists(os.path.join(site, "zoomraxvandel.wasm")):
        print("web_test: no web build in %s (scripts/web.sh builds it)" % site)
        return 1
    failures = 0
    server = webpage.Site(site)
    browser = webpage.open_browser(engine)
    try:
        with tempfile.TemporaryDirectory(prefix="zrx-web-test-") as folder:
            print("%s: %s" % (engine, browser.version))
            print("%-28s %8s %12s %12s" % ("moment", "seconds", "PSNR dB", "model box dB"))
            for seconds, name, has_model in MOMENTS:
                page = browser.open_page(server.url + "index.html?hold=%g" % seconds)
                page.wait_ready()
                drawn = page.frame()
                bins = [page.evaluate("Module._zrxSpectrumBin(%d)" % b) for b in (0, 2)]
                page.close()
                reference = native_frame(program, seconds, folder)
                whole, box, model = compare(drawn, reference, folder, bins if has_model else None)
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
    print("web_test (%s): %d failed (%d moments and the live page)" % (engine, failures,
                                                                    len(MOMENTS)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
