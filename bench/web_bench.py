#!/usr/bin/env python3
"""The web page's frame time in headless Chromium (software WebGL 2) at the moments frame_bench
uses: the page is loaded with ?hold=SECONDS and its hook draws N frames of that moment, each
waited for by reading a pixel back, timed by the page's clock. Prints "@figure" lines.

A page's frame time swings by a fifth from one page load to the next, so each moment gets a
fresh page in every round, the moments taken in turns, and the figures are medians over rounds.

Usage: web_bench.py SITE_FOLDER [frames per page, default 20] [rounds, default 5]"""

import os
import statistics
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests"))
import webpage  # noqa: E402

# frame_bench's kinds, by the same names; CREDITS and PICTURE are the two the goal compares.
KINDS = [
    ("images only: opening card, three image layers (6 s)", 6.0),
    ("credits: background, the model, a card (12 s)", 12.0),
    ("picture sequence: one image (20 s)", 20.0),
    ("three stacked windows: four layers (51 s)", 51.0),
]
CREDITS, PICTURE = 1, 2


def figure(name, value, unit):
    print("@figure\tweb frame\t%s\t%.6g\t%s" % (name, value, unit))


def page_mean(browser, url, frames):
    """Milliseconds per frame over FRAMES frames of a freshly loaded page."""
    page = browser.open_page(url)
    try:
        page.wait_ready()
        page.evaluate("Module._zrxDrawFrames(2)")  # shaders compiled on first use
        return page.evaluate("""(() => {
            const start = performance.now();
            Module._zrxDrawFrames(%d);
            return (performance.now() - start) / %d;
        })()""" % (frames, frames))
    finally:
        page.close()


def main():
    site = sys.argv[1]
    frames = int(sys.argv[2]) if len(sys.argv) > 2 else 20
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    server = webpage.Site(site)
    browser = webpage.Chromium(timeout=900)
    means = [[] for _ in KINDS]
    try:
        for r in range(rounds):
            row = []
            for k, (_, seconds) in enumerate(KINDS):
                means[k].append(page_mean(browser, server.url + "index.html?hold=%g" % seconds,
                                          frames))
                row.append("%.2f" % means[k][-1])
            print("round %d, ms per frame: %s" % (r + 1, "  ".join(row)))
            sys.stdout.flush()
    finally:
        browser.close()
        server.close()

    print("%-56s %9s %9s %9s" % ("frames at", "median ms", "least", "most"))
    for (name, _), m in zip(KINDS, means):
        print("%-56s %9.2f %9.2f %9.2f" % (name, statistics.median(m), min(m), max(m)))
        figure(name + ": mean in the browser", statistics.median(m), "ms")
    # The pages of one round ran next to each other, under the same load: their ratio is the
    # steadier figure, and its spread shows how far one round can be trusted.
    ratios = [c / p for c, p in zip(means[CREDITS], means[PICTURE])]
    print("credits over picture, round by round: %s" % "  ".join("%.2f" % q for q in ratios))
    figure("credits over picture: median of the rounds", statistics.median(ratios), "x")
    figure("credits over picture: most of the rounds", max(ratios), "x")
    return 0


if __name__ == "__main__":
    sys.exit(main())
