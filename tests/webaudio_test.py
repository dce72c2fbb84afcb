#!/usr/bin/env python3
"""The page as a visitor has it, in either engine (tests/webpage.py): the start screen, the
loading image before the first frame, the keys (space, the arrows, Escape and playing again),
each fault's message, the last picture kept from the show's end on, the one file opened from
disk, and the clock against what Web Audio says it outputs; in Chromium, whose DevTools emulate
them, also a phone's touches upright and sideways and the loading bar on a slow network.
Firefox's audio context runs only with a sound server: it gets a private PulseAudio daemon.

Usage: webaudio_test.py [--engine chromium|firefox] SITE_FOLDER SOUNDCHECK [CLOCK_SECONDS]
(CLOCK_SECONDS: how long the clock is sampled, 30 by default)"""

import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import webpage  # noqa: E402

STEP_SECONDS = 50000 / (44100 * 4)  # one arrow: 50000 bytes of 16-bit stereo at 44100 Hz
START_TEXT = "Click or press a key to start"
TAP_TEXT = "Tap to start"
ENDED_TEXT = "The show has ended"
TITLE, MAKERS = "Vellamarkfest 2011 - Zoomraxvandel", "by Ostravel"

failures = []


def check(condition, what):
    print("%-6s %s" % ("ok" if condition else "FAILED", what))
    sys.stdout.flush()
    if not condition:
        failures.append(what)
    return condition


def wait_for(page, expression, what, timeout=60):
    """Polls `expression` in the page until it is truthy; returns its value, None on timeout."""
    value = page.poll(expression, timeout)
    if not value:
        check(False, "in time: " + what)
    return value


def wait_start_screen(page, text=START_TEXT):
    return wait_for(page, "document.body.dataset.phase === 'waiting' && "
                    "document.getElementById('hint').textContent === %s" % json.dumps(text),
                    "the start screen")


def click(page):
    page.click()


def tap(page, code):
    """A quick tap: the press and the release sent together, as a key tapped faster than a pass
    (a key held over several passes acts on each, as on the desktop)."""
    page.tap_key(code)


def frames(page):
    return page.evaluate("Module.zrxFrames || 0")


def passes(page, count=3):
    """Waits until the show has run `count` more passes."""
    target = frames(page) + count
    wait_for(page, "(Module.zrxFrames || 0) >= %d" % target, "%d passes" % count)


def music_time(page):
    return page.evaluate("Module._zrxMusicTime()")


def tap_and_settle(page, code):
    """Taps a key, lets the show run on, and returns the music time then and whether the clock
    stood there with no source playing over the passes after it."""
    tap(page, code)
    passes(page)
    at = music_time(page)
    passes(page)
    return at, music_time(page) == at and page.evaluate("!Module.zrxAudio.source")


def screen_text(page):
    return page.evaluate("(e => e.hidden ? '' : e.textContent)(document.getElementById('screen'))")


def messages(page):
    return page.evaluate("Array.from(document.querySelectorAll('#messages li'), e => e.textContent)")


SHOT = (128, 72)  # screenshots are compared at a tenth of the page's size


def pixels(png):
    """A PNG's picture at SHOT's size as RGB bytes, through FFmpeg."""
    return subprocess.run(["ffmpeg", "-v", "error", "-i", "pipe:0", "-vf", "scale=%d:%d" % SHOT,
                           "-f", "rawvideo", "-pix_fmt", "rgb24", "-"], input=png, check=True,
                          stdout=subprocess.PIPE).stdout


def screenshot(page):
    """The page at a tenth of its size, as RGB bytes."""
    return pixels(page.screenshot())


def lit_fraction(image):
    count = len(image) // 3
    return sum(1 for i in range(count) if sum(image[3 * i:3 * i + 3]) > 60) / count


def difference(a, b):
    """Mean absolute difference per channel of two pictures of one size."""
    assert len(a) == len(b)
    return sum(abs(p - q) for p, q in zip(a, b)) / len(a)


def start_and_watch_loading(page, loading):
    """Clicks the start screen and waits for the show's first passes. Returns the difference of
    the picture the page had drawn when the browser painted between its start-up steps from the
    loading image, and whether that paint came before any pass of the show."""
    click(page)
    wait_for(page, "(Module.zrxFrames || 0) > 3", "the show running", timeout=120)
    # The page's picture at a tenth of its size, as FFmpeg would scale it (box averages).
    drawn = page.evaluate("""(() => {
        const at = Module.zrxLoadingPicture, w = %d, h = %d, out = [];
        if (!at) return null;
        for (let y = 0; y < %d; ++y) for (let x = 0; x < %d; ++x) for (let c = 0; c < 3; ++c) {
            let sum = 0;
            for (let dy = 0; dy < 10; ++dy) for (let dx = 0; dx < 10; ++dx)
                sum += Module.HEAPU8[at + ((h - 1 - (y * 10 + dy)) * w + x * 10 + dx) * 3 + c];
            out.push(Math.round(sum / 100));
        }
        return out;
    })()""" % (webpage.WIDTH, webpage.HEIGHT, SHOT[1], SHOT[0]))
    if drawn is None:
        return 255, False
    return difference(bytes(drawn), loading), page.evaluate("Module.zrxLoadingPainted === true")


START_SCREEN = """(() => {
    const start = document.getElementById('start'), still = start.querySelector('img');
    return [start.querySelector('h1').textContent, start.querySelector('.makers').textContent,
            still.complete && still.naturalWidth > 0, !document.getElementById('play').disabled,
            document.getElementById('play').getBoundingClientRect().width > 40];
})()"""


def test_start_keys_and_escape(browser, url):
    page = browser.open_page(url)
    text = wait_start_screen(page)
    check(bool(text) and page.poll("document.readyState === 'complete'"),
          "the start screen says '%s'" % START_TEXT)
    shown = page.evaluate(START_SCREEN)
    check(shown == [TITLE, MAKERS, True, True, True],
          "the start screen shows the title, the makers, the opening's still and a play "
          "button: %s" % shown)
    check(page.evaluate("Module.zrxStartedAt === undefined && !Module.zrxAudio"),
          "nothing starts, no sound, before the visitor's click")

    loading = pixels(open("Data/PlinketaLoading.png", "rb").read())
    differs, first = start_and_watch_loading(page, loading)
    check(differs < 12 and first, "the loading image is painted before the first frame of the "
          "show (the page's picture then differs from it by %.1f of 255 on average)" % differs)
    wait_for(page, "Module.zrxReady && (Module.zrxFrames || 0) > 2", "the show running")
    check(page.evaluate("Module.zrxAudio && Module.zrxAudio.context.state === 'running'"),
          "the click started the audio context")
    check(not messages(page), "no message on the page: %s" % messages(page))
    wait_for(page, "Module._zrxMusicTime() > 0.5", "the music time passing 0.5 s")
    title = page.evaluate("document.title")
    check(re.search(r"Zoomraxvandel +Time: +\d+\.\d{6}$", title) is not None,
          "the title carries the caption: %r" % title)

    # Space pauses: the clock stands, nothing plays.
    paused_at, stands = tap_and_settle(page, "Space")
    check(stands, "a tapped space pauses (the clock stands at %.6f s, no source plays)" % paused_at)
    tap(page, "Space")
    resumed = wait_for(page, "Module._zrxMusicTime() > %r" % (paused_at + 0.2), "running on")
    check(bool(resumed) and page.evaluate("!!Module.zrxAudio.source"),
          "a second space resumes from there")

    # Each right arrow steps exactly 50000 bytes and leaves the music paused.
    first, stands = tap_and_settle(page, "ArrowRight")
    check(stands, "a right arrow leaves the music paused (at %.6f s)" % first)
    tap(page, "ArrowRight")
    passes(page)
    second = music_time(page)
    check(abs(second - first - STEP_SECONDS) < 1e-9,
          "the next right arrow steps 50000 bytes: %.9f s (%.9f s expected)" % (
              second - first, STEP_SECONDS))
    tap(page, "ArrowLeft")
    passes(page)
    back = music_time(page)
    check(abs(back - first) < 1e-9, "a left arrow steps back to %.6f s: %.6f s" % (first, back))
    tap(page, "Space")
    wait_for(page, "Module._zrxMusicTime() > %r" % (back + 0.2), "running on after the steps")
    check(page.evaluate("Math.abs(Module.zrxAudio.schedule.offset - %r) < 1e-4" % back),
          "space plays on from where the steps left the music")

    # Escape ends the show: the sound stops, the passes stop, the page offers to play again.
    tap(page, "Escape")
    ended = wait_for(page, "(e => !e.hidden && e.textContent.startsWith(%s))"
                     "(document.getElementById('screen'))" % json.dumps(ENDED_TEXT), "the end")
    check(bool(ended), "Escape ends the show and the page offers to play again")
    check(page.evaluate("!Module.zrxAudio.source && !Module.zrxAudio.schedule"),
          "Escape stops the sound")
    count = frames(page)
    page.evaluate("new Promise(r => requestAnimationFrame(() => requestAnimationFrame(r)))")
    check(frames(page) == count, "no pass of the show after Escape")
    click(page)
    again = wait_for(page, "(Module.zrxFrames || 0) > %d && Module._zrxMusicTime() > 0.2 && "
                     "!!Module.zrxAudio.source" % (count + 2), "playing again")
    check(bool(again) and music_time(page) < 10, "a click plays the show again from its start")
    page.close()


def test_no_webgl2(browser, url):
    page = browser.open_page(url, before="""
        const plain = HTMLCanvasElement.prototype.getContext;
        HTMLCanvasElement.prototype.getContext = function (kind, ...rest) {
            return kind === "webgl2" ? null : plain.call(this, kind, ...rest);
        };""")
    text = wait_for(page, "(e => !e.hidden && e.textContent.includes('WebGL 2') && e.textContent)"
                    "(document.getElementById('screen'))", "the WebGL 2 message")
    check(bool(text), "without WebGL 2 the page says so: %r" % text)
    page.close()


def test_broken_picture(browser, site, folder):
    """A site whose data package holds one picture spoilt: the desktop's failure text is on the
    page, and start-up goes on to the show."""
    spoilt = os.path.join(folder, "site")
    shutil.copytree(site, spoilt)
    script = open(os.path.join(spoilt, "zoomraxvandel.js")).read()
    found = re.search(r'"filename": *"/Data/Called.png", *"start": *(\d+), *"end": *(\d+)', script)
    if not check(found is not None, "the data package lists /Data/Called.png"):
        return
    start, end = int(found.group(1)), int(found.group(2))
    with open(os.path.join(spoilt, "zoomraxvandel.data"), "r+b") as data:
        data.seek(start)
        data.write(b"\0" * (end - start))
    server = webpage.Site(spoilt)
    try:
        page = browser.open_page(server.url + "index.html")
        wait_start_screen(page)
        click(page)
        wait_for(page, "(Module.zrxFrames || 0) > 2", "the show running")
        shown = messages(page)
        check("DevIL failed to load the image!" in shown,
              "a spoilt picture: its failure text on the page, and the show runs: %s" % shown)
        page.close()
    finally:
        server.close()


def test_no_audio(browser, url):
    page = browser.open_page(url, before="""
        window.AudioContext = function () { throw new Error("no audio device"); };""")
    wait_start_screen(page)
    click(page)
    wait_for(page, "(Module.zrxFrames || 0) > 2", "the show running")
    shown = messages(page)
    check(any("The sound could not start (no audio device)" in m and "without sound" in m
              for m in shown), "an audio context that cannot start: the page says so: %s" % shown)
    start = music_time(page)
    moved = wait_for(page, "Module._zrxMusicTime() > %r" % (start + 1), "the clock running")
    check(bool(moved), "and the show plays on silently on the system clock")
    page.close()


def test_keeps_last_picture(browser, url):
    """From 80 s on a pass draws nothing it presents: the page keeps showing the last picture
    presented before then, as the desktop does, not the black a pass clears to."""
    page = browser.open_page(url + "?nosound&start=79.4")
    wait_start_screen(page)
    click(page)
    before = wait_for(page, "(t => t > 79.6 && t < 79.95 && t)(Module._zrxMusicTime())",
                      "a played frame before 80 s", timeout=120)
    last = screenshot(page) if before else None
    if not wait_for(page, "Module._zrxMusicTime() > 80.5", "the clock past 80.5 s"):
        return page.close()
    passes(page)
    held = screenshot(page)
    differs = difference(held, last) if last else 255
    check(differs < 6 and lit_fraction(held) > 0.2,
          "past 80 s the page shows the last picture presented (at %.2f s it differs from the "
          "frame then by %.1f of 255 on average)" % (before or 0, differs))
    page.close()


def test_from_disk(browser, site):
    """The one file, opened from disk, plays: no fetch, no server."""
    path = os.path.abspath(os.path.join(site, "..", "zoomraxvandel.html"))
    size = os.path.getsize(path) if os.path.exists(path) else 0
    check(0 < size <= 12e6, "the one file %s is there and at most 12 MB: %.1f MB" % (
        path, size / 1e6))
    page = browser.open_page("file://" + path)
    if wait_start_screen(page):
        click(page)
        wait_for(page, "(Module.zrxFrames || 0) > 3 && Module._zrxMusicTime() > 0.5",
                 "the show from disk running", timeout=120)
        check(page.evaluate("Module._zrxMusicTime() > 0.5") and not messages(page),
              "opened from a file:// address the page plays, with no message: %s" % messages(page))
    page.close()


def test_touch(browser, url, size):
    """A phone's screen in Chromium's emulation: tap to start, tap to pause and resume, a swipe
    right or left steps exactly one step, a double tap asks for full screen, the picture 16:9
    across the narrower side, and the audio session asked for playback."""
    name = "%dx%d" % size
    page = browser.open_page(url, size=size, mobile=True, before="""
        navigator.audioSession = { type: "auto" };
        window.zrxFullScreenAsked = 0;
        Element.prototype.requestFullscreen = function () {
            ++window.zrxFullScreenAsked;
            return Promise.resolve();
        };""")
    if not wait_start_screen(page, TAP_TEXT):
        return page.close()
    check(page.evaluate(START_SCREEN)[:3] == [TITLE, MAKERS, True],
          "%s: the start screen shows the title, the makers and the still, and says '%s'" % (
              name, TAP_TEXT))
    middle = (size[0] // 2, size[1] // 2)
    page.touch(middle)
    if not wait_for(page, "(Module.zrxFrames || 0) > 3 && Module._zrxMusicTime() > 0.5",
                    "%s: the show started by a tap" % name, timeout=120):
        return page.close()
    check(page.evaluate("navigator.audioSession.type") == "playback",
          "%s: the audio session is asked for playback" % name)
    box = page.evaluate("(r => [r.width, r.height])(document.getElementById('canvas')"
                        ".getBoundingClientRect())")
    across = abs(box[0] - size[0]) if size[0] * 9 < size[1] * 16 else abs(box[1] - size[1])
    check(abs(box[0] / box[1] - 16 / 9) < 0.01 and across < 1,
          "%s: the picture is 16:9 across the screen with bars: %.0fx%.0f" % (name, *box))
    page.touch(middle)
    stood = wait_for(page, "(t => new Promise(r => setTimeout(() => r(Module._zrxMusicTime() "
                     "=== t && t), 200)))(Module._zrxMusicTime())", "%s: paused" % name)
    check(bool(stood), "%s: a tap pauses (at %.3f s)" % (name, stood or 0))
    page.touch(middle)
    check(bool(wait_for(page, "Module._zrxMusicTime() > %r" % ((stood or 0) + 0.2),
                        "%s: resumed" % name)), "%s: a second tap resumes" % name)
    swipe = lambda dx: page.touch((middle[0] - dx // 2, middle[1]),
                                  [(middle[0], middle[1]), (middle[0] + dx // 2, middle[1])])
    swipe(size[0] // 3)
    passes(page)
    first = music_time(page)
    swipe(size[0] // 3)
    passes(page)
    second = music_time(page)
    swipe(-size[0] // 3)
    passes(page)
    back = music_time(page)
    check(abs(second - first - STEP_SECONDS) < 1e-9 and abs(back - first) < 1e-9,
          "%s: a swipe right steps one step (%.9f s), a swipe left one back (to %.6f s from "
          "%.6f s)" % (name, second - first, back, first))
    page.touch(middle)
    page.touch(middle)
    check(bool(wait_for(page, "window.zrxFullScreenAsked === 1", "%s: full screen" % name)),
          "%s: a double tap asks for full screen" % name)
    check(music_time(page) == back, "%s: and does not pause or resume" % name)
    page.close()


def test_loading_bar(browser, url, site):
    """On a slow network (DevTools' throttling, 2 MB/s) the start screen shows the data's bytes
    coming in, of the whole."""
    total = os.path.getsize(os.path.join(site, "zoomraxvandel.data"))
    page = browser.open_page(None)
    page.call("Network.enable")
    page.call("Network.emulateNetworkConditions", offline=False, latency=20,
              downloadThroughput=2e6, uploadThroughput=-1)
    page.navigate(url)
    seen = []
    deadline = time.monotonic() + 120
    while time.monotonic() < deadline:
        # Nothing yet while the blank page before it is still there.
        shown = page.poll("(phase => !phase ? null : phase !== 'loading' ? 'done' :"
                          " (e => !e.hidden && [e.querySelector('#bytes').textContent,"
                          " e.querySelector('#bar div').style.width])"
                          "(document.getElementById('progress')))"
                          "(document.body && document.body.dataset.phase)", 10)
        if shown == "done" or shown is None:
            break
        if not seen or seen[-1] != shown:
            seen.append(shown)
    widths = [float(w.rstrip("%")) for _, w in seen]
    whole = "%.1f MB" % (total / 1e6)
    check(len(seen) >= 3 and widths == sorted(widths) and all(t.endswith(whole) for t, _ in seen),
          "the loading bar moves as the data comes (%d readings, %s ... %s)" % (
              len(seen), seen[0][0] if seen else "-", seen[-1][0] if seen else "-"))
    page.close()


# Sampled in the page every few milliseconds: the show's clock against the position Web Audio
# reports as being output, from the schedule of the source that plays (where in the track it
# started, at which context time) and the output's stamp (the context's output timestamp; in
# Firefox the context time rendered, music/webaudio.cpp says why). The clock is read at some
# moment between `before` and `after`, and the page's thread may be taken off the processor in
# between, so the position output then is known to lie between `low` and `high`.
SAMPLER = """
(() => {
    const audio = Module.zrxAudio;
    const samples = [];
    Module.zrxSamples = samples;
    const sample = () => {
        const before = performance.now();
        const clock = Module._zrxMusicTime();
        const after = performance.now();
        const stamp = audio.stamp();
        const schedule = audio.schedule;
        if (!schedule) { samples.push({ paused: true, clock: clock }); return; }
        if (!stamp.performanceTime) return;
        const heard = (moment) => stamp.contextTime + (moment - stamp.performanceTime) / 1000;
        if (heard(after) < schedule.when) { samples.push({ before: true, clock: clock, offset: schedule.offset }); return; }
        if (heard(before) < schedule.when) return;  // the source started while the clock was read
        samples.push({ clock: clock, low: schedule.offset + (heard(before) - schedule.when),
                       high: schedule.offset + (heard(after) - schedule.when) });
    };
    Module.zrxSampler = setInterval(sample, 7);
    return true;
})()
"""


def test_clock(browser, url, seconds):
    page = browser.open_page(url)
    wait_start_screen(page)
    click(page)
    wait_for(page, "(Module.zrxFrames || 0) > 2 && Module._zrxMusicTime() > 0.3", "the show running")
    page.evaluate(SAMPLER)
    # Half a minute of the show with pauses and steps in it (thousands of samples).
    plan = [(0.15, "Space"), (0.25, "Space"), (0.40, "ArrowRight"), (0.45, "ArrowRight"),
            (0.50, "ArrowRight"), (0.55, "ArrowLeft"), (0.60, "Space"), (0.75, "ArrowRight"),
            (0.80, "Space")]
    begin = time.monotonic()
    for share, key in plan:
        while time.monotonic() < begin + share * seconds:
            time.sleep(0.05)
        tap(page, key)
        passes(page)  # each tap in a pass of its own
    while time.monotonic() < begin + seconds:
        time.sleep(0.1)
    samples = page.evaluate("clearInterval(Module.zrxSampler), Module.zrxSamples")
    if os.environ.get("ZRX_DEBUG_SAMPLES"):
        json.dump(samples, open(os.environ["ZRX_DEBUG_SAMPLES"], "w"))
    running = [s for s in samples if "low" in s]
    errors = sorted(max(s["low"] - s["clock"], s["clock"] - s["high"], 0) * 1000 for s in running)
    paused = [s for s in samples if s.get("paused")]
    check(len(running) >= 50 and len(paused) >= 20,
          "%d samples with sound playing, %d paused" % (len(running), len(paused)))
    if errors:
        print("       clock - output: median %.3f ms, 99th percentile %.3f ms, largest %.3f ms; "
              "the widest reading took %.3f ms" % (
                  errors[len(errors) // 2], errors[int(len(errors) * 0.99)], errors[-1],
                  max(s["high"] - s["low"] for s in running) * 1000))
    check(bool(errors) and errors[-1] <= 5,
          "the clock within 5 ms of the position Web Audio outputs (%d readings)" % len(errors))
    # While paused the clock stands: consecutive paused samples agree unless a step came between.
    steps = [round((b["clock"] - a["clock"]) / STEP_SECONDS, 6)
             for a, b in zip(samples, samples[1:]) if a.get("paused") and b.get("paused")]
    check(all(s in (0, 1, -1) for s in steps) and steps.count(1) == 2 and steps.count(-1) == 1,
          "while paused the clock stands, moving only by the steps (2 on, 1 back): %s" %
          [s for s in steps if s])
    waiting = [s for s in samples if s.get("before")]
    check(bool(waiting) and all(abs(s["clock"] - s["offset"]) < 1e-4 for s in waiting),
          "until a source's start time is output the clock stands at its start (%d samples)" %
          len(waiting))
    page.close()


def main():
    engine, argv = webpage.engine_argument(sys.argv)
    site, soundcheck = argv[1], argv[2]
    seconds = float(argv[3]) if len(argv) > 3 else 30
    if not os.path.exists(os.path.join(site, "zoomraxvandel.wasm")):
        print("webaudio_test: no web build in %s (scripts/web.sh builds it)" % site)
        return 1
    server = webpage.Site(site)
    sound = webpage.SoundServer(soundcheck) if engine == "firefox" else None
    # No autoplay switch: the simulated click is the gesture that lets the page start its sound.
    browser = webpage.open_browser(engine, env=sound.env if sound else None)
    print("%s: %s" % (engine, browser.version))
    try:
        with tempfile.TemporaryDirectory(prefix="zrx-webaudio-test-") as folder:
            url = server.url + "index.html"
            test_start_keys_and_escape(browser, url + "?loadingpicture")
            test_no_webgl2(browser, url)
            test_broken_picture(browser, site, folder)
            test_no_audio(browser, url)
            test_keeps_last_picture(browser, url)
            test_from_disk(browser, site)
            if engine == "chromium":
                for size in ((390, 844), (844, 390)):
                    test_touch(browser, url, size)
                test_loading_bar(browser, url, site)
            test_clock(browser, url, seconds)
    finally:
        browser.close()
        server.close()
        if sound:
            sound.close()
    print("webaudio_test (%s): %d failed" % (engine, len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
