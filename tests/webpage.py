"""The web page in a real browser, through one small driver: a static server for the site, the
browser (headless Chromium through its DevTools protocol, or Firefox ESR headed on a private Xvfb
through WebDriver BiDi on its own remote agent), and its page with the program's test hooks
(web/testhooks.cpp). Each web test states its checks once against Page and runs them in both
engines; what only Chromium's DevTools can do (touch emulation, network throttling) is on
ChromiumPage alone. Shared by the web tests and the web benchmarks."""

import base64
import functools
import http.server
import json
import os
import shutil
import signal
import subprocess
import tempfile
import threading
import time

import websocket  # Debian's python3-websocket

WIDTH, HEIGHT = 1280, 720
ENGINES = ("chromium", "firefox")


class Site:
    """The site folder on a server of its own at 127.0.0.1, on a free port."""

    def __init__(self, folder):
        handler = functools.partial(_QuietHandler, directory=folder)
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        self.url = "http://127.0.0.1:%d/" % self.server.server_address[1]
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def close(self):
        self.server.shutdown()
        self.server.server_close()


class _QuietHandler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      ".wasm": "application/wasm", ".data": "application/octet-stream"}

    def log_message(self, *args):
        pass

    # Every page loads the site afresh, as on a visitor's first visit: a response the browser
    # kept would come at once, unthrottled, and show no loading bar.
    def end_headers(self):
        self.send_header("Cache-Control", "no-store")
        super().end_headers()


class SoundServer:
    """A private PulseAudio daemon (`soundcheck daemon`, tools/pulsedaemon.h) that can be killed
    and started again on the same address; `env` is this process's environment pointed at it."""

    def __init__(self, soundcheck):
        self.process = subprocess.Popen([soundcheck, "daemon"], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, text=True)
        self.address = self.process.stdout.readline().strip()
        if not self.address:
            raise RuntimeError("the private sound server did not start")
        self.env = dict(os.environ, PULSE_SERVER=self.address)

    def order(self, line, answer):
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()
        reply = self.process.stdout.readline().strip()
        if reply != answer:
            raise RuntimeError("sound server: %s answered %r" % (line, reply))

    def kill(self):
        self.order("kill", "killed")

    def start(self):
        self.order("start", "started")

    def close(self):
        self.process.stdin.close()
        self.process.wait(30)


def _wait_until(condition, timeout, what, process=None):
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if process is not None and process.poll() is not None:
            raise RuntimeError("%s: the process exited with status %d" % (what,
                                                                          process.returncode))
        if time.monotonic() > deadline:
            raise RuntimeError("in time: " + what)
        time.sleep(0.05)


def _stop_group(process):
    """Stops a process started in a session of its own, and whatever it started in it."""
    group = process.pid
    try:
        os.killpg(group, signal.SIGTERM)
        process.wait(10)
    except subprocess.TimeoutExpired:
        os.killpg(group, signal.SIGKILL)
        process.wait()
    except ProcessLookupError:
        pass
    # The browser's own children may outlive the one that started them.
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        try:
            os.killpg(group, 0)
        except ProcessLookupError:
            return
        time.sleep(0.1)
    try:
        os.killpg(group, signal.SIGKILL)
    except ProcessLookupError:
        pass


class Browser:
    """What both engines offer: pages opened at an address, and closing."""

    engine = None

    def open_page(self, url, before=None, size=(WIDTH, HEIGHT)):
        """`before`: a script the page runs before its own, as a test's stand-in for a browser
        that lacks something. `size`: the page's viewport in CSS pixels. `url` None: the page
        stays blank until navigate()."""
        raise NotImplementedError

    def pids(self):
        """The browser's processes, for the memory benchmark."""
        found, todo, children = [], [self.process.pid], {}
        for entry in os.listdir("/proc"):
            if entry.isdigit():
                try:
                    fields = open("/proc/%s/stat" % entry).read().rsplit(")", 1)[1].split()
                    children.setdefault(int(fields[1]), []).append(int(entry))
                except OSError:
                    pass
        while todo:
            current = todo.pop()
            found.append(current)
            todo.extend(children.get(current, []))
        return found


class Page:
    """One page of a browser. Subclasses send the engine's commands; the rest is shared."""

    browser = None

    def evaluate(self, expression):
        """The value of a JavaScript expression in the page, a promise's awaited, as JSON
        gives it."""
        raise NotImplementedError

    def click(self, x=WIDTH // 2, y=HEIGHT // 2):
        raise NotImplementedError

    def tap_key(self, code):
        """A key pressed and released at once ("Space", "ArrowRight", "Escape", ...), faster
        than a pass of the show."""
        raise NotImplementedError

    def screenshot(self):
        """The page's viewport as PNG bytes."""
        raise NotImplementedError

    def navigate(self, url):
        raise NotImplementedError

    def close(self):
        raise NotImplementedError

    def poll(self, expression, timeout=None):
        """The first truthy value of `expression`, polled; None after the timeout. A page between
        documents or not yet ready reads as false."""
        deadline = time.monotonic() + (timeout or self.browser.timeout)
        while time.monotonic() < deadline:
            try:
                value = self.evaluate(expression)
            except RuntimeError:
                value = None
            if value:
                return value
            time.sleep(0.05)
        return None

    def wait_ready(self):
        """Polls until the program's start-up is done; fails on an abort or after the timeout."""
        state = self.poll("typeof Module === 'undefined' ? null : "
                          "(Module.zrxFailed ? 'failed: ' + Module.zrxFailed : "
                          "Module.zrxReady ? 'ready' : null)")
        if state != "ready":
            raise RuntimeError("the page's program " + (state or "did not finish its start-up"))

    def frame(self):
        """The frame of the held moment as the page draws it: RGB bytes, rows top first."""
        encoded = self.evaluate("""(() => {
            const at = Module._zrxCaptureFrame();
            const bytes = Module.HEAPU8.subarray(at, at + %d);
            let text = '';
            for (let i = 0; i < bytes.length; i += 32768)
                text += String.fromCharCode.apply(null, bytes.subarray(i, i + 32768));
            return btoa(text);
        })()""" % (WIDTH * HEIGHT * 3))
        raw = base64.b64decode(encoded)
        stride = WIDTH * 3
        return b"".join(raw[(HEIGHT - 1 - y) * stride:(HEIGHT - y) * stride]
                        for y in range(HEIGHT))


# ---- Chromium ---------------------------------------------------------------------------------

def chromium_binary():
    for name in ("chromium-headless-shell", "chromium"):
        path = shutil.which(name) or (os.path.exists("/usr/lib/chromium/" + name) and
                                      "/usr/lib/chromium/" + name)
        if path:
            return path
    raise RuntimeError("no chromium-headless-shell: run scripts/install-deps.sh")


class Chromium(Browser):
    """Headless Chromium with software WebGL 2 (SwiftShader through ANGLE), no display, no GPU."""

    engine = "chromium"

    def __init__(self, timeout=120, args=(), env=None):
        """`args`: more command-line switches; `env`: the browser's environment."""
        self.profile = tempfile.mkdtemp(prefix="zrx-chromium-")
        self.timeout = timeout
        args = [chromium_binary(), "--headless", "--no-sandbox", "--remote-debugging-port=0",
                "--use-angle=swiftshader", "--enable-unsafe-swiftshader", "--use-gl=angle",
                "--ignore-gpu-blocklist", "--disable-background-networking",
                "--disable-component-update", "--disable-sync", "--no-first-run",
                "--disable-gpu-vsync", "--disable-frame-rate-limit",
                "--allow-file-access-from-files",
                "--window-size=%d,%d" % (WIDTH, HEIGHT), "--user-data-dir=" + self.profile,
                *args, "about:blank"]
        # A session of its own: Debian's chromium-headless-shell is a shell script, and stopping
        # it alone would leave the browser it started running; the whole group is stopped.
        self.process = subprocess.Popen(args, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL, env=env,
                                        start_new_session=True)
        # The browser writes its port into the profile once it listens.
        port_file = os.path.join(self.profile, "DevToolsActivePort")

        def listening():
            if not os.path.exists(port_file):
                return None
            lines = open(port_file).read().split("\n")
            return lines if len(lines) >= 2 and lines[1] else None
        try:
            lines = _wait_until(listening, timeout, "chromium's DevTools port", self.process)
        except RuntimeError:
            self.close()
            raise
        self.socket = websocket.create_connection(
            "ws://127.0.0.1:%s%s" % (lines[0], lines[1]), timeout=timeout)
        self.next_id = 0
        self.version = self.call("Browser.getVersion")["product"]

    def call(self, method, session=None, **params):
        """Sends one DevTools command and returns its result; events in between are dropped."""
        return self.call_together([(method, params)], session)[0]

    def call_together(self, calls, session=None):
        """Sends several DevTools commands at once, without waiting in between (a key's press and
        release as close together as a quick tap), and returns their results in order."""
        ids = []
        for method, params in calls:
            self.next_id += 1
            message = {"id": self.next_id, "method": method, "params": params}
            if session:
                message["sessionId"] = session
            self.socket.send(json.dumps(message))
            ids.append(self.next_id)
        results = {}
        while len(results) < len(ids):
            reply = json.loads(self.socket.recv())
            if reply.get("id") in ids:
                if "error" in reply:
                    raise RuntimeError("%s: %s" % (calls[ids.index(reply["id"])][0],
                                                   reply["error"]))
                results[reply["id"]] = reply["result"]
        return [results[i] for i in ids]

    def open_page(self, url, before=None, size=(WIDTH, HEIGHT), mobile=False):
        """`mobile`: a phone's viewport and touch screen (Chromium's emulation)."""
        target = self.call("Target.createTarget", url="about:blank",
                           newWindow=False)["targetId"]
        session = self.call("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
        page = ChromiumPage(self, target, session)
        page.size = size
        page.call("Emulation.setDeviceMetricsOverride", width=size[0], height=size[1],
                  deviceScaleFactor=1, mobile=mobile)
        if mobile:
            page.call("Emulation.setTouchEmulationEnabled", enabled=True, maxTouchPoints=5)
        if before:
            page.call("Page.enable")
            page.call("Page.addScriptToEvaluateOnNewDocument", source=before)
        if url:
            page.navigate(url)
        return page

    def close(self):
        try:
            if getattr(self, "socket", None):
                self.socket.close()
        finally:
            _stop_group(self.process)
            shutil.rmtree(self.profile, ignore_errors=True)


# Key codes as DevTools wants them: (key, Windows virtual key code).
_CHROMIUM_KEYS = {
    "Space": (" ", 32), "ArrowRight": ("ArrowRight", 39), "ArrowLeft": ("ArrowLeft", 37),
    "Escape": ("Escape", 27), "KeyF": ("f", 70),
}


class ChromiumPage(Page):
    def __init__(self, browser, target, session):
        self.browser, self.target, self.session = browser, target, session

    def call(self, method, **params):
        return self.browser.call(method, session=self.session, **params)

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True,
                           awaitPromise=True)
        if "exceptionDetails" in result:
            raise RuntimeError("page: %s" % result["exceptionDetails"])
        return result["result"].get("value")

    def click(self, x=WIDTH // 2, y=HEIGHT // 2):
        for kind in ("mousePressed", "mouseReleased"):
            self.call("Input.dispatchMouseEvent", type=kind, x=x, y=y, button="left",
                      clickCount=1)

    def tap_key(self, code):
        key, virtual = _CHROMIUM_KEYS[code]
        self.browser.call_together(
            [("Input.dispatchKeyEvent", dict(type=kind, code=code, key=key,
                                             windowsVirtualKeyCode=virtual,
                                             nativeVirtualKeyCode=virtual))
             for kind in ("keyDown", "keyUp")], session=self.session)

    def screenshot(self):
        return base64.b64decode(self.call("Page.captureScreenshot", format="png")["data"])

    def navigate(self, url):
        self.call("Page.navigate", url=url)

    def touch(self, points, moves=()):
        """A finger down at `points[0]`, through `moves`, and up: a tap, or with moves a swipe.
        Touches dispatched this way make no click."""
        x, y = points
        self.call("Input.dispatchTouchEvent", type="touchStart",
                  touchPoints=[{"x": x, "y": y}])
        for mx, my in moves:
            self.call("Input.dispatchTouchEvent", type="touchMove",
                      touchPoints=[{"x": mx, "y": my}])
        self.call("Input.dispatchTouchEvent", type="touchEnd", touchPoints=[])

    def close(self):
        self.browser.call("Target.closeTarget", targetId=self.target)


# ---- Firefox ----------------------------------------------------------------------------------

# The profile's preferences: no first-run pages or reports, sound allowed before a gesture is
# not asked for (the tests' clicks are the gestures), WebGL on Mesa's llvmpipe.
_FIREFOX_PREFS = {
    "browser.shell.checkDefaultBrowser": False,
    "browser.startup.homepage_override.mstone": "ignore",
    "browser.aboutwelcome.enabled": False,
    "datareporting.policy.dataSubmissionEnabled": False,
    "toolkit.telemetry.reportingpolicy.firstRun": False,
    "app.update.disabledForTesting": True,
    "browser.tabs.warnOnClose": False,
    "webgl.force-enabled": True,
    "full-screen-api.warning.timeout": 0,
}


class PrivateX:
    """Xvfb at 24 bits with GLX, on a display number it picks itself."""

    def __init__(self, size=(1920, 1080)):
        read, write = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "%dx%dx24" % size,
             "+extension", "GLX", "-noreset", "-nolisten", "tcp"], pass_fds=(write,),
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        os.close(write)
        with os.fdopen(read) as numbers:
            number = numbers.readline().strip()
        if not number:
            _stop_group(self.process)
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number

    def close(self):
        _stop_group(self.process)


# The longest a Firefox command may go unanswered. Its main thread answers between the show's
# frames, so this is far beyond any frame; a page's start-up has been seen to leave one
# evaluation without an answer at all, which a poll then outlives by asking again.
ANSWER_SECONDS = 30


class Firefox(Browser):
    """Firefox ESR in a window on a private Xvfb with GLX (headless Firefox offers no WebGL 2
    here), driven through WebDriver BiDi on its remote agent: no geckodriver."""

    engine = "firefox"

    def __init__(self, timeout=120, env=None):
        self.timeout = timeout
        self.profile = tempfile.mkdtemp(prefix="zrx-firefox-")
        with open(os.path.join(self.profile, "user.js"), "w") as prefs:
            for name, value in _FIREFOX_PREFS.items():
                prefs.write("user_pref(%s, %s);\n" % (json.dumps(name), json.dumps(value)))
        self.x = PrivateX()
        environment = dict(env or os.environ, DISPLAY=self.x.display)
        environment.pop("MOZ_HEADLESS", None)
        self.log = open(os.path.join(self.profile, "browser.log"), "w+")
        # Port 0: the agent picks a free one and names it on standard error.
        self.process = subprocess.Popen(
            ["firefox-esr", "--remote-debugging-port=0", "--profile", self.profile,
             "--no-remote", "--new-instance", "about:blank"], stdout=self.log,
            stderr=subprocess.STDOUT, env=environment, start_new_session=True)

        def listening():
            self.log.seek(0)
            for line in self.log:
                if line.startswith("WebDriver BiDi listening on "):
                    return line.split()[-1]
            return None
        try:
            address = _wait_until(listening, timeout, "firefox's remote agent", self.process)
            # The agent refuses a handshake that names an origin.
            self.socket = websocket.create_connection(address + "/session", timeout=timeout,
                                                      suppress_origin=True)
            self.next_id = 0
            capabilities = self.call("session.new", capabilities={"alwaysMatch": {
                "unhandledPromptBehavior": {"default": "ignore"}}})["capabilities"]
            self.version = "Firefox/" + capabilities["browserVersion"]
        except Exception:
            self.close()
            raise
        self.first_context = self.call("browsingContext.getTree")["contexts"][0]["context"]

    def call(self, method, **params):
        """Sends one BiDi command and returns its result; events in between are dropped, and so
        is the late answer to a command given up on. No answer within ANSWER_SECONDS raises
        RuntimeError with the end of the browser's log, which a poll takes for "not yet"."""
        self.next_id += 1
        self.socket.send(json.dumps({"id": self.next_id, "method": method, "params": params}))
        deadline = time.monotonic() + ANSWER_SECONDS
        while True:
            self.socket.settimeout(max(0.1, deadline - time.monotonic()))
            try:
                text = self.socket.recv()
            except websocket.WebSocketTimeoutException:
                raise RuntimeError("firefox gave no answer to %s within %d s; its log ends:\n%s"
                                   % (method, ANSWER_SECONDS, self.log_tail())) from None
            reply = json.loads(text)
            if reply.get("id") == self.next_id:
                if reply.get("type") == "error":
                    raise RuntimeError("%s: %s: %s" % (method, reply.get("error"),
                                                       reply.get("message")))
                return reply["result"]

    def log_tail(self, lines=60):
        self.log.seek(0)
        return "".join(self.log.readlines()[-lines:])

    def open_page(self, url, before=None, size=(WIDTH, HEIGHT)):
        context = self.call("browsingContext.create", type="tab")["context"]
        page = FirefoxPage(self, context)
        page.size = size
        self.call("browsingContext.setViewport", context=context,
                  viewport={"width": size[0], "height": size[1]})
        if before:
            page.preload = self.call("script.addPreloadScript",
                                     functionDeclaration="() => {%s}" % before,
                                     contexts=[context])["script"]
        if url:
            page.navigate(url)
        return page

    def close(self):
        try:
            if getattr(self, "socket", None):
                try:
                    self.call("browser.close")
                except Exception:
                    pass
                self.socket.close()
        finally:
            if getattr(self, "process", None):
                _stop_group(self.process)
            self.x.close()
            self.log.close()
            shutil.rmtree(self.profile, ignore_errors=True)


# Key values as WebDriver names them (its code points for the keys that print nothing).
_WEBDRIVER_KEYS = {"Space": " ", "ArrowRight": "\ue014", "ArrowLeft": "\ue012",
                   "Escape": "\ue00c", "KeyF": "f"}


class FirefoxPage(Page):
    preload = None

    def __init__(self, browser, context):
        self.browser, self.context = browser, context

    def evaluate(self, expression):
        # The value comes back as JSON text: BiDi's own serialisation is of another shape.
        result = self.browser.call(
            "script.evaluate", target={"context": self.context}, awaitPromise=True,
            userActivation=False,
            expression="Promise.resolve((%s)).then(v => JSON.stringify(v === undefined ? null : v))"
                       % expression)
        if result.get("type") == "exception":
            raise RuntimeError("page: %s" % result.get("exceptionDetails", {}).get("text"))
        return json.loads(result["result"]["value"])

    def actions(self, *sources):
        self.browser.call("input.performActions", context=self.context, actions=list(sources))

    def click(self, x=WIDTH // 2, y=HEIGHT // 2):
        self.actions({"type": "pointer", "id": "mouse", "parameters": {"pointerType": "mouse"},
                      "actions": [{"type": "pointerMove", "x": x, "y": y},
                                  {"type": "pointerDown", "button": 0},
                                  {"type": "pointerUp", "button": 0}]})

    def tap_key(self, code):
        value = _WEBDRIVER_KEYS[code]
        self.actions({"type": "key", "id": "keyboard",
                      "actions": [{"type": "keyDown", "value": value},
                                  {"type": "keyUp", "value": value}]})

    def screenshot(self):
        return base64.b64decode(self.browser.call("browsingContext.captureScreenshot",
                                                  context=self.context)["data"])

    def navigate(self, url):
        self.browser.call("browsingContext.navigate", context=self.context, url=url,
                          wait="none")

    def close(self):
        if self.preload:
            self.browser.call("script.removePreloadScript", script=self.preload)
        self.browser.call("browsingContext.close", context=self.context)


def engine_argument(argv):
    """The engine a test or benchmark is asked for (--engine NAME), and the other arguments."""
    if "--engine" in argv:
        at = argv.index("--engine")
        return argv[at + 1], argv[:at] + argv[at + 2:]
    return "chromium", argv


def open_browser(engine, timeout=120, env=None):
    """The engine's browser: "chromium" or "firefox"."""
    if engine == "chromium":
        return Chromium(timeout=timeout, env=env)
    if engine == "firefox":
        return Firefox(timeout=timeout, env=env)
    raise ValueError("no engine %r (%s)" % (engine, ", ".join(ENGINES)))
