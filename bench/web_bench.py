#!/usr/bin/env python3
"""The web page's frame time in headless Chromium (software WebGL 2) at the moments frame_bench
uses: the page is loaded with ?hold=SECONDS and its hook draws N frames of that moment, each
waited for by reading a pixel back, timed by the page's clock. Prints "@figure" lines.

Usage: web_bench.py SITE_FOLDER [frames per kind, default 100]"""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests"))
import webpage  # noqa: E402

# frame_bench's kinds, by the same names.
KINDS = [
    ("images only: opening card, three image layers (6 s)", 6.0),
    ("credits: background, the model, a card (12 s)", 12.0),
    ("picture sequence: one image (20 s)", 20.0),
    ("three stacked windows: four layers (51 s)", 51.0),
]


def figure(name, value, unit):
    print("@figure\tweb frame\t%s\t%.6g\t%s" % (name, value, unit))


def main():
    site = sys.argv[1]
    frames = int(sys.argv[2]) if len(sys.argv) > 2 else 20
    server = webpage.Site(site)
    browser = webpage.Browser(timeout=900)
    try:
        print("%-56s %9s %7s" % ("frames at", "mean ms", "frames"))
        for name, seconds in KINDS:
            page = browser.open_page(server.url + "index.html?hold=%g" % seconds)
            page.wait_ready()
            page.evaluate("Module._zrxDrawFrames(2)")  # shaders compiled on first use
            mean = page.evaluate("""(() => {
                const start = performance.now();
                Module._zrxDrawFrames(%d);
                return (performance.now() - start) / %d;
            })()""" % (frames, frames))
            page.close()
            print("%-56s %9.2f %7d" % (name, mean, frames))
            figure(name + ": mean in the browser", mean, "ms")
            sys.stdout.flush()
    finally:
        browser.close()
        server.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
