#!/usr/bin/env python3
"""The page's start in each engine on this machine (headless Chromium, and Firefox ESR headed on a
private Xvfb: tests/webpage.py): the time from the visitor's click on the start screen to the
show's first frame (the page's own clock: the click's event time to the end of the first pass),
and the page's peak memory (the browser's processes' resident memory at their largest sum, read
every 50 ms from /proc, and the wasm heap). Prints "@figure" lines, then the engines side by side.

Each run is timed twice: clicked at once when the start screen shows, and clicked once the page
has done what it does while it waits (a visitor reading the screen for that long). With
SOUNDCHECK each browser plays through a private PulseAudio daemon (Firefox's audio context runs
only with a server; without one it gives up after 3 s and the page plays silently).

Usage: webstart_bench.py SITE_FOLDER [runs, default 3] [SOUNDCHECK]"""

import os
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests"))
import webpage  # noqa: E402


def figure(engine, name, value, unit):
    print("@figure\tweb start %s\t%s\t%.6g\t%s" % (engine, name, value, unit))


def resident_kib(pids):
    total = 0
    for pid in pids:
        try:
            for line in open("/proc/%d/status" % pid):
                if line.startswith("VmRSS:"):
                    total += int(line.split()[1])
        except OSError:
            pass
    return total


def start(browser, server, wait):
    """One start of the page, clicked when the start screen shows or (`wait`) once the page is
    done with its work ahead; returns the seconds from the click to the first frame and the wasm
    heap's size in MiB."""
    page = browser.open_page(server.url + "index.html")
    deadline = time.monotonic() + 120
    if not page.poll("document.body.dataset.phase === 'waiting'"):
        raise RuntimeError("no start screen")
    if wait:
        while not page.evaluate("!!Module.zrxAheadDoneAt"):
            if time.monotonic() > deadline:
                raise RuntimeError("the work ahead never ended")
            time.sleep(0.05)
        print("  work ahead of the click: %.0f ms" %
              page.evaluate("Module.zrxAheadDoneAt - Module.zrxWaitingAt"))
    # The click's moment on the page's clock, then the end of the first pass.
    page.evaluate("""window.addEventListener('click', e => { Module.zrxClickAt = e.timeStamp; },
                     { capture: true }), true""")
    page.click()
    first = None
    while first is None:
        first = page.evaluate("""Module.zrxFrames ? Module.zrxFirstFrameAt : null""")
        if time.monotonic() > deadline:
            raise RuntimeError("no first frame")
        time.sleep(0.02)
    click = page.evaluate("Module.zrxClickAt")
    # Where the time went: each start-up step's end, and the first frame, after the click.
    before = click
    for name, at in page.evaluate("Module.zrxSteps || []") + [["first frame", first]]:
        print("  %7.0f ms  %-42s (+%.0f ms)" % (at - click, name, at - before))
        before = at
    heap = page.evaluate("Module.HEAPU8.length") / 2**20
    page.close()
    print("click %s to first frame: %.3f s" % ("after the wait" if wait else "at once",
                                                (first - click) / 1000))
    sys.stdout.flush()
    return (first - click) / 1000, heap


def measure(engine, server, runs, env):
    """The engine's figures: {name: (value, unit)}."""
    browser = webpage.open_browser(engine, env=env)
    print("%s: %s" % (engine, browser.version))
    peak, baseline, watching = [0], [0], [True]
    results = {}

    def watch():
        while watching[0]:
            peak[0] = max(peak[0], resident_kib(browser.pids()))
            time.sleep(0.05)

    try:
        baseline[0] = resident_kib(browser.pids())
        watcher = threading.Thread(target=watch, daemon=True)
        watcher.start()
        times = {"at once": [], "after the wait": []}
        heaps = []
        for _ in range(runs):
            for when in times:
                elapsed, heap = start(browser, server, when == "after the wait")
                times[when].append(elapsed)
                heaps.append(heap)
        watching[0] = False
        watcher.join()
        for when, found in times.items():
            found.sort()
            results["click %s to first frame: median of %d" % (when, runs)] = (
                found[len(found) // 2], "s")
            results["click %s to first frame: largest" % when] = (found[-1], "s")
        results["peak resident memory of the browser's processes"] = (peak[0] / 1024, "MiB")
        results["the same less the browser on a blank page"] = ((peak[0] - baseline[0]) / 1024,
                                                                 "MiB")
        results["wasm heap after start-up"] = (max(heaps), "MiB")
        for name, (value, unit) in results.items():
            figure(engine, name, value, unit)
    finally:
        watching[0] = False
        browser.close()
    return results


def main():
    site = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    sound = webpage.SoundServer(sys.argv[3]) if len(sys.argv) > 3 else None
    server = webpage.Site(site)
    try:
        found = {engine: measure(engine, server, runs, sound.env if sound else None)
                 for engine in webpage.ENGINES}
    finally:
        server.close()
        if sound:
            sound.close()
    print("\n%-52s %12s %12s" % ("", *webpage.ENGINES))
    for name, (_, unit) in found[webpage.ENGINES[0]].items():
        print("%-52s %12s %12s" % (name, *("%.3g %s" % (found[e][name][0], unit)
                                            for e in webpage.ENGINES)))
    print("goal: click to first frame at most 2.5 s in each engine")
    return 0


if __name__ == "__main__":
    sys.exit(main())
