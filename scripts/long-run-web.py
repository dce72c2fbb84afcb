#!/usr/bin/env python3
"""The web page for a long time (scripts/long-run.sh --web [SECONDS], 1800 by default): headless
Chromium plays build-web/site through a private PulseAudio daemon while random taps and holds of
space and the arrows come, and the page is now and then hidden and shown again. Fails on an
error on the page, a hidden page that drew, a page back from hiding whose clock is not the
position Web Audio outputs or that drew more than one pass per animation frame to catch up, a
clock that stops while the music plays, and a wasm heap or browser memory that grows over the
second half. Run from the source root; LONG_RUN_SEED fixes the keys."""

import os
import random
import statistics
import sys
import time

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(root, "tests"))
import webpage  # noqa: E402
import webaudio_test as page_test  # noqa: E402

# Growth allowed over the second half: the wasm heap grows only in whole steps, so none; the
# browser's processes keep caches that come and go by a few megabytes.
BROWSER_GROWTH_MB = 16


def say(text):
    print("long-run-web: " + text)
    sys.stdout.flush()


def fail(text):
    say("FAIL: " + text)
    sys.exit(1)


def browser_rss_mb(browser):
    """Resident memory of every process of the browser's session, in MB."""
    total = 0
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            if os.getsid(int(pid)) != browser.process.pid:
                continue
            with open("/proc/%s/status" % pid) as status:
                for line in status:
                    if line.startswith("VmRSS:"):
                        total += int(line.split()[1])
        except (OSError, ValueError):
            continue
    return total / 1024


def key(page, code, down):
    name, virtual = webpage._CHROMIUM_KEYS[code]
    page.call("Input.dispatchKeyEvent", type="keyDown" if down else "keyUp", code=code, key=name,
              windowsVirtualKeyCode=virtual, nativeVirtualKeyCode=virtual)


def hold(page, codes, seconds):
    for code in codes:
        key(page, code, True)
    time.sleep(seconds)
    for code in codes:
        key(page, code, False)


# Counts animation frames while it runs, so that the passes after a return from hiding can be
# held against the frames the browser gave: Module.zrxAnimationFrames.
FRAME_COUNTER = """(() => {
    if (window.zrxCounting) return true;
    window.zrxCounting = true;
    Module.zrxAnimationFrames = 0;
    const count = () => { Module.zrxAnimationFrames++; requestAnimationFrame(count); };
    requestAnimationFrame(count);
    return true;
})()"""

# The clock against the position Web Audio outputs, as the page test reads it: the worst
# distance in ms over `n` readings a few milliseconds apart; null while nothing plays. A source
# that played to the track's end leaves the output there, where the clock must stand too.
CLOCK_ERROR = """new Promise((resolve) => {
    const audio = Module.zrxAudio, errors = [];
    let left = %d;
    const read = () => {
        const before = performance.now(), clock = Module._zrxMusicTime(), after = performance.now();
        const stamp = audio.context.getOutputTimestamp(), s = audio.schedule;
        if (s && audio.source && stamp.performanceTime) {
            const end = audio.source.buffer.duration;
            const heard = (m) => Math.min(end,
                s.offset + stamp.contextTime + (m - stamp.performanceTime) / 1000 - s.when);
            if (heard(before) >= s.offset) {
                const low = heard(before), high = heard(after);
                errors.push(Math.max(low - clock, clock - high, 0) * 1000);
            }
        }
        if (--left > 0) setTimeout(read, 7); else resolve(errors.length ? Math.max(...errors) : null);
    };
    read();
})"""


def hide(page, seconds):
    """Hides the page (its window minimised) for `seconds` and shows it again. Returns (seconds
    hidden, passes while hidden, the clock's worst distance in ms from the position Web Audio
    outputs once back or None while paused, and the passes and the animation frames of the
    first second back)."""
    browser = page.browser
    window = browser.call("Browser.getWindowForTarget", targetId=page.target)["windowId"]
    browser.call("Browser.setWindowBounds", windowId=window, bounds={"windowState": "minimized"})
    if not page_test.wait_for(page, "document.visibilityState === 'hidden'", "hiding the page"):
        fail("the page does not hide")
    before = page_test.frames(page)
    time.sleep(seconds)
    hidden_passes = page_test.frames(page) - before
    browser.call("Browser.setWindowBounds", windowId=window, bounds={"windowState": "normal"})
    page_test.wait_for(page, "document.visibilityState === 'visible' && (Module.zrxFrames || 0) > %d"
                       % (before + hidden_passes), "the page drawing again")
    frames0, passes0 = page.evaluate("[Module.zrxAnimationFrames, Module.zrxFrames]")
    error = page.evaluate(CLOCK_ERROR % 30)
    time.sleep(0.8)
    frames1, passes1 = page.evaluate("[Module.zrxAnimationFrames, Module.zrxFrames]")
    return seconds, hidden_passes, error, passes1 - passes0, frames1 - frames0


def median(values):
    return statistics.median(values) if values else 0


def growth_over(samples, column):
    """How much the least-squares line through the samples rises from their first to their last
    moment: what a noisy figure (the browser's processes keep caches that come and go by tens of
    megabytes) grew by in all."""
    xs = [s[0] for s in samples]
    ys = [s[column] for s in samples]
    mx, my = statistics.fmean(xs), statistics.fmean(ys)
    slope = sum((x - mx) * (y - my) for x, y in zip(xs, ys)) / sum((x - mx) ** 2 for x in xs)
    return slope * (xs[-1] - xs[0])


def report(samples, hides, actions):
    """Says what the run saw and fails on growth over the second half, a hidden page that drew,
    a clock off after a return, or a rush of passes."""
    if len(samples) < 10:
        fail("only %d memory samples" % len(samples))
    window = max(1, len(samples) // 10)
    half = samples[len(samples) // 2:]
    for name, column, allowed in (("wasm heap", 1, 0), ("JS heap", 2, None),
                                  ("browser", 3, BROWSER_GROWTH_MB)):
        at = [median([s[column] for s in part]) for part in
              (samples[:window], samples[len(samples) // 2:len(samples) // 2 + window],
               samples[-window:])]
        grown = growth_over(half, column)
        say("%s MB: start %.1f, middle %.1f, end %.1f, peak %.1f; over the second half %+.1f" % (
            name, at[0], at[1], at[2], max(s[column] for s in samples), grown))
        if allowed is not None and grown > allowed:
            fail("the %s grew by %.1f MB over the second half" % (name, grown))
    errors = [h[2] for h in hides if h[2] is not None]
    rush = max([h[3] - h[4] for h in hides] or [0])
    say("%d key actions; hidden %d times for %.0f s in all; passes while hidden: at most %d; "
        "clock after a return: at most %.3f ms off the position output (%d playing); in the "
        "second after a return, passes over animation frames: at most %+d (passes %s)" % (
            actions, len(hides), sum(h[0] for h in hides), max([h[1] for h in hides] or [0]),
            max(errors or [0]), len(errors), rush, [h[3] for h in hides]))
    say("clock after each return, ms off while playing: %s" % ", ".join("%.2f" % e for e in errors))
    if any(h[1] > 1 for h in hides):
        fail("a hidden page drew")
    if any(e > 5 for e in errors):
        fail("the clock was more than 5 ms off the position heard after a return")
    if rush > 1:
        fail("a page back from hiding drew faster than the browser's frames")
    say("ok")


def main():
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 1800
    seed = int(os.environ.get("LONG_RUN_SEED", random.randrange(32768)))
    rng = random.Random(seed)
    site = os.path.join(root, "build-web", "site")
    soundcheck = os.path.join(root, "build", "tests", "soundcheck")
    if not os.path.exists(os.path.join(site, "zoomraxvandel.wasm")):
        fail("no web build in %s (scripts/web.sh builds it)" % site)
    if not os.access(soundcheck, os.X_OK):
        fail("no %s (scripts/build.sh builds it)" % soundcheck)
    os.chdir(root)
    sound = webpage.SoundServer(soundcheck)
    server = webpage.Site(site)
    browser = webpage.Chromium(env=sound.env)
    try:
        run(browser, server.url + "index.html", seconds, rng, seed)
    finally:
        browser.close()
        server.close()
        sound.close()


def run(browser, url, seconds, rng, seed):
    say("seed %d, %g s" % (seed, seconds))
    page = browser.open_page(url)
    page_test.wait_start_screen(page)
    page.click()
    page_test.wait_for(page, "(Module.zrxFrames || 0) > 2 && Module._zrxMusicTime() > 0.5",
                       "the show running", timeout=120)
    page.evaluate(FRAME_COUNTER)
    samples = []  # (seconds since the start, wasm heap MB, JS heap MB, browser MB)
    hides = []  # (seconds hidden, passes while hidden, worst clock error ms, passes, frames)
    start = time.monotonic()
    next_sample = start
    actions = 0
    while time.monotonic() - start < seconds:
        now = time.monotonic()
        if now >= next_sample:
            heap, js = page.evaluate("[Module.HEAPU8.length, performance.memory ? "
                                     "performance.memory.usedJSHeapSize : 0]")
            samples.append((now - start, heap / 2**20, js / 2**20, browser_rss_mb(browser)))
            next_sample = now + 10
        shown = page_test.messages(page)
        if shown:
            fail("a message on the page after %d actions: %s" % (actions, shown))
        action = rng.randrange(12)
        if action == 0:
            hold(page, ["Space"], rng.uniform(0.03, 0.12))  # a tap: pause or resume
        elif action == 1:
            hold(page, ["Space"], rng.uniform(0.3, 2))  # held: acts once
        elif action in (2, 3):
            hold(page, [rng.choice(["ArrowRight", "ArrowLeft"])], rng.uniform(0.03, 0.12))
        elif action in (4, 5):
            hold(page, [rng.choice(["ArrowRight", "ArrowLeft"])], rng.uniform(0.2, 1.5))
        elif action == 6:
            hold(page, ["ArrowRight", "ArrowLeft"], rng.uniform(0.1, 1))
        elif action == 7:
            hides.append(hide(page, rng.uniform(2, 20)))
        else:
            time.sleep(rng.uniform(0.5, 3))  # let it play, or stand
        actions += 1
        time.sleep(rng.uniform(0.02, 0.3))
    page.close()
    report(samples, hides, actions)


if __name__ == "__main__":
    sys.exit(main())
