#!/usr/bin/env python3
"""The page's start in headless Chromium on this machine: the time from the visitor's click on
the start screen to the show's first frame (the page's own clock: the click's event time to the
end of the first pass), and the page's peak memory (the browser's processes' resident memory at
their largest sum, read every 50 ms from /proc, and the wasm heap). Prints "@figure" lines.

Each run is timed twice: clicked at once when the start screen shows, and clicked once the page
has done what it does while it waits (a visitor reading the screen for that long).

Usage: webstart_bench.py SITE_FOLDER [runs, default 3]"""

import os
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests"))
import webpage  # noqa: E402


def figure(name, value, unit):
    print("@figure\tweb start\t%s\t%.6g\t%s" % (name, value, unit))


def descendants(pid):
    """`pid` and every process below it."""
    children = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                fields = open("/proc/%s/stat" % entry).read().rsplit(")", 1)[1].split()
                children.setdefault(int(fields[1]), []).append(int(entry))
            except OSError:
                pass
    found, todo = [], [pid]
    while todo:
        current = todo.pop()
        found.append(current)
        todo.extend(children.get(current, []))
    return found


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
    while page.evaluate("(e => e && !e.hidden ? e.textContent : '')"
                        "(document.getElementById('screen'))") != \
            "Click or press a key to start":
        if time.monotonic() > deadline:
            raise RuntimeError("no start screen")
        time.sleep(0.05)
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
    for kind in ("mousePressed", "mouseReleased"):
        page.call("Input.dispatchMouseEvent", type=kind, x=640, y=360, button="left",
                  clickCount=1)
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


def main():
    site = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    server = webpage.Site(site)
    browser = webpage.Browser()
    peak, baseline, watching = [0], [0], [True]

    def watch():
        while watching[0]:
            peak[0] = max(peak[0], resident_kib(descendants(browser.process.pid)))
            time.sleep(0.05)

    try:
        baseline[0] = resident_kib(descendants(browser.process.pid))
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
            figure("click %s to first frame: median of %d" % (when, runs), found[len(found) // 2],
                   "s")
            figure("click %s to first frame: largest" % when, found[-1], "s")
        figure("peak resident memory of the browser's processes", peak[0] / 1024, "MiB")
        figure("the same less the browser on a blank page", (peak[0] - baseline[0]) / 1024, "MiB")
        figure("wasm heap after start-up", max(heaps), "MiB")
        print("goal: click to first frame at most 2.5 s")
    finally:
        watching[0] = False
        browser.close()
        server.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
